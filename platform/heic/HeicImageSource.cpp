#include "HeicImageSource.h"

#include "FileReadBuffer.h"
#include "GridDecoder.h"
#include "HevcImageFileReader.h"
#include "HeifImageItems.h"
#include "HevcDecoder.h"
#include "ImageOps.h"
#include "ParallelFor.h"
#include "CodedPicture.h"
#include "DecodeSizeLimits.h"
#include "PictureTarget.h"

#include <algorithm>
#include <cmath>

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

// Rows of a single picture converted to RGB at a time; a multiple of every chroma row spacing.
constexpr uint32_t kBandRows = 64;

// Decodes a single coded picture into the target: converted to RGB in bands on all cores, each band
// turned into its place or, when the target reduces the picture, handed on in order.
void decodeSingle(const HeifImageItems& items, uint32_t id, const ItemColour& colour, PictureTarget& target)
{
    const std::optional<Size> extent = items.spatialExtent(id);
    if (!extent)
    {
        throw PictureDecodeError("image without spatial extent");
    }
    checkDecodableSize(extent->width, extent->height);
    FramePtr frame;
    {
        const std::vector<uint8_t> stream = items.byteStream(id);
        // As many slice threads on every machine, however many cores it has: a damaged picture decoded
        // by one thread can come out otherwise than by several, and the same file must give the same
        // result everywhere. Only a caller that limited the threads gets fewer.
        const unsigned limit = workerLimit();
        HevcDecoder decoder(
            static_cast<int>(limit == 0 ? kMaxSliceThreads : std::min<unsigned>(kMaxSliceThreads, limit)));
        frame = decodeCodedPicture(decoder, stream, *extent);
    }
    const ColourInfo info = colour.hasNclx ? colour.nclx : colourOfFrame(frame.get());
    const uint32_t width = extent->width;
    const uint32_t height = extent->height;
    const uint32_t bands = (height + kBandRows - 1) / kBandRows;
    // Converts bands [begin, end) into `into` (band `begin` at its first row), or each band into a
    // scratch band and on into its place when `into` is null.
    auto convertBands = [&](size_t begin, size_t end, uint8_t* into, size_t intoStride)
    {
        SwsContext* sws = nullptr;
        Bitmap scratch;
        try
        {
            for (size_t b = begin; b < end; ++b)
            {
                const uint32_t y = static_cast<uint32_t>(b) * kBandRows;
                const uint32_t rows = std::min(kBandRows, height - y);
                uint8_t* dst = into != nullptr ? into + (b - begin) * kBandRows * intoStride : nullptr;
                size_t stride = intoStride;
                if (dst == nullptr)
                {
                    if ((scratch.width != width || scratch.height != rows) && !scratch.allocate(width, rows, 3))
                    {
                        throw PictureDecodeError("picture too large");
                    }
                    dst = scratch.pixels.data();
                    stride = scratch.stride();
                }
                if (!convertFrameRowsToRgb(frame.get(), info, y, width, rows, dst, stride, 3, &sws))
                {
                    throw PictureDecodeError("unsupported picture format");
                }
                if (into == nullptr)
                {
                    target.place(0, y, width, rows, dst, stride);
                }
            }
        }
        catch (...)
        {
            sws_freeContext(sws);
            throw;
        }
        sws_freeContext(sws);
    };
    if (!target.reduces())
    {
        size_t stride = 0;
        uint8_t* direct = target.directRect(0, 0, width, height, stride);
        parallelFor(bands, 4,
                    [&](size_t begin, size_t end)
                    {
                        convertBands(begin, end, direct != nullptr ? direct + begin * kBandRows * stride : nullptr,
                                     stride);
                    });
        return;
    }
    // Reducing: groups of bands converted in parallel, then handed on in order.
    const uint32_t groupBands = std::max(1u, workerCount() * 2);
    Bitmap group;
    if (!group.allocate(width, std::min(height, groupBands * kBandRows), 3))
    {
        throw PictureDecodeError("picture too large");
    }
    for (uint32_t first = 0; first < bands; first += groupBands)
    {
        const uint32_t last = std::min(bands, first + groupBands);
        parallelFor(last - first, 1,
                    [&](size_t begin, size_t end)
                    { convertBands(first + begin, first + end, group.row(static_cast<uint32_t>(begin) * kBandRows),
                                   group.stride()); });
        const uint32_t rows = std::min(height, last * kBandRows) - first * kBandRows;
        target.pushRows(rows, group.pixels.data(), group.stride());
    }
}

// Clean aperture as a rectangle of a width x height picture; damage (zero denominators, a window outside
// the picture) is an error rather than a guess.
PictureWindow cleanApertureWindow(uint32_t width, uint32_t height, const ItemTransform& clap)
{
    const uint32_t* d = clap.denominators;
    const int64_t* n = clap.numerators;
    if (d[0] == 0 || d[1] == 0 || d[2] == 0 || d[3] == 0)
    {
        throw PictureDecodeError("clean aperture with a zero denominator");
    }
    const double cw = static_cast<double>(n[0]) / d[0];
    const double ch = static_cast<double>(n[1]) / d[1];
    const double left = static_cast<double>(n[2]) / d[2] + (width - 1) / 2.0 - (cw - 1) / 2.0;
    const double top = static_cast<double>(n[3]) / d[3] + (height - 1) / 2.0 - (ch - 1) / 2.0;
    const double l = std::round(left);
    const double t = std::round(top);
    const double w = std::round(cw);
    const double h = std::round(ch);
    if (!(l >= 0 && t >= 0 && w >= 1 && h >= 1 && l + w <= width && t + h <= height))
    {
        throw PictureDecodeError("clean aperture outside the picture");
    }
    return PictureWindow{static_cast<uint32_t>(l), static_cast<uint32_t>(t), static_cast<uint32_t>(w),
                         static_cast<uint32_t>(h)};
}

Bitmap applyCleanAperture(const Bitmap& image, const ItemTransform& clap)
{
    const PictureWindow w = cleanApertureWindow(image.width, image.height, clap);
    std::optional<Bitmap> cropped = cropBitmap(image, w.x, w.y, w.width, w.height);
    if (!cropped)
    {
        throw PictureDecodeError("clean aperture outside the picture");
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

HeicImageSource::HeicImageSource(const std::function<std::unique_ptr<HeifImageItems>()>& open)
{
    try
    {
        mItems = open();
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

std::unique_ptr<HeicImageSource> HeicImageSource::createWithFile(const std::string& path, std::string* whyNot)
{
    // The file is read as its items are asked for, like the platform's image source does, rather than
    // held in memory whole. A file that cannot be opened gives no source at all.
    std::unique_ptr<FileReadBuffer> file = FileReadBuffer::open(path, whyNot);
    if (!file)
    {
        return nullptr;
    }
    return createWithStream(std::move(file));
}

std::unique_ptr<HeicImageSource> HeicImageSource::createWithStream(std::unique_ptr<std::streambuf> file)
{
    if (!file)
    {
        return nullptr;
    }
    std::unique_ptr<HeifImageItems> items;
    try
    {
        items = HeifImageItems::openStream(std::move(file));
    }
    catch (const std::exception& e)
    {
        const std::string reason = e.what();
        return std::unique_ptr<HeicImageSource>(
            new HeicImageSource([&]() -> std::unique_ptr<HeifImageItems> { throw PictureDecodeError(reason); }));
    }
    return std::unique_ptr<HeicImageSource>(new HeicImageSource([&] { return std::move(items); }));
}

const ImageFileReaderInterface* HeicImageSource::reader() const
{
    return mItems ? &mItems->reader() : nullptr;
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

std::optional<Bitmap> HeicImageSource::decodePrimary(bool applyTransforms, uint32_t maxPixelSize) const
{
    if (!mItems)
    {
        return std::nullopt;
    }
    // A picture that failed to decode fails again without being decoded again.
    if (mDecodeFailed)
    {
        return std::nullopt;
    }
    try
    {
        ++mDecodeCount;
        Bitmap image = decodeUpright(applyTransforms, maxPixelSize);
        const uint32_t id = mItems->primaryItemId();
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
        image.iccProfile = std::move(colour.icc);
        return image;
    }
    catch (const std::exception& e)
    {
        mError = e.what();
        mDecodeFailed = true;
        return std::nullopt;
    }
}

Bitmap HeicImageSource::decodeUpright(bool applyTransforms, uint32_t maxPixelSize) const
{
    const uint32_t id = mItems->primaryItemId();
    ItemColour colour;
    mItems->readColour(id, colour);
    std::unique_ptr<GridDecoder> grid;
    Size canvas;
    if (mItems->itemType(id) == "grid")
    {
        grid = std::make_unique<GridDecoder>(*mItems, id, colour);
        canvas = Size{grid->width(), grid->height()};
    }
    else
    {
        const std::optional<Size> extent = mItems->spatialExtent(id);
        if (!extent)
        {
            throw PictureDecodeError("image without spatial extent");
        }
        checkDecodableSize(extent->width, extent->height);
        canvas = *extent;
    }
    auto decodeInto = [&](PictureTarget& target)
    {
        if (grid)
        {
            grid->decodeInto(target);
        }
        else
        {
            decodeSingle(*mItems, id, colour, target);
        }
    };

    // Transforms in association order; without them only the clean aperture applies. A clean aperture
    // that comes first, and any turns after it, are done while the picture is drawn.
    const std::vector<ItemTransform> transforms = mItems->transforms(id);
    PictureWindow window{0, 0, canvas.width, canvas.height};
    uint32_t orientation = 1;
    bool whileDrawn = true;
    bool cropped = false;
    bool turned = false;
    for (const ItemTransform& t : transforms)
    {
        if (t.kind == ItemTransform::Kind::CleanAperture)
        {
            whileDrawn = whileDrawn && !cropped && !turned;
            cropped = true;
            if (whileDrawn)
            {
                window = cleanApertureWindow(canvas.width, canvas.height, t);
            }
        }
        else if (applyTransforms)
        {
            turned = true;
            orientation = composeOrientations(orientation, orientationOfTransform(t));
        }
    }
    if (whileDrawn)
    {
        const bool swap = orientation >= 5 && orientation <= 8;
        const auto [w, h] =
            reducedToLongerSide(swap ? window.height : window.width, swap ? window.width : window.height, maxPixelSize);
        PictureTarget target(canvas.width, canvas.height, window, orientation, w, h);
        decodeInto(target);
        return target.take();
    }
    // A clean aperture after a turn, or more than one: the whole picture, then each transform in turn.
    PictureTarget whole(canvas.width, canvas.height, PictureWindow{0, 0, canvas.width, canvas.height}, 1,
                        canvas.width, canvas.height);
    decodeInto(whole);
    Bitmap image = whole.take();
    for (const ItemTransform& t : transforms)
    {
        if (t.kind == ItemTransform::Kind::CleanAperture)
        {
            image = applyCleanAperture(image, t);
        }
        else if (applyTransforms)
        {
            image = applyOrientation(image, orientationOfTransform(t));
        }
    }
    const auto [w, h] = reducedToLongerSide(image.width, image.height, maxPixelSize);
    if (w == image.width && h == image.height)
    {
        return image;
    }
    PictureTarget reduced(image.width, image.height, PictureWindow{0, 0, image.width, image.height}, 1, w, h);
    reduced.pushRows(image.height, image.pixels.data(), image.stride());
    return reduced.take();
}

std::optional<Bitmap> HeicImageSource::imageAtIndex(size_t index) const
{
    if (index != 0)
    {
        return std::nullopt;
    }
    return decodePrimary(false, 0);
}

std::optional<Bitmap> HeicImageSource::thumbnailAtIndex(size_t index, const ThumbnailOptions& options) const
{
    if (index != 0)
    {
        return std::nullopt;
    }
    return decodePrimary(options.createWithTransform, options.maxPixelSize);
}

}  // namespace pravix
