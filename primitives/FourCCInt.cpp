#include "FourCCInt.h"

#include <stdexcept>

FourCCInt::FourCCInt(const std::string& code)
{
    if (code.size() != 4)
    {
        throw std::runtime_error("FourCCInt given an String argument not exactly 4 characters long");
    }
    mValue = (std::uint32_t(std::uint8_t(code[0])) << 24) | (std::uint32_t(std::uint8_t(code[1])) << 16) |
             (std::uint32_t(std::uint8_t(code[2])) << 8) | std::uint32_t(std::uint8_t(code[3]));
}

std::string FourCCInt::getString() const
{
    std::string s(4, '\0');
    s[0] = char((mValue >> 24) & 0xff);
    s[1] = char((mValue >> 16) & 0xff);
    s[2] = char((mValue >> 8) & 0xff);
    s[3] = char(mValue & 0xff);
    return s;
}

std::ostream& operator<<(std::ostream& out, FourCCInt code)
{
    return out << code.getString();
}
