#include <gtest/gtest.h>

#include <libexif/exif-loader.h>
#include <libexif/exif-utils.h>
#include <sys/resource.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "CurrentTestFolder.h"
#include "ExifBlockBuilder.h"
#include "HeicExif.h"
#include "ImageEncoders.h"
#include "PictureLoading.h"

using exiftest::Bytes;
using exiftest::cameraBlock;
using exiftest::ExifBlockBuilder;
using exiftest::readFile;

namespace
{
ExifEntry* find(ExifData* exif, ExifIfd ifd, int tag)
{
    return exif_content_get_entry(exif->ifd[ifd], static_cast<ExifTag>(tag));
}

std::string text(const ExifEntry* e)
{
    return std::string(reinterpret_cast<const char*>(e->data), e->size);
}

ExifRational rational(const ExifEntry* e, std::size_t index = 0)
{
    return exif_get_rational(e->data + 8 * index, EXIF_BYTE_ORDER_INTEL);
}

std::uint16_t shortValue(const ExifEntry* e)
{
    return exif_get_short(e->data, EXIF_BYTE_ORDER_INTEL);
}

ParsedExif parseQuietly(const Bytes& block)
{
    testing::internal::CaptureStdout();
    ParsedExif r = ParseExifBlock(block);
    testing::internal::GetCapturedStdout();
    return r;
}

ExifDataPtr cameraTree()
{
    return CreateExifDataFromParsed(parseQuietly(cameraBlock(true).build()));
}

std::string tempPath(const std::string& name)
{
    return testsupport::CurrentTestFolder::path(name);
}

void writeFile(const std::string& path, const Bytes& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

bool exists(const std::string& path)
{
    return std::ifstream(path).good();
}

Bytes serialise(ExifData* exif)
{
    unsigned char* raw = nullptr;
    unsigned int size = 0;
    exif_data_save_data(exif, &raw, &size);
    Bytes bytes(raw, raw + size);
    std::free(raw);
    return bytes;
}
}  // namespace

TEST(HeicExifTreeTest, BuildsEveryRowInOrder)
{
    ExifDataPtr exif = cameraTree();
    ASSERT_TRUE(exif);
    EXPECT_EQ(exif_data_get_byte_order(exif.get()), EXIF_BYTE_ORDER_INTEL);

    ExifEntry* make = find(exif.get(), EXIF_IFD_0, 271);
    ASSERT_NE(make, nullptr);
    EXPECT_EQ(make->format, EXIF_FORMAT_ASCII);
    EXPECT_EQ(text(make), std::string("Apple\0", 6));
    EXPECT_EQ(make->components, 6u);
    EXPECT_EQ(text(find(exif.get(), EXIF_IFD_EXIF, 36868)), "2018:01:02 10:11:13");  // L, no zero
    EXPECT_EQ(find(exif.get(), EXIF_IFD_EXIF, 36867)->size, 20u);                    // L + 1
    EXPECT_EQ(text(find(exif.get(), EXIF_IFD_EXIF, 37121)), std::string("\1\2\3\0", 4));
    EXPECT_EQ(text(find(exif.get(), EXIF_IFD_EXIF, 37396)), "2015, 1511, 2217, 1330");
    EXPECT_EQ(find(exif.get(), EXIF_IFD_EXIF, 37396)->format, EXIF_FORMAT_ASCII);
    EXPECT_EQ(find(exif.get(), EXIF_IFD_0, 274), nullptr);  // no Orientation

    ExifRational xres = rational(find(exif.get(), EXIF_IFD_0, 282));
    EXPECT_EQ(xres.numerator, 0x48u);
    EXPECT_EQ(xres.denominator, 1u);
    EXPECT_EQ(rational(find(exif.get(), EXIF_IFD_EXIF, 33434)).denominator, 60u);
    EXPECT_EQ(shortValue(find(exif.get(), EXIF_IFD_EXIF, 34855)), 100);
    EXPECT_EQ(exif_get_long(find(exif.get(), EXIF_IFD_EXIF, 40963)->data, EXIF_BYTE_ORDER_INTEL), 3024u);

    // Flash 0x19: fired, return bits 0.
    ExifRational energy = rational(find(exif.get(), EXIF_IFD_EXIF, 41483));
    EXPECT_EQ(energy.numerator, 65535u);
    EXPECT_EQ(energy.denominator, 0u);

    // CompositeImage is unknown to libexif 0.6.24: still a SHORT with the source's value.
    ExifEntry* composite = find(exif.get(), EXIF_IFD_EXIF, 42080);
    ASSERT_NE(composite, nullptr);
    EXPECT_EQ(composite->format, EXIF_FORMAT_SHORT);
    EXPECT_EQ(composite->components, 1u);
    EXPECT_EQ(shortValue(composite), 1);

    ExifEntry* lens = find(exif.get(), EXIF_IFD_EXIF, 42034);
    EXPECT_EQ(lens->components, 4u);
    EXPECT_EQ(lens->size, 32u);
    EXPECT_EQ(rational(lens, 2).numerator, 9u);

    ExifEntry* latitude = find(exif.get(), EXIF_IFD_GPS, 2);
    EXPECT_EQ(latitude->components, 3u);
    EXPECT_EQ(rational(latitude, 2).numerator, 2406u);
    EXPECT_EQ(text(find(exif.get(), EXIF_IFD_GPS, 1)), "S");
    EXPECT_EQ(find(exif.get(), EXIF_IFD_GPS, 5)->format, EXIF_FORMAT_BYTE);
    EXPECT_EQ(find(exif.get(), EXIF_IFD_GPS, 6)->components, 1u);
    EXPECT_EQ(text(find(exif.get(), EXIF_IFD_GPS, 12)), "K");
    EXPECT_EQ(find(exif.get(), EXIF_IFD_GPS, 16), nullptr);

    // The Exif IFD holds its rows in the order of the table.
    const std::vector<int> order = {33434, 33437, 34850, 34855, 36864, 36867, 36868, 37121, 37377, 37378, 37379, 37380,
                                    37382, 37383, 37385, 37386, 37396, 37500, 37521, 40960, 40961, 40962, 40963, 41483,
                                    41495, 41729, 41986, 41987, 41989, 41990, 42034, 42035, 42036, 36880, 42080};
    std::vector<int> tags;
    ExifContent* content = exif->ifd[EXIF_IFD_EXIF];
    for (unsigned i = 0; i < content->count; ++i)
    {
        tags.push_back(content->entries[i]->tag);
    }
    EXPECT_EQ(tags, order);
}

TEST(HeicExifTreeTest, EmptySourceGivesDefaultsAndReferenceBytes)
{
    ParsedExif empty;
    empty.flash = 0x10;  // not fired: no FlashEnergy
    empty.brightnessValue = {0xFFFFFFFFu, 0xFFFFFFFEu};
    ExifDataPtr exif = CreateExifDataFromParsed(empty);
    ASSERT_TRUE(exif);
    EXPECT_EQ(find(exif.get(), EXIF_IFD_0, 271), nullptr);
    EXPECT_EQ(find(exif.get(), EXIF_IFD_EXIF, 34850), nullptr);
    EXPECT_EQ(find(exif.get(), EXIF_IFD_EXIF, 37379), nullptr);  // both negative
    EXPECT_EQ(find(exif.get(), EXIF_IFD_EXIF, 41483), nullptr);
    EXPECT_EQ(shortValue(find(exif.get(), EXIF_IFD_EXIF, 34855)), 0);
    ExifRational xres = rational(find(exif.get(), EXIF_IFD_0, 282));
    EXPECT_EQ(xres.numerator, 0u);
    EXPECT_EQ(xres.denominator, 1u);
    for (int tag : {1, 3, 5})
    {
        ExifEntry* ref = find(exif.get(), EXIF_IFD_GPS, tag);
        ASSERT_NE(ref, nullptr) << tag;
        EXPECT_EQ(text(ref), std::string(1, '\0'));
    }
    for (int tag : {2, 4, 6, 12, 13, 29, 31})
    {
        EXPECT_EQ(find(exif.get(), EXIF_IFD_GPS, tag), nullptr) << tag;
    }

    ParsedExif bright;
    bright.brightnessValue = {0xFFFFFFFFu, 2};
    bright.gpsLatitude[2].denominator = 100;  // a seconds denominator alone marks the coordinate
    exif = CreateExifDataFromParsed(bright);
    EXPECT_NE(find(exif.get(), EXIF_IFD_EXIF, 37379), nullptr);
    EXPECT_NE(find(exif.get(), EXIF_IFD_GPS, 2), nullptr);
}

// libexif serialises the tree and reads it back with the values set.
TEST(HeicExifTreeTest, SerialisedTreeReadsBack)
{
    ExifDataPtr exif = cameraTree();
    const Bytes bytes = serialise(exif.get());
    ASSERT_GT(bytes.size(), 6u);
    EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + 8), (Bytes{'E', 'x', 'i', 'f', 0, 0, 'I', 'I'}));
    ExifDataPtr back(exif_data_new_from_data(bytes.data(), unsigned(bytes.size())));
    ASSERT_TRUE(back);
    EXPECT_EQ(text(find(back.get(), EXIF_IFD_0, 272)), std::string("iPhone 7\0", 9));
    EXPECT_EQ(shortValue(find(back.get(), EXIF_IFD_EXIF, 42080)), 1);
    EXPECT_EQ(rational(find(back.get(), EXIF_IFD_GPS, 4)).numerator, 121u);
    EXPECT_EQ(text(find(back.get(), EXIF_IFD_EXIF, 37500)), std::string("Apple iOS\0\0\1MM", 14));
}

TEST(HeicExifTreeTest, EntryHelpers)
{
    ExifDataPtr exif(exif_data_new());
    exif_data_set_byte_order(exif.get(), EXIF_BYTE_ORDER_INTEL);
    EXPECT_EQ(CreateExifEntryTag(exif.get(), EXIF_IFD_0, EXIF_TAG_MAKE, 0, EXIF_FORMAT_ASCII), nullptr);
    ExifEntry* made = CreateExifEntryTag(exif.get(), EXIF_IFD_GPS, static_cast<ExifTag>(EXIF_TAG_GPS_LATITUDE), 24,
                                         EXIF_FORMAT_RATIONAL);
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(made->components, 3u);
    EXPECT_EQ(made->size, 24u);
    // A second entry of the same tag is refused and nothing dangles.
    EXPECT_EQ(CreateExifEntryTag(exif.get(), EXIF_IFD_GPS, static_cast<ExifTag>(EXIF_TAG_GPS_LATITUDE), 8,
                                 EXIF_FORMAT_RATIONAL),
              nullptr);
    EXPECT_EQ(find(exif.get(), EXIF_IFD_GPS, 2), made);

    ExifEntry* init = InitExifEntryTag(exif.get(), EXIF_IFD_0, EXIF_TAG_RESOLUTION_UNIT);
    ASSERT_NE(init, nullptr);
    EXPECT_EQ(shortValue(init), 2);  // libexif's default: inches
    EXPECT_EQ(InitExifEntryTag(exif.get(), EXIF_IFD_0, EXIF_TAG_RESOLUTION_UNIT), init);
    EXPECT_EQ(InitExifEntryTag(nullptr, EXIF_IFD_0, EXIF_TAG_MAKE), nullptr);
}

TEST(HeicExifTreeTest, OrientationToDegrees)
{
    ExifDataPtr exif(exif_data_new());
    exif_data_set_byte_order(exif.get(), EXIF_BYTE_ORDER_MOTOROLA);
    EXPECT_EQ(ExifOrientationToDegrees(exif.get(), EXIF_IFD_0), 0);
    ExifEntry* e = InitExifEntryTag(exif.get(), EXIF_IFD_0, EXIF_TAG_ORIENTATION);
    const int expected[] = {0, 0, 0, 180, 180, 90, 90, 270, 270, 0};
    for (int value = 0; value <= 9; ++value)
    {
        exif_set_short(e->data, EXIF_BYTE_ORDER_MOTOROLA, ExifShort(value));
        EXPECT_EQ(ExifOrientationToDegrees(exif.get(), EXIF_IFD_0), expected[value]) << value;
    }
    EXPECT_EQ(ExifOrientationToDegrees(exif.get(), EXIF_IFD_EXIF), 0);
}

class JpgAddExifTest : public testing::Test
{
protected:
    void SetUp() override
    {
        exif = cameraTree();
        ASSERT_TRUE(exif);
        block = serialise(exif.get());
        jfif = readFile(exiftest::dataPath("plain.jpg"));
        ASSERT_GT(jfif.size(), 20u);
        input = tempPath("in.jpg");
        output = tempPath("out.jpg");
        std::remove(output.c_str());
    }
    void TearDown() override
    {
        std::remove(input.c_str());
        std::remove(output.c_str());
    }
    /// Splices `bytes` and expects SOI, the APP1 with the tree, then bytes from `rest` on.
    void expectSplice(const Bytes& bytes, std::size_t rest)
    {
        writeFile(input, bytes);
        ASSERT_EQ(JpgAddExif(input.c_str(), output.c_str(), exif.get()), 1);
        const Bytes out = readFile(output);
        const std::size_t e = block.size();
        ASSERT_EQ(out.size(), 4 + 2 + e + bytes.size() - rest);
        EXPECT_EQ(Bytes(out.begin(), out.begin() + 4), (Bytes{0xFF, 0xD8, 0xFF, 0xE1}));
        EXPECT_EQ(out[4] << 8 | out[5], int(e + 2));
        EXPECT_EQ(Bytes(out.begin() + 6, out.begin() + 6 + std::ptrdiff_t(e)), block);
        EXPECT_EQ(Bytes(out.begin() + 6 + std::ptrdiff_t(e), out.end()),
                  Bytes(bytes.begin() + std::ptrdiff_t(rest), bytes.end()));
    }
    void expectRefused(const Bytes& bytes)
    {
        writeFile(input, bytes);
        EXPECT_EQ(JpgAddExif(input.c_str(), output.c_str(), exif.get()), 0);
        EXPECT_FALSE(exists(output));
    }

    ExifDataPtr exif;
    Bytes block, jfif;
    std::string input, output;
};

// The usual JFIF input: its 20 leading bytes are replaced by SOI and the APP1.
TEST_F(JpgAddExifTest, JfifLayout)
{
    ASSERT_EQ(jfif[5], 16);
    expectSplice(jfif, 20);
    ExifDataPtr back(exif_data_new_from_file(output.c_str()));
    ASSERT_TRUE(back);
    EXPECT_EQ(text(find(back.get(), EXIF_IFD_0, 271)), std::string("Apple\0", 6));
}

TEST_F(JpgAddExifTest, OtherLeadingSegments)
{
    // An APP0 of 20 bytes of length (a JFIF extension): skipped whole.
    Bytes longer = jfif;
    longer[5] = 20;
    longer.insert(longer.begin() + 20, {1, 2, 3, 4});
    expectSplice(longer, 24);
    // No APP0: the APP1 goes right after the start of image and nothing is lost.
    Bytes bare = {0xFF, 0xD8};
    bare.insert(bare.end(), jfif.begin() + 20, jfif.end());
    expectSplice(bare, 2);
}

TEST_F(JpgAddExifTest, Refusals)
{
    std::remove(input.c_str());
    EXPECT_EQ(JpgAddExif(input.c_str(), output.c_str(), exif.get()), 0);  // no input
    EXPECT_EQ(JpgAddExif(nullptr, output.c_str(), exif.get()), 0);
    writeFile(input, jfif);
    EXPECT_EQ(JpgAddExif(input.c_str(), output.c_str(), nullptr), 0);
    EXPECT_EQ(JpgAddExif(input.c_str(), testsupport::CurrentTestFolder::path("no/such/dir/out.jpg").c_str(), exif.get()), 0);

    expectRefused(Bytes(jfif.begin(), jfif.begin() + 19));  // shorter than 20 bytes
    expectRefused({});
    Bytes notJpeg = jfif;
    notJpeg[1] = 0xD9;
    expectRefused(notJpeg);
    // An APP0 longer than the file, or shorter than its own length field.
    Bytes app0 = jfif;
    app0[4] = 0xFF;
    expectRefused(app0);
    app0[4] = 0;
    app0[5] = 1;
    expectRefused(app0);
    // Exif already in front, right after SOI or after the APP0.
    Bytes withExif = {0xFF, 0xD8, 0xFF, 0xE1, 0, 8, 'E', 'x', 'i', 'f', 0, 0};
    withExif.insert(withExif.end(), jfif.begin() + 20, jfif.end());
    expectRefused(withExif);
    expectRefused(readFile(exiftest::dataPath("camera_mm.jpg")));
}

TEST_F(JpgAddExifTest, BlockTooLargeForApp1)
{
    ParsedExif big = parseQuietly(cameraBlock(false).build());
    big.makerNote.assign(65600, 'x');
    ExifDataPtr large = CreateExifDataFromParsed(big);
    ASSERT_TRUE(large);
    writeFile(input, jfif);
    testing::internal::CaptureStdout();
    EXPECT_EQ(JpgAddExif(input.c_str(), output.c_str(), large.get()), 0);
    EXPECT_NE(testing::internal::GetCapturedStdout().find("does not fit"), std::string::npos);
    EXPECT_FALSE(exists(output));

    // Just below the limit still fits.
    big.makerNote.assign(64000, 'x');
    large = CreateExifDataFromParsed(big);
    EXPECT_EQ(JpgAddExif(input.c_str(), output.c_str(), large.get()), 1);
}

// A write that fails halfway leaves no partial output behind.
TEST_F(JpgAddExifTest, FailedWriteRemovesTheOutput)
{
    writeFile(input, jfif);
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit small = old;
    small.rlim_cur = 100;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const int answer = JpgAddExif(input.c_str(), output.c_str(), exif.get());
    setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_EQ(answer, 0);
    EXPECT_FALSE(exists(output));
}

TEST(GetFileLengthTest, KeepsThePosition)
{
    const std::string path = tempPath("length.bin");
    writeFile(path, Bytes(1234, 7));
    FILE* file = std::fopen(path.c_str(), "rb");
    ASSERT_NE(file, nullptr);
    std::fseek(file, 100, SEEK_SET);
    EXPECT_EQ(GetFileLength(file), 1234);
    EXPECT_EQ(std::ftell(file), 100);
    std::fclose(file);
    std::remove(path.c_str());
    EXPECT_EQ(GetFileLength(nullptr), -1);
}

// The camera Exif of a real JPEG (exiftool-written) goes through the parser, the tree and the
// splice, and libexif's own loader finds the kept tags with their values.
TEST(HeicExifRealTest, CameraExifSurvivesTheSplice)
{
    ParsedExif parsed = parseQuietly(FindExifBlock(readFile(exiftest::dataPath("camera_mm.jpg"))));
    ASSERT_TRUE(parsed.success);
    ExifDataPtr exif = CreateExifDataFromParsed(parsed);
    ASSERT_TRUE(exif);
    const std::string output = tempPath("camera.jpg");
    ASSERT_EQ(JpgAddExif(exiftest::dataPath("plain.jpg").c_str(), output.c_str(), exif.get()), 1);

    ExifLoader* loader = exif_loader_new();
    exif_loader_write_file(loader, output.c_str());
    ExifDataPtr back(exif_loader_get_data(loader));
    exif_loader_unref(loader);
    std::remove(output.c_str());
    ASSERT_TRUE(back);
    const auto value = [&back](ExifIfd ifd, ExifTag tag)
    {
        ExifEntry* e = exif_content_get_entry(back->ifd[ifd], tag);
        char buffer[256] = {};
        return e == nullptr ? std::string("(none)") : std::string(exif_entry_get_value(e, buffer, sizeof buffer));
    };
    EXPECT_EQ(value(EXIF_IFD_0, EXIF_TAG_MAKE), "Canon");
    EXPECT_EQ(value(EXIF_IFD_0, EXIF_TAG_MODEL), "Canon EOS 5D Mark IV");
    EXPECT_EQ(value(EXIF_IFD_EXIF, EXIF_TAG_DATE_TIME_ORIGINAL), "2023:06:14 09:41:27");
    EXPECT_EQ(value(EXIF_IFD_EXIF, EXIF_TAG_EXPOSURE_TIME), "1/250 sec.");
    EXPECT_EQ(value(EXIF_IFD_EXIF, EXIF_TAG_FNUMBER), "f/5.6");
    EXPECT_EQ(value(EXIF_IFD_EXIF, EXIF_TAG_ISO_SPEED_RATINGS), "400");
    EXPECT_EQ(value(EXIF_IFD_EXIF, EXIF_TAG_FOCAL_LENGTH), "35.0 mm");
    EXPECT_EQ(value(EXIF_IFD_GPS, static_cast<ExifTag>(EXIF_TAG_GPS_LATITUDE_REF)), "S");
    EXPECT_EQ(value(EXIF_IFD_GPS, static_cast<ExifTag>(EXIF_TAG_GPS_LATITUDE)), "33, 52, 7.68");
    EXPECT_EQ(value(EXIF_IFD_GPS, static_cast<ExifTag>(EXIF_TAG_GPS_LONGITUDE)), "151, 12, 33.48");
}

// Camera Exif (Motorola order, Orientation 6, 4032 x 3024) put into a 64 x 48 JPEG: the parser
// reads the kept fields back with the JPEG's own size, libexif finds Orientation 1, and the
// compressed picture after the replaced APP0 is the input's, byte for byte.
TEST(AddExifTest, RoundTripThroughTheParser)
{
    const Bytes metadata = cameraBlock(false).build();
    const Bytes jpeg = readFile(exiftest::dataPath("plain.jpg"));
    ASSERT_EQ(jpeg[5], 16);
    testing::internal::CaptureStdout();
    const Bytes out = AddExif(metadata, jpeg);
    const ParsedExif source = ParseExifBlock(metadata);
    const ParsedExif back = ParseExifBlock(FindExifBlock(out));
    testing::internal::GetCapturedStdout();
    ASSERT_TRUE(source.success);
    ASSERT_TRUE(back.success);
    EXPECT_EQ(source.pixelXDimension, 4032u);
    EXPECT_EQ(back.pixelXDimension, 64u);
    EXPECT_EQ(back.pixelYDimension, 48u);
    EXPECT_EQ(back.make, "Apple");
    EXPECT_EQ(back.model, source.model);
    EXPECT_EQ(back.dateTimeOriginal, source.dateTimeOriginal);
    EXPECT_EQ(back.exposureTime, source.exposureTime);
    EXPECT_EQ(back.makerNote, source.makerNote);
    EXPECT_EQ(back.lensSpecification, source.lensSpecification);
    EXPECT_EQ(back.gpsLatitude, source.gpsLatitude);
    EXPECT_DOUBLE_EQ(back.gpsLongitudeDegrees, source.gpsLongitudeDegrees);

    ExifDataPtr tree(exif_data_new_from_data(out.data(), unsigned(out.size())));
    ASSERT_TRUE(tree);
    ExifEntry* orientation = find(tree.get(), EXIF_IFD_0, 274);
    ASSERT_NE(orientation, nullptr);
    EXPECT_EQ(exif_get_short(orientation->data, exif_data_get_byte_order(tree.get())), 1);

    ASSERT_GT(out.size(), jpeg.size() - 20);
    EXPECT_EQ(Bytes(out.end() - std::ptrdiff_t(jpeg.size() - 20), out.end()), Bytes(jpeg.begin() + 20, jpeg.end()));
    const auto picture = pravix::decodeImage(out.data(), out.size());
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->pixels, pravix::decodeImage(jpeg.data(), jpeg.size())->pixels);
}

namespace
{
struct Segment
{
    std::uint8_t marker;
    std::size_t offset;  // of the 0xFF
    Bytes payload;       // after the length
};

// The marker segments of a JPEG before its start of scan, read as a viewer reads them.
std::vector<Segment> headerSegments(const Bytes& jpeg)
{
    std::vector<Segment> segments;
    std::size_t pos = 2;
    while (pos + 4 <= jpeg.size() && jpeg[pos] == 0xFF && jpeg[pos + 1] != 0xDA)
    {
        const std::size_t length = std::size_t(jpeg[pos + 2]) << 8 | jpeg[pos + 3];
        if (length < 2 || pos + 2 + length > jpeg.size())
        {
            ADD_FAILURE() << "damaged segment at " << pos;
            break;
        }
        segments.push_back(
            {jpeg[pos + 1], pos,
             Bytes(jpeg.begin() + std::ptrdiff_t(pos + 4), jpeg.begin() + std::ptrdiff_t(pos + 2 + length))});
        pos += 2 + length;
    }
    return segments;
}

std::vector<Segment> exifSegments(const Bytes& jpeg)
{
    std::vector<Segment> exif;
    for (const Segment& s : headerSegments(jpeg))
    {
        if (s.marker == 0xE1 && s.payload.size() >= 6 &&
            std::equal(s.payload.begin(), s.payload.begin() + 6, "Exif\0\0"))
        {
            exif.push_back(s);
        }
    }
    return exif;
}

std::vector<std::uint8_t> markers(const Bytes& jpeg)
{
    std::vector<std::uint8_t> codes;
    for (const Segment& s : headerSegments(jpeg))
    {
        codes.push_back(s.marker);
    }
    return codes;
}

// camera_mm.jpg: JFIF APP0 (bytes 2-19), the camera's Exif APP1 (20-759), then comment, tables, frame.
constexpr std::size_t kCameraExifStart = 20;
constexpr std::size_t kCameraExifEnd = 760;
}  // namespace

// A JPEG that carries Exif gets the new block in place of the old one: one Exif segment, the new
// contents, the other segments and the picture as they were.
TEST(AddExifTest, ReplacesTheExifTheDataCarries)
{
    const Bytes metadata = cameraBlock(true).build();
    const Bytes jpeg = readFile(exiftest::dataPath("camera_mm.jpg"));
    ASSERT_EQ(exifSegments(jpeg).size(), 1u);
    ASSERT_EQ(exifSegments(jpeg)[0].offset, kCameraExifStart);
    testing::internal::CaptureStdout();
    const ParsedExif old = ParseExifBlock(FindExifBlock(jpeg));
    const Bytes out = AddExif(metadata, jpeg);
    const ParsedExif back = ParseExifBlock(FindExifBlock(out));
    testing::internal::GetCapturedStdout();
    ASSERT_FALSE(out.empty());
    ASSERT_EQ(old.make, "Canon");

    const std::vector<Segment> exif = exifSegments(out);
    ASSERT_EQ(exif.size(), 1u);
    EXPECT_EQ(exif[0].offset, kCameraExifStart);  // where the old one stood, after the kept APP0
    EXPECT_EQ(markers(out), markers(jpeg));
    ASSERT_TRUE(back.success);
    EXPECT_EQ(back.make, "Apple");
    EXPECT_EQ(back.pixelXDimension, 64u);
    EXPECT_EQ(back.pixelYDimension, 48u);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + kCameraExifStart), Bytes(jpeg.begin(), jpeg.begin() + kCameraExifStart));
    const std::size_t tail = jpeg.size() - kCameraExifEnd;
    EXPECT_EQ(Bytes(out.end() - std::ptrdiff_t(tail), out.end()), Bytes(jpeg.begin() + kCameraExifEnd, jpeg.end()));
    const auto picture = pravix::decodeImage(out.data(), out.size());
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->pixels, pravix::decodeImage(jpeg.data(), jpeg.size())->pixels);

    // Adding again replaces again: still one segment.
    testing::internal::CaptureStdout();
    const Bytes twice = AddExif(metadata, out);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(exifSegments(twice).size(), 1u);
    EXPECT_EQ(twice, out);
}

// Exif straight after the start of image, and two Exif segments (one after a comment): every old
// segment goes, the new block stands where the first stood.
TEST(AddExifTest, ReplacesExifWhereverItStands)
{
    const Bytes metadata = cameraBlock(false).build();
    const Bytes jpeg = readFile(exiftest::dataPath("camera_mm.jpg"));
    Bytes noApp0(jpeg.begin(), jpeg.begin() + 2);
    noApp0.insert(noApp0.end(), jpeg.begin() + kCameraExifStart, jpeg.end());
    const Bytes oldExif(jpeg.begin() + kCameraExifStart, jpeg.begin() + kCameraExifEnd);
    Bytes doubled(jpeg.begin(), jpeg.begin() + kCameraExifEnd + 18);  // through the comment
    doubled.insert(doubled.end(), oldExif.begin(), oldExif.end());
    doubled.insert(doubled.end(), jpeg.begin() + kCameraExifEnd + 18, jpeg.end());
    ASSERT_EQ(exifSegments(doubled).size(), 2u);

    for (const Bytes& input : {noApp0, doubled})
    {
        testing::internal::CaptureStdout();
        const Bytes out = AddExif(metadata, input);
        const ParsedExif back = ParseExifBlock(FindExifBlock(out));
        testing::internal::GetCapturedStdout();
        const std::vector<Segment> exif = exifSegments(out);
        ASSERT_EQ(exif.size(), 1u);
        EXPECT_EQ(exif[0].offset, exifSegments(input)[0].offset);
        EXPECT_TRUE(back.success);
        EXPECT_EQ(back.pixelXDimension, 64u);
        // The input's segments in order, one Exif where the first stood.
        std::vector<std::uint8_t> expected = markers(input);
        expected.erase(std::remove(expected.begin(), expected.end(), std::uint8_t(0xE1)), expected.end());
        expected.insert(expected.begin() + (input == noApp0 ? 0 : 1), 0xE1);
        EXPECT_EQ(markers(out), expected);
        const auto picture = pravix::decodeImage(out.data(), out.size());
        ASSERT_TRUE(picture);
        EXPECT_EQ(picture->pixels, pravix::decodeImage(jpeg.data(), jpeg.size())->pixels);
    }
}

// Segment lengths that run past the data or below their own two bytes are refused, in front of the
// Exif segment, in it and after it, and so is a header cut before its start of scan.
TEST(AddExifTest, DamagedSegmentLengthsAreRefused)
{
    const Bytes metadata = cameraBlock(true).build();
    for (const char* name : {"camera_mm.jpg", "plain.jpg"})
    {
        const Bytes jpeg = readFile(exiftest::dataPath(name));
        const std::vector<Segment> segments = headerSegments(jpeg);
        ASSERT_GE(segments.size(), 4u);
        for (const Segment& segment : segments)
        {
            // 0xFFFF and one byte past the end run past the data; 0 and 1 are shorter than the length itself.
            const std::size_t pastTheEnd = jpeg.size() - segment.offset - 1;
            for (const std::size_t length : {std::size_t(0), std::size_t(1), std::size_t(0xFFFF), pastTheEnd})
            {
                ASSERT_LE(length, 0xFFFFu);
                SCOPED_TRACE(std::string(name) + " segment at " + std::to_string(segment.offset) + " length " +
                             std::to_string(length));
                Bytes damaged = jpeg;
                damaged[segment.offset + 2] = std::uint8_t(length >> 8);
                damaged[segment.offset + 3] = std::uint8_t(length & 0xFF);
                // Exactly the bytes of the damaged data: a read past them is seen by the sanitizer.
                Bytes exact(damaged.begin(), damaged.end());
                exact.shrink_to_fit();
                testing::internal::CaptureStdout();
                EXPECT_TRUE(AddExif(metadata, exact).empty());
                testing::internal::GetCapturedStdout();
            }
        }
        const std::size_t scan = segments.back().offset + 2 + segments.back().payload.size() + 2;
        for (const std::size_t cut : {std::size_t(3), std::size_t(5), segments[1].offset + 3, scan - 1})
        {
            SCOPED_TRACE(std::string(name) + " cut at " + std::to_string(cut));
            testing::internal::CaptureStdout();
            EXPECT_TRUE(AddExif(metadata, Bytes(jpeg.begin(), jpeg.begin() + std::ptrdiff_t(cut))).empty());
            testing::internal::GetCapturedStdout();
        }
    }
}

// Nothing, and no exception, for metadata that does not parse, data that is no JPEG to write into,
// and a block too large for its segment. A header claiming a huge size is only copied into the tags.
TEST(AddExifTest, Refusals)
{
    const Bytes metadata = cameraBlock(true).build();
    const Bytes jpeg = readFile(exiftest::dataPath("plain.jpg"));
    testing::internal::CaptureStdout();
    EXPECT_TRUE(AddExif({}, jpeg).empty());
    EXPECT_TRUE(AddExif(Bytes{'E', 'x', 'i', 'f', 0, 0, 'X', 'X', 0, 42, 0, 0, 0, 8}, jpeg).empty());
    EXPECT_TRUE(AddExif(Bytes(metadata.begin(), metadata.begin() + 30), jpeg).empty());
    EXPECT_TRUE(AddExif(metadata, {}).empty());
    EXPECT_TRUE(AddExif(metadata, Bytes(jpeg.begin(), jpeg.begin() + 19)).empty());
    EXPECT_TRUE(AddExif(metadata, Bytes(jpeg.begin(), jpeg.begin() + 40)).empty());  // no frame header
    EXPECT_TRUE(AddExif(metadata, Bytes(200, 0xFF)).empty());
    ExifBlockBuilder large = cameraBlock(true);
    large.exif.undefined(37500, std::string(65600, 'x'));
    EXPECT_TRUE(AddExif(large.build(), jpeg).empty());
    const std::string log = testing::internal::GetCapturedStdout();
    EXPECT_NE(log.find("does not fit"), std::string::npos) << log;

    Bytes huge = jpeg;
    const Bytes frameMarker = {0xFF, 0xC0};
    const auto sof = std::search(huge.begin(), huge.end(), frameMarker.begin(), frameMarker.end());
    ASSERT_NE(sof, huge.end());
    sof[5] = sof[7] = 0xFD;  // height and width 65000, near the format's largest
    sof[6] = sof[8] = 0xE8;
    testing::internal::CaptureStdout();
    const Bytes out = AddExif(metadata, huge);
    const ParsedExif back = ParseExifBlock(FindExifBlock(out));
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(back.pixelXDimension, 65000u);
    EXPECT_EQ(back.pixelYDimension, 65000u);
}
