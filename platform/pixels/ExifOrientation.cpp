#include "ExifOrientation.h"

#include <cstring>

namespace pravix
{

uint32_t exifOrientation(const uint8_t* block, size_t size)
{
    constexpr size_t kTiff = 6;  // the TIFF header follows "Exif", 0, 0
    if (block == nullptr || size < kTiff + 8 || std::memcmp(block, "Exif\0\0", 6) != 0)
    {
        return 1;
    }
    const uint8_t* tiff = block + kTiff;
    const size_t length = size - kTiff;
    bool intel = false;
    if (tiff[0] == 'I' && tiff[1] == 'I')
    {
        intel = true;
    }
    else if (!(tiff[0] == 'M' && tiff[1] == 'M'))
    {
        return 1;
    }
    auto u16 = [&](size_t at) -> uint32_t
    { return intel ? tiff[at] | (tiff[at + 1] << 8) : (tiff[at] << 8) | tiff[at + 1]; };
    auto u32 = [&](size_t at) -> uint32_t
    { return intel ? u16(at) | (u16(at + 2) << 16) : (u16(at) << 16) | u16(at + 2); };
    if (u16(2) != 42)
    {
        return 1;
    }
    const uint64_t ifd = u32(4);
    if (ifd + 2 > length)
    {
        return 1;
    }
    const uint32_t entries = u16(static_cast<size_t>(ifd));
    for (uint32_t i = 0; i < entries; ++i)
    {
        const uint64_t at = ifd + 2 + uint64_t(i) * 12;
        if (at + 12 > length)
        {
            return 1;
        }
        const size_t e = static_cast<size_t>(at);
        // A SHORT with at least one value, held in the entry itself.
        if (u16(e) == 274)
        {
            const uint32_t value = u16(e + 2) == 3 && u32(e + 4) >= 1 ? u16(e + 8) : 1;
            return value >= 1 && value <= 8 ? value : 1;
        }
    }
    return 1;
}

}  // namespace pravix
