#include "UniqueId.h"

namespace
{
std::int32_t gIdCounter = 20000;
}

std::int32_t getNextUniqueId(std::int32_t offset)
{
    const std::int32_t id = gIdCounter + offset;
    gIdCounter = id + 1;
    return id;
}
