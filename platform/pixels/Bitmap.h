#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <utility>
#include <vector>

namespace pravix
{

// Zero-filled memory for pixels. Large buffers are mapped afresh and asked for in huge pages where the
// system has them: a picture's buffer is written once, and faulting it in 4 KB pages can cost more
// than decoding it (tens of microseconds a page on some virtual machines). Null when out of memory.
void* allocatePixelMemory(size_t bytes);
void freePixelMemory(void* memory, size_t bytes);

// Allocator of pixel buffers: the memory comes zero-filled, so growing a new buffer writes nothing.
template <typename T>
struct PixelAllocator
{
    using value_type = T;
    PixelAllocator() = default;
    template <typename U>
    PixelAllocator(const PixelAllocator<U>&)
    {
    }
    T* allocate(size_t n)
    {
        void* memory = n > static_cast<size_t>(-1) / sizeof(T) ? nullptr : allocatePixelMemory(n * sizeof(T));
        if (memory == nullptr)
        {
            throw std::bad_alloc();
        }
        return static_cast<T*>(memory);
    }
    void deallocate(T* p, size_t n) { freePixelMemory(p, n * sizeof(T)); }
    // Value-initialising a new element is leaving the zero the memory came with.
    template <typename U>
    void construct(U* p)
    {
        ::new (static_cast<void*>(p)) U;
    }
    template <typename U, typename... Args>
    void construct(U* p, Args&&... args)
    {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
    template <typename U>
    bool operator==(const PixelAllocator<U>&) const
    {
        return true;
    }
    template <typename U>
    bool operator!=(const PixelAllocator<U>&) const
    {
        return false;
    }
};

using PixelBuffer = std::vector<uint8_t, PixelAllocator<uint8_t>>;

// Largest side and pixel count any decoder or resize of this layer will allocate for. A file may claim
// anything in its headers; these bounds keep a hostile size from turning into a huge allocation.
constexpr uint32_t kMaxBitmapSide = 32768;
constexpr uint64_t kMaxBitmapPixels = 1ULL << 28;

// An 8-bit interleaved picture, rows top to bottom, tightly packed: RGB (3 channels) or
// straight (not premultiplied) RGBA (4 channels). The ICC profile travels with the pixels so every
// encoder can embed it.
struct Bitmap
{
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t channels = 3;
    PixelBuffer pixels;
    std::vector<uint8_t> iccProfile;

    size_t stride() const { return static_cast<size_t>(width) * channels; }
    bool empty() const { return width == 0 || height == 0 || pixels.empty(); }
    uint8_t* row(uint32_t y) { return pixels.data() + y * stride(); }
    const uint8_t* row(uint32_t y) const { return pixels.data() + y * stride(); }

    // A new zero-filled pixel buffer; false (and nothing allocated) when the size is zero or beyond the
    // bounds.
    bool allocate(uint32_t w, uint32_t h, uint32_t ch);
};

bool bitmapSizeAllowed(uint64_t w, uint64_t h);

}  // namespace pravix
