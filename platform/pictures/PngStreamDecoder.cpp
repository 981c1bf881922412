// PNG through libpng, read from the file row by row and handed out in bands; an interlaced file, whose
// rows arrive in seven passes, is gathered whole first. libpng reports errors by jumping back to a setjmp:
// every call into it is made from a small function of its own whose frame holds nothing with a
// destructor.
#include "Bitmap.h"
#include "DecodeSizeLimits.h"
#include "ImageSource.h"
#include "PictureStreamDecoder.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <png.h>

namespace pravix
{
namespace
{

constexpr uint32_t kBandRows = 32;
// Deflate turns at most about 1032 bytes into one; a header whose rows the file cannot hold even so is
// refused before anything is sized from it.
constexpr uint64_t kMaxInflateRatio = 1032;
// An interlaced picture is held whole while its passes arrive, so it may be no larger than the largest
// picture the conversion hands on (8192 x 8192).
constexpr uint64_t kMaxInterlacedPixels = uint64_t(1) << 26;
// The largest ancillary chunk read whole is the largest colour profile inflated: a larger profile is
// dropped, the picture still decoded.
constexpr png_alloc_size_t kMaxChunkBytes = kMaxColourProfileBytes;
// Ancillary chunks kept at most; the ones nothing reads are not kept at all.
constexpr png_uint_32 kMaxAncillaryChunks = 64;
// Chunks nothing here uses, passed over without being inflated or stored: text (compressed or not can
// be many megabytes each, repeated), suggested palettes, Exif (a JPEG's is the one kept) and the rest.
constexpr png_byte kUnusedChunks[] = "tEXt\0zTXt\0iTXt\0sPLT\0eXIf\0pCAL\0sCAL\0hIST\0tIME\0pHYs\0oFFs\0sTER\0bKGD";
constexpr int kUnusedChunkCount = sizeof kUnusedChunks / 5;

struct PngSession
{
    png_structp png;
    png_infop info;
    std::streambuf* file;
    char message[256];
};

[[noreturn]] void onError(png_structp png, png_const_charp text)
{
    auto* s = static_cast<PngSession*>(png_get_error_ptr(png));
    std::snprintf(s->message, sizeof s->message, "%s", text != nullptr ? text : "error");
    png_longjmp(png, 1);
}

void onWarning(png_structp, png_const_charp) {}

void readData(png_structp png, png_bytep out, size_t count)
{
    auto* s = static_cast<PngSession*>(png_get_io_ptr(png));
    if (stream::read(*s->file, out, count) != count)
    {
        png_error(png, "file ends early");
    }
}

// The calls into libpng, each in its own frame.

bool createSession(PngSession* s)
{
    s->png = png_create_read_struct(PNG_LIBPNG_VER_STRING, s, onError, onWarning);
    if (s->png == nullptr)
    {
        return false;
    }
    if (setjmp(png_jmpbuf(s->png)))
    {
        return false;
    }
    s->info = png_create_info_struct(s->png);
    if (s->info == nullptr)
    {
        return false;
    }
    png_set_read_fn(s->png, s, readData);
    png_set_user_limits(s->png, kMaxDecodeSide, kMaxDecodeSide);
    png_set_chunk_malloc_max(s->png, kMaxChunkBytes);
    png_set_chunk_cache_max(s->png, kMaxAncillaryChunks);
    png_set_keep_unknown_chunks(s->png, PNG_HANDLE_CHUNK_NEVER, kUnusedChunks, kUnusedChunkCount);
    return true;
}

bool readInfo(PngSession* s)
{
    if (setjmp(png_jmpbuf(s->png)))
    {
        return false;
    }
    png_read_info(s->png, s->info);
    return true;
}

// 8-bit RGB or RGBA out, whatever is stored.
bool setUpTransforms(PngSession* s)
{
    if (setjmp(png_jmpbuf(s->png)))
    {
        return false;
    }
    png_set_expand(s->png);
    png_set_scale_16(s->png);
    png_set_gray_to_rgb(s->png);
    png_set_interlace_handling(s->png);
    png_read_update_info(s->png, s->info);
    return true;
}

bool readRows(PngSession* s, png_bytepp rows, uint32_t count)
{
    if (setjmp(png_jmpbuf(s->png)))
    {
        return false;
    }
    for (uint32_t r = 0; r < count; ++r)
    {
        png_read_row(s->png, rows[r], nullptr);
    }
    return true;
}

bool readImage(PngSession* s, png_bytepp rows)
{
    if (setjmp(png_jmpbuf(s->png)))
    {
        return false;
    }
    png_read_image(s->png, rows);
    return true;
}

struct SessionRelease
{
    void operator()(PngSession* s) const
    {
        if (s->png != nullptr)
        {
            png_destroy_read_struct(&s->png, s->info != nullptr ? &s->info : nullptr, nullptr);
        }
        delete s;
    }
};

class PngStreamDecoder : public PictureStreamDecoder
{
public:
    explicit PngStreamDecoder(std::streambuf& file) : mFile(file), mSession(new PngSession()) {}

    PictureHeader readHeader() override
    {
        PngSession* s = mSession.get();
        s->file = &mFile;
        const uint64_t fileSize = stream::size(mFile);
        if (!createSession(s) || !readInfo(s))
        {
            fail();
        }
        png_uint_32 width = 0;
        png_uint_32 height = 0;
        int bitDepth = 0;
        int colourType = 0;
        int interlace = 0;
        png_get_IHDR(s->png, s->info, &width, &height, &bitDepth, &colourType, &interlace, nullptr, nullptr);
        checkDecodableSize(width, height);
        const uint64_t bitsPerPixel = uint64_t(bitDepth) * png_get_channels(s->png, s->info);
        const uint64_t rowBytes = 1 + (uint64_t(width) * bitsPerPixel + 7) / 8;  // with its filter byte
        if (fileSize < rowBytes * height / kMaxInflateRatio)
        {
            throw PictureDecodeError("PNG: " + std::to_string(width) + "x" + std::to_string(height) +
                                     " pixels cannot be compressed into " + std::to_string(fileSize) + " bytes");
        }
        mInterlaced = interlace != PNG_INTERLACE_NONE;
        if (mInterlaced && uint64_t(width) * height > kMaxInterlacedPixels)
        {
            throw PictureDecodeError("PNG: interlaced picture of more than " + std::to_string(kMaxInterlacedPixels) +
                                     " pixels");
        }
        PictureHeader header;
        header.width = width;
        header.height = height;
        png_charp name = nullptr;
        int compression = 0;
        png_bytep profile = nullptr;
        png_uint_32 profileLength = 0;
        if (png_get_iCCP(s->png, s->info, &name, &compression, &profile, &profileLength) && profile != nullptr)
        {
            header.iccProfile.assign(profile, profile + profileLength);
            // The header's copy is the one held.
            png_free_data(s->png, s->info, PNG_FREE_ICCP, -1);
        }
        return header;
    }

    void decodeRows(uint32_t, uint32_t, PictureRowSink& sink) override
    {
        PngSession* s = mSession.get();
        if (!setUpTransforms(s))
        {
            fail();
        }
        const uint32_t width = png_get_image_width(s->png, s->info);
        const uint32_t height = png_get_image_height(s->png, s->info);
        const uint32_t channels = png_get_channels(s->png, s->info);
        const size_t stride = png_get_rowbytes(s->png, s->info);
        if ((channels != 3 && channels != 4) || png_get_bit_depth(s->png, s->info) != 8 ||
            stride != static_cast<size_t>(width) * channels)
        {
            throw PictureDecodeError("PNG: unexpected row layout");
        }
        // Rows go on as libpng gives them unless alpha is to be put over black.
        const bool asStored = channels == 3 || mKeepAlpha;
        sink.begin(width, height, asStored ? channels : 3);
        const uint32_t bandRows = mInterlaced ? height : kBandRows;
        // Fresh mapped memory, resident only where written: an interlaced picture gathered in the sink's
        // own place leaves it untouched.
        PixelBuffer band(stride * bandRows);
        std::vector<uint8_t> rgb(asStored ? 0 : static_cast<size_t>(width) * 3 * kBandRows);
        std::vector<png_bytep> rows(bandRows);
        for (uint32_t y = 0; y < height; y += bandRows)
        {
            const uint32_t count = std::min(bandRows, height - y);
            size_t placeStride = 0;
            uint8_t* place = asStored ? sink.placeForRows(count, placeStride) : nullptr;
            for (uint32_t r = 0; r < count; ++r)
            {
                rows[r] = place != nullptr ? place + r * placeStride : band.data() + r * stride;
            }
            if (!(mInterlaced ? readImage(s, rows.data()) : readRows(s, rows.data(), count)))
            {
                fail();
            }
            if (asStored)
            {
                sink.rows(rows[0], place != nullptr ? placeStride : stride, count);
                continue;
            }
            // Pushed in bands so that a gathered interlaced picture is flattened a band at a time.
            for (uint32_t first = 0; first < count; first += kBandRows)
            {
                const uint32_t n = std::min(kBandRows, count - first);
                for (uint32_t r = 0; r < n; ++r)
                {
                    flattenOverBlack(rows[first + r], 4, width, rgb.data() + static_cast<size_t>(r) * width * 3);
                }
                sink.rows(rgb.data(), static_cast<size_t>(width) * 3, n);
            }
        }
    }

private:
    [[noreturn]] void fail() const
    {
        throw PictureDecodeError(std::string("PNG: ") +
                                 (mSession->message[0] != 0 ? mSession->message : "cannot be read"));
    }

    std::streambuf& mFile;
    std::unique_ptr<PngSession, SessionRelease> mSession;
    bool mInterlaced = false;
};

}  // namespace

std::unique_ptr<PictureStreamDecoder> makePngStreamDecoder(std::streambuf& file)
{
    return std::make_unique<PngStreamDecoder>(file);
}

}  // namespace pravix
