// Uncompressed 24-bit Windows bitmaps, written by hand.
#include "ImageEncoders.h"

#include <cstring>

namespace pravix
{
namespace
{

void putU16(uint8_t* p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

void putU32(uint8_t* p, uint32_t v)
{
    putU16(p, v & 0xFFFF);
    putU16(p + 2, v >> 16);
}

constexpr size_t kFileHeader = 14;
constexpr size_t kInfoHeader = 40;

}  // namespace

std::vector<uint8_t> encodeBmp(const Bitmap& image)
{
    if (image.empty())
    {
        return {};
    }
    const uint64_t rowBytes = (static_cast<uint64_t>(image.width) * 3 + 3) & ~uint64_t(3);
    const uint64_t pixelBytes = rowBytes * image.height;
    const uint64_t total = kFileHeader + kInfoHeader + pixelBytes;
    if (total > 0xFFFFFFFFu)
    {
        return {};
    }
    std::vector<uint8_t> out(static_cast<size_t>(total), 0);
    uint8_t* h = out.data();
    h[0] = 'B';
    h[1] = 'M';
    putU32(h + 2, static_cast<uint32_t>(total));
    putU32(h + 10, kFileHeader + kInfoHeader);
    putU32(h + 14, kInfoHeader);
    putU32(h + 18, image.width);
    putU32(h + 22, image.height);  // positive: rows bottom-up
    putU16(h + 26, 1);
    putU16(h + 28, 24);
    putU32(h + 30, 0);  // BI_RGB
    putU32(h + 34, static_cast<uint32_t>(pixelBytes));
    putU32(h + 38, 2835);  // 72 dpi
    putU32(h + 42, 2835);
    const uint32_t ch = image.channels;
    for (uint32_t y = 0; y < image.height; ++y)
    {
        const uint8_t* src = image.row(image.height - 1 - y);
        uint8_t* dst = out.data() + kFileHeader + kInfoHeader + y * rowBytes;
        for (uint32_t x = 0; x < image.width; ++x)
        {
            dst[x * 3] = src[x * ch + 2];
            dst[x * 3 + 1] = src[x * ch + 1];
            dst[x * 3 + 2] = src[x * ch];
        }
    }
    return out;
}

}  // namespace pravix
