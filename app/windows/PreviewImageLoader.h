#pragma once

#include <QImage>
#include <QString>

namespace pravix
{

struct Bitmap;

// A decoded bitmap (RGB or RGBA, 8 bits) as a QImage: a deep copy of it, or, given the bitmap itself,
// its pixels taken over without a copy. Null for an empty bitmap.
QImage imageFromBitmap(const Bitmap& bitmap);
QImage imageFromBitmap(Bitmap&& bitmap);

// Decodes an image file for the preview window through the image layer's bounded decoders (the
// conversion's own: HEIF, JPEG, JPEG 2000, PNG, BMP and TIFF told by their bytes), alpha kept, reduced to
// at most 8192 pixels on its longer side while it is decoded; a null image when the file is missing, not
// a regular file, unreadable, refused by the decoders' limits or no picture. Safe on any thread.
QImage loadPreviewImage(const QString& path);

}  // namespace pravix
