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
    // Each quotient in double precision, rounded to single before it is formatted.
    const auto quotient = [bytes](double divisor)
    { return static_cast<double>(static_cast<float>(static_cast<double>(bytes) / divisor)); };
    char text[64];
    if (bytes > 1000000000ULL)
    {
        std::snprintf(text, sizeof text, "%.02f GB", quotient(1e9));
    }
    else if (bytes > 1000000ULL)
    {
        std::snprintf(text, sizeof text, "%.02f MB", quotient(1e6));
    }
    else if (bytes > 1000ULL)
    {
        std::snprintf(text, sizeof text, "%.02f KB", quotient(1e3));
    }
    else
    {
        std::snprintf(text, sizeof text, "%.02f byte", quotient(1.0));
    }
    return text;
}

}  // namespace pravix
