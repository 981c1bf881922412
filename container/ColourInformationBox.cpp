#include "ColourInformationBox.h"

ColourInformationBox::ColourInformationBox() : Box(FourCCInt("colr")), mColourType("nclx") {}

void ColourInformationBox::writeBox(BitStream& bitstr)
{
    writeBoxHeader(bitstr);
    bitstr.writeU32(mColourType.getUInt32());
    if (isNclx())
    {
        bitstr.writeU16(mColourPrimaries);
        bitstr.writeU16(mTransferCharacteristics);
        bitstr.writeU16(mMatrixCoefficients);
        bitstr.writeU8(mFullRange ? 0x80 : 0);  // the seven bits after the flag are reserved zeros
    }
    else
    {
        bitstr.writeBytes(mPayload, std::uint32_t(mPayload.size()));
    }
    updateSize(bitstr);
}

void ColourInformationBox::parseBox(BitStream& bitstr)
{
    parseBoxHeader(bitstr);
    mColourType = FourCCInt(bitstr.readU32());
    mPayload.clear();
    if (isNclx())
    {
        mColourPrimaries = std::uint16_t(bitstr.readU16());
        mTransferCharacteristics = std::uint16_t(bitstr.readU16());
        mMatrixCoefficients = std::uint16_t(bitstr.readU16());
        mFullRange = (bitstr.readU8() & 0x80) != 0;
    }
    else
    {
        bitstr.readBytes(mPayload, bitstr.numBytesLeft());
    }
}
