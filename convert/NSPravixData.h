#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace pravix
{

// A number no other entry made by this process has.
uint64_t newPravixDataId();

// One row of the conversion list: a source HEIC file, whether it is ticked, and the outcome of its last
// conversion. Empty strings stand for "none" in the outcome fields. A copy is the same entry (same
// entryId): the batch names entries by it, never by their place in the list.
struct NSPravixData
{
    uint64_t entryId = newPravixDataId();
    bool isSelect = true;
    std::string HeicPath;              // full path of the source; the list refuses duplicates by it
    std::string OriginalFilePath;      // folder of the source
    std::string HeicFileSize;          // size text made by byteSizeText()
    std::string ToPath;                // the written output file
    std::string FileName;              // the file name up to its first dot
    std::string ToTitle;               // progress text while the row converts
    std::string ToErrInfo;             // failure key of the last run
    std::shared_ptr<void> DeleteCell;  // the row's delete cell, owned by the list view
};

// Size text in decimal units: "%.02f GB" above 1,000,000,000 bytes, "%.02f MB" above 1,000,000,
// "%.02f KB" above 1000, else "%.02f byte"; each quotient is rounded to single precision first.
std::string byteSizeText(uint64_t bytes);

}  // namespace pravix
