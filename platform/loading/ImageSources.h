#pragma once

#include "ImageSource.h"

#include <memory>
#include <streambuf>
#include <string>

namespace pravix
{

// Opens the file and tells its format by its first bytes: HEIF by its file type box, JPEG, PNG, TIFF,
// BMP and JPEG 2000 by their signatures. nullptr when the file cannot be opened (`whyNot` then says
// why: not a regular file, permission denied, ...); a source with count 0 (its reason in lastError)
// when it is none of these or its header cannot be read.
std::unique_ptr<ImageSource> createImageSourceWithFile(const std::string& path, std::string* whyNot = nullptr);
// The same over a file already open (or bytes in memory), read from its start; null for no stream.
std::unique_ptr<ImageSource> createImageSourceWithStream(std::unique_ptr<std::streambuf> file);

}  // namespace pravix
