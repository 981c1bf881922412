// The movie box parser on its own, as the reader uses it on a root box.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <vector>

#include "BitStream.h"
#include "LogStream.h"
#include "MovieBox.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const bool quiet = []
    {
        setLogLevel(-1);
        return true;
    }();
    (void)quiet;
    BitStream stream(std::vector<std::uint8_t>(data, data + size));
    MovieBox box;
    try
    {
        box.parseBox(stream);
    }
    catch (const std::exception&)
    {
    }
    return 0;
}
