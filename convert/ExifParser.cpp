#include "ExifParser.h"

#include <cstdio>
#include <cstring>
#include <exception>

#include "ExifTagNames.h"

namespace
{
const std::uint8_t kExifSignature[6] = {'E', 'x', 'i', 'f', 0, 0};
constexpr std::size_t kTiffBase = 6;
constexpr std::size_t kEntrySize = 12;

// Multi-byte numbers of the block in its own byte order. Callers check positions first.
struct BlockView
{
    const std::uint8_t* data;
    std::size_t length;
    bool intel;

    std::uint16_t u16(std::size_t pos) const
    {
        return intel ? std::uint16_t(data[pos] | data[pos + 1] << 8) : std::uint16_t(data[pos] << 8 | data[pos + 1]);
    }
    std::uint32_t u32(std::size_t pos) const
    {
        const std::uint32_t a = data[pos], b = data[pos + 1], c = data[pos + 2], d = data[pos + 3];
        return intel ? (d << 24 | c << 16 | b << 8 | a) : (a << 24 | b << 16 | c << 8 | d);
    }
    /// [pos, pos + size) lies inside the block; computed without overflow.
    bool fits(std::uint64_t pos, std::uint64_t size) const { return pos <= length && size <= length - pos; }
};

std::size_t valueSize(std::uint16_t format)
{
    switch (format)
    {
    case kExifByte:
    case kExifSByte:
    case kExifAscii:
    case kExifUndefined:
        return 1;
    case kExifShort:
    case kExifSShort:
        return 2;
    case kExifLong:
    case kExifSLong:
        return 4;
    case kExifRational:
    case kExifSRational:
        return 8;
    default:
        return 0;
    }
}

void printUntreated(ExifDirectory directory, std::uint16_t tag)
{
    const char* name = ExifTagName(directory, tag);
    if (name != nullptr && tag != ExifIfdEntry::kInvalidTag)
    {
        std::printf("%s untreated \n", name);
    }
    else
    {
        std::printf("[%d] untreated \n", tag);
    }
}

bool isRational(const ExifIfdEntry& e)
{
    return e.getFormat() == kExifRational || e.getFormat() == kExifSRational;
}

bool isSignedRational(const ExifIfdEntry& e)
{
    return e.getFormat() == kExifSRational;
}

// Helpers that copy a value when the entry has the format the field needs.
void keepString(const ExifIfdEntry& e, std::uint16_t format, std::string& field)
{
    if (e.getFormat() == format)
    {
        field = e.text;
    }
}

void keepShort(const ExifIfdEntry& e, std::uint16_t& field)
{
    if (e.getFormat() == kExifShort && !e.shorts.empty())
    {
        field = e.shorts[0];
    }
}

void keepRational(const ExifIfdEntry& e, bool signedAllowed, ExifRationalValue& field)
{
    const bool formatOk = e.getFormat() == kExifRational || (signedAllowed && e.getFormat() == kExifSRational);
    if (formatOk && !e.rationals.empty())
    {
        field = e.rationals[0];
    }
}

void keepResolution(const ExifIfdEntry& e, std::uint16_t& field)
{
    if (e.getFormat() == kExifRational && !e.rationals.empty())
    {
        field = std::uint16_t(e.rationals[0].numerator & 0xFFFFu);
    }
}

std::uint8_t firstValueByte(const ExifIfdEntry& e)
{
    if (!e.bytes.empty())
    {
        return e.bytes[0];
    }
    if (!e.text.empty())
    {
        return std::uint8_t(e.text[0]);
    }
    if (!e.shorts.empty())
    {
        return std::uint8_t(e.shorts[0]);
    }
    if (!e.longs.empty())
    {
        return std::uint8_t(e.longs[0]);
    }
    return 0;
}

// A quotient in double precision. A zero denominator gives 0 rather than an infinity or NaN that
// would poison the degrees.
double quotient(const ExifRationalValue& r, bool isSigned)
{
    if (r.denominator == 0)
    {
        return 0.0;
    }
    if (isSigned)
    {
        return double(std::int32_t(r.numerator)) / double(std::int32_t(r.denominator));
    }
    return double(r.numerator) / double(r.denominator);
}

void keepIfd0Tag(ParsedExif& r, const ExifIfdEntry& e)
{
    switch (e.tag)
    {
    case 270:
        keepString(e, kExifAscii, r.imageDescription);
        break;
    case 271:
        keepString(e, kExifAscii, r.make);
        break;
    case 272:
        keepString(e, kExifAscii, r.model);
        break;
    case 282:
        keepResolution(e, r.xResolution);
        break;
    case 283:
        keepResolution(e, r.yResolution);
        break;
    case 296:
        keepShort(e, r.resolutionUnit);
        break;
    case 305:
        keepString(e, kExifAscii, r.software);
        break;
    case 306:
        keepString(e, kExifAscii, r.dateTime);
        break;
    case 531:
        keepShort(e, r.yCbCrPositioning);
        break;
    case 33432:
        keepString(e, kExifAscii, r.copyright);
        break;
    default:
        printUntreated(ExifDirectory::Ifd0, e.tag);
        break;
    }
}

void keepSubjectArea(ParsedExif& r, const ExifIfdEntry& e)
{
    if (e.getFormat() != kExifShort)
    {
        return;
    }
    std::string text;
    for (std::size_t i = 0; i < e.shorts.size(); ++i)
    {
        if (i > 0)
        {
            text += ", ";
        }
        text += std::to_string(e.shorts[i]);
    }
    r.subjectArea = text;
}

void keepPixelDimension(const ExifIfdEntry& e, std::uint32_t& field)
{
    if (e.getFormat() == kExifShort && !e.shorts.empty())
    {
        field = e.shorts[0];
    }
    else if (e.getFormat() == kExifLong && !e.longs.empty())
    {
        field = e.longs[0];
    }
}

void keepExifTag(ParsedExif& r, const ExifIfdEntry& e)
{
    switch (e.tag)
    {
    case 33434:
        keepRational(e, false, r.exposureTime);
        break;
    case 33437:
        keepRational(e, false, r.fNumber);
        break;
    case 34850:
        keepShort(e, r.exposureProgram);
        break;
    case 34855:
        keepShort(e, r.isoSpeedRatings);
        break;
    case 36864:
        keepString(e, kExifUndefined, r.exifVersion);
        break;
    case 36867:
        keepString(e, kExifAscii, r.dateTimeOriginal);
        break;
    case 36868:
        keepString(e, kExifAscii, r.dateTimeDigitized);
        break;
    case 36880:
        keepString(e, kExifAscii, r.offsetTime);
        break;
    case 36881:
        keepString(e, kExifAscii, r.offsetTimeOriginal);
        break;
    case 36882:
        keepString(e, kExifAscii, r.offsetTimeDigitized);
        break;
    case 37121:
        keepString(e, kExifUndefined, r.componentsConfiguration);
        break;
    case 37377:
        keepRational(e, true, r.shutterSpeedValue);
        break;
    case 37378:
        keepRational(e, true, r.apertureValue);
        break;
    case 37379:
        keepRational(e, true, r.brightnessValue);
        break;
    case 37380:
        keepRational(e, true, r.exposureBiasValue);
        break;
    case 37382:
        keepRational(e, false, r.subjectDistance);
        break;
    case 37386:
        keepRational(e, false, r.focalLength);
        break;
    case 37383:
        keepShort(e, r.meteringMode);
        break;
    case 37385:
        if (e.getFormat() == kExifShort && !e.shorts.empty())
        {
            r.flash = e.shorts[0];
            r.flashFired = std::uint8_t(r.flash & 1u);
            r.flashReturn = std::uint8_t((r.flash >> 1) & 3u);
        }
        break;
    case 37396:
        keepSubjectArea(r, e);
        break;
    case 37500:
        keepString(e, kExifUndefined, r.makerNote);
        break;
    case 37521:
        keepString(e, kExifAscii, r.subSecTimeOriginal);
        break;
    case 37522:
        keepString(e, kExifAscii, r.subSecTimeDigitized);
        break;
    case 40960:
        keepString(e, kExifUndefined, r.flashpixVersion);
        break;
    case 40961:
        keepShort(e, r.colorSpace);
        break;
    case 40962:
        keepPixelDimension(e, r.pixelXDimension);
        break;
    case 40963:
        keepPixelDimension(e, r.pixelYDimension);
        break;
    case 41495:
        keepShort(e, r.sensingMethod);
        break;
    case 41729:
        keepString(e, kExifUndefined, r.sceneType);
        break;
    case 41986:
        keepShort(e, r.exposureMode);
        break;
    case 41987:
        keepShort(e, r.whiteBalance);
        break;
    case 41989:
        keepShort(e, r.focalLengthIn35mmFilm);
        break;
    case 41990:
        keepShort(e, r.sceneCaptureType);
        break;
    case 42034:
        if (e.getFormat() == kExifRational)
        {
            for (std::size_t i = 0; i < r.lensSpecification.size() && i < e.rationals.size(); ++i)
            {
                r.lensSpecification[i] = e.rationals[i];
            }
        }
        break;
    case 42035:
        keepString(e, kExifAscii, r.lensMake);
        break;
    case 42036:
        keepString(e, kExifAscii, r.lensModel);
        break;
    case 42080:
        keepShort(e, r.compositeImage);
        break;
    default:
        printUntreated(ExifDirectory::Exif, e.tag);
        break;
    }
}

// The GPS coordinates keep whether they were signed so that the degrees are computed once every
// entry (reference and value, in any order) has been seen.
struct GpsSigns
{
    bool latitudeSigned = false;
    bool longitudeSigned = false;
    bool altitudeSigned = false;
};

void keepCoordinate(const ExifIfdEntry& e, std::array<ExifRationalValue, 3>& field, bool& isSigned)
{
    if (isRational(e) && e.count == 3 && e.rationals.size() == 3)
    {
        for (std::size_t i = 0; i < 3; ++i)
        {
            field[i] = e.rationals[i];
        }
        isSigned = isSignedRational(e);
    }
}

void keepGpsRef(const ExifIfdEntry& e, std::uint8_t& field)
{
    if (e.getFormat() == kExifAscii)
    {
        field = firstValueByte(e);
    }
}

void keepGpsTag(ParsedExif& r, const ExifIfdEntry& e, GpsSigns& signs)
{
    switch (e.tag)
    {
    case 1:
    case 3:
    {
        const std::uint8_t ref = firstValueByte(e);
        (e.tag == 1 ? r.gpsLatitudeRef : r.gpsLongitudeRef) = ref == 0 ? std::uint8_t('?') : ref;
        break;
    }
    case 2:
        keepCoordinate(e, r.gpsLatitude, signs.latitudeSigned);
        break;
    case 4:
        keepCoordinate(e, r.gpsLongitude, signs.longitudeSigned);
        break;
    case 5:
        r.gpsAltitudeRef = firstValueByte(e);
        break;
    case 6:
        if (isRational(e) && !e.rationals.empty())
        {
            r.gpsAltitude = e.rationals[0];
            signs.altitudeSigned = isSignedRational(e);
        }
        break;
    case 12:
        keepGpsRef(e, r.gpsSpeedRef);
        break;
    case 16:
        keepGpsRef(e, r.gpsImgDirectionRef);
        break;
    case 23:
        keepGpsRef(e, r.gpsDestBearingRef);
        break;
    case 13:
        keepRational(e, false, r.gpsSpeed);
        break;
    case 17:
        keepRational(e, false, r.gpsImgDirection);
        break;
    case 24:
        keepRational(e, false, r.gpsDestBearing);
        break;
    case 31:
        keepRational(e, false, r.gpsHPositioningError);
        break;
    case 29:
        keepString(e, kExifAscii, r.gpsDateStamp);
        break;
    default:
        printUntreated(ExifDirectory::Gps, e.tag);
        break;
    }
}

double degrees(const std::array<ExifRationalValue, 3>& dms, bool isSigned)
{
    return quotient(dms[0], isSigned) + quotient(dms[1], isSigned) / 60.0 + quotient(dms[2], isSigned) / 3600.0;
}

void finishGps(ParsedExif& r, const GpsSigns& signs)
{
    r.gpsLatitudeDegrees = degrees(r.gpsLatitude, signs.latitudeSigned);
    if (r.gpsLatitudeRef == 'S')
    {
        r.gpsLatitudeDegrees = -r.gpsLatitudeDegrees;
    }
    r.gpsLongitudeDegrees = degrees(r.gpsLongitude, signs.longitudeSigned);
    if (r.gpsLongitudeRef == 'W')
    {
        r.gpsLongitudeDegrees = -r.gpsLongitudeDegrees;
    }
    r.gpsAltitudeMeters = quotient(r.gpsAltitude, signs.altitudeSigned);
    if (r.gpsAltitudeRef == 1)
    {
        r.gpsAltitudeMeters = -r.gpsAltitudeMeters;
    }
}

/// Where a sub-directory starts when its pointer was seen and its count lies in the block.
bool subDirectoryStart(const BlockView& view, bool seen, std::uint32_t offset, std::uint64_t& position)
{
    position = std::uint64_t(offset) + kTiffBase;
    return seen && view.fits(position, 4);
}

/// The whole directory (count, entries, next-IFD offset) lies inside the block.
bool directoryFits(const BlockView& view, std::uint64_t position, std::uint16_t count)
{
    return view.fits(position, 2 + kEntrySize * std::uint64_t(count) + 4);
}
}  // namespace

bool ExifIfdEntry::setFormat(std::uint16_t format)
{
    if ((format < kExifByte || format > kExifDouble) && format != kExifNoFormat)
    {
        return false;
    }
    mFormat = format;
    return true;
}

void ExifIfdEntry::invalidate()
{
    *this = ExifIfdEntry();
}

ExifIfdEntry ParseExifIfdEntry(const std::uint8_t* block, std::size_t entryPos, bool intel, std::size_t base,
                               std::size_t length)
{
    ExifIfdEntry entry;
    const BlockView view{block, length, intel};
    if (block == nullptr || !view.fits(entryPos, kEntrySize))
    {
        return entry;
    }
    const std::uint16_t tag = view.u16(entryPos);
    if (!entry.setFormat(view.u16(entryPos + 2)) || entry.getFormat() == kExifNoFormat)
    {
        return entry;
    }
    entry.tag = tag;
    entry.count = view.u32(entryPos + 4);
    entry.valueOrOffset = view.u32(entryPos + 8);

    const std::uint16_t format = entry.getFormat();
    const std::size_t size = valueSize(format);
    if (size == 0)
    {
        return entry;  // FLOAT and DOUBLE: valid, no values kept
    }
    const std::uint64_t total = std::uint64_t(size) * entry.count;
    std::uint64_t pos = entryPos + 8;
    if (total > 4 || size == 8)
    {
        pos = std::uint64_t(base) + entry.valueOrOffset;
        if (!view.fits(pos, total))
        {
            entry.invalidate();
            return entry;
        }
    }
    const std::size_t at = std::size_t(pos);
    const std::size_t n = entry.count;
    switch (format)
    {
    case kExifByte:
    case kExifSByte:
        entry.bytes.assign(block + at, block + at + n);
        break;
    case kExifAscii:
    case kExifUndefined:
        entry.text.assign(reinterpret_cast<const char*>(block + at), n);
        if (!entry.text.empty() && entry.text.back() == '\0')
        {
            entry.text.pop_back();
        }
        break;
    case kExifShort:
    case kExifSShort:
        entry.shorts.reserve(n);
        for (std::size_t i = 0; i < n; ++i)
        {
            entry.shorts.push_back(view.u16(at + 2 * i));
        }
        break;
    case kExifLong:
    case kExifSLong:
        entry.longs.reserve(n);
        for (std::size_t i = 0; i < n; ++i)
        {
            entry.longs.push_back(view.u32(at + 4 * i));
        }
        break;
    default:  // RATIONAL, SRATIONAL
        entry.rationals.reserve(n);
        for (std::size_t i = 0; i < n; ++i)
        {
            entry.rationals.push_back({view.u32(at + 8 * i), view.u32(at + 8 * i + 4)});
        }
        break;
    }
    return entry;
}

int ParseExifSegment(ParsedExif& record, const std::uint8_t* block, std::size_t length)
{
    if (block == nullptr || length < 6 || std::memcmp(block, kExifSignature, 6) != 0)
    {
        return kExifNoSignature;
    }
    if (length <= 13)
    {
        return kExifCorrupt;
    }
    bool intel = false;
    if (block[6] == 'M' && block[7] == 'M')
    {
        record.byteOrder = 0;
    }
    else if (block[6] == 'I' && block[7] == 'I')
    {
        intel = true;
        record.byteOrder = 1;
    }
    else
    {
        return kExifBadByteOrder;
    }
    const BlockView view{block, length, intel};
    if (view.u16(8) != 42)
    {
        return kExifCorrupt;
    }

    // IFD0. The count itself must lie inside the block before it is read.
    const std::uint64_t ifd0 = std::uint64_t(view.u32(10)) + kTiffBase;
    if (!view.fits(ifd0, 2))
    {
        return kExifCorrupt;
    }
    const std::uint16_t ifd0Count = view.u16(std::size_t(ifd0));
    if (!directoryFits(view, ifd0, ifd0Count))
    {
        return kExifCorrupt;
    }
    bool haveExifIfd = false, haveGpsIfd = false;
    std::uint32_t exifOffset = 0, gpsOffset = 0;
    for (std::size_t i = 0; i < ifd0Count; ++i)
    {
        const ExifIfdEntry e =
            ParseExifIfdEntry(block, std::size_t(ifd0) + 2 + kEntrySize * i, intel, kTiffBase, length);
        if (e.isValid() && e.tag == 34665)
        {
            haveExifIfd = true;
            exifOffset = e.valueOrOffset;
        }
        else if (e.isValid() && e.tag == 34853)
        {
            haveGpsIfd = true;
            gpsOffset = e.valueOrOffset;
        }
        else
        {
            keepIfd0Tag(record, e);
        }
    }

    std::uint64_t position = 0;
    if (subDirectoryStart(view, haveExifIfd, exifOffset, position))
    {
        const std::uint16_t count = view.u16(std::size_t(position));
        if (!directoryFits(view, position, count))
        {
            return kExifCorrupt;
        }
        for (std::size_t i = 0; i < count; ++i)
        {
            keepExifTag(record,
                        ParseExifIfdEntry(block, std::size_t(position) + 2 + kEntrySize * i, intel, kTiffBase, length));
        }
    }

    if (subDirectoryStart(view, haveGpsIfd, gpsOffset, position))
    {
        const std::uint16_t count = view.u16(std::size_t(position));
        if (!directoryFits(view, position, count))
        {
            return kExifCorrupt;
        }
        GpsSigns signs;
        for (std::size_t i = 0; i < count; ++i)
        {
            keepGpsTag(record,
                       ParseExifIfdEntry(block, std::size_t(position) + 2 + kEntrySize * i, intel, kTiffBase, length),
                       signs);
        }
        finishGps(record, signs);
    }
    return kExifParseOk;
}

ParsedExif ParseExifBlock(const std::vector<std::uint8_t>& block)
{
    ParsedExif record;
    try
    {
        record.success = ParseExifSegment(record, block.data(), block.size()) == kExifParseOk;
    }
    catch (const std::exception&)
    {
        record.clear();
    }
    return record;
}

std::vector<std::uint8_t> FindExifBlock(const std::vector<std::uint8_t>& itemData)
{
    for (std::size_t pos = 0; pos + 6 <= itemData.size(); ++pos)
    {
        if (std::memcmp(itemData.data() + pos, kExifSignature, 6) == 0)
        {
            return std::vector<std::uint8_t>(itemData.begin() + std::ptrdiff_t(pos), itemData.end());
        }
    }
    // An item may hold only what the HEIF format asks for: a 4-byte big-endian offset and then,
    // at that offset, the TIFF header, without "Exif", 0, 0 (heif-enc writes it so). Put the
    // signature in front rather than lose the photo's Exif.
    if (itemData.size() >= 4)
    {
        const std::uint64_t tiff = 4 + (std::uint64_t(itemData[0]) << 24 | std::uint64_t(itemData[1]) << 16 |
                                        std::uint64_t(itemData[2]) << 8 | itemData[3]);
        static const std::uint8_t motorola[4] = {'M', 'M', 0, 42};
        static const std::uint8_t intel[4] = {'I', 'I', 42, 0};
        if (tiff + 4 <= itemData.size() && (std::memcmp(itemData.data() + tiff, motorola, 4) == 0 ||
                                            std::memcmp(itemData.data() + tiff, intel, 4) == 0))
        {
            std::vector<std::uint8_t> block(kExifSignature, kExifSignature + 6);
            block.insert(block.end(), itemData.begin() + std::ptrdiff_t(tiff), itemData.end());
            return block;
        }
    }
    std::printf("can not find \"EXIF\" \n");
    return {};
}
