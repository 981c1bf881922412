#include "FullBox.h"

FullBox::FullBox(FourCCInt boxType, std::uint8_t version, std::uint32_t flags)
    : Box(boxType), mVersion(version), mFlags(flags & 0xFFFFFF)
{
    increaseSize(4);
}

void FullBox::writeFullBoxHeader(BitStream& bitstr)
{
    writeBoxHeader(bitstr);
    bitstr.writeBits(mVersion, 8);
    bitstr.writeBits(mFlags, 24);
}

void FullBox::parseFullBoxHeader(BitStream& bitstr)
{
    parseBoxHeader(bitstr);
    mVersion = std::uint8_t(bitstr.readBits(8));
    mFlags = bitstr.readBits(24);
}
