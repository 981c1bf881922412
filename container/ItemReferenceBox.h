#pragma once

#include <cstdint>
#include <vector>

#include "FullBox.h"
#include "SingleItemTypeReferenceBox.h"

// 'iref': typed references between items. Version 0 stores 16-bit item ids,
// version 1 32-bit.
class ItemReferenceBox : public FullBox
{
public:
    ItemReferenceBox();
    ~ItemReferenceBox() override = default;

    /// Appends toId to the reference of that type and from id, or starts a new
    /// one. Version 0 refuses ids of 0x10000 or more (std::runtime_error) and
    /// then adds nothing.
    void add(FourCCInt type, std::uint32_t fromId, std::uint32_t toId);
    /// Copies of the references of that type, in list order.
    std::vector<SingleItemTypeReferenceBox> getReferencesOfType(FourCCInt type) const;
    const std::vector<SingleItemTypeReferenceBox>& getReferences() const { return mReferences; }

    /// Writes nothing when there are no references. Each reference is written
    /// with the id width of the box's version.
    void writeBox(BitStream& bitstr) override;
    void parseBox(BitStream& bitstr) override;

private:
    std::vector<SingleItemTypeReferenceBox> mReferences;
};
