// Feeds arbitrary bytes to the H.264 stream parser (through a file, as it reads files), and to the
// SPS reader and RBSP conversion that the decoder configuration records use.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <vector>

#include "AvcParser.h"
#include "FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::vector<std::uint8_t> bytes(data, data + size);
    try
    {
        std::vector<std::uint8_t> rbsp;
        convertByteStreamToRBSP(bytes, rbsp);
    }
    catch (const std::exception&)
    {
    }
    try
    {
        SPSConfigValues values;
        parseSPSConfigValues(bytes, values);
    }
    catch (const std::exception&)
    {
    }

    fuzzsupport::parseAllPictures<AvcParser>(data, size, ".h264");
    return 0;
}
