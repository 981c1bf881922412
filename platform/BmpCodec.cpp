// Uncompressed Windows bitmaps, written and read by hand: 24-bit out; 24- and 32-bit in.
#include "ImageCodecs.h"

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

uint32_t getU16(const uint8_t* p)
{
    return p[0] | (p[1] << 8);
}

uint32_t getU32(const uint8_t* p)
{
    return getU16(p) | (getU16(p + 2) << 16);
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

std::optional<Bitmap> decodeBmp(const uint8_t* data, size_t size)
{
    if (data == nullptr || size < kFileHeader + kInfoHeader || data[0] != 'B' || data[1] != 'M')
    {
        return std::nullopt;
    }
    const uint32_t pixelOffset = getU32(data + 10);
    const uint32_t headerSize = getU32(data + 14);
    if (headerSize < kInfoHeader || headerSize > size - kFileHeader)
    {
        return std::nullopt;
    }
    const int32_t width = static_cast<int32_t>(getU32(data + 18));
    const int32_t rawHeight = static_cast<int32_t>(getU32(data + 22));
    const uint32_t bpp = getU16(data + 28);
    const uint32_t compression = getU32(data + 30);
    if (width <= 0 || rawHeight == 0 || rawHeight == INT32_MIN || (bpp != 24 && bpp != 32) ||
        !(compression == 0 || (compression == 3 && bpp == 32)))
    {
        return std::nullopt;
    }
    const bool topDown = rawHeight < 0;
    const uint32_t height = static_cast<uint32_t>(topDown ? -rawHeight : rawHeight);
    Bitmap bitmap;
    if (!bitmapSizeAllowed(static_cast<uint32_t>(width), height))
    {
        return std::nullopt;
    }
    const uint32_t srcBytes = bpp / 8;
    const uint64_t rowBytes = (static_cast<uint64_t>(width) * srcBytes + 3) & ~uint64_t(3);
    if (pixelOffset > size || rowBytes * height > size - pixelOffset)
    {
        return std::nullopt;
    }
    if (!bitmap.allocate(static_cast<uint32_t>(width), height, 3))
    {
        return std::nullopt;
    }
    for (uint32_t y = 0; y < height; ++y)
    {
        const uint8_t* src = data + pixelOffset + (topDown ? y : height - 1 - y) * rowBytes;
        uint8_t* dst = bitmap.row(y);
        for (uint32_t x = 0; x < bitmap.width; ++x)
        {
            dst[x * 3] = src[x * srcBytes + 2];
            dst[x * 3 + 1] = src[x * srcBytes + 1];
            dst[x * 3 + 2] = src[x * srcBytes];
        }
    }
    return bitmap;
}

}  // namespace pravix
