#include "PictureFormat.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace pravix
{
namespace
{

uint32_t be32(const uint8_t* p)
{
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

// Brands of HEIF and of the image formats built on it (MIAF, HEVC and AVC images and sequences, AVIF).
bool isHeifBrand(const uint8_t* brand)
{
    static const char* const kBrands[] = {"mif1", "mif2", "msf1", "miaf", "heic", "heix", "heim", "heis",
                                          "hevc", "hevx", "hevm", "hevs", "avic", "avcs", "avif", "avis"};
    return std::any_of(std::begin(kBrands), std::end(kBrands),
                       [&](const char* b) { return std::memcmp(brand, b, 4) == 0; });
}

// A file type box first, naming a HEIF brand as its major brand or among the compatible ones that lie
// in the bytes at hand.
bool isHeif(const uint8_t* head, size_t size)
{
    if (size < 16 || std::memcmp(head + 4, "ftyp", 4) != 0)
    {
        return false;
    }
    const uint32_t boxSize = be32(head);
    if (boxSize < 16)
    {
        return false;
    }
    if (isHeifBrand(head + 8))
    {
        return true;
    }
    const size_t end = std::min<size_t>(boxSize, size);
    for (size_t at = 16; at + 4 <= end; at += 4)
    {
        if (isHeifBrand(head + at))
        {
            return true;
        }
    }
    return false;
}

}  // namespace

PictureFormat identifyPictureFormat(const uint8_t* head, size_t size)
{
    if (head == nullptr)
    {
        return PictureFormat::Unknown;
    }
    size = std::min(size, kPictureFormatHeadBytes);
    if (isHeif(head, size))
    {
        return PictureFormat::Heif;
    }
    auto starts = [&](const char* signature, size_t n) { return size >= n && std::memcmp(head, signature, n) == 0; };
    if (starts("\xFF\xD8\xFF", 3))
    {
        return PictureFormat::Jpeg;
    }
    if (starts("\x89PNG\r\n\x1A\n", 8))
    {
        return PictureFormat::Png;
    }
    // Classic TIFF and BigTIFF, which libtiff reads as well.
    if (starts("II*\0", 4) || starts("MM\0*", 4) || starts("II+\0", 4) || starts("MM\0+", 4))
    {
        return PictureFormat::Tiff;
    }
    if (starts("BM", 2))
    {
        return PictureFormat::Bmp;
    }
    // A .jp2 file's signature box, or a bare codestream's start and size markers.
    if (starts("\0\0\0\x0CjP  \r\n\x87\n", 12) || starts("\xFF\x4F\xFF\x51", 4))
    {
        return PictureFormat::Jpeg2000;
    }
    return PictureFormat::Unknown;
}

const char* pictureFormatName(PictureFormat format)
{
    switch (format)
    {
    case PictureFormat::Heif:
        return "HEIF";
    case PictureFormat::Jpeg:
        return "JPEG";
    case PictureFormat::Png:
        return "PNG";
    case PictureFormat::Tiff:
        return "TIFF";
    case PictureFormat::Bmp:
        return "BMP";
    case PictureFormat::Jpeg2000:
        return "JPEG 2000";
    case PictureFormat::Unknown:
        break;
    }
    return "unknown";
}

}  // namespace pravix
