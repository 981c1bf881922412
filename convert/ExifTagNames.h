#pragma once

#include <cstdint>

/// The three directories of an Exif block that the module follows.
enum class ExifDirectory
{
    Ifd0,
    Exif,
    Gps,
};

/// libexif's constant name of a tag ("EXIF_TAG_COMPRESSION", "EXIF_TAG_GPS_TRACK"), or null for
/// a tag it does not name.
const char* ExifTagName(ExifDirectory directory, std::uint16_t tag);
