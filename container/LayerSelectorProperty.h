#pragma once

#include <cstdint>

#include "Box.h"

// 'lsel': which layer of a multi-layer image item is to be shown.
class LayerSelectorProperty : public Box
{
public:
    LayerSelectorProperty();
    explicit LayerSelectorProperty(std::uint16_t layerId);
    ~LayerSelectorProperty() override = default;

    std::uint16_t getLayerId() const { return mLayerId; }
    void setLayerId(std::uint16_t layerId) { mLayerId = layerId; }

    void writeBox(BitStream& bitstr) override;
    void parseBox(BitStream& bitstr) override;

private:
    std::uint16_t mLayerId = 0;
};
