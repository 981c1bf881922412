#include "ItemLocationBox.h"

#include <stdexcept>

namespace
{
constexpr std::uint8_t kMaxFieldSize = 8;

void checkFieldSize(std::uint32_t size)
{
    // Sizes come from 4-bit fields; above 8 bytes a value no longer fits 64 bits.
    if (size > kMaxFieldSize)
    {
        throw std::runtime_error("ItemLocationBox: field size above 8 bytes");
    }
}

std::uint64_t readSized(BitStream& bitstr, std::uint32_t size)
{
    std::uint64_t value = 0;
    for (std::uint32_t i = 0; i < size; ++i)
    {
        value = (value << 8) | bitstr.readU8();
    }
    return value;
}

/// Offsets, lengths and base offsets address bytes through 32-bit positions; a larger value
/// would be cut and point at the wrong bytes, so it is refused.
std::uint64_t readPosition(BitStream& bitstr, std::uint32_t size)
{
    const std::uint64_t value = readSized(bitstr, size);
    if (value > 0xFFFFFFFFull)
    {
        throw std::runtime_error("ItemLocationBox: offset or length above 32 bits");
    }
    return value;
}

bool fits(std::uint64_t value, std::uint32_t size)
{
    return size >= kMaxFieldSize || (value >> (8 * size)) == 0;
}

void writeSized(BitStream& bitstr, std::uint64_t value, std::uint32_t size, const char* what)
{
    if (!fits(value, size))
    {
        throw std::runtime_error(std::string("ItemLocationBox: ") + what + " does not fit its field size");
    }
    for (std::uint32_t i = size; i > 0; --i)
    {
        bitstr.writeU8(std::uint8_t(value >> (8 * (i - 1))));
    }
}
}  // namespace

const ItemLocationExtent& ItemLocation::getExtent(std::uint32_t index) const
{
    if (index >= mExtents.size())
    {
        throw std::runtime_error("ItemLocationBox::getExtent: invalid extent ID");
    }
    return mExtents[index];
}

ItemLocationBox::ItemLocationBox() : FullBox(FourCCInt("iloc"), 0, 0) {}

void ItemLocationBox::setOffsetSize(std::uint8_t size)
{
    checkFieldSize(size);
    mOffsetSize = size;
}

void ItemLocationBox::setLengthSize(std::uint8_t size)
{
    checkFieldSize(size);
    mLengthSize = size;
}

void ItemLocationBox::setBaseOffsetSize(std::uint8_t size)
{
    checkFieldSize(size);
    mBaseOffsetSize = size;
}

void ItemLocationBox::setIndexSize(std::uint8_t size)
{
    checkFieldSize(size);
    mIndexSize = size;
}

void ItemLocationBox::addLocation(const ItemLocation& location)
{
    // Version 0 has no construction method field.
    if (location.getConstructionMethod() != ItemLocation::kFileOffset && getVersion() == 0)
    {
        setVersion(1);
    }
    // Only the first location of an id is ever looked up.
    mFirstLocation.emplace(location.getItemID(), mItemLocations.size());
    mItemLocations.push_back(location);
}

const ItemLocation* ItemLocationBox::findLocation(std::uint32_t itemId) const
{
    const auto it = mFirstLocation.find(itemId);
    return it == mFirstLocation.end() ? nullptr : &mItemLocations[it->second];
}

ItemLocation* ItemLocationBox::findLocation(std::uint32_t itemId)
{
    return const_cast<ItemLocation*>(static_cast<const ItemLocationBox*>(this)->findLocation(itemId));
}

void ItemLocationBox::addExtent(std::uint32_t itemId, const ItemLocationExtent& extent)
{
    ItemLocation* location = findLocation(itemId);
    if (location == nullptr)
    {
        throw std::runtime_error("ItemLocationBox::addExtent() invalid item id");
    }
    location->addExtent(extent);
}

const ItemLocation& ItemLocationBox::getItemLocationForID(std::uint32_t itemId) const
{
    const ItemLocation* location = findLocation(itemId);
    if (location == nullptr)
    {
        throw std::runtime_error("ItemLocationBox::getItemLocationForID: invalid item ID");
    }
    return *location;
}

bool ItemLocationBox::hasItemIdEntry(std::uint32_t itemId) const
{
    return findLocation(itemId) != nullptr;
}

bool ItemLocationBox::setItemDataReferenceIndex(std::uint32_t itemId, std::uint16_t index)
{
    ItemLocation* location = findLocation(itemId);
    if (location == nullptr)
    {
        return false;
    }
    location->setDataReferenceIndex(index);
    return true;
}

void ItemLocationBox::writeBox(BitStream& bitstr)
{
    std::uint8_t version = getVersion();
    if (version > 2)
    {
        // Such a box carries no locations on file; writing some would silently drop them.
        if (!mItemLocations.empty())
        {
            throw std::runtime_error("ItemLocationBox: version above 2 cannot hold locations");
        }
    }
    else
    {
        bool needsVersion1 = mIndexSize != 0;
        bool needsVersion2 = mItemLocations.size() > 0xFFFF;
        for (const auto& location : mItemLocations)
        {
            needsVersion1 = needsVersion1 || location.getConstructionMethod() != ItemLocation::kFileOffset;
            needsVersion2 = needsVersion2 || location.getItemID() > 0xFFFF;
        }
        if (needsVersion2 && version < 2)
        {
            version = 2;
        }
        else if (needsVersion1 && version == 0)
        {
            version = 1;
        }
        setVersion(version);
    }

    writeFullBoxHeader(bitstr);
    bitstr.writeBits(mOffsetSize, 4);
    bitstr.writeBits(mLengthSize, 4);
    bitstr.writeBits(mBaseOffsetSize, 4);
    bitstr.writeBits(version == 0 ? 0 : mIndexSize, 4);
    if (version > 2)
    {
        updateSize(bitstr);
        return;
    }

    const bool wideIds = version == 2;
    if (wideIds)
    {
        bitstr.writeU32(getItemCount());
    }
    else
    {
        bitstr.writeU16(std::uint16_t(getItemCount()));
    }
    const bool hasIndex = version != 0 && mIndexSize != 0;
    for (const auto& location : mItemLocations)
    {
        if (wideIds)
        {
            bitstr.writeU32(location.getItemID());
        }
        else
        {
            bitstr.writeU16(std::uint16_t(location.getItemID()));
        }
        if (version != 0)
        {
            if (location.getConstructionMethod() > 0xF)
            {
                throw std::runtime_error("ItemLocationBox: construction method does not fit 4 bits");
            }
            bitstr.writeBits(0, 12);
            bitstr.writeBits(location.getConstructionMethod(), 4);
        }
        bitstr.writeU16(location.getDataReferenceIndex());
        writeSized(bitstr, location.getBaseOffset(), mBaseOffsetSize, "base offset");
        if (location.getExtentCount() > 0xFFFF)
        {
            throw std::runtime_error("ItemLocationBox: more than 65535 extents in one item");
        }
        bitstr.writeU16(std::uint16_t(location.getExtentCount()));
        for (const auto& extent : location.getExtentList())
        {
            if (hasIndex)
            {
                writeSized(bitstr, extent.mExtentIndex, mIndexSize, "extent index");
            }
            writeSized(bitstr, extent.mExtentOffset, mOffsetSize, "extent offset");
            writeSized(bitstr, extent.mExtentLength, mLengthSize, "extent length");
        }
    }
    updateSize(bitstr);
}

void ItemLocationBox::parseBox(BitStream& bitstr)
{
    parseFullBoxHeader(bitstr);
    const std::uint8_t version = getVersion();
    const std::uint32_t offsetSize = bitstr.readBits(4);
    const std::uint32_t lengthSize = bitstr.readBits(4);
    const std::uint32_t baseOffsetSize = bitstr.readBits(4);
    const std::uint32_t fourthField = bitstr.readBits(4);
    checkFieldSize(offsetSize);
    checkFieldSize(lengthSize);
    checkFieldSize(baseOffsetSize);
    mOffsetSize = std::uint8_t(offsetSize);
    mLengthSize = std::uint8_t(lengthSize);
    mBaseOffsetSize = std::uint8_t(baseOffsetSize);
    if (version != 0)
    {
        checkFieldSize(fourthField);
        mIndexSize = std::uint8_t(fourthField);
    }
    if (version > 2)
    {
        return;
    }

    const bool wideIds = version == 2;
    const std::uint32_t itemCount = wideIds ? bitstr.readU32() : bitstr.readU16();
    const bool hasIndex = version != 0 && mIndexSize != 0;
    const std::uint32_t extentBytes = (hasIndex ? mIndexSize : 0) + mOffsetSize + mLengthSize;
    // No reservation from the count: every item takes at least six bytes, so a hostile count
    // runs into the end of the data after a few reads.
    for (std::uint32_t i = 0; i < itemCount; ++i)
    {
        ItemLocation location;
        location.setItemID(wideIds ? bitstr.readU32() : bitstr.readU16());
        if (version != 0)
        {
            bitstr.readBits(12);  // reserved
            location.setConstructionMethod(bitstr.readBits(4));
        }
        location.setDataReferenceIndex(std::uint16_t(bitstr.readU16()));
        location.setBaseOffset(readPosition(bitstr, mBaseOffsetSize));

        const std::uint32_t extentCount = bitstr.readU16();
        if (extentBytes == 0 && extentCount > 1)
        {
            // Extents without fields are all alike and take no bytes: nothing bounds them.
            throw std::runtime_error("ItemLocationBox: several extents without fields");
        }
        if (std::uint64_t(extentCount) * extentBytes > bitstr.numBytesLeft())
        {
            throwVectorOutOfRange();
        }
        for (std::uint32_t e = 0; e < extentCount; ++e)
        {
            ItemLocationExtent extent;
            if (hasIndex)
            {
                extent.mExtentIndex = readSized(bitstr, mIndexSize);
            }
            extent.mExtentOffset = readPosition(bitstr, mOffsetSize);
            extent.mExtentLength = readPosition(bitstr, mLengthSize);
            location.addExtent(extent);
        }
        addLocation(location);
    }
}
