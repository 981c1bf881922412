#include "DcUtils.h"

#include <cctype>

namespace DC
{
std::string toLower(std::string text)
{
    for (auto& c : text)
    {
        c = char(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

std::string toUpper(std::string text)
{
    for (auto& c : text)
    {
        c = char(std::toupper(static_cast<unsigned char>(c)));
    }
    return text;
}
}  // namespace DC
