// PNG through libpng, in memory; errors jump back out of the library, into frames that hold nothing with a
// destructor.
#include "ImageEncoders.h"
#include "ParallelFor.h"
#include "PngBandEncoder.h"

#include <algorithm>
#include <csetjmp>
#include <cstring>

#include <png.h>

namespace pravix
{
namespace
{

void writeToVector(png_structp png, png_bytep data, png_size_t length)
{
    auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

void flushNothing(png_structp) {}

void quietWarning(png_structp, png_const_charp) {}

// Jumps back to our setjmp without the default handler's message.
[[noreturn]] void quietError(png_structp png, png_const_charp)
{
    png_longjmp(png, 1);
}

}  // namespace

namespace
{

// The calls into libpng that may jump back on an error, each in a frame of its own that holds nothing
// with a destructor; the C++ objects they fill live in their callers' frames.

bool writeWholePng(png_structp png, png_infop info, const Bitmap* image, std::vector<uint8_t>* out)
{
    if (setjmp(png_jmpbuf(png)))
    {
        return false;
    }
    png_set_write_fn(png, out, writeToVector, flushNothing);
    // Level 3 keeps most of the size gain of the default level at a fraction of its time on photos.
    png_set_compression_level(png, 3);
    png_set_IHDR(png, info, image->width, image->height, 8,
                 image->channels == 4 ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!image->iccProfile.empty())
    {
        // libpng checks the profile; a profile it does not like is left out rather than failing the image.
        png_set_benign_errors(png, 1);
        png_set_option(png, PNG_SKIP_sRGB_CHECK_PROFILE, PNG_OPTION_ON);
        png_set_iCCP(png, info, "ICC Profile", PNG_COMPRESSION_TYPE_BASE, image->iccProfile.data(),
                     static_cast<png_uint_32>(image->iccProfile.size()));
    }
    png_write_info(png, info);
    for (uint32_t y = 0; y < image->height; ++y)
    {
        png_write_row(png, const_cast<png_bytep>(image->row(y)));
    }
    png_write_end(png, nullptr);
    return true;
}

}  // namespace

std::vector<uint8_t> encodePng(const Bitmap& image)
{
    if (image.empty())
    {
        return {};
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, quietError, quietWarning);
    if (png == nullptr)
    {
        return {};
    }
    png_infop info = png_create_info_struct(png);
    std::vector<uint8_t> out;
    out.reserve(image.pixels.size() / 2);
    const bool written = info != nullptr && writeWholePng(png, info, &image, &out);
    png_destroy_write_struct(&png, &info);
    return written ? out : std::vector<uint8_t>();
}

std::vector<uint8_t> encodePngParallel(const Bitmap& image)
{
    if (image.empty() || (image.channels != 3 && image.channels != 4))
    {
        return {};
    }
    // Bands of at least 64 rows, a few per core so that uneven ones even out.
    const uint32_t bandRows = std::max<uint32_t>(64, (image.height + workerCount() * 4 - 1) / (workerCount() * 4));
    const uint32_t count = (image.height + bandRows - 1) / bandRows;
    std::vector<PngBand> bands(count);
    try
    {
        parallelFor(count, 1,
                    [&](size_t begin, size_t end)
                    {
                        for (size_t b = begin; b < end; ++b)
                        {
                            const uint32_t top = static_cast<uint32_t>(b) * bandRows;
                            const uint32_t bottom = std::min(image.height, top + bandRows);
                            PngBandEncoder encoder(image.width, image.channels, top > 0 ? image.row(top - 1) : nullptr,
                                                   true);
                            for (uint32_t y = top; y < bottom; ++y)
                            {
                                encoder.addRow(image.row(y));
                            }
                            bands[b] = encoder.finish(b + 1 == count);
                        }
                    });
        return joinPngBands(image.width, image.height, image.channels, image.iccProfile, bands);
    }
    catch (const std::exception&)
    {
        return {};
    }
}

}  // namespace pravix
