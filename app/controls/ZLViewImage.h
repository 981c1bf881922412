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
};

}  // namespace pravix
