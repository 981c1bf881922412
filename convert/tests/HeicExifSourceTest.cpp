#include <gtest/gtest.h>

#include <libexif/exif-loader.h>
#include <libexif/exif-utils.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "CurrentTestFolder.h"
#include "ExifBlockBuilder.h"
#include "HeicExif.h"
#include "HeifBuilder.h"

using exiftest::Bytes;
using exiftest::ExifBlockBuilder;
using exiftest::readFile;

namespace
{
/// A still image (one hvc1 item) with the given extra items.
readertest::HeifBuilder stillImage()
{
    readertest::HeifBuilder heif;
    heif.primaryItem = 1;
    heif.addItem(1, "hvc1", readertest::lengthPrefixed({{0x26, 0x01, 0xAA, 0xBB}}));
    const auto hvcc =
        heif.addProperty(readertest::makeHvcC({0x40, 0x01, 0x0C}, {0x42, 0x01, 0x01}, {0x44, 0x01, 0xC1}));
    heif.associate(1, hvcc, true);
    heif.associate(1, heif.addProperty(readertest::makeIspe(64, 48)));
    return heif;
}

/// An Exif item as phones write it: a 4-byte offset (6), then "Exif", 0, 0 and the TIFF data.
Bytes exifItem(const std::string& make)
{
    ExifBlockBuilder b(false);
    b.ifd0.ascii(271, make);
    Bytes item = b.build();
    item.insert(item.begin(), {0, 0, 0, 6});
    return item;
}

struct Outcome
{
    ExifDataPtr exif;
    std::string printed;
};

Outcome fromHeic(const Bytes& file)
{
    testing::internal::CaptureStdout();
    Outcome outcome;
    outcome.exif = CreateExifDataFromHeic(file.data(), file.size());
    outcome.printed = testing::internal::GetCapturedStdout();
    return outcome;
}

std::string makeOf(ExifData* exif)
{
    ExifEntry* e = exif_content_get_entry(exif->ifd[EXIF_IFD_0], EXIF_TAG_MAKE);
    return e == nullptr ? "(none)" : std::string(reinterpret_cast<const char*>(e->data), e->size - 1);
}

const char kNoExif[] = "获取Heic Exif信息失败!\n";

/// Values of the spliced file's kept tags as libexif's loader reads them back.
std::map<std::string, std::string> readBack(const std::string& path)
{
    ExifLoader* loader = exif_loader_new();
    exif_loader_write_file(loader, path.c_str());
    ExifDataPtr exif(exif_loader_get_data(loader));
    exif_loader_unref(loader);
    std::map<std::string, std::string> values;
    if (!exif)
    {
        return values;
    }
    const std::pair<const char*, std::pair<ExifIfd, int>> tags[] = {
        {"Make", {EXIF_IFD_0, EXIF_TAG_MAKE}},
        {"Model", {EXIF_IFD_0, EXIF_TAG_MODEL}},
        {"DateTimeOriginal", {EXIF_IFD_EXIF, EXIF_TAG_DATE_TIME_ORIGINAL}},
        {"ExposureTime", {EXIF_IFD_EXIF, EXIF_TAG_EXPOSURE_TIME}},
        {"FNumber", {EXIF_IFD_EXIF, EXIF_TAG_FNUMBER}},
        {"ISO", {EXIF_IFD_EXIF, EXIF_TAG_ISO_SPEED_RATINGS}},
        {"FocalLength", {EXIF_IFD_EXIF, EXIF_TAG_FOCAL_LENGTH}},
        {"GPSLatitudeRef", {EXIF_IFD_GPS, EXIF_TAG_GPS_LATITUDE_REF}},
        {"GPSLatitude", {EXIF_IFD_GPS, EXIF_TAG_GPS_LATITUDE}},
        {"GPSLongitudeRef", {EXIF_IFD_GPS, EXIF_TAG_GPS_LONGITUDE_REF}},
        {"GPSLongitude", {EXIF_IFD_GPS, EXIF_TAG_GPS_LONGITUDE}},
    };
    for (const auto& tag : tags)
    {
        ExifEntry* e = exif_content_get_entry(exif->ifd[tag.second.first], static_cast<ExifTag>(tag.second.second));
        if (e != nullptr)
        {
            char buffer[256] = {};
            values[tag.first] = exif_entry_get_value(e, buffer, sizeof buffer);
        }
    }
    return values;
}

/// exiftool's numeric reading of the same tags, or empty when exiftool is not installed.
std::string exiftoolValues(const std::string& path)
{
    if (std::system("exiftool -ver > /dev/null 2>&1") != 0)
    {
        return {};
    }
    const std::string command = "exiftool -n -s3 -f -Make -Model -DateTimeOriginal -ExposureTime -FNumber -ISO "
                                "-FocalLength -GPS:GPSLatitude -GPS:GPSLongitude '" +
                                path + "'";
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r"))
    {
        char buffer[512];
        while (std::fgets(buffer, sizeof buffer, pipe) != nullptr)
        {
            out += buffer;
        }
        pclose(pipe);
    }
    return out;
}

std::string splice(ExifData* exif, const std::string& name)
{
    const std::string output = testsupport::CurrentTestFolder::path(name + ".jpg");
    EXPECT_EQ(JpgAddExif(exiftest::dataPath("plain.jpg").c_str(), output.c_str(), exif), 1);
    return output;
}
}  // namespace

TEST(HeicExifSourceTest, FirstExifItemByIdInAnyCase)
{
    readertest::HeifBuilder heif = stillImage();
    heif.addItem(7, "Exif", exifItem("Seventh"));
    heif.addItem(3, "EXIF", exifItem("Third"));
    heif.addItem(5, "mime", Bytes{'<', 'x', '/', '>'});
    Outcome outcome = fromHeic(heif.build());
    ASSERT_TRUE(outcome.exif);
    EXPECT_EQ(makeOf(outcome.exif.get()), "Third");

    readertest::HeifBuilder lower = stillImage();
    lower.addItem(2, "exif", exifItem("Lower"));
    outcome = fromHeic(lower.build());
    ASSERT_TRUE(outcome.exif);
    EXPECT_EQ(makeOf(outcome.exif.get()), "Lower");
}

TEST(HeicExifSourceTest, NoExifMeansNoTree)
{
    // No Exif item at all.
    Outcome outcome = fromHeic(stillImage().build());
    EXPECT_FALSE(outcome.exif);
    EXPECT_EQ(outcome.printed, kNoExif);

    // An Exif item without signature or TIFF header.
    readertest::HeifBuilder heif = stillImage();
    heif.addItem(2, "Exif", Bytes{0, 0, 0, 0, 1, 2, 3, 4});
    outcome = fromHeic(heif.build());
    EXPECT_FALSE(outcome.exif);
    EXPECT_NE(outcome.printed.find("can not find \"EXIF\" \n"), std::string::npos);
    EXPECT_NE(outcome.printed.find(kNoExif), std::string::npos);

    // A block that does not parse.
    readertest::HeifBuilder corrupt = stillImage();
    corrupt.addItem(2, "Exif", Bytes{0, 0, 0, 6, 'E', 'x', 'i', 'f', 0, 0, 'M', 'M', 0, 42, 0xFF, 0, 0, 0});
    EXPECT_FALSE(fromHeic(corrupt.build()).exif);

    // Not a HEIF file, an empty one, and every truncation of a good one.
    const Bytes jpeg = readFile(exiftest::dataPath("plain.jpg"));
    EXPECT_FALSE(fromHeic(jpeg).exif);
    EXPECT_FALSE(CreateExifDataFromHeic(nullptr, 0));
    readertest::HeifBuilder good = stillImage();
    good.addItem(2, "Exif", exifItem("Apple"));
    const Bytes file = good.build();
    testing::internal::CaptureStdout();
    for (std::size_t length = 0; length < file.size(); ++length)
    {
        CreateExifDataFromHeic(file.data(), length);
    }
    testing::internal::GetCapturedStdout();

    EXPECT_FALSE(CreateExifDataFromHeicFile(testsupport::CurrentTestFolder::path("no_such_file.heic").c_str()));
    EXPECT_FALSE(CreateExifDataFromHeicFile(nullptr));
}

// Camera Exif written by exiftool, carried by heif-enc into HEIC files in both byte orders, comes
// out of the spliced JPEG with the source's values.
TEST(HeicExifSourceTest, CameraHeicFiles)
{
    for (const char* name : {"camera_mm", "camera_ii"})
    {
        SCOPED_TRACE(name);
        testing::internal::CaptureStdout();
        ExifDataPtr exif = CreateExifDataFromHeicFile(exiftest::dataPath(std::string(name) + ".heic").c_str());
        testing::internal::GetCapturedStdout();
        ASSERT_TRUE(exif);
        const std::string output = splice(exif.get(), name);
        const auto values = readBack(output);
        const std::map<std::string, std::string> expected = {
            {"Make", "Canon"},
            {"Model", "Canon EOS 5D Mark IV"},
            {"DateTimeOriginal", "2023:06:14 09:41:27"},
            {"ExposureTime", "1/250 sec."},
            {"FNumber", "f/5.6"},
            {"ISO", "400"},
            {"FocalLength", "35.0 mm"},
            {"GPSLatitudeRef", "S"},
            {"GPSLatitude", "33, 52, 7.68"},
            {"GPSLongitudeRef", "E"},
            {"GPSLongitude", "151, 12, 33.48"},
        };
        EXPECT_EQ(values, expected);
        const std::string tool = exiftoolValues(output);
        if (!tool.empty())
        {
            EXPECT_EQ(tool,
                      "Canon\nCanon EOS 5D Mark IV\n2023:06:14 09:41:27\n0.004\n5.6\n400\n35\n33.8688\n151.2093\n");
        }
        std::remove(output.c_str());
    }
}

// Phone and camera files of the shared corpus: iPhone (Motorola order, GPS), Sony (Intel order,
// a 40 KB maker note) and a heif-enc file.
TEST(HeicExifCorpusTest, PhoneAndCameraFiles)
{
    const char* override = std::getenv("PRAVIX_CORPUS_DIR");
    const std::filesystem::path corpus(override != nullptr ? override : PRAVIX_CORPUS_DIR);
    if (!std::filesystem::is_directory(corpus))
    {
        GTEST_SKIP() << "no corpus at " << corpus;
    }
    struct Expected
    {
        const char* file;
        const char* make;
        const char* model;
        const char* dateTimeOriginal;
        const char* iso;
        const char* latitude;  // exiftool's value of the GPS IFD entry, or "-"
    };
    const Expected cases[] = {
        {"photoprism_iphone_7.heic", "Apple", "iPhone 7", "2018:09:10 12:16:13", "20", "34.79745"},
        {"oiio_IMG_7702_small.heic", "Apple", "iPhone 7", "2019:01:21 16:10:54", "20", "-"},
        {"pillowheif_arrow.heic", "Apple", "iPhone 8 Plus", "2018:07:31 14:52:07", "25", "-"},
        {"pillowheif_cat.hif", "SONY", "ILCE-7SM3", "2020:09:14 11:09:34", "80", "-"},
        {"pillowheif_L_exif_xmp_iptc.heic", "SONY", "ILCE-7SM3", "2020:09:14 11:09:34", "80", "-"},
        {"gen_exif_orient6.heic", "TestMake", "TestModel", "2024:05:01 12:34:56", nullptr, "48.8584"},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.file);
        const std::filesystem::path path = corpus / c.file;
        if (!std::filesystem::exists(path))
        {
            ADD_FAILURE() << "missing " << path;
            continue;
        }
        testing::internal::CaptureStdout();
        ExifDataPtr exif = CreateExifDataFromHeicFile(path.c_str());
        testing::internal::GetCapturedStdout();
        ASSERT_TRUE(exif);
        const std::string output = splice(exif.get(), std::filesystem::path(c.file).stem().string());
        auto values = readBack(output);
        EXPECT_EQ(values["Make"], c.make);
        EXPECT_EQ(values["Model"], c.model);
        EXPECT_EQ(values["DateTimeOriginal"], c.dateTimeOriginal);
        if (c.iso != nullptr)
        {
            EXPECT_EQ(values["ISO"], c.iso);
        }
        const std::string tool = exiftoolValues(output);
        if (!tool.empty())
        {
            std::vector<std::string> lines;
            for (std::size_t at = 0, next; (next = tool.find('\n', at)) != std::string::npos; at = next + 1)
            {
                lines.push_back(tool.substr(at, next - at));
            }
            ASSERT_EQ(lines.size(), 9u);
            EXPECT_EQ(lines[0], c.make);
            EXPECT_EQ(lines[1], c.model);
            EXPECT_EQ(lines[7].substr(0, std::string(c.latitude).size()), c.latitude);
        }
        std::remove(output.c_str());
    }
}
