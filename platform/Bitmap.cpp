#include "Bitmap.h"

namespace pravix
{

bool bitmapSizeAllowed(uint64_t w, uint64_t h)
{
    return w > 0 && h > 0 && w <= kMaxBitmapSide && h <= kMaxBitmapSide && w * h <= kMaxBitmapPixels;
}

bool Bitmap::allocate(uint32_t w, uint32_t h, uint32_t ch)
{
    if (!bitmapSizeAllowed(w, h) || (ch != 3 && ch != 4))
    {
        return false;
    }
    width = w;
    height = h;
    channels = ch;
    pixels.assign(static_cast<size_t>(w) * h * ch, 0);
    return true;
}

}  // namespace pravix
