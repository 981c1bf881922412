#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "FullBox.h"

// 'ipma': which properties (1-based ipco indices) each item has, and which are essential.
class ItemPropertyAssociation : public FullBox
{
public:
    struct AssociationEntry
    {
        bool essential = false;
        std::uint16_t index = 0;
    };
    using AssociationEntries = std::vector<AssociationEntry>;

    ItemPropertyAssociation();
    ~ItemPropertyAssociation() override = default;

    /// Appends to the item's entries, creating its list on first use.
    void addEntry(std::uint32_t itemId, std::uint16_t index, bool essential);
    /// A copy of the item's entries; empty for an unknown item.
    AssociationEntries getAssociationEntries(std::uint32_t itemId) const;
    /// The item's entries without a copy; null for an unknown item.
    const AssociationEntries* findAssociationEntries(std::uint32_t itemId) const;
    const std::map<std::uint32_t, AssociationEntries>& getAssociations() const { return mAssociations; }

    /// Uses 32-bit item ids and 15-bit indices when the content needs them (or the box was
    /// read in that form). Refuses (std::runtime_error, nothing written) an item with more
    /// than 255 entries or an index above 32767, which no form can hold.
    void writeBox(BitStream& bitstr) override;
    /// The first list of an item listed twice wins.
    void parseBox(BitStream& bitstr) override;

private:
    std::map<std::uint32_t, AssociationEntries> mAssociations;
};
