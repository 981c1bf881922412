#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pravix
{

// Reads a whole file in one go, sized from the file's length. False when it cannot be opened or read,
// is not a regular file, or is 4 GiB or more (beyond what the container model holds).
bool readWholeFile(const std::string& path, std::vector<uint8_t>& out);

}  // namespace pravix
