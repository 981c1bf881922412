#include "ItemColours.h"

#include "BitStream.h"
#include "ColourInformationBox.h"
#include "MetaBox.h"

#include <exception>

namespace pravix
{
namespace
{

// Moves past the header of a box read with readChildBox, by the container's own rules.
template <typename BoxT>
void skipHeader(BitStream& box)
{
    BoxT header;
    header.parseBoxHeader(box);
}

template <typename BoxT>
void skipFullHeader(BitStream& box)
{
    BoxT header;
    header.parseFullBoxHeader(box);
}

}  // namespace

ItemColours::ItemColours(const BitStream& metaBox)
{
    try
    {
        read(metaBox);
    }
    catch (const std::exception&)
    {
        mBoxes.clear();
        mItemBoxes.clear();
    }
}

ItemColours::~ItemColours() = default;

void ItemColours::read(BitStream metaBytes)
{
    MetaBox meta;
    meta.parseBox(metaBytes);

    // The property container keeps unknown properties as placeholders, so the colour boxes are taken
    // from its raw children, counted the way it counts them: the first child of every 'iprp'.
    std::vector<std::pair<FourCCInt, BitStream>> properties;
    metaBytes.reset();
    skipFullHeader<MetaBox>(metaBytes);
    while (metaBytes.numBytesLeft() > 0)
    {
        FourCCInt type;
        BitStream child = metaBytes.readChildBox(type);
        if (type != FourCCInt("iprp"))
        {
            continue;
        }
        skipHeader<ItemPropertiesBox>(child);
        FourCCInt containerType;
        BitStream container = child.readChildBox(containerType);
        skipHeader<ItemPropertyContainer>(container);
        while (container.numBytesLeft() > 0)
        {
            FourCCInt propertyType;
            BitStream property = container.readChildBox(propertyType);
            properties.emplace_back(propertyType, std::move(property));
        }
    }

    for (const auto& [itemId, entries] : meta.getItemPropertiesBox().getItemPropertyAssociation().getAssociations())
    {
        std::vector<uint32_t> indexes;
        for (const auto& entry : entries)
        {
            if (entry.index == 0)
            {
                continue;  // "no property"
            }
            if (entry.index > properties.size())
            {
                // An association that points nowhere: the item's colour is not trusted at all.
                indexes.clear();
                break;
            }
            auto& [type, bytes] = properties[entry.index - 1u];
            if (type != FourCCInt("colr"))
            {
                continue;
            }
            if (mBoxes.count(entry.index) == 0)
            {
                auto box = std::make_shared<ColourInformationBox>();
                try
                {
                    bytes.reset();  // a box that failed for another item is read from its start again
                    box->parseBox(bytes);
                }
                catch (const std::exception&)
                {
                    continue;
                }
                mBoxes.emplace(entry.index, std::move(box));
            }
            indexes.push_back(entry.index);
        }
        if (!indexes.empty())
        {
            mItemBoxes.emplace(itemId, std::move(indexes));
        }
    }
}

void ItemColours::addTo(uint32_t itemId, ItemColour& colour) const
{
    const auto item = mItemBoxes.find(itemId);
    if (item == mItemBoxes.end())
    {
        return;
    }
    for (uint32_t index : item->second)
    {
        const ColourInformationBox& box = *mBoxes.at(index);
        if (box.hasIccProfile() && colour.icc.empty())
        {
            colour.icc = box.getPayload();
        }
        else if (box.isNclx() && !colour.hasNclx)
        {
            colour.hasNclx = true;
            colour.nclx.matrixCoefficients = box.getMatrixCoefficients();
            colour.nclx.fullRange = box.getFullRangeFlag();
        }
    }
}

}  // namespace pravix
