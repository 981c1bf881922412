#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "FullBox.h"

// 'auxC': what an auxiliary image is (an alpha plane, a depth map, ...) as a URN, followed by
// type-specific bytes.
class AuxiliaryTypeProperty : public FullBox
{
public:
    AuxiliaryTypeProperty();
    ~AuxiliaryTypeProperty() override = default;

    std::string getAuxType() const { return mAuxType; }
    void setAuxType(const std::string& type) { mAuxType = type; }
    std::vector<std::uint8_t> getAuxSubType() const { return mAuxSubType; }
    void setAuxSubType(const std::vector<std::uint8_t>& subType) { mAuxSubType = subType; }

    void writeBox(BitStream& bitstr) override;
    void parseBox(BitStream& bitstr) override;

private:
    std::string mAuxType;
    std::vector<std::uint8_t> mAuxSubType;
};
