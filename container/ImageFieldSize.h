#pragma once

#include <cstdint>

#include "BitStream.h"

// The 'grid' and 'iovl' descriptions share one rule: bit 0 of their flags byte widens the
// output size (and the overlay's offsets) from 16 to 32 bits.
namespace ImageFieldSize
{
constexpr std::uint32_t LARGE_FIELDS_FLAG = 1;

inline std::uint32_t read(BitStream& bitstr, bool large)
{
    return large ? bitstr.readU32() : bitstr.readU16();
}

/// In the 16-bit form only the low 16 bits are written.
inline void write(BitStream& bitstr, bool large, std::uint32_t value)
{
    if (large)
    {
        bitstr.writeU32(value);
    }
    else
    {
        bitstr.writeU16(std::uint16_t(value));
    }
}
}  // namespace ImageFieldSize
