#pragma once

#include <cstdint>

// Process-wide id counter, starting at 20000. Returns counter + offset and moves the counter one
// past it. Not locked: only the parsing thread draws ids.
std::int32_t getNextUniqueId(std::int32_t offset = 0);
