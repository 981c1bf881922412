#pragma once

#include "AreaScaler.h"
#include "Bitmap.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

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
    // Where a target hands its finished output rows instead of holding the whole picture: `count` rows
    // from output row `y` on, `stride` bytes apart. Rows may come in any order, each once.
    using RowsOut = std::function<void(uint32_t y, const uint8_t* rows, size_t stride, uint32_t count)>;
    // Whether a target turned for `orientation` finishes its output rows one band at a time, so that it
    // can hand them out (no quarter turn and no mirroring across a row: as stored, or upside down).
    static bool handsOutRows(uint32_t orientation);

    // outWidth x outHeight: the size of the turned window, or smaller to reduce it; pixels of `channels`
    // samples (3, RGB, or 4, RGBA) in and out. Throws PictureDecodeError when the window does not lie inside
    // the canvas or the output cannot be allocated.
    // The output's memory comes from `memory` when it is set. With `rowsOut` (for an orientation that
    // handsOutRows), the rows go there as they are finished and the target holds no picture; the picture
    // it gives at the end has its size but no pixels.
    PictureTarget(uint32_t canvasWidth, uint32_t canvasHeight, PictureWindow window, uint32_t orientation,
                  uint32_t outWidth, uint32_t outHeight, uint32_t channels = 3, const PixelMemory& memory = {},
                  RowsOut rowsOut = {});
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
    RowsOut mRowsOut;
    std::vector<uint8_t> mFlipped;  // a band turned upside down before it is handed out
};

}  // namespace pravix
