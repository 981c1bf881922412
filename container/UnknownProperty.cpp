#include "UnknownProperty.h"

void UnknownProperty::writeBox(BitStream& bitstr)
{
    if (mBoxBytes.empty())
    {
        writeBoxHeader(bitstr);
        updateSize(bitstr);
        return;
    }
    bitstr.writeBytes(mBoxBytes, std::uint32_t(mBoxBytes.size()));
}

void UnknownProperty::parseBox(BitStream& bitstr)
{
    const std::uint32_t start = bitstr.getPos();
    parseBoxHeader(bitstr);
    mBoxBytes.assign(bitstr.getStorage().begin() + start, bitstr.getStorage().end());
    setSize(std::uint32_t(mBoxBytes.size()));
    bitstr.setPosition(bitstr.getSize());
}
