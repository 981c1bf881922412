#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "FullBox.h"

// One extent of an item: where a run of its bytes lies, relative to the item's base offset.
struct ItemLocationExtent
{
    std::uint64_t mExtentIndex = 0;
    std::uint64_t mExtentOffset = 0;
    std::uint64_t mExtentLength = 0;
};

// Where one item's bytes lie. Not a box: an entry of 'iloc'.
class ItemLocation
{
public:
    /// Construction methods: bytes in the file, in 'idat', or in another item.
    static constexpr std::uint32_t kFileOffset = 0;
    static constexpr std::uint32_t kIdatOffset = 1;
    static constexpr std::uint32_t kItemOffset = 2;

    std::uint32_t getItemID() const { return mItemId; }
    void setItemID(std::uint32_t itemId) { mItemId = itemId; }
    std::uint32_t getConstructionMethod() const { return mConstructionMethod; }
    void setConstructionMethod(std::uint32_t method) { mConstructionMethod = method; }
    std::uint16_t getDataReferenceIndex() const { return mDataReferenceIndex; }
    void setDataReferenceIndex(std::uint16_t index) { mDataReferenceIndex = index; }
    std::uint64_t getBaseOffset() const { return mBaseOffset; }
    void setBaseOffset(std::uint64_t offset) { mBaseOffset = offset; }

    void addExtent(const ItemLocationExtent& extent) { mExtents.push_back(extent); }
    const std::vector<ItemLocationExtent>& getExtentList() const { return mExtents; }
    /// Never cut to 16 bits here: the writer refuses more extents than its field holds.
    std::uint32_t getExtentCount() const { return static_cast<std::uint32_t>(mExtents.size()); }
    /// Throws std::runtime_error when index is not below the extent count.
    const ItemLocationExtent& getExtent(std::uint32_t index) const;

private:
    std::uint32_t mItemId = 0;
    std::uint32_t mConstructionMethod = 0;
    std::uint16_t mDataReferenceIndex = 0;
    std::uint64_t mBaseOffset = 0;
    std::vector<ItemLocationExtent> mExtents;
};

// 'iloc': the locations of the items of a 'meta' box. Item ids are not keys: every lookup takes
// the first location with the id. Offsets, lengths and base offsets are kept below 2^32, the
// range every position of this library can address.
class ItemLocationBox : public FullBox
{
public:
    ItemLocationBox();
    ~ItemLocationBox() override = default;

    std::uint8_t getOffsetSize() const { return mOffsetSize; }
    std::uint8_t getLengthSize() const { return mLengthSize; }
    std::uint8_t getBaseOffsetSize() const { return mBaseOffsetSize; }
    std::uint8_t getIndexSize() const { return mIndexSize; }
    /// Sizes are in bytes, 0 to 8; larger sizes throw std::runtime_error.
    void setOffsetSize(std::uint8_t size);
    void setLengthSize(std::uint8_t size);
    void setBaseOffsetSize(std::uint8_t size);
    void setIndexSize(std::uint8_t size);

    /// Appends a copy; a construction method other than file offset lifts version 0 to 1.
    void addLocation(const ItemLocation& location);
    /// Appends to the first location with that id; throws std::runtime_error when there is none.
    void addExtent(std::uint32_t itemId, const ItemLocationExtent& extent);
    /// Throws std::runtime_error when no location has the id.
    const ItemLocation& getItemLocationForID(std::uint32_t itemId) const;
    const std::vector<ItemLocation>& getItemLocations() const { return mItemLocations; }
    std::uint32_t getItemCount() const { return static_cast<std::uint32_t>(mItemLocations.size()); }
    bool hasItemIdEntry(std::uint32_t itemId) const;
    /// False when no location has the id.
    bool setItemDataReferenceIndex(std::uint32_t itemId, std::uint16_t index);

    /// Picks the smallest version that can hold what the box carries (ids or a count above
    /// 16 bits need version 2) and refuses values that do not fit their fields.
    void writeBox(BitStream& bitstr) override;
    void parseBox(BitStream& bitstr) override;

private:
    /// The first location with the id, found through the index; null when there is none.
    const ItemLocation* findLocation(std::uint32_t itemId) const;
    ItemLocation* findLocation(std::uint32_t itemId);

    std::uint8_t mOffsetSize = 4;
    std::uint8_t mLengthSize = 4;
    std::uint8_t mBaseOffsetSize = 4;
    std::uint8_t mIndexSize = 0;
    std::vector<ItemLocation> mItemLocations;
    std::unordered_map<std::uint32_t, std::size_t> mFirstLocation;  // item id to its first location
};
