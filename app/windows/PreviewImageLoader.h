#pragma once

#include <QImage>
#include <QString>

#include <cstdint>

namespace pravix
{

struct Bitmap;

// Files larger than this are not read for a preview (a picture the decoders accept is far
// smaller even uncompressed).
constexpr int64_t kMaxPreviewFileBytes = int64_t(1) << 30;

// A deep copy of a decoded bitmap (RGB or RGBA, 8 bits) as a QImage; null for an empty bitmap.
QImage imageFromBitmap(const Bitmap& bitmap);

// Reads and decodes an image file for the preview window: every type the program writes (JPEG,
// JPEG 2000, PNG, BMP, TIFF) through our image layer, anything else through Qt's readers; a null
// image when the file is missing, unreadable, too large or no picture. Safe on any thread.
QImage loadPreviewImage(const QString& path);

}  // namespace pravix
