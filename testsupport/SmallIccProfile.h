#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace testsupport
{

// A minimal well-formed ICC profile: its 132-byte header alone (display class, RGB, XYZ connection
// space, D50 illuminant, no tags), small enough for any container that carries a profile.
inline std::vector<uint8_t> smallIccProfile()
{
    std::vector<uint8_t> icc(132, 0);
    const auto put32 = [&](size_t at, uint32_t v)
    {
        for (size_t i = 0; i < 4; ++i)
        {
            icc[at + i] = uint8_t(v >> (24 - 8 * i));
        }
    };
    put32(0, 132);
    put32(8, 0x02100000);
    std::memcpy(&icc[12], "mntrRGB XYZ ", 12);
    std::memcpy(&icc[36], "acsp", 4);
    put32(68, 0x0000F6D6);
    put32(72, 0x00010000);
    put32(76, 0x0000D32D);
    return icc;
}

}  // namespace testsupport
