#pragma once

#include "Bitmap.h"

#include <QImage>

#include <optional>

class QWidget;

namespace pravix
{

// A QImage as a picture of our image layer: RGBA (straight alpha) when the image has an alpha
// channel, else RGB; none for a null image or one beyond the bitmap bounds.
std::optional<Bitmap> bitmapFromImage(const QImage& image);

// The image helpers that need a window: pictures of a view's contents, for the engine's encoders
// (ZLImage::compressedImageDataWithImg, saveImage, ...). None for no view or an empty one.
class ZLViewImage
{
public:
    // What the screen shows of the view: its cached display, in device pixels (twice the view's
    // size on a 2x screen).
    static std::optional<Bitmap> imageFromView(QWidget* view);
    // The view's bounds drawn afresh at its own size in logical pixels, whatever the screen,
    // transparent where the view draws nothing.
    static std::optional<Bitmap> imageWithNSView(QWidget* view);

    // Kept for callers to come; none throws.
    // A QImage as a bitmap of our image layer (bitmapFromImage), its colour space as the bitmap's
    // ICC profile. The pixels are copied: the bitmap owns its own buffer.
    static std::optional<Bitmap> getCGImageRefFromNSImage(const QImage& image);
    // The bitmap as a QImage over the bitmap's own pixels, not copied: the image takes the buffer
    // over and frees it with its last copy. Its ICC profile becomes the image's colour space. Null
    // for an empty or inconsistent bitmap.
    static QImage getNSImageWithCGImageRef(Bitmap image);
    // The image drawn through an identity transform: the same pixels, shared until either side
    // is written to.
    static QImage getCIImageWithNSImage(const QImage& image);
};

}  // namespace pravix
