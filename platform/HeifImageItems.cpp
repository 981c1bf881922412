#include "HeifImageItems.h"

#include "BitStream.h"
#include "HevcImageFileReader.h"

#include <stdexcept>

namespace pravix
{
namespace
{

// The bytes of the file's first root 'meta' box (empty when there is none), after checking that every
// root box lies inside the file. The reader steps over media data without reading it, so a file cut
// short inside its media data opens; such a file is damaged and refused whole, even where the bytes of
// the primary picture happen to be all there.
BitStream rootMetaBox(const std::vector<uint8_t>& bytes)
{
    if (bytes.size() > 0xFFFFFFFFu)
    {
        throw HeifFormatError("file of 4 GiB or more");
    }
    BitStream root(bytes);
    BitStream meta;
    bool found = false;
    while (root.numBytesLeft() > 0)
    {
        FourCCInt type;
        try
        {
            BitStream box = root.readChildBox(type);
            if (type == FourCCInt("meta") && !found)
            {
                meta = std::move(box);
                found = true;
            }
        }
        catch (const std::out_of_range&)
        {
            throw HeifFormatError("a box runs past the end of the file");
        }
    }
    return meta;
}

}  // namespace

HeifImageItems::HeifImageItems(const std::vector<uint8_t>& bytes)
    : mStream(std::string(bytes.begin(), bytes.end())), mReader(std::make_unique<HevcImageFileReader>())
{
    mReader->initialize(&mStream);
    const auto& meta = mReader->getFileInformation().rootMetaBoxInformation;
    mContext = meta.contextId;
    bool found = false;
    for (const auto& [id, features] : meta.imageFeaturesMap)
    {
        if (features.count(ImageFileReaderInterface::ImageFeature::IsPrimaryImage) != 0)
        {
            mPrimary = id;
            found = true;
            break;
        }
    }
    if (!found)
    {
        throw HeifFormatError("no primary image");
    }
    mColours = std::make_unique<ItemColours>(rootMetaBox(bytes));
}

HeifImageItems::~HeifImageItems() = default;

std::string HeifImageItems::itemType(uint32_t id) const
{
    // The reader names coded images by their role ("master", "hidden"...); their coding is asked apart.
    const std::string coding = mReader->getDecoderCodeType(mContext, id);
    if (coding == "hvc1" || coding == "avc1" || coding == "lhv1")
    {
        return coding;
    }
    return mReader->getItemType(mContext, id);
}

std::optional<PictureSize> HeifImageItems::spatialExtent(uint32_t id) const
{
    for (const auto& p : mReader->getItemProperties(mContext, id))
    {
        if (p.type == ImageFileReaderInterface::ItemPropertyType::ISPE)
        {
            return PictureSize{mReader->getWidth(mContext, id), mReader->getHeight(mContext, id)};
        }
    }
    return std::nullopt;
}

GridLayout HeifImageItems::grid(uint32_t id) const
{
    const auto g = mReader->getItemGrid(mContext, id);
    GridLayout layout;
    layout.rows = g.rowsMinusOne + 1u;
    layout.columns = g.columnsMinusOne + 1u;
    layout.width = g.outputWidth;
    layout.height = g.outputHeight;
    layout.tiles = g.itemIds;
    return layout;
}

std::vector<uint8_t> HeifImageItems::byteStream(uint32_t id) const
{
    std::vector<uint8_t> data;
    mReader->getItemDataWithDecoderParameters(mContext, id, data);
    return data;
}

std::vector<ItemTransform> HeifImageItems::transforms(uint32_t id) const
{
    using Type = ImageFileReaderInterface::ItemPropertyType;
    std::vector<ItemTransform> out;
    for (const auto& p : mReader->getItemProperties(mContext, id))
    {
        ItemTransform t;
        if (p.type == Type::IROT)
        {
            t.kind = ItemTransform::Kind::Rotation;
            t.quarterTurns = (mReader->getPropertyIrot(mContext, p.index).rotation / 90) % 4;
        }
        else if (p.type == Type::IMIR)
        {
            t.kind = ItemTransform::Kind::Mirror;
            t.axis = mReader->getPropertyImir(mContext, p.index).horizontalAxis ? 1 : 0;
        }
        else if (p.type == Type::CLAP)
        {
            const auto clap = mReader->getPropertyClap(mContext, p.index);
            t.kind = ItemTransform::Kind::CleanAperture;
            const ImageFileReaderInterface::Fraction* f[4] = {&clap.width, &clap.height, &clap.horizontalOffset,
                                                              &clap.verticalOffset};
            for (int i = 0; i < 4; ++i)
            {
                // Offsets are signed in the box.
                t.numerators[i] = i < 2 ? static_cast<int64_t>(f[i]->numerator)
                                        : static_cast<int64_t>(static_cast<int32_t>(f[i]->numerator));
                t.denominators[i] = f[i]->denominator;
            }
        }
        else
        {
            continue;
        }
        out.push_back(t);
    }
    return out;
}

void HeifImageItems::readColour(uint32_t id, ItemColour& colour) const
{
    mColours->addTo(id, colour);
}

}  // namespace pravix
