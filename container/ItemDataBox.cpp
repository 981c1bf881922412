#include "ItemDataBox.h"

#include <stdexcept>

ItemDataBox::ItemDataBox() : Box(FourCCInt("idat")) {}

std::uint32_t ItemDataBox::addData(const std::vector<std::uint8_t>& data)
{
    const std::uint64_t offset = mData.size();
    if (offset + data.size() > 0xFFFFFFFFull)
    {
        throw std::runtime_error("ItemDataBox::addData: data beyond 32-bit offsets");
    }
    mData.insert(mData.end(), data.begin(), data.end());
    return std::uint32_t(offset);
}

void ItemDataBox::read(std::vector<std::uint8_t>& dest, std::uint64_t offset, std::uint64_t length) const
{
    // Compared without adding, so a huge offset or length cannot wrap into range.
    if (offset > mData.size() || length > mData.size() - offset)
    {
        throwVectorOutOfRange();
    }
    const auto begin = mData.begin() + std::ptrdiff_t(offset);
    dest.insert(dest.end(), begin, begin + std::ptrdiff_t(length));
}

void ItemDataBox::writeBox(BitStream& bitstr)
{
    if (mData.empty())
    {
        return;
    }
    writeBoxHeader(bitstr);
    bitstr.writeBytes(mData, std::uint32_t(mData.size()));
    updateSize(bitstr);
}

void ItemDataBox::parseBox(BitStream& bitstr)
{
    parseBoxHeader(bitstr);
    bitstr.readBytes(mData, bitstr.numBytesLeft());
}
