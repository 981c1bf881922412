#include "HeicImageSource.h"

#include "HeifImageItems.h"
#include "HevcDecoder.h"
#include "ImageOps.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <mutex>
#include <thread>

extern "C"
{
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

namespace pravix
{
namespace
{

using Size = PictureSize;

void checkDecodableSize(uint64_t w, uint64_t h)
{
    if (w == 0 || h == 0 || w > kMaxDecodeSide || h > kMaxDecodeSide || w * h > kMaxBitmapPixels)
    {
        throw HeifFormatError("picture size " + std::to_string(w) + "x" + std::to_string(h) + " outside the limits");
    }
}

// The frame must be the size the container promised; anything else is a damaged or mismatched stream.
void checkFrame(const AVFrame* frame, const Size& expected)
{
    if (static_cast<uint32_t>(frame->width) != expected.width ||
        static_cast<uint32_t>(frame->height) != expected.height)
    {
        throw HeifFormatError("decoded picture is " + std::to_string(frame->width) + "x" +
                              std::to_string(frame->height) + ", expected " + std::to_string(expected.width) + "x" +
                              std::to_string(expected.height));
    }
}

int hardwareThreads()
{
    const unsigned n = std::thread::hardware_concurrency();
    return n == 0 ? 1 : static_cast<int>(n);
}

uint64_t decoderPixelLimit(const Size& s)
{
    // Coded pictures are padded to whole coding blocks beyond their visible size.
    return (static_cast<uint64_t>(s.width) + 64) * (s.height + 64);
}

Bitmap decodeSingle(const HeifImageItems& items, uint32_t id, const ItemColour& colour)
{
    const std::optional<Size> extent = items.spatialExtent(id);
    if (!extent)
    {
        throw HeifFormatError("image without spatial extent");
    }
    checkDecodableSize(extent->width, extent->height);
    const std::vector<uint8_t> stream = items.byteStream(id);
    HevcDecoder decoder(hardwareThreads());
    std::string error;
    FramePtr frame = decoder.decode(stream.data(), stream.size(), decoderPixelLimit(*extent), error);
    if (!frame)
    {
        throw HeifFormatError(error);
    }
    checkFrame(frame.get(), *extent);
    Bitmap out;
    if (!out.allocate(extent->width, extent->height, 3))
    {
        throw HeifFormatError("picture too large");
    }
    SwsContext* sws = nullptr;
    const bool ok = convertFrameToRgb(frame.get(), colour.hasNclx ? colour.nclx : colourOfFrame(frame.get()), out.width,
                                      out.height, out.pixels.data(), out.stride(), 3, &sws);
    sws_freeContext(sws);
    if (!ok)
    {
        throw HeifFormatError("unsupported picture format");
    }
    return out;
}

// Where the top-left corner of a w x h rectangle at (x, y) of a W x H picture lands once the picture is
// redrawn for an orientation value.
std::pair<uint32_t, uint32_t> orientedOrigin(uint32_t orientation, uint32_t x, uint32_t y, uint32_t w, uint32_t h,
                                             uint32_t W, uint32_t H)
{
    switch (orientation)
    {
    case 2:
        return {W - x - w, y};
    case 3:
        return {W - x - w, H - y - h};
    case 4:
        return {x, H - y - h};
    case 5:
        return {y, x};
    case 6:
        return {H - y - h, x};
    case 7:
        return {H - y - h, W - x - w};
    case 8:
        return {y, W - x - w};
    default:
        return {x, y};
    }
}

// Decodes a grid straight into its upright picture: each worker converts a tile to RGB and, for a
// rotated or mirrored picture, redraws that tile while it is still in the cache and puts it in its
// turned place, so the full picture is never copied.
Bitmap decodeGrid(const HeifImageItems& items, uint32_t id, const ItemColour& colour, uint32_t orientation)
{
    const GridLayout grid = items.grid(id);
    checkDecodableSize(grid.width, grid.height);
    const std::vector<uint32_t>& tiles = grid.tiles;
    if (tiles.size() != static_cast<size_t>(grid.rows) * grid.columns)
    {
        throw HeifFormatError("grid has " + std::to_string(tiles.size()) + " tiles for " + std::to_string(grid.rows) +
                              "x" + std::to_string(grid.columns));
    }
    std::optional<Size> tileSize;
    for (uint32_t tile : tiles)
    {
        if (items.itemType(tile) != "hvc1")
        {
            throw HeifFormatError("grid tile is not an HEVC image");
        }
        const std::optional<Size> s = items.spatialExtent(tile);
        if (!s || (tileSize && (s->width != tileSize->width || s->height != tileSize->height)))
        {
            throw HeifFormatError("grid tiles differ in size");
        }
        tileSize = s;
    }
    checkDecodableSize(tileSize->width, tileSize->height);
    // The tiles must cover the output, and no row or column of them may lie wholly outside it.
    const uint64_t coveredW = static_cast<uint64_t>(tileSize->width) * grid.columns;
    const uint64_t coveredH = static_cast<uint64_t>(tileSize->height) * grid.rows;
    if (coveredW < grid.width || coveredH < grid.height || coveredW - tileSize->width >= grid.width ||
        coveredH - tileSize->height >= grid.height)
    {
        throw HeifFormatError("grid tiles do not match the grid's size");
    }
    ItemColour tileColour = colour;
    if (!tileColour.hasNclx)
    {
        items.readColour(tiles.front(), tileColour);
    }
    // The reader reads from one stream: the tiles' coded data are fetched here, decoded in parallel below.
    std::vector<std::vector<uint8_t>> streams;
    streams.reserve(tiles.size());
    for (uint32_t tile : tiles)
    {
        streams.push_back(items.byteStream(tile));
    }

    const bool turned = orientation >= 2 && orientation <= 8;
    const bool swap = orientation >= 5 && orientation <= 8;
    Bitmap out;
    if (!out.allocate(swap ? grid.height : grid.width, swap ? grid.width : grid.height, 3))
    {
        throw HeifFormatError("picture too large");
    }
    std::atomic<size_t> next{0};
    std::atomic<bool> failed{false};
    std::mutex errorLock;
    std::string firstError;
    auto worker = [&]()
    {
        HevcDecoder decoder(1);
        SwsContext* sws = nullptr;
        Bitmap tile;
        while (!failed)
        {
            const size_t index = next++;
            if (index >= tiles.size())
            {
                break;
            }
            try
            {
                const std::vector<uint8_t>& stream = streams[index];
                std::string error;
                FramePtr frame = decoder.decode(stream.data(), stream.size(), decoderPixelLimit(*tileSize), error);
                if (!frame)
                {
                    throw HeifFormatError(error);
                }
                checkFrame(frame.get(), *tileSize);
                const uint32_t x = static_cast<uint32_t>(index % grid.columns) * tileSize->width;
                const uint32_t y = static_cast<uint32_t>(index / grid.columns) * tileSize->height;
                const uint32_t w = std::min(tileSize->width, grid.width - x);
                const uint32_t h = std::min(tileSize->height, grid.height - y);
                const ColourInfo info = tileColour.hasNclx ? tileColour.nclx : colourOfFrame(frame.get());
                if (!turned)
                {
                    if (!convertFrameToRgb(frame.get(), info, w, h, out.row(y) + static_cast<size_t>(x) * 3,
                                           out.stride(), 3, &sws))
                    {
                        throw HeifFormatError("unsupported picture format");
                    }
                    continue;
                }
                if ((tile.width != w || tile.height != h) && !tile.allocate(w, h, 3))
                {
                    throw HeifFormatError("tile too large");
                }
                if (!convertFrameToRgb(frame.get(), info, w, h, tile.pixels.data(), tile.stride(), 3, &sws))
                {
                    throw HeifFormatError("unsupported picture format");
                }
                const Bitmap upright = applyOrientation(tile, orientation);
                const auto [ox, oy] = orientedOrigin(orientation, x, y, w, h, grid.width, grid.height);
                for (uint32_t r = 0; r < upright.height; ++r)
                {
                    std::memcpy(out.row(oy + r) + static_cast<size_t>(ox) * 3, upright.row(r), upright.stride());
                }
            }
            catch (const std::exception& e)
            {
                std::lock_guard<std::mutex> lock(errorLock);
                if (!failed.exchange(true))
                {
                    firstError = e.what();
                }
            }
        }
        sws_freeContext(sws);
    };
    const size_t workers = std::min<size_t>(tiles.size(), static_cast<size_t>(hardwareThreads()));
    std::vector<std::thread> threads;
    for (size_t i = 1; i < workers; ++i)
    {
        threads.emplace_back(worker);
    }
    worker();
    for (std::thread& t : threads)
    {
        t.join();
    }
    if (failed)
    {
        throw HeifFormatError("grid tile: " + firstError);
    }
    return out;
}

// Clean aperture as a rectangle of the picture; damage (zero denominators, a window outside the
// picture) is an error rather than a guess.
Bitmap applyCleanAperture(const Bitmap& image, const ItemTransform& clap)
{
    const uint32_t* d = clap.denominators;
    const int64_t* n = clap.numerators;
    if (d[0] == 0 || d[1] == 0 || d[2] == 0 || d[3] == 0)
    {
        throw HeifFormatError("clean aperture with a zero denominator");
    }
    const double cw = static_cast<double>(n[0]) / d[0];
    const double ch = static_cast<double>(n[1]) / d[1];
    const double left = static_cast<double>(n[2]) / d[2] + (image.width - 1) / 2.0 - (cw - 1) / 2.0;
    const double top = static_cast<double>(n[3]) / d[3] + (image.height - 1) / 2.0 - (ch - 1) / 2.0;
    const double l = std::round(left);
    const double t = std::round(top);
    const double w = std::round(cw);
    const double h = std::round(ch);
    if (!(l >= 0 && t >= 0 && w >= 1 && h >= 1 && l + w <= image.width && t + h <= image.height))
    {
        throw HeifFormatError("clean aperture outside the picture");
    }
    std::optional<Bitmap> cropped = cropBitmap(image, static_cast<uint32_t>(l), static_cast<uint32_t>(t),
                                               static_cast<uint32_t>(w), static_cast<uint32_t>(h));
    if (!cropped)
    {
        throw HeifFormatError("clean aperture outside the picture");
    }
    return std::move(*cropped);
}

uint32_t orientationOfTransform(const ItemTransform& t)
{
    if (t.kind == ItemTransform::Kind::Rotation)
    {
        return orientationForRotation(t.quarterTurns);
    }
    // imir: 0 exchanges top and bottom, 1 left and right (as the phone makers and common decoders read it).
    return t.axis == 0 ? 4 : 2;
}

}  // namespace

HeicImageSource::HeicImageSource(std::shared_ptr<const std::vector<uint8_t>> data) : mData(std::move(data))
{
    try
    {
        mItems = std::make_unique<HeifImageItems>(*mData);
        const std::string type = mItems->itemType(mItems->primaryItemId());
        if (type != "hvc1" && type != "grid")
        {
            mError = "primary item is not an HEVC image or grid";
            mItems.reset();
        }
    }
    catch (const std::exception& e)
    {
        mError = e.what();
        mItems.reset();
    }
}

HeicImageSource::~HeicImageSource() = default;

std::unique_ptr<HeicImageSource> HeicImageSource::createWithFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
    {
        return nullptr;
    }
    auto bytes =
        std::make_shared<std::vector<uint8_t>>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
    {
        return nullptr;
    }
    return createWithData(std::move(bytes));
}

std::unique_ptr<HeicImageSource> HeicImageSource::createWithData(std::shared_ptr<const std::vector<uint8_t>> data)
{
    if (!data)
    {
        return nullptr;
    }
    return std::unique_ptr<HeicImageSource>(new HeicImageSource(std::move(data)));
}

size_t HeicImageSource::count() const
{
    return mItems ? 1 : 0;
}

std::optional<ImageProperties> HeicImageSource::propertiesAtIndex(size_t index) const
{
    if (index != 0 || !mItems)
    {
        return std::nullopt;
    }
    try
    {
        const uint32_t id = mItems->primaryItemId();
        ImageProperties props;
        std::optional<Size> size = mItems->spatialExtent(id);
        if (!size && mItems->itemType(id) == "grid")
        {
            const GridLayout g = mItems->grid(id);
            size = Size{g.width, g.height};
        }
        if (size)
        {
            props.pixelWidth = size->width;
            props.pixelHeight = size->height;
        }
        for (const ItemTransform& t : mItems->transforms(id))
        {
            if (t.kind != ItemTransform::Kind::CleanAperture)
            {
                props.orientation = composeOrientations(props.orientation, orientationOfTransform(t));
            }
            else if (t.denominators[0] != 0 && t.denominators[1] != 0)
            {
                props.pixelWidth = static_cast<uint32_t>(std::lround(double(t.numerators[0]) / t.denominators[0]));
                props.pixelHeight = static_cast<uint32_t>(std::lround(double(t.numerators[1]) / t.denominators[1]));
            }
        }
        if (props.orientation >= 5)
        {
            std::swap(props.pixelWidth, props.pixelHeight);
        }
        ItemColour colour;
        mItems->readColour(id, colour);
        if (colour.icc.empty() && mItems->itemType(id) == "grid")
        {
            const GridLayout g = mItems->grid(id);
            if (!g.tiles.empty())
            {
                mItems->readColour(g.tiles.front(), colour);
            }
        }
        props.hasIccProfile = !colour.icc.empty();
        return props;
    }
    catch (const std::exception& e)
    {
        mError = e.what();
        return std::nullopt;
    }
}

std::optional<Bitmap> HeicImageSource::decodePrimary(bool applyTransforms) const
{
    if (!mItems)
    {
        return std::nullopt;
    }
    try
    {
        const uint32_t id = mItems->primaryItemId();
        ItemColour colour;
        mItems->readColour(id, colour);
        const bool isGrid = mItems->itemType(id) == "grid";
        const std::vector<ItemTransform> transforms = mItems->transforms(id);
        // Without a clean aperture, a grid's rotation and mirroring are done while its tiles are placed.
        bool hasClap = false;
        uint32_t orientation = 1;
        for (const ItemTransform& t : transforms)
        {
            if (t.kind == ItemTransform::Kind::CleanAperture)
            {
                hasClap = true;
            }
            else
            {
                orientation = composeOrientations(orientation, orientationOfTransform(t));
            }
        }
        const bool fused = isGrid && applyTransforms && !hasClap;
        Bitmap image =
            isGrid ? decodeGrid(*mItems, id, colour, fused ? orientation : 1) : decodeSingle(*mItems, id, colour);
        // Transforms in association order; without them only the clean aperture applies.
        for (const ItemTransform& t : transforms)
        {
            if (t.kind == ItemTransform::Kind::CleanAperture)
            {
                image = applyCleanAperture(image, t);
            }
            else if (applyTransforms && !fused)
            {
                image = applyOrientation(image, orientationOfTransform(t));
            }
        }
        if (colour.icc.empty() && isGrid)
        {
            const GridLayout g = mItems->grid(id);
            if (!g.tiles.empty())
            {
                mItems->readColour(g.tiles.front(), colour);
            }
        }
        image.iccProfile = std::move(colour.icc);
        return image;
    }
    catch (const std::exception& e)
    {
        mError = e.what();
        return std::nullopt;
    }
}

std::optional<Bitmap> HeicImageSource::imageAtIndex(size_t index) const
{
    if (index != 0)
    {
        return std::nullopt;
    }
    return decodePrimary(false);
}

std::optional<Bitmap> HeicImageSource::thumbnailAtIndex(size_t index, const ThumbnailOptions& options) const
{
    if (index != 0)
    {
        return std::nullopt;
    }
    std::optional<Bitmap> image = decodePrimary(options.createWithTransform);
    if (!image || options.maxPixelSize == 0)
    {
        return image;
    }
    const uint32_t longer = std::max(image->width, image->height);
    if (longer <= options.maxPixelSize)
    {
        return image;
    }
    const double zoom = static_cast<double>(options.maxPixelSize) / longer;
    const uint32_t w = image->width >= image->height ? options.maxPixelSize : scaledSide(image->width, zoom);
    const uint32_t h = image->height > image->width ? options.maxPixelSize : scaledSide(image->height, zoom);
    std::optional<Bitmap> reduced = resizeBitmap(*image, w, h);
    if (!reduced)
    {
        mError = "could not reduce the picture";
    }
    return reduced;
}

}  // namespace pravix
