#pragma once

#include "HevcDecoder.h"
#include "PictureDecodeError.h"

#include <cstdint>
#include <istream>
#include <memory>
#include <optional>
#include <streambuf>
#include <string>
#include <vector>

class HevcImageFileReader;

namespace pravix
{

// What an item's colour boxes ('colr') say: an ICC profile, and how its samples turn into RGB.
struct ItemColour
{
    std::vector<uint8_t> icc;
    bool hasNclx = false;
    ColourInfo nclx;
};

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

// The image items of a HEIF file as the decoder needs them, read through the project's HEIF reader's one
// parse of the file (items, grids, properties with the colour boxes, and the coded data joined with its
// decoder parameter sets; the reader checks every extent against the bytes that are there). Not
// thread-safe: the reader reads item data from one stream.
class HeifImageItems
{
public:
    // Throws (the reader's exception or PictureDecodeError) when the file cannot be read as HEIF. The bytes
    // are read where they are, not copied: they must outlive this object.
    explicit HeifImageItems(const std::vector<uint8_t>& bytes);
    explicit HeifImageItems(std::vector<uint8_t>&& bytes) = delete;
    // The file at path, read as items are asked for rather than held in memory; null when it cannot be
    // opened (why in `whyNot`). Throws as the constructor does.
    static std::unique_ptr<HeifImageItems> openFile(const std::string& path, std::string* whyNot = nullptr);
    // The same over a file already open (read from its start); throws as the constructor does.
    static std::unique_ptr<HeifImageItems> openStream(std::unique_ptr<std::streambuf> file);
    ~HeifImageItems();

    // The parse of the file, for whoever reads its other items (the Exif module); not thread-safe.
    const HevcImageFileReader& reader() const { return *mReader; }
    uint32_t primaryItemId() const { return mPrimary; }
    // "hvc1" (or another coding) for coded images, else the item type ("grid", "Exif"...).
    std::string itemType(uint32_t id) const;
    std::optional<PictureSize> spatialExtent(uint32_t id) const;
    GridLayout grid(uint32_t id) const;
    std::vector<uint8_t> byteStream(uint32_t id) const;
    std::vector<ItemTransform> transforms(uint32_t id) const;
    // Adds what the item's colour boxes say to `colour`, in association order: an ICC profile only while
    // `colour` has none, an nclx colour only while it has none. An item whose colour boxes cannot be
    // read has none.
    void readColour(uint32_t id, ItemColour& colour) const;

private:
    explicit HeifImageItems(std::unique_ptr<std::streambuf> file);

    std::unique_ptr<std::streambuf> mBuffer;
    std::istream mStream;
    std::unique_ptr<HevcImageFileReader> mReader;
    uint32_t mContext = 0;
    uint32_t mPrimary = 0;
};

}  // namespace pravix
