#pragma once

#include <cstdint>

#include "BitStream.h"

// The 32/64-bit time fields shared by 'tkhd' and 'mdhd'. Values are held in 32 bits.
namespace TrackTimes
{
/// A 64-bit time or duration held in 32 bits: all-ones stays all-ones ("unknown"), anything
/// else too large saturates at 0xFFFFFFFE.
inline std::uint32_t narrow(std::uint64_t value)
{
    if (value == ~std::uint64_t(0))
    {
        return 0xFFFFFFFF;
    }
    return value > 0xFFFFFFFEull ? 0xFFFFFFFE : std::uint32_t(value);
}

/// Reads a version-dependent field: 64 bits in version 1, else 32.
inline std::uint32_t read(BitStream& bitstr, bool wide)
{
    return wide ? narrow(bitstr.readU64()) : bitstr.readU32();
}

/// Writes a version-dependent field; 0xFFFFFFFF widens to all-ones.
inline void write(BitStream& bitstr, bool wide, std::uint32_t value)
{
    if (!wide)
    {
        bitstr.writeU32(value);
    }
    else
    {
        bitstr.writeU64(value == 0xFFFFFFFF ? ~std::uint64_t(0) : value);
    }
}
}  // namespace TrackTimes
