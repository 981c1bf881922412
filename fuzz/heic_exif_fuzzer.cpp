// The Exif module's whole road on arbitrary bytes taken as a HEIC file: reader, Exif item, block
// parser and tree builder.
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "HeicExif.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The module and the reader report on standard output; keep the fuzzer's log readable.
    static FILE* quiet = std::freopen("/dev/null", "w", stdout);
    (void)quiet;
    CreateExifDataFromHeic(data, size);
    return 0;
}
