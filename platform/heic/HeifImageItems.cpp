#include "HeifImageItems.h"

#include "ColourInformationBox.h"
#include "FileReadBuffer.h"
#include "HevcImageFileReader.h"
#include "MemoryReadBuffer.h"

#include <stdexcept>
#include <streambuf>

namespace pravix
{
namespace
{

// Checks that every root box lies inside the file. The reader steps over media data without reading it,
// so a file cut short inside its media data opens; such a file is damaged and refused whole, even where
// the bytes of the primary picture happen to be all there. Only the box headers are read.
void checkRootBoxes(std::streambuf& file)
{
    const auto end = file.pubseekoff(0, std::ios_base::end, std::ios_base::in);
    if (end < 0)
    {
        throw PictureDecodeError("file cannot be read");
    }
    const uint64_t fileSize = static_cast<uint64_t>(static_cast<std::streamoff>(end));
    if (fileSize > 0xFFFFFFFFu)
    {
        throw PictureDecodeError("file of 4 GiB or more");
    }
    auto read32 = [](const uint8_t* p)
    {
        return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
               static_cast<uint32_t>(p[2]) << 8 | p[3];
    };
    for (uint64_t at = 0; at < fileSize;)
    {
        const uint64_t left = fileSize - at;
        if (left < 8)
        {
            throw PictureDecodeError("a box runs past the end of the file");
        }
        uint8_t head[16];
        const std::streamsize want = left >= 16 ? 16 : 8;
        if (file.pubseekpos(static_cast<std::streamoff>(at), std::ios_base::in) < 0 ||
            file.sgetn(reinterpret_cast<char*>(head), want) != want)
        {
            throw PictureDecodeError("file cannot be read");
        }
        uint64_t size = read32(head);
        uint64_t header = 8;
        if (size == 1)
        {
            if (left < 16)
            {
                throw PictureDecodeError("a box runs past the end of the file");
            }
            size = static_cast<uint64_t>(read32(head + 8)) << 32 | read32(head + 12);
            header = 16;
        }
        else if (size == 0)
        {
            size = left;  // to the end of the file
        }
        if (size < header || size > left)
        {
            throw PictureDecodeError("a box runs past the end of the file");
        }
        at += size;
    }
    file.pubseekpos(0, std::ios_base::in);
}

}  // namespace

HeifImageItems::HeifImageItems(const std::vector<uint8_t>& bytes)
    : HeifImageItems(std::make_unique<MemoryReadBuffer>(bytes.data(), bytes.size()))
{
}

std::unique_ptr<HeifImageItems> HeifImageItems::openFile(const std::string& path, std::string* whyNot)
{
    std::unique_ptr<FileReadBuffer> file = FileReadBuffer::open(path, whyNot);
    if (!file)
    {
        return nullptr;
    }
    return openStream(std::move(file));
}

std::unique_ptr<HeifImageItems> HeifImageItems::openStream(std::unique_ptr<std::streambuf> file)
{
    if (!file)
    {
        return nullptr;
    }
    file->pubseekpos(0, std::ios_base::in);
    return std::unique_ptr<HeifImageItems>(new HeifImageItems(std::move(file)));
}

HeifImageItems::HeifImageItems(std::unique_ptr<std::streambuf> file)
    : mBuffer(std::move(file)), mStream(mBuffer.get()), mReader(std::make_unique<HevcImageFileReader>())
{
    // Box headers first: a damaged root box refuses the file before the reader reads anything.
    checkRootBoxes(*mBuffer);
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
        throw PictureDecodeError("no primary image");
    }
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
    std::vector<std::shared_ptr<const ColourInformationBox>> boxes;
    try
    {
        boxes = mReader->getItemColourProperties(mContext, id);
    }
    catch (const std::exception&)
    {
        return;  // an item the meta box does not list has no colour
    }
    for (const auto& box : boxes)
    {
        if (box->hasIccProfile() && colour.icc.empty())
        {
            colour.icc = box->getPayload();
        }
        else if (box->isNclx() && !colour.hasNclx)
        {
            colour.hasNclx = true;
            colour.nclx.matrixCoefficients = box->getMatrixCoefficients();
            colour.nclx.fullRange = box->getFullRangeFlag();
        }
    }
}

}  // namespace pravix
