// Feeds arbitrary bytes to the H.265 stream parser (through a file, as it reads files), and to
// the VPS reader and operating-points filler as one unit.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

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

    static const std::string path = "/tmp/pravix_h265_fuzz_" + std::to_string(getpid()) + ".h265";
    if (std::FILE* file = std::fopen(path.c_str(), "wb"))
    {
        std::fwrite(data, 1, size, file);
        std::fclose(file);
    }
    try
    {
        H265Parser parser;
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
