// JPEG through libjpeg-turbo; errors jump back out of the library instead of exiting the process, into
// frames that hold nothing with a destructor.
#include "ImageEncoders.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>

namespace pravix
{
namespace
{

struct ErrorManager
{
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

[[noreturn]] void onError(j_common_ptr cinfo)
{
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    std::longjmp(err->jump, 1);
}

void onMessage(j_common_ptr, int) {}

// A decoder must not run forever on a stream of corrupt-data warnings; treat them as errors.
void onWarningOrTrace(j_common_ptr cinfo, int level)
{
    if (level < 0)
    {
        onError(cinfo);
    }
}

}  // namespace

std::vector<uint8_t> encodeJpeg(const Bitmap& image, int quality)
{
    if (image.empty())
    {
        return {};
    }
    return encodeJpegRows(image.pixels.data(), image.stride(), image.width, image.height, image.channels,
                          image.iccProfile, quality);
}

namespace
{

struct RowSource
{
    const uint8_t* pixels;
    size_t stride;
    uint32_t width;
    uint32_t height;
    uint32_t channels;
    const std::vector<uint8_t>* iccProfile;
    int quality;
    uint8_t* rgbRow;  // one row of width x 3 bytes, for 4-channel pixels
};

// The whole compression in a frame of its own that holds nothing with a destructor: libjpeg's errors jump
// back here. The output buffer libjpeg allocates is handed out through out/outSize, also on failure.
bool compressRows(jpeg_compress_struct* cinfo, ErrorManager* err, const RowSource* src, unsigned char** out,
                  unsigned long* outSize)
{
    if (setjmp(err->jump))
    {
        return false;
    }
    jpeg_create_compress(cinfo);
    jpeg_mem_dest(cinfo, out, outSize);
    cinfo->image_width = src->width;
    cinfo->image_height = src->height;
    cinfo->input_components = 3;
    cinfo->in_color_space = JCS_RGB;
    jpeg_set_defaults(cinfo);
    jpeg_set_quality(cinfo, src->quality < 1 ? 1 : (src->quality > 100 ? 100 : src->quality), TRUE);
    cinfo->dct_method = JDCT_ISLOW;
    jpeg_start_compress(cinfo, TRUE);
    if (!src->iccProfile->empty())
    {
        jpeg_write_icc_profile(cinfo, src->iccProfile->data(), static_cast<unsigned>(src->iccProfile->size()));
    }
    while (cinfo->next_scanline < cinfo->image_height)
    {
        const uint8_t* row = src->pixels + cinfo->next_scanline * src->stride;
        JSAMPROW line;
        if (src->channels == 4)
        {
            for (uint32_t x = 0; x < src->width; ++x)
            {
                src->rgbRow[x * 3] = row[x * 4];
                src->rgbRow[x * 3 + 1] = row[x * 4 + 1];
                src->rgbRow[x * 3 + 2] = row[x * 4 + 2];
            }
            line = src->rgbRow;
        }
        else
        {
            line = const_cast<JSAMPROW>(row);
        }
        jpeg_write_scanlines(cinfo, &line, 1);
    }
    jpeg_finish_compress(cinfo);
    return true;
}

}  // namespace

std::vector<uint8_t> encodeJpegRows(const uint8_t* pixels, size_t stride, uint32_t width, uint32_t height,
                                    uint32_t channels, const std::vector<uint8_t>& iccProfile, int quality)
{
    if (pixels == nullptr || width == 0 || height == 0)
    {
        return {};
    }
    jpeg_compress_struct cinfo{};
    ErrorManager err{};
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = onError;
    err.pub.emit_message = onMessage;
    std::vector<uint8_t> rgbRow(channels == 4 ? static_cast<size_t>(width) * 3 : 0);
    const RowSource source{pixels, stride, width, height, channels, &iccProfile, quality, rgbRow.data()};
    unsigned char* out = nullptr;
    unsigned long outSize = 0;
    const bool ok = compressRows(&cinfo, &err, &source, &out, &outSize);
    jpeg_destroy_compress(&cinfo);
    std::vector<uint8_t> result;
    if (ok && out != nullptr)
    {
        result.assign(out, out + outSize);
    }
    std::free(out);
    return result;
}

// Everything after the header, in its own frame: libjpeg errors jump back to the caller's setjmp, and
// nothing this frame changes is needed after the jump.
static bool decodeAfterHeader(jpeg_decompress_struct& cinfo, uint8_t* dst, size_t dstStride, uint32_t width,
                              uint32_t height)
{
    if (cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK || cinfo.image_width != width ||
        cinfo.image_height != height || dst == nullptr)
    {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    cinfo.out_color_space = JCS_RGB;
    cinfo.dct_method = JDCT_ISLOW;
    jpeg_start_decompress(&cinfo);
    if (cinfo.output_width != width || cinfo.output_height != height || cinfo.output_components != 3)
    {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    while (cinfo.output_scanline < cinfo.output_height)
    {
        JSAMPROW row = dst + cinfo.output_scanline * dstStride;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return true;
}

bool decodeJpegInto(const uint8_t* data, size_t size, uint8_t* dst, size_t dstStride, uint32_t width, uint32_t height)
{
    if (data == nullptr || size == 0)
    {
        return false;
    }
    jpeg_decompress_struct cinfo{};
    ErrorManager err{};
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = onError;
    err.pub.emit_message = onWarningOrTrace;
    if (setjmp(err.jump))
    {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
    jpeg_read_header(&cinfo, TRUE);
    return decodeAfterHeader(cinfo, dst, dstStride, width, height);
}

}  // namespace pravix
