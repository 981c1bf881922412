#include "FDItemInfoExtension.h"

FDItemInfoExtension::FDItemInfoExtension() : mGroupIds(kMaxGroupIds, 0) {}

std::uint32_t FDItemInfoExtension::getGroupID(std::size_t index) const
{
    if (index >= mGroupIds.size())
    {
        throwVectorOutOfRange();
    }
    return mGroupIds[index];
}

void FDItemInfoExtension::setGroupID(std::size_t index, std::uint32_t id)
{
    if (index >= mGroupIds.size())
    {
        throwVectorOutOfRange();
    }
    mGroupIds[index] = id;
}

void FDItemInfoExtension::write(BitStream& bitstr) const
{
    bitstr.writeZeroTerminatedString(mContentLocation);
    bitstr.writeZeroTerminatedString(mContentMD5);
    bitstr.writeU32(std::uint32_t(mContentLength >> 32));
    bitstr.writeU32(std::uint32_t(mContentLength));
    bitstr.writeU32(std::uint32_t(mTransferLength >> 32));
    bitstr.writeU32(std::uint32_t(mTransferLength));
    bitstr.writeU8(mEntryCount);
    for (std::size_t i = 0; i < mEntryCount; ++i)
    {
        bitstr.writeU32(mGroupIds[i]);
    }
}

void FDItemInfoExtension::parse(BitStream& bitstr)
{
    bitstr.readZeroTerminatedString(mContentLocation);
    bitstr.readZeroTerminatedString(mContentMD5);
    mContentLength = std::uint64_t(bitstr.readU32()) << 32;
    mContentLength |= bitstr.readU32();
    mTransferLength = std::uint64_t(bitstr.readU32()) << 32;
    mTransferLength |= bitstr.readU32();
    mEntryCount = std::uint8_t(bitstr.readU8());
    for (std::size_t i = 0; i < mEntryCount; ++i)
    {
        mGroupIds[i] = bitstr.readU32();
    }
}

std::unique_ptr<ItemInfoExtension> FDItemInfoExtension::clone() const
{
    return std::make_unique<FDItemInfoExtension>(*this);
}
