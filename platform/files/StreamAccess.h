#pragma once

#include <cstddef>
#include <cstdint>
#include <streambuf>

namespace pravix
{

// Reading a file through its stream buffer for the codecs, which call back from C and must not see an
// exception; none of these throws.
namespace stream
{
// The file's size in bytes; 0 when it cannot be told.
uint64_t size(std::streambuf& file);
bool seek(std::streambuf& file, uint64_t position);
// Moves `count` bytes on; false (the position unchanged) when that is past the end.
bool skip(std::streambuf& file, uint64_t count);
// Reads up to `count` bytes; how many were read.
size_t read(std::streambuf& file, void* into, size_t count);
}  // namespace stream

}  // namespace pravix
