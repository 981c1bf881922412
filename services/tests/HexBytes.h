#pragma once

// Hex text to bytes and back, for the cipher vectors.

#include <cstdint>
#include <string>
#include <vector>

namespace pravix::test
{

using Bytes = std::vector<uint8_t>;

inline Bytes fromHex(const std::string& hex)
{
    Bytes out;
    int high = -1;
    for (char c : hex)
    {
        int v = (c >= '0' && c <= '9') ? c - '0' : (c >= 'a' && c <= 'f') ? c - 'a' + 10 : -1;
        if (v < 0)
            continue; // blanks between blocks
        if (high < 0)
            high = v;
        else
        {
            out.push_back(uint8_t(high * 16 + v));
            high = -1;
        }
    }
    return out;
}

inline std::string toHex(const uint8_t* data, std::size_t length)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (std::size_t i = 0; i < length; ++i)
    {
        out.push_back(digits[data[i] >> 4]);
        out.push_back(digits[data[i] & 15]);
    }
    return out;
}

inline std::string toHex(const Bytes& bytes)
{
    return toHex(bytes.data(), bytes.size());
}

} // namespace pravix::test
