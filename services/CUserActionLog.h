#pragma once

// One queued usage event of UserActionAnalysis.

#include <cstdint>
#include <string>

namespace pravix
{

struct CUserActionLog
{
    std::string Code;   // event code (UTF-8)
    std::string Value;  // event value, empty when there is none
    uint32_t Times = 0; // count of occurrences
    uint32_t Mode = 1;  // 1: the event has no value; 2: it has one
};

} // namespace pravix
