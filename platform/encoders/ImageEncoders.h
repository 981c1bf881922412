#pragma once

#include "Bitmap.h"
#include "PictureFormat.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace pravix
{

// The bitmap file types, numbered as the desktop bitmap encoder numbers them.
enum class ImageFileType
{
    Tiff = 0,
    Bmp = 1,
    Jpeg = 3,
    Png = 4,
    Jpeg2000 = 5,
};

// Quality of a JPEG written without a compression factor (an empty property set). 0.9 keeps fine detail
// of a 12-megapixel photo visually intact at about a third of the size of quality 100; it is also what
// the desktop encoder we stand in for uses by default.
constexpr float kDefaultJpegCompressionFactor = 0.9f;

struct EncodeProperties
{
    // 0.0 to 1.0; unset means the encoder's default.
    std::optional<float> compressionFactor;
};

// Encodes to the file type's bytes; empty on failure. JPEG and BMP drop an alpha channel. The bitmap's
// ICC profile goes into every type that can hold one (JPEG APP2, PNG iCCP, TIFF tag 34675, JP2 colour box).
std::vector<uint8_t> encodeImage(const Bitmap& image, ImageFileType type, const EncodeProperties& properties = {});

std::vector<uint8_t> encodeJpeg(const Bitmap& image, int quality);
std::vector<uint8_t> encodePng(const Bitmap& image);
// The same PNG encoding on all cores: bands of rows filtered and compressed apart, joined into one stream.
std::vector<uint8_t> encodePngParallel(const Bitmap& image);
std::vector<uint8_t> encodeTiff(const Bitmap& image);
std::vector<uint8_t> encodeJp2(const Bitmap& image);
std::vector<uint8_t> encodeBmp(const Bitmap& image);

// The picture format files of the type are told by (identifyPictureFormat).
PictureFormat pictureFormatOf(ImageFileType type);

// The row-level forms of the JPEG codec: encode rows at any stride; decode a baseline RGB JPEG into a
// caller's buffer of exactly width x height RGB (one band of the parallel decode).
std::vector<uint8_t> encodeJpegRows(const uint8_t* pixels, size_t stride, uint32_t width, uint32_t height,
                                    uint32_t channels, const std::vector<uint8_t>& iccProfile, int quality);
bool decodeJpegInto(const uint8_t* data, size_t size, uint8_t* dst, size_t dstStride, uint32_t width, uint32_t height);
// Large pictures on all cores: bands encoded apart and joined with restart markers into one baseline
// JPEG; a JPEG whose restart intervals start at MCU rows decoded band by band in parallel, any other
// through the JPEG stream decoder. Either way the header passes the stream decoder's size checks first;
// the picture comes out RGB, as stored, at its full size.
std::vector<uint8_t> encodeJpegParallel(const Bitmap& image, int quality);
std::optional<Bitmap> decodeJpegParallel(const uint8_t* data, size_t size);
// A JPEG's picture as a PNG without the whole picture held: each band between the restart markers of a
// banded JPEG decoded and compressed on its own core, a band of rows at a time. Empty on failure.
std::vector<uint8_t> encodePngFromJpeg(const uint8_t* data, size_t size);
// A JPEG's picture encoded as the type (PNG through encodePngFromJpeg, the others decoded whole first).
std::vector<uint8_t> transcodeJpeg(const uint8_t* data, size_t size, ImageFileType type,
                                   const EncodeProperties& properties = {});

}  // namespace pravix
