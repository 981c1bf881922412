#pragma once

// Pieces the fuzz targets share: a silent log, one-box parsing, and running a stream parser over
// the input (the parsers read files, so the bytes go through a temporary file).
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "BitStream.h"
#include "LogStream.h"
#include "ParserInterface.h"

namespace fuzzsupport
{
/// Silences the container log once: a warning per mutated box would drown the fuzzer's output.
inline void quietLog()
{
    static const bool quiet = []
    {
        setLogLevel(-1);
        return true;
    }();
    (void)quiet;
}

/// Parses the bytes as one box of type BoxT; standard exceptions are the expected outcome.
template <typename BoxT>
void parseOneBox(const std::uint8_t* data, std::size_t size)
{
    quietLog();
    BitStream stream(std::vector<std::uint8_t>(data, data + size));
    BoxT box;
    try
    {
        box.parseBox(stream);
    }
    catch (const std::exception&)
    {
    }
}

/// Writes the bytes to a per-process temporary file and parses every picture of it with ParserT.
template <typename ParserT>
void parseAllPictures(const std::uint8_t* data, std::size_t size, const char* extension)
{
    static const std::string path = "/tmp/pravix_fuzz_" + std::to_string(getpid()) + extension;
    if (std::FILE* file = std::fopen(path.c_str(), "wb"))
    {
        std::fwrite(data, 1, size, file);
        std::fclose(file);
    }
    try
    {
        ParserT parser;
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
}
}  // namespace fuzzsupport
