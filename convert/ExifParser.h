#pragma once

// The Exif module's own reader of an Exif block ("Exif", 0, 0, then a TIFF structure). It follows
// IFD0, the Exif IFD and the GPS IFD and keeps the fields that the JPG output carries over; every
// other tag is reported as untreated on standard output and skipped. libexif is not used here: it
// only builds and serialises the output block.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

/// Result codes of the block parser.
enum ExifParseResult : int
{
    kExifParseOk = 0,
    /// Shorter than 6 bytes, or not starting with "Exif", 0, 0.
    kExifNoSignature = 1983,
    /// The byte-order mark is neither "MM" nor "II".
    kExifBadByteOrder = 1984,
    /// Too short for its header, magic number not 42, or a directory that does not fit.
    kExifCorrupt = 1985,
};

/// TIFF field types.
enum ExifFieldFormat : std::uint16_t
{
    kExifByte = 1,
    kExifAscii = 2,
    kExifShort = 3,
    kExifLong = 4,
    kExifRational = 5,
    kExifSByte = 6,
    kExifUndefined = 7,
    kExifSShort = 8,
    kExifSLong = 9,
    kExifSRational = 10,
    kExifFloat = 11,
    kExifDouble = 12,
    kExifNoFormat = 255,
};

struct ExifRationalValue
{
    std::uint32_t numerator = 0;
    std::uint32_t denominator = 0;

    bool operator==(const ExifRationalValue& other) const
    {
        return numerator == other.numerator && denominator == other.denominator;
    }
    bool operator!=(const ExifRationalValue& other) const { return !(*this == other); }
};

/// One IFD entry as read from the block. Its values are held by format: BYTE/SBYTE in `bytes`,
/// ASCII/UNDEFINED in `text`, SHORT/SSHORT in `shorts`, LONG/SLONG in `longs`, RATIONAL/SRATIONAL
/// in `rationals`; FLOAT and DOUBLE keep no values.
class ExifIfdEntry
{
public:
    static constexpr std::uint16_t kInvalidTag = 255;

    std::uint16_t tag = kInvalidTag;
    std::uint32_t count = 0;
    std::uint32_t valueOrOffset = 0;

    std::vector<std::uint8_t> bytes;
    std::string text;
    std::vector<std::uint16_t> shorts;
    std::vector<std::uint32_t> longs;
    std::vector<ExifRationalValue> rationals;

    std::uint16_t getFormat() const { return mFormat; }
    /// Refuses (answers false, keeps the old format) anything outside 1 to 12 and 255.
    bool setFormat(std::uint16_t format);
    bool isValid() const { return tag != kInvalidTag; }
    /// Marks the entry unreadable and drops what was read of it.
    void invalidate();

private:
    std::uint16_t mFormat = kExifNoFormat;
};

/// The Exif fields that the JPG output carries, as kept from the source block. Every field starts
/// empty or zero; a field stays so when the source lacks the tag or has it in another format.
struct ParsedExif
{
    /// 0 Motorola ("MM"), 1 Intel ("II").
    int byteOrder = 0;
    bool success = false;

    // IFD0
    std::string imageDescription;
    std::string make;
    std::string model;
    std::uint16_t xResolution = 0;  // low 16 bits of the first numerator
    std::uint16_t yResolution = 0;
    std::uint16_t resolutionUnit = 0;
    std::string software;
    std::string dateTime;
    std::uint16_t yCbCrPositioning = 0;
    std::string copyright;

    // Exif IFD
    ExifRationalValue exposureTime;
    ExifRationalValue fNumber;
    std::uint16_t exposureProgram = 0;
    std::uint16_t isoSpeedRatings = 0;
    std::string exifVersion;
    std::string dateTimeOriginal;
    std::string dateTimeDigitized;
    std::string offsetTime;
    std::string offsetTimeOriginal;
    std::string offsetTimeDigitized;
    std::string componentsConfiguration;
    ExifRationalValue shutterSpeedValue;
    ExifRationalValue apertureValue;
    ExifRationalValue brightnessValue;
    ExifRationalValue exposureBiasValue;
    ExifRationalValue subjectDistance;
    ExifRationalValue focalLength;
    std::uint16_t meteringMode = 0;
    std::uint16_t flash = 0;
    std::uint8_t flashFired = 0;   // bit 0 of flash
    std::uint8_t flashReturn = 0;  // bits 1 and 2 of flash, 0 to 3
    std::string subjectArea;       // the values in decimal joined by ", "
    std::string makerNote;
    std::string subSecTimeOriginal;
    std::string subSecTimeDigitized;
    std::string flashpixVersion;
    std::uint16_t colorSpace = 0;
    std::uint32_t pixelXDimension = 0;
    std::uint32_t pixelYDimension = 0;
    std::uint16_t sensingMethod = 0;
    std::string sceneType;
    std::uint16_t exposureMode = 0;
    std::uint16_t whiteBalance = 0;
    std::uint16_t focalLengthIn35mmFilm = 0;
    std::uint16_t sceneCaptureType = 0;
    std::array<ExifRationalValue, 4> lensSpecification{};
    std::string lensMake;
    std::string lensModel;
    std::uint16_t compositeImage = 0;

    // GPS IFD
    std::uint8_t gpsLatitudeRef = 0;  // '?' when the source's byte is zero
    std::array<ExifRationalValue, 3> gpsLatitude{};
    double gpsLatitudeDegrees = 0.0;  // negative for "S"
    std::uint8_t gpsLongitudeRef = 0;
    std::array<ExifRationalValue, 3> gpsLongitude{};
    double gpsLongitudeDegrees = 0.0;  // negative for "W"
    std::uint8_t gpsAltitudeRef = 0;
    ExifRationalValue gpsAltitude;
    double gpsAltitudeMeters = 0.0;  // negative when the reference byte is 1
    std::uint8_t gpsSpeedRef = 0;
    ExifRationalValue gpsSpeed;
    std::uint8_t gpsImgDirectionRef = 0;
    ExifRationalValue gpsImgDirection;
    std::uint8_t gpsDestBearingRef = 0;
    ExifRationalValue gpsDestBearing;
    std::string gpsDateStamp;
    ExifRationalValue gpsHPositioningError;

    void clear() { *this = ParsedExif(); }
};

/// Reads the 12-byte entry at entryPos of the block. base is the position of the TIFF header
/// (6); offsets in the entry count from it. An entry that does not lie wholly inside the block,
/// has an unknown format, or whose values would run past the block comes back invalid.
ExifIfdEntry ParseExifIfdEntry(const std::uint8_t* block, std::size_t entryPos, bool intel, std::size_t base,
                               std::size_t length);

/// Parses the block into record; answers one of ExifParseResult. The record keeps what was read
/// before a failure.
int ParseExifSegment(ParsedExif& record, const std::uint8_t* block, std::size_t length);

/// Parses a block into a fresh record whose success flag is set exactly when the parse answered 0.
ParsedExif ParseExifBlock(const std::vector<std::uint8_t>& block);

/// The Exif block inside an Exif item's bytes: from the first "Exif", 0, 0 to the end. Without
/// that signature, an item whose leading 4-byte offset points at a TIFF header gives the signature
/// followed by the bytes from that header on. Otherwise empty, after printing a line.
std::vector<std::uint8_t> FindExifBlock(const std::vector<std::uint8_t>& itemData);
