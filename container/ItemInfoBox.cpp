#include "ItemInfoBox.h"

#include <stdexcept>
#include <utility>

ItemInfoBox::ItemInfoBox() : ItemInfoBox(0) {}

ItemInfoBox::ItemInfoBox(std::uint8_t version) : FullBox(FourCCInt("iinf"), version, 0) {}

std::vector<std::uint32_t> ItemInfoBox::getItemIds() const
{
    std::vector<std::uint32_t> ids;
    ids.reserve(mItemInfoMap.size());
    for (const auto& entry : mItemInfoMap)
    {
        ids.push_back(entry.first);
    }
    return ids;
}

ItemInfoEntry ItemInfoBox::getItemById(std::uint32_t itemId) const
{
    const ItemInfoEntry* found = findItemById(itemId);
    if (found == nullptr)
    {
        throw std::runtime_error("Requested ItemInfoEntry not found.");
    }
    return *found;
}

const ItemInfoEntry* ItemInfoBox::findItemById(std::uint32_t itemId) const
{
    const auto found = mItemInfoMap.find(itemId);
    return found == mItemInfoMap.end() ? nullptr : &found->second;
}

void ItemInfoBox::addItemInfoEntry(const ItemInfoEntry& entry)
{
    mItemInfoMap.emplace(entry.getItemID(), entry);
}

void ItemInfoBox::addItemInfoEntry(ItemInfoEntry&& entry)
{
    const std::uint32_t itemId = entry.getItemID();
    if (mItemInfoMap.count(itemId) == 0)
    {
        mItemInfoMap.emplace(itemId, std::move(entry));
    }
}

std::vector<ItemInfoEntry> ItemInfoBox::getItemsByType(const std::string& itemType) const
{
    std::vector<ItemInfoEntry> entries;
    for (const auto& entry : mItemInfoMap)
    {
        if (entry.second.getItemType() == itemType)
        {
            entries.push_back(entry.second);
        }
    }
    return entries;
}

std::uint32_t ItemInfoBox::countItemsOfType(const std::string& itemType) const
{
    std::uint32_t count = 0;
    for (const auto& entry : mItemInfoMap)
    {
        if (entry.second.getItemType() == itemType)
        {
            ++count;
        }
    }
    return count;
}

std::optional<ItemInfoEntry> ItemInfoBox::getItemByTypeAndIndex(const std::string& itemType, std::uint32_t index) const
{
    std::uint32_t seen = 0;
    for (const auto& entry : mItemInfoMap)
    {
        if (entry.second.getItemType() == itemType)
        {
            if (seen == index)
            {
                return entry.second;
            }
            ++seen;
        }
    }
    return std::nullopt;
}

std::optional<std::pair<ItemInfoEntry, std::uint32_t>> ItemInfoBox::getIndexOfItemOfType(const std::string& itemType,
                                                                                         std::uint32_t itemId) const
{
    std::uint32_t index = 0;
    for (const auto& entry : mItemInfoMap)
    {
        if (entry.second.getItemType() == itemType)
        {
            if (entry.first == itemId)
            {
                return std::make_pair(entry.second, index);
            }
            ++index;
        }
    }
    return std::nullopt;
}

void ItemInfoBox::writeBox(BitStream& bitstr)
{
    if (getVersion() == 0 && mItemInfoMap.size() > 0xFFFF)
    {
        setVersion(1);
    }
    writeFullBoxHeader(bitstr);
    if (getVersion() == 0)
    {
        bitstr.writeU16(std::uint16_t(mItemInfoMap.size()));
    }
    else
    {
        bitstr.writeU32(getEntryCount());
    }
    for (auto& entry : mItemInfoMap)
    {
        entry.second.writeBox(bitstr);
    }
    updateSize(bitstr);
}

void ItemInfoBox::parseBox(BitStream& bitstr)
{
    parseFullBoxHeader(bitstr);
    const std::uint32_t entryCount = getVersion() == 0 ? bitstr.readU16() : bitstr.readU32();
    for (std::uint32_t i = 0; i < entryCount; ++i)
    {
        const std::uint32_t entryStart = bitstr.getPos();
        try
        {
            ItemInfoEntry entry;
            entry.parseBox(bitstr);
            addItemInfoEntry(std::move(entry));
        }
        catch (const std::out_of_range&)
        {
            // A failed entry leaves the stream at the end of the data, where every remaining
            // count would fail the same way; stopping here gives the same entries without
            // billions of rounds for a hostile count. A failure that consumed nothing would
            // repeat too.
            if (bitstr.numBytesLeft() == 0 || bitstr.getPos() == entryStart)
            {
                break;
            }
        }
    }
}
