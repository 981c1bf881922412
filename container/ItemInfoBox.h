#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "FullBox.h"
#include "ItemInfoEntry.h"

// 'iinf': the item information entries of a 'meta' box, ascending by item id. The first entry
// for an id wins; later ones with the same id are dropped.
class ItemInfoBox : public FullBox
{
public:
    ItemInfoBox();
    explicit ItemInfoBox(std::uint8_t version);
    ~ItemInfoBox() override = default;

    std::vector<std::uint32_t> getItemIds() const;
    /// Throws std::runtime_error when no entry has the id.
    ItemInfoEntry getItemById(std::uint32_t itemId) const;
    /// The entry with the id, without a copy; null when there is none.
    const ItemInfoEntry* findItemById(std::uint32_t itemId) const;
    void addItemInfoEntry(const ItemInfoEntry& entry);
    void addItemInfoEntry(ItemInfoEntry&& entry);
    std::vector<ItemInfoEntry> getItemsByType(const std::string& itemType) const;
    std::uint32_t countItemsOfType(const std::string& itemType) const;
    /// The index-th entry (0-based, by ascending id) of that type.
    std::optional<ItemInfoEntry> getItemByTypeAndIndex(const std::string& itemType, std::uint32_t index) const;
    /// The entry of that type and id, with its index among the entries of that type.
    std::optional<std::pair<ItemInfoEntry, std::uint32_t>> getIndexOfItemOfType(const std::string& itemType,
                                                                                std::uint32_t itemId) const;
    std::uint32_t getEntryCount() const { return static_cast<std::uint32_t>(mItemInfoMap.size()); }
    void clear() { mItemInfoMap.clear(); }

    /// Version 0 counts in 16 bits; more entries than that lift the box to version 1.
    void writeBox(BitStream& bitstr) override;
    /// An entry that runs off the end of the data is dropped and the entries before it stay.
    void parseBox(BitStream& bitstr) override;

private:
    std::map<std::uint32_t, ItemInfoEntry> mItemInfoMap;
};
