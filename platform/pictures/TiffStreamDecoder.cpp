// TIFF through libtiff, read from the file as it asks for it. Plain 8-bit RGB, grey and CMYK strips and
// bilevel strips are read a row at a time; everything else (palettes, 16-bit samples, YCbCr, tiles,
// separate planes) goes through libtiff's RGBA reader a strip or a row of tiles at a time. Only the
// first picture of the file is read. libtiff's messages go to this decoder (the first error is its
// reason), never to the standard streams, and no single allocation of its own may exceed the codec
// memory budget. The colour profile is read here, not by libtiff: libtiff would read a profile of any
// size whole (its allocation limit is one number for every allocation, honest strips of hundreds of
// megabytes included) and keep a copy of its own.
#include "DecodeSizeLimits.h"
#include "PictureStreamDecoder.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <tiffio.h>

namespace pravix
{
namespace
{

constexpr uint32_t kBandRows = 32;
// The RGBA reader works on RGB, grey, CMYK, YCbCr or Lab with a few extra samples; more samples a pixel
// than any of those uses only multiply the work.
constexpr uint16_t kMaxSamples = 8;
// Strips or tiles: each costs a codec restart whatever its size.
constexpr uint64_t kMaxStrips = uint64_t(1) << 18;
// A band the RGBA reader fills (4 bytes a pixel) plus the strip it decodes it from; a layout that would
// need more is read by rows, or refused when it cannot be.
constexpr uint64_t kMaxBandBytes = uint64_t(256) << 20;
constexpr uint16_t kIccProfileTag = 34675;
// libtiff itself refuses a BigTIFF directory of more entries.
constexpr uint64_t kMaxBigTiffEntries = 4096;

struct TiffFile
{
    std::streambuf* file = nullptr;
    uint64_t size = 0;
    std::string error;
    // Bytes libtiff's reads of the directory do not get: the colour profile, which it would otherwise
    // read and keep for itself. Empty when hideEnd is 0.
    uint64_t hideBegin = 0;
    uint64_t hideEnd = 0;
};

tsize_t readData(thandle_t handle, tdata_t into, tsize_t count)
{
    auto* f = static_cast<TiffFile*>(handle);
    if (count <= 0)
    {
        return 0;
    }
    size_t wanted = static_cast<size_t>(count);
    if (f->hideEnd != 0)
    {
        // A read reaching into the hidden bytes ends where they begin: libtiff takes a tag it cannot
        // read whole as absent.
        const auto at = f->file->pubseekoff(0, std::ios_base::cur, std::ios_base::in);
        const uint64_t from = at < 0 ? 0 : static_cast<uint64_t>(at);
        if (from < f->hideEnd && from + wanted > f->hideBegin)
        {
            wanted = from < f->hideBegin ? static_cast<size_t>(f->hideBegin - from) : 0;
        }
    }
    return static_cast<tsize_t>(stream::read(*f->file, into, wanted));
}

tsize_t writeNothing(thandle_t, tdata_t, tsize_t)
{
    return -1;
}

toff_t seekData(thandle_t handle, toff_t offset, int whence)
{
    auto* f = static_cast<TiffFile*>(handle);
    int64_t base = 0;
    if (whence == SEEK_CUR)
    {
        base = f->file->pubseekoff(0, std::ios_base::cur, std::ios_base::in);
    }
    else if (whence == SEEK_END)
    {
        base = static_cast<int64_t>(f->size);
    }
    if (base < 0)
    {
        return static_cast<toff_t>(-1);
    }
    uint64_t target = offset;
    if (whence != SEEK_SET)
    {
        // Offsets from the current position or the end may be negative.
        const int64_t step = static_cast<int64_t>(offset);
        if (step < -base || step > static_cast<int64_t>(f->size) - base)
        {
            return static_cast<toff_t>(-1);
        }
        target = static_cast<uint64_t>(base + step);
    }
    if (target > f->size || !stream::seek(*f->file, target))
    {
        return static_cast<toff_t>(-1);
    }
    return target;
}

int closeNothing(thandle_t)
{
    return 0;
}

toff_t sizeOf(thandle_t handle)
{
    return static_cast<TiffFile*>(handle)->size;
}

int mapNothing(thandle_t, tdata_t*, toff_t*)
{
    return 0;
}

void unmapNothing(thandle_t, tdata_t, toff_t) {}

int onError(TIFF*, void* user, const char* module, const char* format, va_list args)
{
    auto* f = static_cast<TiffFile*>(user);
    if (f->error.empty())
    {
        char text[256];
        std::vsnprintf(text, sizeof text, format, args);
        f->error = module != nullptr ? std::string(module) + ": " + text : std::string(text);
    }
    return 1;
}

int onWarning(TIFF*, void*, const char*, const char*, va_list)
{
    return 1;
}

struct TiffClose
{
    void operator()(TIFF* tif) const { TIFFClose(tif); }
};

struct OptionsFree
{
    void operator()(TIFFOpenOptions* options) const { TIFFOpenOptionsFree(options); }
};

// What the rows read one at a time hold: 8-bit RGB or grey with perhaps an extra sample, 8-bit CMYK
// with perhaps one, or one bit a pixel and nothing else; anything else is for the RGBA reader.
enum class Layout
{
    Plain,
    Cmyk,
    Bilevel,
    Other,
};

// Colour samples with alpha, premultiplied or not, as libtiff's extra-samples field says.
enum class Alpha
{
    None,
    Associated,
    Unassociated,
};

// The first directory's colour profile entry as the file gives it, read before libtiff opens the file.
class FirstDirectoryProfile
{
public:
    // Finds the entry; false when the file has none (or its header or directory is cut short: libtiff
    // then refuses the file itself).
    bool find(TiffFile& file)
    {
        uint8_t header[16];
        if (!stream::seek(*file.file, 0) || stream::read(*file.file, header, sizeof header) < 8)
        {
            return false;
        }
        if (header[0] != header[1] || (header[0] != 'I' && header[0] != 'M'))
        {
            return false;
        }
        mBigEndian = header[0] == 'M';
        const uint32_t version = number(header + 2, 2);
        mBig = version == 43;
        if (version != 42 && !mBig)
        {
            return false;
        }
        const uint64_t directory = mBig ? number(header + 8, 8) : number(header + 4, 4);
        const size_t countBytes = mBig ? 8 : 2;
        const size_t entryBytes = mBig ? 20 : 12;
        uint8_t countField[8];
        if (directory > file.size || !stream::seek(*file.file, directory) ||
            stream::read(*file.file, countField, countBytes) != countBytes)
        {
            return false;
        }
        const uint64_t entries = number(countField, countBytes);
        if (entries > (file.size - directory - countBytes) / entryBytes || (mBig && entries > kMaxBigTiffEntries))
        {
            return false;
        }
        for (uint64_t i = 0; i < entries; ++i)
        {
            uint8_t entry[20];
            if (stream::read(*file.file, entry, entryBytes) != entryBytes)
            {
                return false;
            }
            // libtiff takes the first of a tag given twice.
            if (number(entry, 2) == kIccProfileTag)
            {
                mType = static_cast<uint16_t>(number(entry + 2, 2));
                mCount = mBig ? number(entry + 4, 8) : number(entry + 4, 4);
                std::copy(entry + (mBig ? 12 : 8), entry + entryBytes, mValue);
                return true;
            }
        }
        return false;
    }

    // The profile's bytes as stored: in the entry itself, or where they lie and how many.
    bool inlined() const { return bytes() <= (mBig ? 8u : 4u); }
    uint64_t offset() const { return number(mValue, mBig ? 8 : 4); }
    uint64_t bytes() const
    {
        const int width = TIFFDataWidth(static_cast<TIFFDataType>(mType));
        return width > 0 && mCount <= UINT64_MAX / 8 ? mCount * static_cast<uint64_t>(width) : 0;
    }

    // The profile when it is of bytes (as the tag is defined), within the cap and within the file; else
    // nothing.
    std::vector<uint8_t> read(TiffFile& file) const
    {
        const bool ofBytes = mType == TIFF_UNDEFINED || mType == TIFF_BYTE;
        const uint64_t size = bytes();
        if (!ofBytes || size == 0 || size > kMaxColourProfileBytes)
        {
            return {};
        }
        if (inlined())
        {
            return std::vector<uint8_t>(mValue, mValue + size);
        }
        if (offset() > file.size || size > file.size - offset() || !stream::seek(*file.file, offset()))
        {
            return {};
        }
        std::vector<uint8_t> profile(static_cast<size_t>(size));
        if (stream::read(*file.file, profile.data(), profile.size()) != profile.size())
        {
            return {};
        }
        return profile;
    }

private:
    uint64_t number(const uint8_t* p, size_t size) const
    {
        uint64_t v = 0;
        for (size_t i = 0; i < size; ++i)
        {
            v |= uint64_t(p[mBigEndian ? size - 1 - i : i]) << (8 * i);
        }
        return v;
    }

    bool mBigEndian = false;
    bool mBig = false;
    uint16_t mType = 0;
    uint64_t mCount = 0;
    uint8_t mValue[8] = {};
};

class TiffStreamDecoder : public PictureStreamDecoder
{
public:
    explicit TiffStreamDecoder(std::streambuf& file) : mFile(std::make_unique<TiffFile>())
    {
        mFile->file = &file;
        mFile->size = stream::size(file);
    }

    PictureHeader readHeader() override
    {
        // The profile is read first and hidden from libtiff while it reads the directory.
        FirstDirectoryProfile profile;
        std::vector<uint8_t> iccProfile;
        if (profile.find(*mFile))
        {
            iccProfile = profile.read(*mFile);
            if (!profile.inlined() && profile.offset() < mFile->size)
            {
                mFile->hideBegin = profile.offset();
                mFile->hideEnd = profile.offset() + std::min(profile.bytes(), mFile->size - profile.offset());
            }
        }
        if (!stream::seek(*mFile->file, 0))
        {
            fail("cannot be read");
        }
        std::unique_ptr<TIFFOpenOptions, OptionsFree> options(TIFFOpenOptionsAlloc());
        if (!options)
        {
            throw PictureDecodeError("TIFF: out of memory");
        }
        TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(), static_cast<tmsize_t>(kDecoderMemoryBudget));
        TIFFOpenOptionsSetErrorHandlerExtR(options.get(), onError, mFile.get());
        TIFFOpenOptionsSetWarningHandlerExtR(options.get(), onWarning, mFile.get());
        mTiff.reset(TIFFClientOpenExt("picture", "rm", mFile.get(), readData, writeNothing, seekData, closeNothing,
                                      sizeOf, mapNothing, unmapNothing, options.get()));
        mFile->hideEnd = 0;
        if (!mTiff)
        {
            fail("cannot be opened");
        }
        TIFF* tif = mTiff.get();
        PictureHeader header;
        if (!TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &header.width) ||
            !TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &header.height))
        {
            fail("no picture size");
        }
        checkDecodableSize(header.width, header.height);
        mWidth = header.width;
        mHeight = header.height;
        uint16_t compression = COMPRESSION_NONE;
        uint16_t planar = PLANARCONFIG_CONTIG;
        uint16_t samples = 1;
        TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
        TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
        TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
        // Uncompressed rows take their full size in the file.
        const uint64_t rowBytes = static_cast<uint64_t>(std::max<int64_t>(TIFFScanlineSize64(tif), 0));
        const uint64_t planes = planar == PLANARCONFIG_SEPARATE ? samples : 1;
        if (compression == COMPRESSION_NONE && mFile->size / header.height / planes < rowBytes)
        {
            throw PictureDecodeError("TIFF: " + std::to_string(header.width) + "x" + std::to_string(header.height) +
                                     " uncompressed pixels do not fit in " + std::to_string(mFile->size) + " bytes");
        }
        checkWork(samples);
        uint16_t orientation = ORIENTATION_TOPLEFT;
        TIFFGetFieldDefaulted(tif, TIFFTAG_ORIENTATION, &orientation);
        header.orientation = orientation >= 1 && orientation <= 8 ? orientation : 1;
        header.iccProfile = std::move(iccProfile);
        return header;
    }

    void decodeRows(uint32_t, uint32_t, PictureRowSink& sink) override
    {
        TIFF* tif = mTiff.get();
        uint16_t bits = 0;
        uint16_t samples = 0;
        uint16_t planar = PLANARCONFIG_CONTIG;
        uint16_t photometric = 0;
        uint16_t compression = COMPRESSION_NONE;
        uint16_t inks = INKSET_CMYK;
        TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
        TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
        TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
        TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
        TIFFGetFieldDefaulted(tif, TIFFTAG_INKSET, &inks);
        const bool hasPhotometric = TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric) != 0;
        Layout layout = Layout::Other;
        uint32_t colours = 1;
        if (bits == 8 && (photometric == PHOTOMETRIC_RGB || photometric == PHOTOMETRIC_MINISBLACK))
        {
            layout = Layout::Plain;
            colours = photometric == PHOTOMETRIC_RGB ? 3 : 1;
        }
        else if (bits == 8 && photometric == PHOTOMETRIC_SEPARATED && inks == INKSET_CMYK)
        {
            layout = Layout::Cmyk;
            colours = 4;
        }
        else if (bits == 1 && samples == 1 &&
                 (photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_MINISWHITE))
        {
            layout = Layout::Bilevel;
        }
        const uint64_t rowBytes = (uint64_t(mWidth) * samples * bits + 7) / 8;
        const bool byRows = layout != Layout::Other && hasPhotometric && !TIFFIsTiled(tif) &&
                            planar == PLANARCONFIG_CONTIG && compression != COMPRESSION_OJPEG &&
                            compression != COMPRESSION_JBIG && samples >= colours && samples <= colours + 1 &&
                            TIFFScanlineSize64(tif) == rowBytes;
        if (byRows)
        {
            decodeScanlines(layout, samples, colours, photometric == PHOTOMETRIC_MINISWHITE, sink);
        }
        else
        {
            decodeThroughRgba(sink);
        }
    }

private:
    [[noreturn]] void fail(const char* what) const
    {
        throw PictureDecodeError("TIFF: " + (mFile->error.empty() ? std::string(what) : mFile->error));
    }

    Alpha alphaOf(uint32_t samples, uint32_t colours) const
    {
        uint16_t count = 0;
        uint16_t* types = nullptr;
        if (samples == colours || !TIFFGetField(mTiff.get(), TIFFTAG_EXTRASAMPLES, &count, &types) || count == 0 ||
            types == nullptr)
        {
            return Alpha::None;
        }
        if (types[0] == EXTRASAMPLE_ASSOCALPHA)
        {
            return Alpha::Associated;
        }
        return types[0] == EXTRASAMPLE_UNASSALPHA ? Alpha::Unassociated : Alpha::None;
    }

    // Refuses a layout whose work is out of proportion to its picture: more samples a pixel than a
    // picture can use, more strips or tiles than could be worth their cost, strips that name more bytes
    // than the file holds (the same bytes named over and over). The samples themselves are read a band
    // at a time, so their number bounds only the time, which the process decoding them bounds.
    void checkWork(uint16_t samples) const
    {
        TIFF* tif = mTiff.get();
        if (samples > kMaxSamples)
        {
            throw PictureDecodeError("TIFF: " + std::to_string(samples) + " samples a pixel, more than " +
                                     std::to_string(kMaxSamples));
        }
        const bool tiled = TIFFIsTiled(tif) != 0;
        const uint64_t strips = tiled ? TIFFNumberOfTiles(tif) : TIFFNumberOfStrips(tif);
        if (strips > kMaxStrips)
        {
            throw PictureDecodeError("TIFF: " + std::to_string(strips) + (tiled ? " tiles" : " strips") +
                                     ", more than " + std::to_string(kMaxStrips));
        }
        uint64_t named = 0;
        for (uint32_t i = 0; i < strips; ++i)
        {
            named += TIFFGetStrileByteCount(tif, i);
        }
        if (named > mFile->size)
        {
            throw PictureDecodeError("TIFF: its " + std::string(tiled ? "tiles" : "strips") + " name " +
                                     std::to_string(named) + " bytes of a " + std::to_string(mFile->size) +
                                     "-byte file");
        }
    }

    void decodeScanlines(Layout layout, uint32_t samples, uint32_t colours, bool minIsWhite, PictureRowSink& sink)
    {
        const Alpha alpha = layout == Layout::Plain ? alphaOf(samples, colours) : Alpha::None;
        const uint32_t channels = mKeepAlpha && alpha != Alpha::None ? 4 : 3;
        std::vector<uint8_t> row(static_cast<size_t>(std::max<int64_t>(TIFFScanlineSize64(mTiff.get()), 0)));
        const size_t stride = static_cast<size_t>(mWidth) * channels;
        std::vector<uint8_t> band(stride * kBandRows);
        sink.begin(mWidth, mHeight, channels);
        const bool direct =
            layout == Layout::Plain && colours == 3 && samples == channels && alpha != Alpha::Associated;
        for (uint32_t y = 0; y < mHeight; y += kBandRows)
        {
            const uint32_t count = std::min(kBandRows, mHeight - y);
            size_t placeStride = 0;
            uint8_t* place = direct ? sink.placeForRows(count, placeStride) : nullptr;
            uint8_t* first = place != nullptr ? place : band.data();
            const size_t firstStride = place != nullptr ? placeStride : stride;
            for (uint32_t r = 0; r < count; ++r)
            {
                uint8_t* out = first + r * firstStride;
                if (TIFFReadScanline(mTiff.get(), direct ? out : row.data(), y + r, 0) < 0)
                {
                    fail("cannot read a row");
                }
                if (direct)
                {
                    continue;
                }
                if (layout == Layout::Cmyk)
                {
                    cmykToRgb(row.data(), samples, out);
                    continue;
                }
                if (layout == Layout::Bilevel)
                {
                    bilevelToRgb(row.data(), minIsWhite, out);
                    continue;
                }
                if (channels == 3 && alpha == Alpha::Unassociated)
                {
                    flattenOverBlack(row.data(), samples, mWidth, out);
                    continue;
                }
                // Grey widened to RGB; without alpha kept, a premultiplied or unknown extra sample is left
                // out (premultiplied colour is already over black).
                for (uint32_t x = 0; x < mWidth; ++x)
                {
                    const uint8_t* p = row.data() + static_cast<size_t>(x) * samples;
                    uint8_t* o = out + static_cast<size_t>(x) * channels;
                    o[0] = p[0];
                    o[1] = p[colours == 3 ? 1 : 0];
                    o[2] = p[colours == 3 ? 2 : 0];
                    if (channels == 4)
                    {
                        o[3] = p[colours];
                        if (alpha == Alpha::Associated)
                        {
                            unpremultiply(o);
                        }
                    }
                }
            }
            sink.rows(first, firstStride, count);
        }
    }

    // Each channel is what its ink and the black leave uncovered, as libtiff's RGBA reader makes it; an
    // extra sample is left out.
    void cmykToRgb(const uint8_t* cmyk, uint32_t samples, uint8_t* rgb) const
    {
        for (uint32_t x = 0; x < mWidth; ++x)
        {
            const uint8_t* p = cmyk + static_cast<size_t>(x) * samples;
            const uint32_t open = 255u - p[3];
            for (uint32_t c = 0; c < 3; ++c)
            {
                rgb[x * 3 + c] = static_cast<uint8_t>(open * (255u - p[c]) / 255u);
            }
        }
    }

    void bilevelToRgb(const uint8_t* bitsIn, bool minIsWhite, uint8_t* rgb) const
    {
        for (uint32_t x = 0; x < mWidth; ++x)
        {
            const bool set = (bitsIn[x >> 3] >> (7 - (x & 7))) & 1;
            const uint8_t v = set != minIsWhite ? 255 : 0;
            rgb[x * 3] = v;
            rgb[x * 3 + 1] = v;
            rgb[x * 3 + 2] = v;
        }
    }

    // Straight colour from colour premultiplied by its alpha.
    static void unpremultiply(uint8_t* rgba)
    {
        const uint32_t a = rgba[3];
        for (uint32_t c = 0; c < 3 && a != 255; ++c)
        {
            rgba[c] = a == 0 ? 0 : static_cast<uint8_t>(std::min<uint32_t>(255, (rgba[c] * 255u + a / 2) / a));
        }
    }

    void decodeThroughRgba(PictureRowSink& sink)
    {
        TIFF* tif = mTiff.get();
        char message[1024] = {};
        if (!TIFFRGBAImageOK(tif, message))
        {
            throw PictureDecodeError(std::string("TIFF: ") + message);
        }
        TIFFRGBAImage image{};
        if (!TIFFRGBAImageBegin(&image, tif, 1, message))
        {
            throw PictureDecodeError(std::string("TIFF: ") + message);
        }
        struct End
        {
            TIFFRGBAImage* image;
            ~End() { TIFFRGBAImageEnd(image); }
        } end{&image};
        // Rows as stored: the orientation is applied by whoever receives them.
        image.req_orientation = image.orientation;
        // Whole strips (or rows of tiles) a band, so that each is decoded once.
        uint32_t unit = 0;
        if (TIFFIsTiled(tif))
        {
            TIFFGetField(tif, TIFFTAG_TILELENGTH, &unit);
        }
        else
        {
            TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &unit);
        }
        unit = std::clamp<uint32_t>(unit, 1, mHeight);
        const uint32_t bandRows = std::min(mHeight, unit * ((kBandRows + unit - 1) / unit));
        // The reader decodes a strip (every plane of it) or a tile into a buffer of its own.
        const uint64_t unitBytes =
            static_cast<uint64_t>(std::max<int64_t>(TIFFIsTiled(tif) ? TIFFTileSize64(tif) : TIFFStripSize64(tif), 0));
        uint16_t planar = PLANARCONFIG_CONTIG;
        uint16_t samples = 1;
        TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
        TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
        const uint64_t planes = planar == PLANARCONFIG_SEPARATE ? samples : 1;
        if (uint64_t(bandRows) * mWidth * 4 + unitBytes * planes > kMaxBandBytes)
        {
            throw PictureDecodeError("TIFF: strips of " + std::to_string(bandRows) + " rows are too large");
        }
        std::vector<uint32_t> raster(static_cast<size_t>(bandRows) * mWidth);
        // libtiff hands out colour premultiplied by alpha, whatever the file holds: over black as it is.
        const uint32_t channels = mKeepAlpha && image.alpha != 0 ? 4 : 3;
        const size_t stride = static_cast<size_t>(mWidth) * channels;
        std::vector<uint8_t> out(stride * kBandRows);
        sink.begin(mWidth, mHeight, channels);
        for (uint32_t y = 0; y < mHeight; y += bandRows)
        {
            const uint32_t count = std::min(bandRows, mHeight - y);
            image.row_offset = static_cast<int>(y);
            image.col_offset = 0;
            if (!TIFFRGBAImageGet(&image, raster.data(), mWidth, count))
            {
                fail("cannot read a strip");
            }
            for (uint32_t first = 0; first < count; first += kBandRows)
            {
                const uint32_t rows = std::min(kBandRows, count - first);
                const uint32_t* from = raster.data() + static_cast<size_t>(first) * mWidth;
                for (size_t i = 0; i < static_cast<size_t>(rows) * mWidth; ++i)
                {
                    uint8_t* o = out.data() + i * channels;
                    o[0] = static_cast<uint8_t>(TIFFGetR(from[i]));
                    o[1] = static_cast<uint8_t>(TIFFGetG(from[i]));
                    o[2] = static_cast<uint8_t>(TIFFGetB(from[i]));
                    if (channels == 4)
                    {
                        o[3] = static_cast<uint8_t>(TIFFGetA(from[i]));
                        unpremultiply(o);
                    }
                }
                sink.rows(out.data(), stride, rows);
            }
        }
    }

    std::unique_ptr<TiffFile> mFile;
    std::unique_ptr<TIFF, TiffClose> mTiff;
    uint32_t mWidth = 0;
    uint32_t mHeight = 0;
};

}  // namespace

std::unique_ptr<PictureStreamDecoder> makeTiffStreamDecoder(std::streambuf& file)
{
    return std::make_unique<TiffStreamDecoder>(file);
}

}  // namespace pravix
