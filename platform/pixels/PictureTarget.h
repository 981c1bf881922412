#pragma once

#include "AreaScaler.h"
#include "Bitmap.h"

#include <cstddef>
#include <cstdint>
#include <memory>

namespace pravix
{

// A rectangle of a picture.
struct PictureWindow
{
    uint32_t x = 0;
    uint32_t y = 0;
    uint32_t width = 0;
    uint32_t height = 0;
};

// Where a decoder draws a picture: the visible window of its canvas (the clean aperture, or all of it),
// turned for an Exif orientation value and, when an output smaller than the window is asked for,
// reduced by area averaging while the rows arrive, so a large canvas is never held whole.
class PictureTarget
{
public:
    // outWidth x outHeight: the size of the turned window, or smaller to reduce it; pixels of `channels`
    // samples (3, RGB, or 4, RGBA) in and out. Throws PictureDecodeError when the window does not lie inside
    // the canvas or the output cannot be allocated.
    // The output's memory comes from `memory` when it is set.
    PictureTarget(uint32_t canvasWidth, uint32_t canvasHeight, PictureWindow window, uint32_t orientation,
                  uint32_t outWidth, uint32_t outHeight, uint32_t channels = 3, const PixelMemory& memory = {});
    ~PictureTarget();

    bool reduces() const { return mScaler != nullptr; }

    // Not reducing: draws the w x h rectangle at canvas position (x, y), clipped to the window and
    // turned into its place. Any order, from several threads, as long as the rectangles do not overlap.
    void place(uint32_t x, uint32_t y, uint32_t w, uint32_t h, const uint8_t* pixels, size_t stride);
    // Not reducing, not turned: where the canvas rectangle's pixels go when it lies wholly inside the
    // window, for writing them there directly (placing or pushing them from there then copies nothing);
    // null otherwise.
    uint8_t* directRect(uint32_t x, uint32_t y, uint32_t w, uint32_t h, size_t& stride);
    // The next `count` whole-width rows of the canvas, top to bottom (either mode).
    void pushRows(uint32_t count, const uint8_t* rows, size_t stride);

    // The finished picture.
    Bitmap take();

private:
    void placeOutput(uint32_t x, uint32_t y, uint32_t w, uint32_t h, const uint8_t* pixels, size_t stride);

    uint32_t mCanvasWidth;
    PictureWindow mWindow;
    uint32_t mOrientation;
    uint32_t mChannels;
    uint32_t mPlainWidth;  // the output before it is turned
    uint32_t mPlainHeight;
    uint32_t mRowsPushed = 0;
    Bitmap mOut;
    std::unique_ptr<AreaScaler> mScaler;
};

}  // namespace pravix
