#include "ItemReferenceIndex.h"

#include <algorithm>

#include "ItemReferenceBox.h"

ItemReferenceIndex::ItemReferenceIndex(const ItemReferenceBox& iref) : mIref(&iref)
{
    const auto& references = iref.getReferences();
    mFrom.reserve(references.size());
    for (std::uint32_t position = 0; position < references.size(); ++position)
    {
        const auto& reference = references[position];
        const std::uint32_t type = reference.getType().getUInt32();
        mFrom.push_back(End{type, reference.getFromItemID(), 0, position});

        // A reference naming an item several times still counts once for it.
        std::vector<std::uint32_t> named = reference.getToItemIdList();
        std::sort(named.begin(), named.end());
        named.erase(std::unique(named.begin(), named.end()), named.end());
        for (const std::uint32_t to : named)
        {
            mTo.push_back(End{type, to, reference.getFromItemID(), position});
        }
    }
    std::sort(mFrom.begin(), mFrom.end());
    std::sort(mTo.begin(), mTo.end());
}

std::pair<std::vector<ItemReferenceIndex::End>::const_iterator, std::vector<ItemReferenceIndex::End>::const_iterator>
ItemReferenceIndex::range(const std::vector<End>& ends, FourCCInt type, std::uint32_t item)
{
    const auto byItem = [](const End& lhs, const End& rhs)
    { return lhs.type != rhs.type ? lhs.type < rhs.type : lhs.item < rhs.item; };
    return std::equal_range(ends.begin(), ends.end(), End{type.getUInt32(), item, 0, 0}, byItem);
}

std::vector<std::uint32_t> ItemReferenceIndex::from(FourCCInt type, std::uint32_t fromItemId) const
{
    std::vector<std::uint32_t> ids;
    const auto found = range(mFrom, type, fromItemId);
    for (auto it = found.first; it != found.second; ++it)
    {
        const auto& to = mIref->getReferences()[it->reference].getToItemIdList();
        ids.insert(ids.end(), to.begin(), to.end());
    }
    return ids;
}

const std::vector<std::uint32_t>* ItemReferenceIndex::firstFrom(FourCCInt type, std::uint32_t fromItemId) const
{
    const auto found = range(mFrom, type, fromItemId);
    return found.first == found.second ? nullptr : &mIref->getReferences()[found.first->reference].getToItemIdList();
}

std::vector<std::uint32_t> ItemReferenceIndex::to(FourCCInt type, std::uint32_t toItemId) const
{
    std::vector<std::uint32_t> ids;
    const auto found = range(mTo, type, toItemId);
    for (auto it = found.first; it != found.second; ++it)
    {
        ids.push_back(it->other);
    }
    return ids;
}

bool ItemReferenceIndex::hasFrom(FourCCInt type, std::uint32_t itemId) const
{
    const auto found = range(mFrom, type, itemId);
    return found.first != found.second;
}

bool ItemReferenceIndex::hasTo(FourCCInt type, std::uint32_t itemId) const
{
    const auto found = range(mTo, type, itemId);
    return found.first != found.second;
}
