#include "ItemReferenceIndex.h"

#include <algorithm>

#include "ItemReferenceBox.h"

namespace
{
const std::vector<std::uint32_t>& none()
{
    static const std::vector<std::uint32_t> empty;
    return empty;
}
}  // namespace

ItemReferenceIndex::ItemReferenceIndex(const ItemReferenceBox& iref)
{
    for (const auto& reference : iref.getReferences())
    {
        const FourCCInt type = reference.getType();
        const std::vector<std::uint32_t> toIds = reference.getToItemIds();
        const Key from(type, reference.getFromItemID());
        auto& all = mFrom[from];
        all.insert(all.end(), toIds.begin(), toIds.end());
        mFirstFrom.emplace(from, toIds);

        // A reference naming an item several times still counts once for it.
        std::vector<std::uint32_t> named = toIds;
        std::sort(named.begin(), named.end());
        named.erase(std::unique(named.begin(), named.end()), named.end());
        for (const std::uint32_t to : named)
        {
            mTo[Key(type, to)].push_back(reference.getFromItemID());
        }
    }
}

const std::vector<std::uint32_t>& ItemReferenceIndex::from(FourCCInt type, std::uint32_t fromItemId) const
{
    const auto it = mFrom.find(Key(type, fromItemId));
    return it == mFrom.end() ? none() : it->second;
}

const std::vector<std::uint32_t>* ItemReferenceIndex::firstFrom(FourCCInt type, std::uint32_t fromItemId) const
{
    const auto it = mFirstFrom.find(Key(type, fromItemId));
    return it == mFirstFrom.end() ? nullptr : &it->second;
}

const std::vector<std::uint32_t>& ItemReferenceIndex::to(FourCCInt type, std::uint32_t toItemId) const
{
    const auto it = mTo.find(Key(type, toItemId));
    return it == mTo.end() ? none() : it->second;
}
