#include "ItemPropertyAssociation.h"

#include <stdexcept>

ItemPropertyAssociation::ItemPropertyAssociation() : FullBox(FourCCInt("ipma"), 0, 0) {}

void ItemPropertyAssociation::addEntry(std::uint32_t itemId, std::uint16_t index, bool essential)
{
    mAssociations[itemId].push_back(AssociationEntry{essential, index});
}

ItemPropertyAssociation::AssociationEntries ItemPropertyAssociation::getAssociationEntries(std::uint32_t itemId) const
{
    const AssociationEntries* entries = findAssociationEntries(itemId);
    return entries == nullptr ? AssociationEntries() : *entries;
}

const ItemPropertyAssociation::AssociationEntries*
ItemPropertyAssociation::findAssociationEntries(std::uint32_t itemId) const
{
    const auto it = mAssociations.find(itemId);
    return it == mAssociations.end() ? nullptr : &it->second;
}

void ItemPropertyAssociation::writeBox(BitStream& bitstr)
{
    bool largeIds = getVersion() >= 1;
    bool largeIndices = (getFlags() & 1) != 0;
    for (const auto& item : mAssociations)
    {
        largeIds = largeIds || item.first > 0xFFFF;
        if (item.second.size() > 0xFF)
        {
            throw std::runtime_error("ItemPropertyAssociation::writeBox() more than 255 associations for item " +
                                     std::to_string(item.first));
        }
        for (const auto& entry : item.second)
        {
            if (entry.index > 0x7FFF)
            {
                throw std::runtime_error("ItemPropertyAssociation::writeBox() property index " +
                                         std::to_string(entry.index) + " does not fit 15 bits");
            }
            largeIndices = largeIndices || entry.index >= 0x80;
        }
    }
    setVersion(largeIds ? 1 : 0);
    setFlags(largeIndices ? (getFlags() | 1) : (getFlags() & ~1u));

    writeFullBoxHeader(bitstr);
    bitstr.writeU32(std::uint32_t(mAssociations.size()));
    for (const auto& item : mAssociations)
    {
        if (largeIds)
        {
            bitstr.writeU32(item.first);
        }
        else
        {
            bitstr.writeU16(std::uint16_t(item.first));
        }
        bitstr.writeU8(std::uint8_t(item.second.size()));
        for (const auto& entry : item.second)
        {
            bitstr.writeBits(entry.essential ? 1 : 0, 1);
            bitstr.writeBits(entry.index, largeIndices ? 15 : 7);
        }
    }
    updateSize(bitstr);
}

void ItemPropertyAssociation::parseBox(BitStream& bitstr)
{
    parseFullBoxHeader(bitstr);
    const bool largeIds = getVersion() != 0;
    const bool largeIndices = (getFlags() & 1) != 0;
    const std::uint32_t entryCount = bitstr.readU32();
    // Nothing is sized from the counts: each entry is read before it is stored.
    for (std::uint32_t i = 0; i < entryCount; ++i)
    {
        const std::uint32_t itemId = largeIds ? bitstr.readU32() : bitstr.readU16();
        const std::uint32_t associationCount = bitstr.readU8();
        AssociationEntries entries;
        for (std::uint32_t j = 0; j < associationCount; ++j)
        {
            AssociationEntry entry;
            entry.essential = bitstr.readFlag();
            entry.index = std::uint16_t(bitstr.readBits(largeIndices ? 15 : 7));
            entries.push_back(entry);
        }
        mAssociations.emplace(itemId, std::move(entries));
    }
}
