#include "TargetOlsProperty.h"

TargetOlsProperty::TargetOlsProperty() : FullBox(FourCCInt("tols"), 0, 0) {}

TargetOlsProperty::TargetOlsProperty(std::uint16_t targetOlsIndex)
    : FullBox(FourCCInt("tols"), 0, 0), mTargetOlsIndex(targetOlsIndex)
{
}

void TargetOlsProperty::writeBox(BitStream& bitstr)
{
    writeFullBoxHeader(bitstr);
    bitstr.writeU16(mTargetOlsIndex);
    updateSize(bitstr);
}

void TargetOlsProperty::parseBox(BitStream& bitstr)
{
    parseFullBoxHeader(bitstr);
    mTargetOlsIndex = std::uint16_t(bitstr.readU16());
}
