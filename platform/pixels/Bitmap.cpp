#include "Bitmap.h"

#include <new>

namespace pravix
{

bool bitmapSizeAllowed(uint64_t w, uint64_t h)
{
    return w > 0 && h > 0 && w <= kMaxBitmapSide && h <= kMaxBitmapSide && w * h <= kMaxBitmapPixels;
}

bool Bitmap::allocate(uint32_t w, uint32_t h, uint32_t ch)
{
    return allocate(w, h, ch, PixelMemory());
}

bool Bitmap::allocate(uint32_t w, uint32_t h, uint32_t ch, const PixelMemory& memory)
{
    if (!bitmapSizeAllowed(w, h) || (ch != 3 && ch != 4))
    {
        return false;
    }
    width = w;
    height = h;
    channels = ch;
    const size_t bytes = static_cast<size_t>(w) * h * ch;
    pixels = memory ? memory(bytes) : PixelBuffer(bytes);
    if (pixels.size() != bytes)
    {
        throw std::bad_alloc();
    }
    return true;
}

}  // namespace pravix
