#pragma once

#include "HevcDecoder.h"

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

class BitStream;
class ColourInformationBox;

namespace pravix
{

struct ItemColour
{
    std::vector<uint8_t> icc;
    bool hasNclx = false;
    ColourInfo nclx;
};

// The colour boxes ('colr') of the items of a HEIF file's root meta box. The reader keeps colour boxes
// only as placeholders, so they are read here with the container's own boxes: the meta box gives each
// item's property associations, and the property container's raw children give the 'colr' boxes
// those point at.
class ItemColours
{
public:
    // From the bytes of the file's root 'meta' box, header included; empty for a file without one.
    // Never throws: a meta box whose colour boxes cannot be read has none, and a colour box that
    // cannot be parsed is passed over.
    explicit ItemColours(const BitStream& metaBox);
    ~ItemColours();

    // Adds what the item's colour boxes say to `colour`, in association order: an ICC profile only
    // while `colour` has none, an nclx colour only while it has none.
    void addTo(uint32_t itemId, ItemColour& colour) const;

private:
    void read(BitStream metaBytes);

    std::map<uint32_t, std::shared_ptr<const ColourInformationBox>> mBoxes;  // by 1-based property index
    std::map<uint32_t, std::vector<uint32_t>> mItemBoxes;                    // keys of mBoxes, per item
};

}  // namespace pravix
