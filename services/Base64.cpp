#include "Base64.h"

#include <array>

namespace pravix
{

namespace
{

constexpr uint8_t kNotInAlphabet = 0xFF;

constexpr std::array<uint8_t, 256> makeDecodeTable()
{
    std::array<uint8_t, 256> table{};
    for (auto& value : table)
        value = kNotInAlphabet;
    for (int i = 0; i < 64; ++i)
        table[static_cast<unsigned char>(Base64Alphabet[i])] = uint8_t(i);
    return table;
}

} // namespace

std::string Base64Encode(const uint8_t* data, std::size_t length)
{
    std::string out;
    if (data == nullptr || length == 0)
        return out;
    out.resize((length + 2) / 3 * 4);
    char* p = out.data();
    std::size_t i = 0;
    for (; i + 3 <= length; i += 3)
    {
        const uint32_t group = (uint32_t(data[i]) << 16) | (uint32_t(data[i + 1]) << 8) | data[i + 2];
        *p++ = Base64Alphabet[group >> 18];
        *p++ = Base64Alphabet[(group >> 12) & 0x3F];
        *p++ = Base64Alphabet[(group >> 6) & 0x3F];
        *p++ = Base64Alphabet[group & 0x3F];
    }
    const std::size_t rest = length - i;
    if (rest > 0)
    {
        const uint32_t group = (uint32_t(data[i]) << 16) | (rest == 2 ? uint32_t(data[i + 1]) << 8 : 0);
        *p++ = Base64Alphabet[group >> 18];
        *p++ = Base64Alphabet[(group >> 12) & 0x3F];
        *p++ = rest == 2 ? Base64Alphabet[(group >> 6) & 0x3F] : '=';
        *p++ = '=';
    }
    return out;
}

std::string Base64Decode(const char* text, std::size_t length)
{
    static constexpr std::array<uint8_t, 256> kDecode = makeDecodeTable();
    std::string out;
    if (text == nullptr)
        return out;
    out.reserve(length / 4 * 3 + 2);
    uint32_t group = 0;
    int count = 0;
    for (std::size_t i = 0; i < length; ++i)
    {
        const uint8_t value = kDecode[static_cast<unsigned char>(text[i])];
        if (value == kNotInAlphabet)
            break;
        group = (group << 6) | value;
        if (++count == 4)
        {
            out.push_back(char(group >> 16));
            out.push_back(char((group >> 8) & 0xFF));
            out.push_back(char(group & 0xFF));
            group = 0;
            count = 0;
        }
    }
    // k characters carry 6k bits: 2 give one byte, 3 give two, 1 gives none.
    if (count == 2)
    {
        out.push_back(char(group >> 4));
    }
    else if (count == 3)
    {
        out.push_back(char(group >> 10));
        out.push_back(char((group >> 2) & 0xFF));
    }
    return out;
}

} // namespace pravix
