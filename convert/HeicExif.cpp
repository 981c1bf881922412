#include "PictureStreamDecoder.h"
#include "HeicExif.h"

#include <libexif/exif-utils.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <optional>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "AtomicFileWriter.h"
#include "DcUtils.h"
#include "HevcImageFileReader.h"
#include "ImageEncoders.h"
#include "RegularFile.h"

namespace
{
constexpr std::size_t kMaxApp1Payload = 65533;  // the 16-bit segment length counts its own two bytes

struct FileCloser
{
    void operator()(FILE* file) const
    {
        if (file != nullptr)
        {
            std::fclose(file);
        }
    }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

// A regular file only: a FIFO or a device under the name would block the read or never end.
FilePtr openForReading(const char* path)
{
    std::optional<pravix::RegularFile> file = pravix::RegularFile::open(path);
    if (!file)
    {
        return nullptr;
    }
    const int fd = file->release();
    FilePtr stream(fdopen(fd, "rb"));
    if (!stream)
    {
        close(fd);
    }
    return stream;
}

struct FreeDeleter
{
    void operator()(unsigned char* bytes) const { std::free(bytes); }
};

// Builds the entries of the output tree in order. The first failure to make an entry is kept, so
// that the whole tree is dropped rather than handed out with entries missing.
class TreeBuilder
{
public:
    explicit TreeBuilder(ExifData* exif) : mExif(exif) {}

    bool ok() const { return mOk; }

    /// A string row: L bytes of the text, plus its terminating zero when withZero.
    void text(ExifIfd ifd, ExifTag tag, const std::string& value, ExifFormat format, bool withZero)
    {
        if (value.empty())
        {
            return;
        }
        ExifEntry* e = create(ifd, tag, value.size() + (withZero ? 1 : 0), format);
        if (e != nullptr)
        {
            std::memcpy(e->data, value.data(), value.size());
        }
    }

    /// A one-byte row without terminating zero.
    void byte(ExifIfd ifd, ExifTag tag, std::uint8_t value, ExifFormat format)
    {
        ExifEntry* e = create(ifd, tag, 1, format);
        if (e != nullptr)
        {
            e->data[0] = value;
        }
    }

    void rationals(ExifIfd ifd, ExifTag tag, const ExifRationalValue* values, std::size_t count)
    {
        ExifEntry* e = create(ifd, tag, 8 * count, EXIF_FORMAT_RATIONAL);
        for (std::size_t i = 0; e != nullptr && i < count; ++i)
        {
            exif_set_rational(e->data + 8 * i, EXIF_BYTE_ORDER_INTEL, {values[i].numerator, values[i].denominator});
        }
    }

    void initShort(ExifIfd ifd, ExifTag tag, std::uint16_t value)
    {
        if (ExifEntry* e = init(ifd, tag, EXIF_FORMAT_SHORT, 2))
        {
            exif_set_short(e->data, EXIF_BYTE_ORDER_INTEL, value);
        }
    }

    void initLong(ExifIfd ifd, ExifTag tag, std::uint32_t value)
    {
        if (ExifEntry* e = init(ifd, tag, EXIF_FORMAT_LONG, 4))
        {
            exif_set_long(e->data, EXIF_BYTE_ORDER_INTEL, value);
        }
    }

    void initRational(ExifIfd ifd, ExifTag tag, const ExifRationalValue& value)
    {
        // libexif's defaults are RATIONAL or SRATIONAL by tag; both take the same eight bytes.
        ExifEntry* e = init(ifd, tag, EXIF_FORMAT_RATIONAL, 8);
        if (e != nullptr)
        {
            exif_set_rational(e->data, EXIF_BYTE_ORDER_INTEL, {value.numerator, value.denominator});
        }
    }

    /// The resolution rows keep libexif's default 72/1 and overwrite its first two bytes with the
    /// kept 16-bit value, which (Intel order) makes the numerator that value.
    void initResolution(ExifIfd ifd, ExifTag tag, std::uint16_t value)
    {
        if (ExifEntry* e = init(ifd, tag, EXIF_FORMAT_RATIONAL, 8))
        {
            exif_set_short(e->data, EXIF_BYTE_ORDER_INTEL, value);
        }
    }

private:
    ExifEntry* create(ExifIfd ifd, ExifTag tag, std::size_t size, ExifFormat format)
    {
        if (!mOk)
        {
            return nullptr;
        }
        ExifEntry* e = CreateExifEntryTag(mExif, ifd, tag, size, format);
        mOk = e != nullptr;
        return e;
    }

    // An entry from libexif's defaults that must be able to hold `size` bytes of `format`.
    // libexif 0.6.24 leaves tags it does not know (CompositeImage) as empty UNDEFINED entries;
    // such an entry is replaced by one of the right format and one component.
    ExifEntry* init(ExifIfd ifd, ExifTag tag, ExifFormat format, std::size_t size)
    {
        if (!mOk)
        {
            return nullptr;
        }
        ExifEntry* e = InitExifEntryTag(mExif, ifd, tag);
        if (e == nullptr)
        {
            mOk = false;
            return nullptr;
        }
        const bool sameSize = exif_format_get_size(e->format) == exif_format_get_size(format);
        if (e->data != nullptr && e->size >= size && sameSize)
        {
            return e;
        }
        exif_content_remove_entry(mExif->ifd[ifd], e);
        return create(ifd, tag, size, format);
    }

    ExifData* mExif;
    bool mOk = true;
};

bool positive(std::uint32_t value)
{
    return std::int32_t(value) > 0;
}

bool anyPositive(const ExifRationalValue& r)
{
    return positive(r.numerator) || positive(r.denominator);
}

bool coordinatePresent(const std::array<ExifRationalValue, 3>& dms)
{
    return positive(dms[0].numerator) || positive(dms[0].denominator) || positive(dms[1].numerator) ||
           positive(dms[1].denominator) || positive(dms[2].numerator) || dms[2].denominator != 0;
}

void addEntries(TreeBuilder& b, const ParsedExif& s)
{
    const auto T = [](int tag) { return static_cast<ExifTag>(tag); };
    const ExifIfd ifd0 = EXIF_IFD_0, exif = EXIF_IFD_EXIF, gps = EXIF_IFD_GPS;
    const ExifFormat ascii = EXIF_FORMAT_ASCII, undefined = EXIF_FORMAT_UNDEFINED;

    b.text(ifd0, T(270), s.imageDescription, ascii, true);
    b.text(ifd0, T(271), s.make, ascii, true);
    b.text(ifd0, T(272), s.model, ascii, true);
    b.text(ifd0, T(33432), s.copyright, ascii, true);
    b.initResolution(ifd0, T(282), s.xResolution);
    b.initResolution(ifd0, T(283), s.yResolution);
    b.initShort(ifd0, T(296), s.resolutionUnit);
    b.initShort(ifd0, T(531), s.yCbCrPositioning);
    b.text(ifd0, T(305), s.software, ascii, true);
    b.text(ifd0, T(306), s.dateTime, ascii, true);

    b.initRational(exif, T(33434), s.exposureTime);
    b.initRational(exif, T(33437), s.fNumber);
    if (s.exposureProgram != 0)
    {
        b.initShort(exif, T(34850), s.exposureProgram);
    }
    b.initShort(exif, T(34855), s.isoSpeedRatings);
    b.text(exif, T(36864), s.exifVersion, undefined, false);
    b.text(exif, T(36867), s.dateTimeOriginal, ascii, true);
    b.text(exif, T(36868), s.dateTimeDigitized, ascii, false);
    b.text(exif, T(37121), s.componentsConfiguration, undefined, true);
    b.initRational(exif, T(37377), s.shutterSpeedValue);
    b.initRational(exif, T(37378), s.apertureValue);
    if (anyPositive(s.brightnessValue))
    {
        b.initRational(exif, T(37379), s.brightnessValue);
    }
    b.initRational(exif, T(37380), s.exposureBiasValue);
    b.initRational(exif, T(37382), s.subjectDistance);
    b.initShort(exif, T(37383), s.meteringMode);
    b.initShort(exif, T(37385), s.flash);
    b.initRational(exif, T(37386), s.focalLength);
    b.text(exif, T(37396), s.subjectArea, ascii, false);
    b.text(exif, T(37500), s.makerNote, undefined, false);
    b.text(exif, T(37521), s.subSecTimeOriginal, ascii, false);
    b.text(exif, T(37522), s.subSecTimeDigitized, ascii, false);
    b.text(exif, T(40960), s.flashpixVersion, undefined, false);
    b.initShort(exif, T(40961), s.colorSpace);
    b.initLong(exif, T(40962), s.pixelXDimension);
    b.initLong(exif, T(40963), s.pixelYDimension);
    if (s.flashFired != 0)
    {
        b.initRational(exif, T(41483), {65535, s.flashReturn});
    }
    b.initShort(exif, T(41495), s.sensingMethod);
    b.text(exif, T(41729), s.sceneType, undefined, false);
    b.initShort(exif, T(41986), s.exposureMode);
    b.initShort(exif, T(41987), s.whiteBalance);
    b.initShort(exif, T(41989), s.focalLengthIn35mmFilm);
    b.initShort(exif, T(41990), s.sceneCaptureType);
    b.rationals(exif, T(42034), s.lensSpecification.data(), s.lensSpecification.size());
    b.text(exif, T(42035), s.lensMake, ascii, false);
    b.text(exif, T(42036), s.lensModel, ascii, false);
    b.text(exif, T(36880), s.offsetTime, ascii, false);
    b.text(exif, T(36881), s.offsetTimeOriginal, ascii, false);
    b.text(exif, T(36882), s.offsetTimeDigitized, ascii, false);
    b.initShort(exif, T(42080), s.compositeImage);

    b.byte(gps, T(1), s.gpsLatitudeRef, ascii);
    if (coordinatePresent(s.gpsLatitude))
    {
        b.rationals(gps, T(2), s.gpsLatitude.data(), 3);
    }
    b.byte(gps, T(3), s.gpsLongitudeRef, ascii);
    if (coordinatePresent(s.gpsLongitude))
    {
        b.rationals(gps, T(4), s.gpsLongitude.data(), 3);
    }
    b.byte(gps, T(5), s.gpsAltitudeRef, EXIF_FORMAT_BYTE);
    const auto single = [&b](ExifTag tag, const ExifRationalValue& value)
    {
        if (anyPositive(value))
        {
            b.rationals(EXIF_IFD_GPS, tag, &value, 1);
        }
    };
    const auto reference = [&b](ExifTag tag, std::uint8_t value)
    {
        if (value != 0)
        {
            b.byte(EXIF_IFD_GPS, tag, value, EXIF_FORMAT_ASCII);
        }
    };
    single(T(6), s.gpsAltitude);
    reference(T(12), s.gpsSpeedRef);
    single(T(13), s.gpsSpeed);
    reference(T(16), s.gpsImgDirectionRef);
    single(T(17), s.gpsImgDirection);
    reference(T(23), s.gpsDestBearingRef);
    single(T(24), s.gpsDestBearing);
    b.text(gps, T(29), s.gpsDateStamp, ascii, false);
    single(T(31), s.gpsHPositioningError);
}
}  // namespace

ExifEntry* CreateExifEntryTag(ExifData* exif, ExifIfd ifd, ExifTag tag, std::size_t size, ExifFormat format)
{
    const unsigned char unit = exif_format_get_size(format);
    if (exif == nullptr || ifd < 0 || ifd >= EXIF_IFD_COUNT || size == 0 || unit == 0 || size > 0xFFFFFFFFu)
    {
        return nullptr;
    }
    ExifMem* mem = exif_mem_new_default();
    if (mem == nullptr)
    {
        return nullptr;
    }
    ExifEntry* entry = exif_entry_new_mem(mem);
    void* buffer = entry != nullptr ? exif_mem_alloc(mem, ExifLong(size)) : nullptr;
    if (buffer == nullptr)
    {
        if (entry != nullptr)
        {
            exif_entry_unref(entry);
        }
        exif_mem_unref(mem);
        return nullptr;
    }
    entry->data = static_cast<unsigned char*>(buffer);
    entry->size = static_cast<unsigned int>(size);
    entry->tag = tag;
    entry->format = format;
    entry->components = size / unit;
    exif_content_add_entry(exif->ifd[ifd], entry);
    // The IFD holds its own reference when it took the entry; it refuses a tag it already has.
    const bool added = entry->parent == exif->ifd[ifd];
    exif_mem_unref(mem);
    exif_entry_unref(entry);
    return added ? entry : nullptr;
}

ExifEntry* InitExifEntryTag(ExifData* exif, ExifIfd ifd, ExifTag tag)
{
    if (exif == nullptr || ifd < 0 || ifd >= EXIF_IFD_COUNT)
    {
        return nullptr;
    }
    if (ExifEntry* existing = exif_content_get_entry(exif->ifd[ifd], tag))
    {
        return existing;
    }
    ExifEntry* entry = exif_entry_new();
    if (entry == nullptr)
    {
        return nullptr;
    }
    entry->tag = tag;
    exif_content_add_entry(exif->ifd[ifd], entry);
    const bool added = entry->parent == exif->ifd[ifd];
    if (added)
    {
        exif_entry_initialize(entry, tag);
    }
    exif_entry_unref(entry);
    return added ? entry : nullptr;
}

ExifDataPtr CreateExifDataFromParsed(const ParsedExif& source)
{
    ExifDataPtr exif(exif_data_new());
    if (!exif)
    {
        std::printf("创建libExif 对象失败!\n");
        return nullptr;
    }
    exif_data_set_option(exif.get(), EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
    exif_data_set_data_type(exif.get(), EXIF_DATA_TYPE_COMPRESSED);
    exif_data_set_byte_order(exif.get(), EXIF_BYTE_ORDER_INTEL);

    TreeBuilder builder(exif.get());
    addEntries(builder, source);
    if (!builder.ok())
    {
        std::printf("创建libExif 对象失败!\n");
        return nullptr;
    }
    return exif;
}

long GetFileLength(FILE* file)
{
    if (file == nullptr)
    {
        return -1;
    }
    const long position = std::ftell(file);
    if (position < 0 || std::fseek(file, 0, SEEK_END) != 0)
    {
        return -1;
    }
    const long length = std::ftell(file);
    if (std::fseek(file, position, SEEK_SET) != 0)
    {
        return -1;
    }
    return length;
}

namespace
{
using ExifBytes = std::unique_ptr<unsigned char, FreeDeleter>;

/// The tree serialised for an APP1 segment; null, after printing why, when it cannot be or is too
/// large for the segment's 16-bit length.
ExifBytes SerialiseForApp1(ExifData* exif, unsigned int& size)
{
    unsigned char* raw = nullptr;
    size = 0;
    exif_data_save_data(exif, &raw, &size);
    ExifBytes block(raw);
    if (raw == nullptr || size == 0)
    {
        std::printf("Exif block could not be serialised\n");
        return nullptr;
    }
    if (size > kMaxApp1Payload)
    {
        std::printf("Exif block of %u bytes does not fit an APP1 segment\n", size);
        return nullptr;
    }
    return block;
}

/// Where the bytes of the JPEG that follow the new APP1 begin: after the start of image and a
/// leading APP0 (JFIF), which the APP1 replaces. 0 when the data is no JPEG to splice into: too
/// short, no start of image, a damaged APP0, or an Exif segment already in front.
std::size_t SpliceRestOffset(const std::vector<std::uint8_t>& input)
{
    const std::size_t n = input.size();
    if (n < 20 || input[0] != 0xFF || input[1] != 0xD8 || std::memcmp(&input[6], "Exif", 4) == 0)
    {
        return 0;
    }
    // An Exif APP1 straight after the APP0 means the file has Exif already.
    std::size_t rest = 2;
    if (input[2] == 0xFF && input[3] == 0xE0)
    {
        const std::size_t app0 = std::size_t(input[4]) << 8 | input[5];
        if (app0 < 2 || 4 + app0 > n)
        {
            return 0;
        }
        rest = 4 + app0;
        if (rest + 10 <= n && input[rest] == 0xFF && input[rest + 1] == 0xE1 &&
            std::memcmp(&input[rest + 4], "Exif\0\0", 6) == 0)
        {
            return 0;
        }
    }
    return rest;
}

/// Where a JPEG's Exif APP1 segments stand in its header (offset of the marker, whole length with it).
struct SegmentSpan
{
    std::size_t offset;
    std::size_t length;
};

/// The Exif APP1 segments ("Exif", 0, 0 at the start of the payload) of the marker segments between
/// the start of image and the start of scan. Nothing when the data is no JPEG or its header is
/// damaged: a length below its own two bytes or past the data, a missing marker, no start of scan.
std::optional<std::vector<SegmentSpan>> ExifSegments(const std::vector<std::uint8_t>& data)
{
    const std::size_t n = data.size();
    if (n < 4 || data[0] != 0xFF || data[1] != 0xD8)
    {
        return std::nullopt;
    }
    std::vector<SegmentSpan> found;
    std::size_t pos = 2;
    while (true)
    {
        if (pos >= n || data[pos] != 0xFF)
        {
            return std::nullopt;
        }
        std::size_t marker = pos + 1;
        while (marker < n && data[marker] == 0xFF)  // fill bytes before the marker
        {
            ++marker;
        }
        if (marker >= n || data[marker] == 0x00 || data[marker] == 0xD9)
        {
            return std::nullopt;
        }
        const std::uint8_t code = data[marker];
        if (code == 0x01 || (code >= 0xD0 && code <= 0xD7))  // markers without a length
        {
            pos = marker + 1;
            continue;
        }
        if (n - marker < 3)
        {
            return std::nullopt;
        }
        const std::size_t length = std::size_t(data[marker + 1]) << 8 | data[marker + 2];
        if (length < 2 || length > n - marker - 1)
        {
            return std::nullopt;
        }
        if (code == 0xDA)
        {
            return found;
        }
        const std::size_t end = marker + 1 + length;
        if (code == 0xE1 && length >= 8 && std::memcmp(&data[marker + 3], "Exif\0\0", 6) == 0)
        {
            found.push_back({pos, end - pos});
        }
        pos = end;
    }
}

/// The start of image and the APP1 segment's marker and length, high byte first.
std::array<std::uint8_t, 6> App1Head(unsigned int blockSize)
{
    const std::size_t segmentLength = std::size_t(blockSize) + 2;
    return {0xFF, 0xD8, 0xFF, 0xE1, std::uint8_t(segmentLength >> 8), std::uint8_t(segmentLength & 0xFF)};
}
}  // namespace

int JpgAddExif(const char* inputPath, const char* outputPath, ExifData* exif)
{
    if (inputPath == nullptr || outputPath == nullptr || exif == nullptr)
    {
        return 0;
    }
    unsigned int rawSize = 0;
    const ExifBytes block = SerialiseForApp1(exif, rawSize);
    if (!block)
    {
        return 0;
    }

    std::vector<std::uint8_t> input;
    {
        FilePtr in(openForReading(inputPath));
        if (!in)
        {
            return 0;
        }
        const long length = GetFileLength(in.get());
        if (length < 0)
        {
            return 0;
        }
        try
        {
            input.resize(static_cast<std::size_t>(length));
        }
        catch (const std::exception&)
        {
            return 0;
        }
        if (std::fread(input.data(), 1, input.size(), in.get()) != input.size())
        {
            return 0;
        }
    }
    const std::size_t rest = SpliceRestOffset(input);
    if (rest == 0)
    {
        return 0;
    }

    // Written beside the output and renamed into place: a crash or a full disk never leaves a
    // truncated photo under the real name.
    pravix::AtomicFileWriter out(outputPath);
    const auto head = App1Head(rawSize);
    if (!(out.open() && out.write(head.data(), head.size()) && out.write(block.get(), rawSize) &&
          out.write(input.data() + rest, input.size() - rest) && out.commit()))
    {
        std::printf("Exif splice could not write %s: %s\n", outputPath, out.error().c_str());
        return 0;
    }
    return 1;
}

std::vector<std::uint8_t> AddExif(const std::vector<std::uint8_t>& metadata, const std::vector<std::uint8_t>& imageData)
{
    // Read before anything else: a damaged header is refused before the metadata is looked at.
    const std::optional<std::vector<SegmentSpan>> oldExif = ExifSegments(imageData);
    if (!oldExif)
    {
        return {};
    }
    // Without Exif the block goes where the file splice puts it; with Exif it takes the old one's place.
    const std::size_t rest = oldExif->empty() ? SpliceRestOffset(imageData) : 0;
    const auto size =
        oldExif->empty() && rest == 0 ? std::nullopt : pravix::readJpegSize(imageData.data(), imageData.size());
    if (!size)
    {
        return {};
    }
    ParsedExif copy = ParseExifBlock(metadata);
    if (!copy.success)
    {
        return {};
    }
    copy.pixelXDimension = size->first;
    copy.pixelYDimension = size->second;
    const ExifDataPtr exif = CreateExifDataFromParsed(copy);
    ExifEntry* orientation = exif ? InitExifEntryTag(exif.get(), EXIF_IFD_0, EXIF_TAG_ORIENTATION) : nullptr;
    if (orientation == nullptr || orientation->format != EXIF_FORMAT_SHORT || orientation->size < 2)
    {
        return {};
    }
    // The pixels are shown as they stand.
    exif_set_short(orientation->data, EXIF_BYTE_ORDER_INTEL, 1);
    unsigned int blockSize = 0;
    const ExifBytes block = SerialiseForApp1(exif.get(), blockSize);
    if (!block)
    {
        return {};
    }
    const auto head = App1Head(blockSize);
    std::vector<std::uint8_t> out;
    try
    {
        out.reserve(head.size() + blockSize + imageData.size());
    }
    catch (const std::exception&)
    {
        return {};
    }
    if (oldExif->empty())
    {
        out.insert(out.end(), head.begin(), head.end());
        out.insert(out.end(), block.get(), block.get() + blockSize);
        out.insert(out.end(), imageData.begin() + std::ptrdiff_t(rest), imageData.end());
        return out;
    }
    // Every old Exif segment goes, the new one stands where the first stood; the rest is copied.
    std::size_t copied = 0;
    bool placed = false;
    for (const SegmentSpan& segment : *oldExif)
    {
        out.insert(out.end(), imageData.begin() + std::ptrdiff_t(copied),
                   imageData.begin() + std::ptrdiff_t(segment.offset));
        if (!placed)
        {
            out.insert(out.end(), head.begin() + 2, head.end());  // the marker and length, not the start of image
            out.insert(out.end(), block.get(), block.get() + blockSize);
            placed = true;
        }
        copied = segment.offset + segment.length;
    }
    out.insert(out.end(), imageData.begin() + std::ptrdiff_t(copied), imageData.end());
    return out;
}

int ExifOrientationToDegrees(ExifData* exif, ExifIfd ifd)
{
    if (exif == nullptr || ifd < 0 || ifd >= EXIF_IFD_COUNT)
    {
        return 0;
    }
    ExifEntry* entry = exif_content_get_entry(exif->ifd[ifd], EXIF_TAG_ORIENTATION);
    if (entry == nullptr || entry->data == nullptr || entry->size < 2 || entry->format != EXIF_FORMAT_SHORT)
    {
        return 0;
    }
    switch (exif_get_short(entry->data, exif_data_get_byte_order(exif)))
    {
    case 3:
    case 4:
        return 180;
    case 5:
    case 6:
        return 90;
    case 7:
    case 8:
        return 270;
    default:
        return 0;
    }
}

std::vector<std::uint8_t> GetHeicExifBlock(const ImageFileReaderInterface& reader,
                                           ImageFileReaderInterface::ContextId contextId)
{
    try
    {
        // Every item that is not a coded image has an entry here, in ascending item id.
        const auto& items = reader.getFileInformation().rootMetaBoxInformation.itemFeaturesMap;
        for (const auto& item : items)
        {
            if (DC::toLower(reader.getItemType(contextId, item.first)) == "exif")
            {
                std::vector<std::uint8_t> data;
                reader.getItemData(contextId, item.first, data);
                return FindExifBlock(data);
            }
        }
    }
    catch (...)
    {
        // Whatever the reader throws means no Exif; nothing leaves the module.
    }
    return {};
}

ExifDataPtr CreateExifDataFromBlock(const std::vector<std::uint8_t>& block)
{
    const ParsedExif parsed = ParseExifBlock(block);
    if (!parsed.success)
    {
        std::printf("获取Heic Exif信息失败!\n");
        return nullptr;
    }
    return CreateExifDataFromParsed(parsed);
}

namespace
{
/// The Exif block of the root meta box of a parsed file; empty when there is none or the reader throws.
std::vector<std::uint8_t> RootExifBlock(const ImageFileReaderInterface& reader)
{
    try
    {
        const auto contextId = reader.getFileInformation().rootMetaBoxInformation.contextId;
        if (contextId != 0)
        {
            return GetHeicExifBlock(reader, contextId);
        }
    }
    catch (...)
    {
        // Whatever the reader throws means no Exif.
    }
    return {};
}
}  // namespace

std::vector<std::uint8_t> GetHeicExifBlockFromBytes(const std::uint8_t* bytes, std::size_t length)
{
    if (bytes == nullptr)
    {
        return {};
    }
    try
    {
        std::istringstream stream(std::string(reinterpret_cast<const char*>(bytes), length));
        HevcImageFileReader reader;
        reader.initialize(&stream);
        return RootExifBlock(reader);
    }
    catch (...)
    {
        // Whatever the reader throws means no Exif.
    }
    return {};
}

ExifDataPtr CreateExifDataFromReader(const ImageFileReaderInterface& reader)
{
    return CreateExifDataFromBlock(RootExifBlock(reader));
}

ExifDataPtr CreateExifDataFromHeic(const std::uint8_t* bytes, std::size_t length)
{
    return CreateExifDataFromBlock(GetHeicExifBlockFromBytes(bytes, length));
}

ExifDataPtr CreateExifDataFromHeicFile(const char* path)
{
    if (path == nullptr)
    {
        return nullptr;
    }
    std::vector<std::uint8_t> bytes;
    {
        FilePtr file(openForReading(path));
        const long length = GetFileLength(file.get());
        if (length < 0)
        {
            return nullptr;
        }
        try
        {
            bytes.resize(static_cast<std::size_t>(length));
        }
        catch (const std::exception&)
        {
            return nullptr;
        }
        if (std::fread(bytes.data(), 1, bytes.size(), file.get()) != bytes.size())
        {
            return nullptr;
        }
    }
    return CreateExifDataFromHeic(bytes.data(), bytes.size());
}
