#pragma once

#include <cstdint>
#include <vector>

#include "FullBox.h"

// One 'sinf' box kept whole, header included, uninterpreted.
struct ProtectionSchemeInfoBox
{
    std::vector<std::uint8_t> mData;
};

// 'ipro': the protection schemes that items' protection indexes (1-based) point
// into.
class ItemProtectionBox : public FullBox
{
public:
    ItemProtectionBox();
    ~ItemProtectionBox() override = default;

    /// Appends; returns the new entry's index. More than 65535 entries, which the
    /// count field cannot hold, throw std::runtime_error.
    std::uint16_t addProtectionSchemeInfoBox(const ProtectionSchemeInfoBox& box);
    /// An index past the end throws std::out_of_range "vector".
    const ProtectionSchemeInfoBox& getProtectionSchemeInfoBox(std::uint16_t index) const;
    std::uint16_t getCount() const { return static_cast<std::uint16_t>(mProtectionInformation.size()); }

    /// Writes nothing when there are no entries.
    void writeBox(BitStream& bitstr) override;
    void parseBox(BitStream& bitstr) override;

private:
    std::vector<ProtectionSchemeInfoBox> mProtectionInformation;
};
