#pragma once

#include "HeifItems.h"
#include "HevcDecoder.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

class HevcImageFileReader;

namespace pravix
{

struct PictureSize
{
    uint32_t width = 0;
    uint32_t height = 0;
};

struct GridLayout
{
    uint32_t rows = 0;
    uint32_t columns = 0;
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint32_t> tiles;  // in 'dimg' order
};

// One of the transforms an image item carries, in association order.
struct ItemTransform
{
    enum class Kind
    {
        CleanAperture,
        Rotation,  // quarterTurns anticlockwise
        Mirror,    // axis: 0 exchanges top and bottom, 1 left and right
    };
    Kind kind = Kind::Rotation;
    uint32_t quarterTurns = 0;
    uint32_t axis = 0;
    // Clean aperture: width, height, horizontal and vertical offset as numerator / denominator.
    int64_t numerators[4] = {0, 0, 0, 0};
    uint32_t denominators[4] = {1, 1, 1, 1};
};

struct ItemColour
{
    std::vector<uint8_t> icc;
    bool hasNclx = false;
    ColourInfo nclx;
};

// The image items of a HEIF file as the decoder needs them, read through the project's HEIF reader
// (items, grids, properties, and the coded data joined with its decoder parameter sets). The colour
// box, which the reader does not keep, is read from the raw item table, which also checks every extent
// against the bytes that are there. Not thread-safe: the reader
// reads item data from one stream.
class HeifImageItems
{
public:
    // Throws (the reader's exception or HeifFormatError) when the file cannot be read as HEIF.
    explicit HeifImageItems(const std::vector<uint8_t>& bytes);
    ~HeifImageItems();

    uint32_t primaryItemId() const { return mPrimary; }
    // "hvc1" (or another coding) for coded images, else the item type ("grid", "Exif"...).
    std::string itemType(uint32_t id) const;
    std::optional<PictureSize> spatialExtent(uint32_t id) const;
    GridLayout grid(uint32_t id) const;
    std::vector<uint8_t> byteStream(uint32_t id) const;
    std::vector<ItemTransform> transforms(uint32_t id) const;
    void readColour(uint32_t id, ItemColour& colour) const;

private:
    std::istringstream mStream;
    std::unique_ptr<HevcImageFileReader> mReader;
    std::unique_ptr<HeifItems> mRaw;
    uint32_t mContext = 0;
    uint32_t mPrimary = 0;
};

}  // namespace pravix
