#pragma once

// JPEGs written by libjpeg itself in the test, in the layouts the decoders must take: any colour space,
// progressive by libjpeg's own script or by a given one, arithmetic-coded.

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <vector>

#include <cstdio>  // jpeglib.h needs FILE

#include <jpeglib.h>

namespace pravix::test
{

struct LibjpegLayout
{
    J_COLOR_SPACE space = JCS_RGB;
    int components = 3;
    int quality = 90;
    bool progressive = false;
    bool arithmetic = false;
    std::vector<jpeg_scan_info> scans;  // replaces the progression when given
};

// fillRow(y, row) writes row y's `components` samples a pixel.
inline std::vector<uint8_t> libjpegBytes(uint32_t w, uint32_t h, const LibjpegLayout& layout,
                                         const std::function<void(uint32_t y, uint8_t* row)>& fillRow)
{
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr jerr{};
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &out, &size);
    cinfo.image_width = w;
    cinfo.image_height = h;
    cinfo.input_components = layout.components;
    cinfo.in_color_space = layout.space;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, layout.quality, TRUE);
    cinfo.arith_code = layout.arithmetic ? TRUE : FALSE;
    if (layout.progressive)
    {
        jpeg_simple_progression(&cinfo);
    }
    if (!layout.scans.empty())
    {
        cinfo.scan_info = layout.scans.data();
        cinfo.num_scans = static_cast<int>(layout.scans.size());
    }
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<uint8_t> row(size_t(w) * layout.components);
    while (cinfo.next_scanline < h)
    {
        fillRow(cinfo.next_scanline, row.data());
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&cinfo, &r, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::vector<uint8_t> bytes(out, out + size);
    std::free(out);
    return bytes;
}

}  // namespace pravix::test
