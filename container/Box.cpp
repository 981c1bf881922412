#include "Box.h"

Box::Box(FourCCInt boxType) : mType(boxType) {}

void Box::increaseSize(std::uint32_t count)
{
    if (mSize == 1)
    {
        const std::uint64_t large = getLargeSize() + count;
        mLargeSizeHigh = std::uint32_t(large >> 32);
        mLargeSizeLow = std::uint32_t(large);
        return;
    }
    const std::uint64_t sum = std::uint64_t(mSize) + count;
    if (sum <= 0xFFFFFFFFull)
    {
        mSize = std::uint32_t(sum);
        return;
    }
    // The 8-byte largesize field itself is part of the box.
    const std::uint64_t large = sum + 8;
    mSize = 1;
    mLargeSizeHigh = std::uint32_t(large >> 32);
    mLargeSizeLow = std::uint32_t(large);
}

void Box::writeBoxHeader(BitStream& bitstr)
{
    mStartLocation = bitstr.getSize();
    bitstr.writeU32(mSize);
    bitstr.writeU32(mType.getUInt32());
    if (mSize == 1)
    {
        bitstr.writeU32(mLargeSizeHigh);
        bitstr.writeU32(mLargeSizeLow);
    }
    if (mType == FourCCInt("uuid"))
    {
        for (auto byte : mUserType)
        {
            bitstr.writeU8(byte);
        }
    }
}

void Box::parseBoxHeader(BitStream& bitstr)
{
    mSize = bitstr.readU32();
    mType = FourCCInt(bitstr.readU32());
    if (mSize == 1)
    {
        mLargeSizeHigh = bitstr.readU32();
        mLargeSizeLow = bitstr.readU32();
    }
    if (mType == FourCCInt("uuid"))
    {
        for (auto& byte : mUserType)
        {
            byte = std::uint8_t(bitstr.readU8());
        }
    }
}

void Box::updateSize(BitStream& bitstr)
{
    const std::uint32_t size = bitstr.getSize() - mStartLocation;
    auto patch = [&bitstr](std::uint32_t at, std::uint32_t value)
    {
        bitstr.setByte(at, std::uint8_t(value >> 24));
        bitstr.setByte(at + 1, std::uint8_t(value >> 16));
        bitstr.setByte(at + 2, std::uint8_t(value >> 8));
        bitstr.setByte(at + 3, std::uint8_t(value));
    };
    if (mSize == 1)
    {
        mLargeSizeHigh = 0;
        mLargeSizeLow = size;
        patch(mStartLocation + 8, 0);
        patch(mStartLocation + 12, size);
        return;
    }
    mSize = size;
    patch(mStartLocation, size);
}
