#pragma once

#include <stdexcept>

namespace pravix
{

// A picture file that cannot be decoded, whatever its format: damaged, cut short, of a kind its decoder
// does not read, or claiming a size beyond the limits. The message says why, for the log.
class PictureDecodeError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

}  // namespace pravix
