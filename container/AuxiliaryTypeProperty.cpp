#include "AuxiliaryTypeProperty.h"

AuxiliaryTypeProperty::AuxiliaryTypeProperty() : FullBox(FourCCInt("auxC"), 0, 0) {}

void AuxiliaryTypeProperty::writeBox(BitStream& bitstr)
{
    writeFullBoxHeader(bitstr);
    bitstr.writeZeroTerminatedString(mAuxType);
    bitstr.writeBytes(mAuxSubType, std::uint32_t(mAuxSubType.size()));
    updateSize(bitstr);
}

void AuxiliaryTypeProperty::parseBox(BitStream& bitstr)
{
    parseFullBoxHeader(bitstr);
    bitstr.readZeroTerminatedString(mAuxType);
    mAuxSubType.clear();
    bitstr.readBytes(mAuxSubType, bitstr.numBytesLeft());
}
