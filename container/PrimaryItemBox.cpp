#include "PrimaryItemBox.h"

PrimaryItemBox::PrimaryItemBox() : FullBox(FourCCInt("pitm"), 0, 0) {}

void PrimaryItemBox::setItemId(std::uint32_t itemId)
{
    mItemId = itemId;
    if (itemId > 0xFFFF && getVersion() == 0)
    {
        setVersion(1);
    }
}

void PrimaryItemBox::writeBox(BitStream& bitstr)
{
    if (getVersion() == 0 && mItemId > 0xFFFF)
    {
        setVersion(1);
    }
    writeFullBoxHeader(bitstr);
    if (getVersion() == 0)
    {
        bitstr.writeU16(std::uint16_t(mItemId));
    }
    else
    {
        bitstr.writeU32(mItemId);
    }
    updateSize(bitstr);
}

void PrimaryItemBox::parseBox(BitStream& bitstr)
{
    parseFullBoxHeader(bitstr);
    mItemId = getVersion() == 0 ? bitstr.readU16() : bitstr.readU32();
}
