// Splices an Exif block into arbitrary bytes taken as the input JPEG, as a file and in memory. The
// tree is a fixed one, or the one rebuilt from the same bytes when they parse as an Exif block, so
// the tree builder sees hostile values too.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "HeicExif.h"

namespace
{
ExifData* fixedTree()
{
    static ExifDataPtr tree = []
    {
        ParsedExif record;
        record.make = "Canon";
        record.model = "Canon EOS 5D Mark IV";
        record.flash = 0x19;
        record.flashFired = 1;
        record.gpsLatitudeRef = 'N';
        record.gpsLatitude = {{{33, 1}, {52, 1}, {768, 100}}};
        return CreateExifDataFromParsed(record);
    }();
    return tree.get();
}

// The fixed tree as a serialised Exif block, the metadata of the in-memory splice.
const std::vector<std::uint8_t>& fixedBlock()
{
    static const std::vector<std::uint8_t> block = []
    {
        unsigned char* raw = nullptr;
        unsigned int size = 0;
        exif_data_save_data(fixedTree(), &raw, &size);
        std::vector<std::uint8_t> bytes(raw, raw + size);
        std::free(raw);
        return bytes;
    }();
    return block;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static FILE* quiet = std::freopen("/dev/null", "w", stdout);
    (void)quiet;
    // The splice flushes its output to disk; in memory (tmpfs) that costs nothing per run.
    static const std::string dir = std::string(::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") +
                                   "/pravix_jpg_add_exif_" + std::to_string(::getpid());
    static const std::string input = dir + ".in.jpg", output = dir + ".out.jpg";

    FILE* file = std::fopen(input.c_str(), "wb");
    if (file == nullptr)
    {
        return 0;
    }
    std::fwrite(data, 1, size, file);
    std::fclose(file);

    std::vector<std::uint8_t> bytes(data, data + size);
    ParsedExif parsed = ParseExifBlock(FindExifBlock(bytes));
    ExifDataPtr own = parsed.success ? CreateExifDataFromParsed(parsed) : nullptr;
    JpgAddExif(input.c_str(), output.c_str(), own ? own.get() : fixedTree());
    std::remove(output.c_str());
    // The same bytes as JPEG data in memory, with a known block and with whatever block they hold.
    AddExif(fixedBlock(), bytes);
    AddExif(FindExifBlock(bytes), bytes);
    return 0;
}
