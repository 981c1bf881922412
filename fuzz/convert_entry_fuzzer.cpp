// One list entry's whole conversion on arbitrary bytes in a file named .heic: the image source that
// tells the format from the bytes, the HEIF reader, the JPEG, PNG, TIFF, BMP and JPEG 2000 decoders, the
// Exif module (a HEIF Exif item or a JPEG's Exif segment), the grid and picture decoders, orientation,
// reduction, the encoders, naming and the write. One thread and a picture cap of four megapixels keep
// each run short; the output goes to a temporary folder and is removed.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "ConvertEntry.h"
#include "FuzzSupport.h"
#include "ParallelFor.h"
#include "DecodeSizeLimits.h"

namespace
{
namespace fs = std::filesystem;

const fs::path& workFolder()
{
    static const fs::path folder = []
    {
        std::string pattern = (fs::temp_directory_path() / "pravix_convert_fuzz_XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr)
        {
            std::abort();
        }
        return fs::path(pattern);
    }();
    return folder;
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzzsupport::quietLog();
    // The conversion reports on standard output; keep the fuzzer's log readable.
    static FILE* quiet = std::freopen("/dev/null", "w", stdout);
    (void)quiet;
    pravix::limitWorkers(1);
    pravix::limitDecodedPixels(uint64_t(1) << 22);
    workFolder();
    // Registered after the folder's name is made, so it runs while the name still exists.
    std::atexit(
        []
        {
            std::error_code ec;
            fs::remove_all(workFolder(), ec);
        });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const fs::path input = workFolder() / "photo.heic";
    if (FILE* file = std::fopen(input.c_str(), "wb"))
    {
        std::fwrite(data, 1, size, file);
        std::fclose(file);
    }
    // The output type and scale come from a byte of the input, so every encoder and the scaling are
    // reached; JPG (with Exif) most often. JPEG 2000 is left out: its lossless encode is slow.
    const std::uint8_t pick = size > 0 ? data[size / 2] : 0;
    static const char* const kTypes[] = {"JPG", "JPG", "JPG", "JPG", "PNG", "BMP", "TIFF", "JPG"};
    pravix::ConversionOptions options;
    options.saveSuff = kTypes[pick & 7];
    options.imageZooming = (pick & 8) != 0 ? 0.5f : 1.0f;
    options.bExif = true;
    options.savePath = (workFolder() / "out").string();
    options.cachePath = (workFolder() / "cache").string();
    const pravix::EntryOutcome outcome =
        pravix::convertEntry(pravix::EntryPaths{input.string(), workFolder().string(), "photo"}, options);
    if (outcome.converted)
    {
        std::error_code ec;
        fs::remove(outcome.toPath, ec);
    }
    return 0;
}
