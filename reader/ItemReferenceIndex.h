#pragma once

#include <cstdint>
#include <map>
#include <utility>
#include <vector>

#include "FourCCInt.h"

class ItemReferenceBox;

// The item references of one meta box ('iref') by type and item, built once so that every look-up
// costs the same however many references the file holds.
class ItemReferenceIndex
{
public:
    ItemReferenceIndex() = default;
    explicit ItemReferenceIndex(const ItemReferenceBox& iref);

    /// The items that references of the type go to from the item: the to-ids of every such
    /// reference, in reference order.
    const std::vector<std::uint32_t>& from(FourCCInt type, std::uint32_t fromItemId) const;
    /// The to-ids of the first reference of the type from the item; null when there is none.
    const std::vector<std::uint32_t>* firstFrom(FourCCInt type, std::uint32_t fromItemId) const;
    /// The items whose references of the type point at the item: each reference that names it
    /// gives its from-id once, in reference order.
    const std::vector<std::uint32_t>& to(FourCCInt type, std::uint32_t toItemId) const;

    bool hasFrom(FourCCInt type, std::uint32_t itemId) const { return mFrom.count({type, itemId}) != 0; }
    bool hasTo(FourCCInt type, std::uint32_t itemId) const { return mTo.count({type, itemId}) != 0; }

private:
    using Key = std::pair<FourCCInt, std::uint32_t>;

    std::map<Key, std::vector<std::uint32_t>> mFrom;
    std::map<Key, std::vector<std::uint32_t>> mFirstFrom;
    std::map<Key, std::vector<std::uint32_t>> mTo;
};
