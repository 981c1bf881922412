#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

namespace pravix
{

// Zero-filled memory for pixels. Large buffers are mapped afresh and asked for in huge pages where the
// system has them: a picture's buffer is written once, and faulting it in 4 KB pages can cost more
// than decoding it (tens of microseconds a page on some virtual machines). Null when out of memory.
void* allocatePixelMemory(size_t bytes);
void freePixelMemory(void* memory, size_t bytes);

// The bytes of a picture: memory of its own, zero-filled when made (growing a new buffer writes
// nothing), or memory adopted from elsewhere (a helper process's shared rows) and given back through its
// own release. Copies are deep and always of memory of their own.
class PixelBuffer
{
public:
    using value_type = uint8_t;
    using size_type = size_t;
    using iterator = uint8_t*;
    using const_iterator = const uint8_t*;
    using Release = std::function<void(uint8_t* memory, size_t bytes)>;

    PixelBuffer() = default;
    // Throws std::bad_alloc when the memory cannot be had.
    explicit PixelBuffer(size_t bytes);
    // Takes `bytes` bytes at `memory`, handed back with `release` when the buffer lets them go.
    static PixelBuffer adopt(uint8_t* memory, size_t bytes, Release release);
    PixelBuffer(const PixelBuffer& other);
    PixelBuffer& operator=(const PixelBuffer& other);
    PixelBuffer(PixelBuffer&& other) noexcept;
    PixelBuffer& operator=(PixelBuffer&& other) noexcept;
    ~PixelBuffer();

    uint8_t* data() { return mData; }
    const uint8_t* data() const { return mData; }
    size_t size() const { return mSize; }
    bool empty() const { return mSize == 0; }
    uint8_t* begin() { return mData; }
    uint8_t* end() { return mData + mSize; }
    const uint8_t* begin() const { return mData; }
    const uint8_t* end() const { return mData + mSize; }
    uint8_t& operator[](size_t i) { return mData[i]; }
    const uint8_t& operator[](size_t i) const { return mData[i]; }
    uint8_t& back() { return mData[mSize - 1]; }
    const uint8_t& back() const { return mData[mSize - 1]; }

    // To `bytes` bytes of memory of its own: what fits is kept, what is added is zero.
    void resize(size_t bytes);
    void assign(size_t bytes, uint8_t value);
    void clear();

    bool operator==(const PixelBuffer& other) const;
    bool operator!=(const PixelBuffer& other) const { return !(*this == other); }

private:
    void release();

    uint8_t* mData = nullptr;
    size_t mSize = 0;
    Release mRelease;  // empty: the memory is our own, from allocatePixelMemory
};

// Where a picture's memory comes from when not from allocatePixelMemory: a buffer of exactly `bytes`
// zero bytes (throws std::bad_alloc when it cannot be had).
using PixelMemory = std::function<PixelBuffer(size_t bytes)>;

}  // namespace pravix
