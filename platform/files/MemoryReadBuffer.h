#pragma once

#include <cstddef>
#include <cstdint>
#include <streambuf>

namespace pravix
{

// Reads bytes in memory through a stream buffer, in place, without a copy; the bytes must outlive it.
class MemoryReadBuffer : public std::streambuf
{
public:
    MemoryReadBuffer(const uint8_t* data, size_t size);

protected:
    pos_type seekoff(off_type offset, std::ios_base::seekdir way, std::ios_base::openmode which) override;
    pos_type seekpos(pos_type position, std::ios_base::openmode which) override;
};

}  // namespace pravix
