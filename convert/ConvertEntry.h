#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

typedef struct _ExifData ExifData;
class ImageFileReaderInterface;

namespace pravix
{

// The entry's fields the conversion reads, copied so the list may be redrawn meanwhile.
struct EntryPaths
{
    std::string heicPath;
    std::string originalFilePath;
    std::string fileName;
};

struct ConversionOptions
{
    std::string saveSuff = "JPG";         // output type, also the extension: "JPG", "JPEG", "PNG", "BMP", "TIFF"
    float imageZooming = 1.0f;            // 0.1 to 1.0
    int32_t nQuality = 70;                // percent, acts on the first JPEG encode only
    bool bExif = false;                   // carry the Exif block (JPG output only)
    std::optional<std::string> savePath;  // none: beside the source
    std::string cachePath;                // folder of the temporary file
};

struct EntryOutcome
{
    bool converted = false;
    std::string toPath;    // the written file when converted
    std::string errorKey;  // "ConversionFailure", "FileNotThereTitle" or "FolderReadOnly" otherwise
};

// The Exif module's entries; replaceable so tests can make them fail. `create` reads the Exif item of a
// HEIF file through the conversion's one parse of the file; `createFromBlock` builds the tree from the
// Exif block another picture file carries (a JPEG's APP1 segment). An ExifData tree either makes is
// released by the conversion.
struct ExifHooks
{
    std::function<ExifData*(const ImageFileReaderInterface& reader)> create;
    std::function<int(const char* jpegPath, const char* outputPath, ExifData* exif)> splice;
    std::function<ExifData*(const std::vector<uint8_t>& block)> createFromBlock;
};

// The Exif module's own functions.
ExifHooks defaultExifHooks();

// Converts one entry: read (as the picture its bytes are, whatever its name), Exif, decode upright,
// first JPEG encode at the quality, scaling, final encode for the output type, output folder, free name,
// write probe, write (with the Exif splice). The source is opened only when it is a regular file. The
// output never replaces a file: when the free name is taken while the output is written, it takes the
// next free one (the outcome's toPath).
EntryOutcome convertEntry(const EntryPaths& entry, const ConversionOptions& options,
                          const ExifHooks& exif = defaultExifHooks());

// The path when a directory (or a file) is there or could be made with its parents; none otherwise.
std::optional<std::string> createDirectory(const std::string& path);

// "folder/name.suffix", or the first free "folder/name(n).suffix" for n = 1, 2, ...
std::string freeOutputPath(const std::string& folder, const std::string& name, const std::string& suffix);

// Writes through a unique temporary file in the same folder renamed into place; false (nothing left
// behind) on failure or for empty data.
bool writeFileAtomically(const std::string& path, const std::vector<uint8_t>& data, std::string& error);

}  // namespace pravix
