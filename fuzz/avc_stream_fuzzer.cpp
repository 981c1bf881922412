// Feeds arbitrary bytes to the H.264 stream parser (through a file, as it reads files), and to the
// SPS reader and RBSP conversion that the decoder configuration records use.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "AvcParser.h"

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

    static const std::string path = "/tmp/pravix_avc_fuzz_" + std::to_string(getpid()) + ".h264";
    if (std::FILE* file = std::fopen(path.c_str(), "wb"))
    {
        std::fwrite(data, 1, size, file);
        std::fclose(file);
    }
    try
    {
        AvcParser parser;
        if (parser.openFile(path))
        {
            ParserInterface::PictureData picture;
            while (parser.parseNextPicture(picture))
            {
            }
        }
    }
    catch (const std::exception&)
    {
    }
    std::remove(path.c_str());
    return 0;
}
