// Parses arbitrary bytes as an Exif block, with and without the signature in front.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "ExifParser.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The parser reports untreated tags on standard output; keep the fuzzer's log readable.
    static FILE* quiet = std::freopen("/dev/null", "w", stdout);
    (void)quiet;
    std::vector<std::uint8_t> block(data, data + size);
    ParseExifBlock(block);
    std::vector<std::uint8_t> signed_ = {'E', 'x', 'i', 'f', 0, 0};
    signed_.insert(signed_.end(), data, data + size);
    ParseExifBlock(FindExifBlock(signed_));
    return 0;
}
