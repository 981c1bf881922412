#include "LayerSelectorProperty.h"

LayerSelectorProperty::LayerSelectorProperty() : Box(FourCCInt("lsel")) {}

LayerSelectorProperty::LayerSelectorProperty(std::uint16_t layerId) : Box(FourCCInt("lsel")), mLayerId(layerId) {}

void LayerSelectorProperty::writeBox(BitStream& bitstr)
{
    writeBoxHeader(bitstr);
    bitstr.writeU16(mLayerId);
    updateSize(bitstr);
}

void LayerSelectorProperty::parseBox(BitStream& bitstr)
{
    parseBoxHeader(bitstr);
    mLayerId = std::uint16_t(bitstr.readU16());
}
