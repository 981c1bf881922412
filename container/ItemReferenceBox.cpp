#include "ItemReferenceBox.h"

#include <stdexcept>

ItemReferenceBox::ItemReferenceBox() : FullBox(FourCCInt("iref"), 0, 0) {}

void ItemReferenceBox::add(FourCCInt type, std::uint32_t fromId, std::uint32_t toId)
{
    const bool large = getVersion() != 0;
    if (!large && (fromId > 0xFFFF || toId > 0xFFFF))
    {
        throw std::runtime_error("ItemReferenceBox::add can not add large item IDs to box version 0");
    }
    for (auto& reference : mReferences)
    {
        if (reference.getType() == type && reference.getFromItemID() == fromId)
        {
            reference.addToItemID(toId);
            return;
        }
    }
    SingleItemTypeReferenceBox reference(large);
    reference.setReferenceType(type);
    reference.setFromItemID(fromId);
    reference.addToItemID(toId);
    mReferences.push_back(reference);
}

std::vector<SingleItemTypeReferenceBox> ItemReferenceBox::getReferencesOfType(FourCCInt type) const
{
    std::vector<SingleItemTypeReferenceBox> references;
    for (const auto& reference : mReferences)
    {
        if (reference.getType() == type)
        {
            references.push_back(reference);
        }
    }
    return references;
}

void ItemReferenceBox::writeBox(BitStream& bitstr)
{
    if (mReferences.empty())
    {
        return;
    }
    writeFullBoxHeader(bitstr);
    // The version decides the id width for every reference; one written in the
    // other width would be read back as different ids.
    for (auto& reference : mReferences)
    {
        reference.setLarge(getVersion() != 0);
        reference.writeBox(bitstr);
    }
    updateSize(bitstr);
}

void ItemReferenceBox::parseBox(BitStream& bitstr)
{
    parseFullBoxHeader(bitstr);
    const bool large = getVersion() != 0;
    // Every reference reads at least its header, so the loop ends with the data.
    while (bitstr.numBytesLeft() > 0)
    {
        SingleItemTypeReferenceBox reference(large);
        reference.parseBox(bitstr);
        mReferences.push_back(reference);
    }
}
