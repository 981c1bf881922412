#pragma once

#include <cstdint>
#include <vector>

#include "FourCCInt.h"

class ItemReferenceBox;

// The item references of one meta box ('iref') sorted by type and item, built once so that every
// look-up costs a search however many references the file holds. It points into the box, which
// must outlive it.
class ItemReferenceIndex
{
public:
    ItemReferenceIndex() = default;
    explicit ItemReferenceIndex(const ItemReferenceBox& iref);

    /// The items that references of the type go to from the item: the to-ids of every such
    /// reference, in reference order.
    std::vector<std::uint32_t> from(FourCCInt type, std::uint32_t fromItemId) const;
    /// The to-ids of the first reference of the type from the item; null when there is none.
    const std::vector<std::uint32_t>* firstFrom(FourCCInt type, std::uint32_t fromItemId) const;
    /// The items whose references of the type point at the item: each reference that names it
    /// gives its from-id once, in reference order.
    std::vector<std::uint32_t> to(FourCCInt type, std::uint32_t toItemId) const;

    bool hasFrom(FourCCInt type, std::uint32_t itemId) const;
    bool hasTo(FourCCInt type, std::uint32_t itemId) const;

private:
    /// (type, item) of a reference's from or to end, the other end, and the reference's position.
    struct End
    {
        std::uint32_t type = 0;
        std::uint32_t item = 0;
        std::uint32_t other = 0;
        std::uint32_t reference = 0;

        bool operator<(const End& rhs) const
        {
            return type != rhs.type ? type < rhs.type : item != rhs.item ? item < rhs.item : reference < rhs.reference;
        }
    };
    /// The entries of (type, item), in reference order.
    static std::pair<std::vector<End>::const_iterator, std::vector<End>::const_iterator>
    range(const std::vector<End>& ends, FourCCInt type, std::uint32_t item);

    const ItemReferenceBox* mIref = nullptr;
    std::vector<End> mFrom;  // one per reference
    std::vector<End> mTo;    // one per reference and item it names
};
