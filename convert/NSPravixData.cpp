#include "NSPravixData.h"

#include <atomic>
#include <cstdio>

namespace pravix
{

uint64_t newPravixDataId()
{
    static std::atomic<uint64_t> next{1};
    return next.fetch_add(1, std::memory_order_relaxed);
}

std::string byteSizeText(uint64_t bytes)
{
    const char* format = "%.02f byte";
    double divisor = 1.0;
    if (bytes > 1000000000ULL)
    {
        format = "%.02f GB";
        divisor = 1e9;
    }
    else if (bytes > 1000000ULL)
    {
        format = "%.02f MB";
        divisor = 1e6;
    }
    else if (bytes > 1000ULL)
    {
        format = "%.02f KB";
        divisor = 1e3;
    }
    const float quotient = static_cast<float>(static_cast<double>(bytes) / divisor);
    char text[64];
    std::snprintf(text, sizeof text, format, static_cast<double>(quotient));
    return text;
}

}  // namespace pravix
