#pragma once

// The Exif module: finds the Exif item of a HEIC file through the HEIF reader, rebuilds the fields
// it keeps as a libexif tree, and splices that tree into a JPEG file as an APP1 segment.

#include <libexif/exif-data.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include "ExifParser.h"
#include "ImageFileReaderInterface.h"

struct ExifDataDeleter
{
    void operator()(ExifData* data) const
    {
        if (data != nullptr)
        {
            exif_data_unref(data);
        }
    }
};

/// An owned libexif tree.
using ExifDataPtr = std::unique_ptr<ExifData, ExifDataDeleter>;

/// Adds a new entry of `size` bytes (zeroed) to the IFD: the given tag and format, components =
/// size / size of one value. Answers the entry, owned by the tree, or null when it could not be
/// made (allocation failure, a size of 0, or the tag already present).
ExifEntry* CreateExifEntryTag(ExifData* exif, ExifIfd ifd, ExifTag tag, std::size_t size, ExifFormat format);

/// The entry of the tag in the IFD; when there is none, a new one with libexif's default format,
/// component count and value for the tag. Null on allocation failure.
ExifEntry* InitExifEntryTag(ExifData* exif, ExifIfd ifd, ExifTag tag);

/// Builds the output tree (Intel byte order) from a parsed record: the fixed selection of IFD0,
/// Exif and GPS entries. Null, after printing a line, when the tree cannot be made.
ExifDataPtr CreateExifDataFromParsed(const ParsedExif& exif);

/// Writes outputPath as the JPEG at inputPath with the tree serialised into an APP1 segment right
/// after the start-of-image marker (replacing a leading JFIF APP0 segment). The output is written
/// through a temporary file in its folder and renamed into place, created with the user's umask.
/// Answers 1 when the output was written whole, else 0, leaving whatever was under the output name
/// unchanged and no temporary file behind.
int JpgAddExif(const char* inputPath, const char* outputPath, ExifData* exif);

/// JPEG data re-written with a copy of `metadata`, an Exif block ("Exif", 0, 0, then its TIFF
/// structure): the fields CreateExifDataFromParsed keeps, with Orientation 1 and PixelXDimension and
/// PixelYDimension the JPEG's own width and height, put in as an APP1 segment. Data without Exif gets
/// it as JpgAddExif puts it (replacing a leading JFIF APP0); data with Exif APP1 segments has them
/// replaced, the new one standing where the first stood. Other segments and the compressed picture
/// are not touched. Empty when the metadata does not parse, the data is no JPEG whose header can be
/// read (a segment length below 2 or past the data included), or the block does not fit an APP1
/// segment.
std::vector<std::uint8_t> AddExif(const std::vector<std::uint8_t>& metadata,
                                  const std::vector<std::uint8_t>& imageData);

/// Length of an open file, found by seeking to its end and back; -1 when it cannot be told.
long GetFileLength(FILE* file);

/// Rotation in degrees for the Orientation entry (tag 274) of the IFD: 3, 4 → 180; 5, 6 → 90;
/// 7, 8 → 270; anything else or no such entry → 0.
int ExifOrientationToDegrees(ExifData* exif, ExifIfd ifd);

/// The Exif block of the first item of the meta context whose type, lower-cased, is "exif"
/// (items in ascending id): from its "Exif", 0, 0 signature to the end of the item. Empty when
/// there is no such item or block, or when the reader throws.
std::vector<std::uint8_t> GetHeicExifBlock(const ImageFileReaderInterface& reader,
                                           ImageFileReaderInterface::ContextId contextId);

/// GetHeicExifBlock on the root meta box of the HEIC file in `bytes`; empty when the file cannot
/// be read as HEIF or has no Exif block.
std::vector<std::uint8_t> GetHeicExifBlockFromBytes(const std::uint8_t* bytes, std::size_t length);

/// Parses an Exif block ("Exif", 0, 0, then its TIFF structure: a HEIF Exif item's block, or a JPEG's
/// APP1 segment) and builds the output tree. Null, after printing a line, when it cannot be parsed.
ExifDataPtr CreateExifDataFromBlock(const std::vector<std::uint8_t>& block);

/// Reads the HEIC file's bytes, finds and parses its Exif block and builds the output tree. Null,
/// after printing a line, when there is no usable Exif.
ExifDataPtr CreateExifDataFromHeic(const std::uint8_t* bytes, std::size_t length);

/// The same for a file the reader has already parsed (the conversion's one parse of the file).
ExifDataPtr CreateExifDataFromReader(const ImageFileReaderInterface& reader);

/// CreateExifDataFromHeic on the whole file at path; null when it cannot be read.
ExifDataPtr CreateExifDataFromHeicFile(const char* path);
