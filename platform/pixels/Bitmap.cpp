#include "Bitmap.h"

#include <cstdlib>
#include <sys/mman.h>

namespace pravix
{
namespace
{

// Buffers from this size on are mapped on their own, aligned to whole huge pages.
constexpr size_t kHugePage = size_t(2) << 20;

constexpr size_t kPage = 4096;

size_t roundedToPages(size_t bytes)
{
    return (bytes + kPage - 1) / kPage * kPage;
}

}  // namespace

void* allocatePixelMemory(size_t bytes)
{
    if (bytes < kHugePage)
    {
        return std::calloc(bytes == 0 ? 1 : bytes, 1);
    }
    const size_t size = roundedToPages(bytes);
    if (size < bytes || size > static_cast<size_t>(-1) - kHugePage)
    {
        return nullptr;
    }
    // Map one huge page more than needed and give back what lies outside the range that starts on a
    // huge-page boundary.
    void* mapped = mmap(nullptr, size + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED)
    {
        return nullptr;
    }
    const auto start = reinterpret_cast<uintptr_t>(mapped);
    const uintptr_t aligned = (start + kHugePage - 1) / kHugePage * kHugePage;
    if (aligned > start)
    {
        munmap(mapped, aligned - start);
    }
    munmap(reinterpret_cast<void*>(aligned + size), start + kHugePage - aligned);
    // Whole huge pages only: a partly used one would count in full. Advice only: fine if refused.
    madvise(reinterpret_cast<void*>(aligned), size / kHugePage * kHugePage, MADV_HUGEPAGE);
    return reinterpret_cast<void*>(aligned);
}

void freePixelMemory(void* memory, size_t bytes)
{
    if (memory == nullptr)
    {
        return;
    }
    if (bytes < kHugePage)
    {
        std::free(memory);
        return;
    }
    munmap(memory, roundedToPages(bytes));
}

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
    pixels = PixelBuffer(static_cast<size_t>(w) * h * ch);
    return true;
}

}  // namespace pravix
