// Files named .heic whose bytes are another picture format convert as what they are.
#include "ConvertEntry.h"
#include "ExifParser.h"
#include "HeicExif.h"
#include "ImageEncoders.h"
#include "ImageFileReaderInterface.h"
#include "ImageOps.h"
#include "PictureLoading.h"

#include "PictureFiles.h"
#include "TemporaryFolder.h"

#include <gtest/gtest.h>

#include <libexif/exif-data.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

using namespace pravix;
namespace fs = std::filesystem;

namespace
{

std::vector<uint8_t> readBytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Red, green above; blue, white below.
Bitmap quadrants(uint32_t w, uint32_t h)
{
    Bitmap b;
    b.allocate(w, h, 3);
    for (uint32_t y = 0; y < h; ++y)
    {
        for (uint32_t x = 0; x < w; ++x)
        {
            uint8_t* p = b.row(y) + x * 3;
            const bool right = x >= w / 2;
            const bool bottom = y >= h / 2;
            p[0] = right == bottom ? 255 : 0;
            p[1] = right ? 255 : 0;
            p[2] = bottom ? 255 : 0;
        }
    }
    return b;
}

// The pixel 3 pixels in from a corner of b matches the same corner of expected, within JPEG's error.
::testing::AssertionResult sameCorners(const Bitmap& b, const Bitmap& expected)
{
    if (b.width != expected.width || b.height != expected.height)
    {
        return ::testing::AssertionFailure() << b.width << "x" << b.height;
    }
    for (uint32_t y : {3u, b.height - 4})
    {
        for (uint32_t x : {3u, b.width - 4})
        {
            for (int c = 0; c < 3; ++c)
            {
                if (std::abs(int(b.row(y)[x * 3 + c]) - int(expected.row(y)[x * 3 + c])) > 32)
                {
                    return ::testing::AssertionFailure() << "at " << x << "," << y;
                }
            }
        }
    }
    return ::testing::AssertionSuccess();
}

// The Exif block of the first APP1 "Exif" segment of a JPEG's header; empty when it has none.
std::vector<uint8_t> jpegExifBlock(const std::vector<uint8_t>& jpeg)
{
    size_t at = 2;
    while (at + 4 <= jpeg.size() && jpeg[at] == 0xFF && jpeg[at + 1] != 0xDA)
    {
        const size_t length = (size_t(jpeg[at + 2]) << 8) | jpeg[at + 3];
        if (jpeg[at + 1] == 0xE1 && length >= 8 && at + 2 + length <= jpeg.size() &&
            std::memcmp(&jpeg[at + 4], "Exif\0\0", 6) == 0)
        {
            return std::vector<uint8_t>(jpeg.begin() + at + 4, jpeg.begin() + at + 2 + length);
        }
        at += 2 + length;
    }
    return {};
}

bool contains(const std::vector<uint8_t>& bytes, const char* text)
{
    const size_t n = std::strlen(text);
    return std::search(bytes.begin(), bytes.end(), text, text + n) != bytes.end();
}

uint32_t crc32Of(const uint8_t* p, size_t n)
{
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < n; ++i)
    {
        crc ^= p[i];
        for (int k = 0; k < 8; ++k)
        {
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
        }
    }
    return ~crc;
}

void putBe32(uint8_t* p, uint32_t v)
{
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
}

class DisguisedPictureTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        fs::create_directories(root / "in");
        options.cachePath = (root / "cache").string();
        options.savePath = (root / "out").string();
    }

    // Writes the bytes as in/photo.heic and converts them; the log goes into `log`.
    EntryOutcome convert(const std::vector<uint8_t>& bytes, const ExifHooks& hooks = defaultExifHooks())
    {
        const fs::path path = root / "in" / "photo.heic";
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        testing::internal::CaptureStdout();
        const EntryOutcome outcome =
            convertEntry(EntryPaths{path.string(), (root / "in").string(), "photo"}, options, hooks);
        log = testing::internal::GetCapturedStdout();
        return outcome;
    }

    // Removed with everything the test wrote when the test ends.
    const testsupport::TemporaryFolder folder{"pravix-disguised"};
    const fs::path root = folder.path();
    ConversionOptions options;
    std::string log;
};

struct Source
{
    const char* name;
    ImageFileType type;
};

const Source kSources[] = {{"JPEG", ImageFileType::Jpeg},
                           {"PNG", ImageFileType::Png},
                           {"TIFF", ImageFileType::Tiff},
                           {"BMP", ImageFileType::Bmp},
                           {"JPEG 2000", ImageFileType::Jpeg2000}};

struct Output
{
    const char* suffix;
    ImageFileType type;
};

const Output kOutputs[] = {{"JPG", ImageFileType::Jpeg},
                           {"JPEG", ImageFileType::Jpeg2000},
                           {"PNG", ImageFileType::Png},
                           {"BMP", ImageFileType::Bmp},
                           {"TIFF", ImageFileType::Tiff}};

}  // namespace

TEST_F(DisguisedPictureTest, EveryFormatConvertsToEveryOutputType)
{
    const Bitmap picture = quadrants(64, 48);
    for (const Source& source : kSources)
    {
        const std::vector<uint8_t> bytes = encodeImage(picture, source.type);
        for (const Output& output : kOutputs)
        {
            SCOPED_TRACE(std::string(source.name) + " to " + output.suffix);
            options.saveSuff = output.suffix;
            const EntryOutcome outcome = convert(bytes);
            ASSERT_TRUE(outcome.converted) << outcome.errorKey << "\n" << log;
            EXPECT_EQ(outcome.toPath, (root / "out" / (std::string("photo.") + output.suffix)).string());
            EXPECT_NE(log.find(std::string("文件内容为 ") + source.name + "，不是 HEIC"), std::string::npos) << log;
            const std::vector<uint8_t> written = readBytes(outcome.toPath);
            EXPECT_EQ(identifyPictureFormat(written.data(), written.size()), pictureFormatOf(output.type));
            const std::optional<Bitmap> back = decodeImage(written.data(), written.size());
            ASSERT_TRUE(back);
            EXPECT_TRUE(sameCorners(*back, picture));
            fs::remove(outcome.toPath);
        }
    }
}

// A JPEG's Exif orientation and a TIFF's orientation tag turn the picture upright, sides swapped.
TEST_F(DisguisedPictureTest, OrientedPicturesComeOutUpright)
{
    const Bitmap picture = quadrants(64, 48);
    options.saveSuff = "PNG";
    const std::vector<uint8_t> jpeg =
        testsupport::withApp1(encodeImage(picture, ImageFileType::Jpeg, {1.0f}), testsupport::exifBlock(6));
    EntryOutcome outcome = convert(jpeg);
    ASSERT_TRUE(outcome.converted) << log;
    std::vector<uint8_t> written = readBytes(outcome.toPath);
    std::optional<Bitmap> back = decodeImage(written.data(), written.size());
    ASSERT_TRUE(back);
    EXPECT_EQ(back->width, 48u);
    EXPECT_EQ(back->height, 64u);
    EXPECT_TRUE(sameCorners(*back, applyOrientation(picture, 6)));
    fs::remove(outcome.toPath);

    const std::vector<uint8_t> rgb(picture.pixels.begin(), picture.pixels.end());
    outcome = convert(testsupport::tiffBytes(rgb, 64, 48, 8));
    ASSERT_TRUE(outcome.converted) << log;
    written = readBytes(outcome.toPath);
    back = decodeImage(written.data(), written.size());
    ASSERT_TRUE(back);
    EXPECT_TRUE(sameCorners(*back, applyOrientation(picture, 8)));
}

// Keeping Exif carries a JPEG's Exif segment into JPG output through the same rebuild as a HEIC's; other
// output types and sources without one are written without it, the latter said in the log.
TEST_F(DisguisedPictureTest, AJpegsExifIsCarriedIntoJpgOutput)
{
    const std::vector<uint8_t> camera =
        readBytes(fs::path(PRAVIX_SOURCE_DIR) / "convert" / "tests" / "data" / "camera_mm.jpg");
    ASSERT_FALSE(camera.empty());
    options.bExif = true;
    int fromReader = 0;
    std::vector<std::vector<uint8_t>> blocks;
    ExifHooks hooks = defaultExifHooks();
    const auto real = hooks.createFromBlock;
    hooks.create = [&](const ImageFileReaderInterface&) -> ExifData*
    {
        ++fromReader;
        return nullptr;
    };
    hooks.createFromBlock = [&](const std::vector<uint8_t>& block)
    {
        blocks.push_back(block);
        return real(block);
    };

    options.saveSuff = "JPG";
    EntryOutcome outcome = convert(camera, hooks);
    ASSERT_TRUE(outcome.converted) << log;
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(fromReader, 0);
    EXPECT_EQ(blocks[0], jpegExifBlock(camera));
    const std::vector<uint8_t> written = readBytes(outcome.toPath);
    const ParsedExif carried = ParseExifBlock(jpegExifBlock(written));
    ASSERT_TRUE(carried.success);
    EXPECT_EQ(carried.make, "Canon");
    EXPECT_EQ(carried.model, "Canon EOS 5D Mark IV");
    EXPECT_EQ(carried.dateTime, "2023:06:15 10:00:00");
    EXPECT_EQ(carried.dateTimeOriginal, "2023:06:14 09:41:27");
    EXPECT_EQ(carried.gpsLatitudeRef, 'S');
    const std::optional<Bitmap> back = decodeImage(written.data(), written.size());
    ASSERT_TRUE(back);
    EXPECT_EQ(back->width, 64u);

    // PNG output: the module is not asked, and nothing of the Exif reaches the file.
    options.saveSuff = "PNG";
    outcome = convert(camera, hooks);
    ASSERT_TRUE(outcome.converted);
    EXPECT_EQ(blocks.size(), 1u);
    EXPECT_FALSE(contains(readBytes(outcome.toPath), "Exif"));
    EXPECT_FALSE(contains(readBytes(outcome.toPath), "Canon"));

    // A picture without an Exif segment: written without, said once.
    options.saveSuff = "JPG";
    const fs::path plainOut = root / "out" / "photo(1).JPG";
    outcome = convert(encodeImage(quadrants(64, 48), ImageFileType::Png), hooks);
    ASSERT_TRUE(outcome.converted);
    EXPECT_EQ(outcome.toPath, plainOut.string());
    EXPECT_EQ(blocks.size(), 1u);
    EXPECT_TRUE(jpegExifBlock(readBytes(outcome.toPath)).empty());
    const std::string line = "PNG 文件没有可保留的 Exif，不带 Exif 写入";
    const size_t first = log.find(line);
    EXPECT_NE(first, std::string::npos) << log;
    EXPECT_EQ(log.find(line, first + 1), std::string::npos) << log;
}

// A HEIF file still goes through the HEIF reader (its Exif item read through the reader's parse), however
// it is named; a JPEG does not.
TEST_F(DisguisedPictureTest, AHeifFileStillGoesThroughTheReader)
{
    options.bExif = true;
    int fromReader = 0;
    int fromBlock = 0;
    ExifHooks hooks = defaultExifHooks();
    const auto realCreate = hooks.create;
    hooks.create = [&](const ImageFileReaderInterface& reader)
    {
        ++fromReader;
        return realCreate(reader);
    };
    hooks.createFromBlock = [&](const std::vector<uint8_t>&) -> ExifData*
    {
        ++fromBlock;
        return nullptr;
    };
    const std::vector<uint8_t> heic = readBytes(fs::path(PRAVIX_SOURCE_DIR) / "platform/tests/data/exif.heic");
    EntryOutcome outcome = convert(heic, hooks);
    ASSERT_TRUE(outcome.converted) << log;
    EXPECT_EQ(fromReader, 1);
    EXPECT_EQ(fromBlock, 0);
    EXPECT_EQ(log.find("不是 HEIC"), std::string::npos);
    EXPECT_EQ(ParseExifBlock(jpegExifBlock(readBytes(outcome.toPath))).make, "PravixTest");

    outcome = convert(
        testsupport::withApp1(encodeImage(quadrants(64, 48), ImageFileType::Jpeg), testsupport::exifBlock(1, "Nikon")),
        hooks);
    ASSERT_TRUE(outcome.converted);
    EXPECT_EQ(fromReader, 1);
    EXPECT_EQ(fromBlock, 1);
}

// Damaged, hostile and unknown files fail with "ConversionFailure" and leave no output behind.
TEST_F(DisguisedPictureTest, HostileFilesFailCleanly)
{
    const Bitmap picture = quadrants(64, 48);
    const std::vector<uint8_t> jpeg = encodeImage(picture, ImageFileType::Jpeg);
    std::vector<uint8_t> hugeJpeg = jpeg;
    for (size_t i = 2; i + 9 < jpeg.size(); ++i)
    {
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0)
        {
            hugeJpeg[i + 5] = hugeJpeg[i + 7] = 0x40;  // 16384 x 16384
            hugeJpeg[i + 6] = hugeJpeg[i + 8] = 0x00;
            break;
        }
    }
    std::vector<uint8_t> hugePng = encodeImage(picture, ImageFileType::Png);
    putBe32(&hugePng[16], 16384);
    putBe32(&hugePng[20], 16384);
    putBe32(&hugePng[29], crc32Of(&hugePng[12], 17));
    const std::vector<uint8_t> tiff = encodeImage(picture, ImageFileType::Tiff);
    const std::vector<uint8_t> jp2 = encodeImage(picture, ImageFileType::Jpeg2000);
    const std::vector<std::vector<uint8_t>> hostile = {
        hugeJpeg,
        hugePng,
        std::vector<uint8_t>(jpeg.begin(), jpeg.begin() + jpeg.size() / 2),
        std::vector<uint8_t>(tiff.begin(), tiff.begin() + tiff.size() / 2),
        std::vector<uint8_t>(jp2.begin(), jp2.begin() + jp2.size() / 2),
        {'B', 'M', 'n', 'o', 't', ' ', 'a', ' ', 'b', 'i', 't', 'm', 'a', 'p'},
        {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0},
        {},
    };
    options.saveSuff = "JPG";
    options.bExif = true;
    for (size_t i = 0; i < hostile.size(); ++i)
    {
        SCOPED_TRACE(i);
        const EntryOutcome outcome = convert(hostile[i]);
        EXPECT_FALSE(outcome.converted);
        EXPECT_EQ(outcome.errorKey, "ConversionFailure");
        EXPECT_NE(log.find("解码失败"), std::string::npos) << log;
        EXPECT_FALSE(fs::exists(root / "out" / "photo.JPG"));
    }
}
