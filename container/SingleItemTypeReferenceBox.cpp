#include "SingleItemTypeReferenceBox.h"

#include <stdexcept>

SingleItemTypeReferenceBox::SingleItemTypeReferenceBox(bool isLarge) : Box(FourCCInt()), mIsLarge(isLarge) {}

void SingleItemTypeReferenceBox::writeBox(BitStream& bitstr)
{
    if (mToItemIds.size() > 0xFFFF)
    {
        throw std::runtime_error("SingleItemTypeReferenceBox: more than 65535 references");
    }
    if (!mIsLarge)
    {
        bool small = mFromItemId <= 0xFFFF;
        for (const auto id : mToItemIds)
        {
            small = small && id <= 0xFFFF;
        }
        if (!small)
        {
            throw std::runtime_error("SingleItemTypeReferenceBox: item id above 16 "
                                     "bits in a version 0 iref");
        }
    }

    auto writeId = [this, &bitstr](std::uint32_t id)
    {
        if (mIsLarge)
        {
            bitstr.writeU32(id);
        }
        else
        {
            bitstr.writeU16(std::uint16_t(id));
        }
    };
    writeBoxHeader(bitstr);
    writeId(mFromItemId);
    bitstr.writeU16(std::uint16_t(mToItemIds.size()));
    for (const auto id : mToItemIds)
    {
        writeId(id);
    }
    updateSize(bitstr);
}

void SingleItemTypeReferenceBox::parseBox(BitStream& bitstr)
{
    parseBoxHeader(bitstr);
    const std::uint32_t idSize = mIsLarge ? 4 : 2;
    mFromItemId = mIsLarge ? bitstr.readU32() : bitstr.readU16();
    const std::uint32_t count = bitstr.readU16();
    if (std::uint64_t(count) * idSize > bitstr.numBytesLeft())
    {
        throwVectorOutOfRange();
    }
    mToItemIds.reserve(mToItemIds.size() + count);
    for (std::uint32_t i = 0; i < count; ++i)
    {
        mToItemIds.push_back(mIsLarge ? bitstr.readU32() : bitstr.readU16());
    }
}
