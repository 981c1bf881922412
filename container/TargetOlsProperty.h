#pragma once

#include <cstdint>

#include "FullBox.h"

// 'tols': the output layer set a multi-layer image item is to be decoded for.
class TargetOlsProperty : public FullBox
{
public:
    TargetOlsProperty();
    explicit TargetOlsProperty(std::uint16_t targetOlsIndex);
    ~TargetOlsProperty() override = default;

    std::uint16_t getTargetOlsIndex() const { return mTargetOlsIndex; }
    void setTargetOlsIndex(std::uint16_t index) { mTargetOlsIndex = index; }

    void writeBox(BitStream& bitstr) override;
    void parseBox(BitStream& bitstr) override;

private:
    std::uint16_t mTargetOlsIndex = 0;
};
