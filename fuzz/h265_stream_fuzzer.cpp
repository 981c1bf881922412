// Feeds arbitrary bytes to the H.265 stream parser (through a file, as it reads files), and to
// the VPS reader and operating-points filler as one unit.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <vector>

#include "FuzzSupport.h"
#include "H265Parser.h"
#include "OperatingPointsInformation.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::vector<std::uint8_t> bytes(data, data + size);
    try
    {
        OperatingPointsInformation oinf;
        oinf.fillFromVideoParameterSet(bytes);
    }
    catch (const std::exception&)
    {
    }

    fuzzsupport::parseAllPictures<H265Parser>(data, size, ".h265");
    return 0;
}
