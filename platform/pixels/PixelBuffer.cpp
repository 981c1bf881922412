#include "PixelBuffer.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <sys/mman.h>
#include <utility>

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

uint8_t* ownMemory(size_t bytes)
{
    void* memory = allocatePixelMemory(bytes);
    if (memory == nullptr)
    {
        throw std::bad_alloc();
    }
    return static_cast<uint8_t*>(memory);
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

PixelBuffer::PixelBuffer(size_t bytes) : mData(ownMemory(bytes)), mSize(bytes) {}

PixelBuffer PixelBuffer::adopt(uint8_t* memory, size_t bytes, Release release)
{
    PixelBuffer buffer;
    buffer.mData = memory;
    buffer.mSize = bytes;
    buffer.mRelease = std::move(release);
    return buffer;
}

PixelBuffer::PixelBuffer(const PixelBuffer& other)
{
    if (other.mData != nullptr)
    {
        mData = ownMemory(other.mSize);
        mSize = other.mSize;
        std::memcpy(mData, other.mData, mSize);
    }
}

PixelBuffer& PixelBuffer::operator=(const PixelBuffer& other)
{
    if (this != &other)
    {
        PixelBuffer copy(other);
        *this = std::move(copy);
    }
    return *this;
}

PixelBuffer::PixelBuffer(PixelBuffer&& other) noexcept
    : mData(std::exchange(other.mData, nullptr)), mSize(std::exchange(other.mSize, 0)),
      mRelease(std::move(other.mRelease))
{
    other.mRelease = nullptr;
}

PixelBuffer& PixelBuffer::operator=(PixelBuffer&& other) noexcept
{
    if (this != &other)
    {
        release();
        mData = std::exchange(other.mData, nullptr);
        mSize = std::exchange(other.mSize, 0);
        mRelease = std::move(other.mRelease);
        other.mRelease = nullptr;
    }
    return *this;
}

PixelBuffer::~PixelBuffer()
{
    release();
}

void PixelBuffer::release()
{
    if (mData == nullptr)
    {
        return;
    }
    if (mRelease)
    {
        mRelease(mData, mSize);
    }
    else
    {
        freePixelMemory(mData, mSize);
    }
    mData = nullptr;
    mSize = 0;
    mRelease = nullptr;
}

void PixelBuffer::resize(size_t bytes)
{
    PixelBuffer grown(bytes);
    if (mData != nullptr)
    {
        std::memcpy(grown.mData, mData, std::min(bytes, mSize));
    }
    *this = std::move(grown);
}

void PixelBuffer::assign(size_t bytes, uint8_t value)
{
    PixelBuffer filled(bytes);
    std::memset(filled.mData, value, bytes);
    *this = std::move(filled);
}

void PixelBuffer::clear()
{
    release();
}

bool PixelBuffer::operator==(const PixelBuffer& other) const
{
    return mSize == other.mSize && (mSize == 0 || std::memcmp(mData, other.mData, mSize) == 0);
}

}  // namespace pravix
