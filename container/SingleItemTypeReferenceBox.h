#pragma once

#include <cstdint>
#include <vector>

#include "Box.h"

// One reference of an 'iref' box: its box type is the reference type ('dimg',
// 'thmb', 'auxl', 'cdsc', ...), from one item to a list of items. Ids are
// 32-bit on file in large mode, else 16-bit.
class SingleItemTypeReferenceBox : public Box
{
public:
    explicit SingleItemTypeReferenceBox(bool isLarge = false);
    ~SingleItemTypeReferenceBox() override = default;

    void setReferenceType(FourCCInt referenceType) { setType(referenceType); }
    std::uint32_t getFromItemID() const { return mFromItemId; }
    void setFromItemID(std::uint32_t itemId) { mFromItemId = itemId; }
    void addToItemID(std::uint32_t itemId) { mToItemIds.push_back(itemId); }
    std::vector<std::uint32_t> getToItemIds() const { return mToItemIds; }
    /// The to item ids without a copy.
    const std::vector<std::uint32_t>& getToItemIdList() const { return mToItemIds; }
    void clearToItemIds() { mToItemIds.clear(); }
    bool isLarge() const { return mIsLarge; }
    void setLarge(bool isLarge) { mIsLarge = isLarge; }

    /// Refuses (std::runtime_error) ids that do not fit 16 bits in small mode and
    /// more than 65535 references.
    void writeBox(BitStream& bitstr) override;
    /// Reads its own header from the current position; the reference count is
    /// checked against the bytes left before any id is read.
    void parseBox(BitStream& bitstr) override;

private:
    std::uint32_t mFromItemId = 0;
    std::vector<std::uint32_t> mToItemIds;
    bool mIsLarge;
};
