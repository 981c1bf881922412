#pragma once

#include <cstddef>
#include <cstdint>

namespace pravix
{

// The kinds of picture file this layer reads, told apart by their first bytes, never by their name.
enum class PictureFormat
{
    Unknown,
    Heif,  // an ISO base media file whose file type box names a HEIF brand
    Jpeg,
    Png,
    Tiff,
    Bmp,
    Jpeg2000,  // a .jp2 file or a bare codestream
};

// How many leading bytes identifyPictureFormat looks at at most (the file type box's brand list).
constexpr size_t kPictureFormatHeadBytes = 256;

// The format of a file from its first bytes (up to kPictureFormatHeadBytes of them).
PictureFormat identifyPictureFormat(const uint8_t* head, size_t size);

// "HEIF", "JPEG", "PNG", "TIFF", "BMP", "JPEG 2000" or "unknown", for the log.
const char* pictureFormatName(PictureFormat format);

}  // namespace pravix
