#pragma once

#include <cstdint>
#include <string>

#include "BitStream.h"

// Exp-Golomb reads that refuse a value outside its allowed range, so that a count or index from
// the stream is checked before anything is sized or looked up by it. The error is
// Error(context + name + " out of range"); each parser names its own context and error type.

template <typename Error>
std::uint32_t readUeAtMost(BitStream& bits, std::uint32_t maxValue, const char* context, const char* name)
{
    const std::uint32_t value = bits.readUnsignedExpGolomb();
    if (value > maxValue)
    {
        throw Error(std::string(context) + name + " out of range");
    }
    return value;
}

template <typename Error>
std::int32_t readSeWithin(BitStream& bits, std::int32_t minValue, std::int32_t maxValue, const char* context,
                          const char* name)
{
    const std::int32_t value = bits.readSignedExpGolomb();
    if (value < minValue || value > maxValue)
    {
        throw Error(std::string(context) + name + " out of range");
    }
    return value;
}
