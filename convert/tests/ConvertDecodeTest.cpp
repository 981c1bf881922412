#include "ConvertEntry.h"
#include "HeicExif.h"
#include "HeicImageSource.h"
#include "ImageFileReaderInterface.h"
#include "SafeHEICLoader.h"

#include "TemporaryFolder.h"

#include <gtest/gtest.h>

#include <libexif/exif-data.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

using namespace pravix;
namespace fs = std::filesystem;

namespace
{

std::vector<uint8_t> readBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void writeBytes(const fs::path& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::string fixture(const std::string& name)
{
    return std::string(PRAVIX_SOURCE_DIR) + "/platform/tests/data/" + name;
}

// single.heic with 8 bytes of its picture's slice header overwritten: the file opens, the picture
// cannot be decoded.
std::vector<uint8_t> damagedPicture()
{
    std::vector<uint8_t> bytes = readBytes(fixture("single.heic"));
    const uint8_t mdat[] = {'m', 'd', 'a', 't'};
    const auto at = std::search(bytes.begin(), bytes.end(), std::begin(mdat), std::end(mdat));
    EXPECT_NE(at, bytes.end());
    // The payload starts with the slice's 4-byte length and 2-byte unit header.
    std::fill_n(at + 4 + 4 + 2, 8, 0xFF);
    return bytes;
}

class ConvertDecodeTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        options.cachePath = (root / "cache").string();
        options.savePath = (root / "out").string();
    }

    // Removed with everything the test wrote when the test ends.
    const testsupport::TemporaryFolder folder{"pravix-decode"};
    const fs::path root = folder.path();
    ConversionOptions options;
};

}  // namespace

// A picture that fails to decode is decoded once: the loader's fallbacks (the untransformed picture,
// then the manual orientation path) keep the first verdict instead of decoding it twice more.
TEST_F(ConvertDecodeTest, ADamagedPictureIsDecodedOnce)
{
    writeBytes(root / "damaged.heic", damagedPicture());
    auto source = HeicImageSource::createWithFile((root / "damaged.heic").string());
    ASSERT_TRUE(source);
    ASSERT_EQ(source->count(), 1u);
    testing::internal::CaptureStdout();
    EXPECT_FALSE(SafeHEICLoader::loadHEICWithImageIOFromSource(source.get(), (root / "damaged.heic").string()));
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(source->decodeCount(), 1u);
    const std::string reason = source->lastError();
    EXPECT_FALSE(reason.empty());
    EXPECT_FALSE(source->imageAtIndex(0));
    EXPECT_EQ(source->decodeCount(), 1u);
    EXPECT_EQ(source->lastError(), reason);

    // An intact picture is decoded once too, and only once.
    auto intact = HeicImageSource::createWithFile(fixture("rotate270.heic"));
    ASSERT_TRUE(SafeHEICLoader::loadHEICWithImageIOFromSource(intact.get(), fixture("rotate270.heic")));
    EXPECT_EQ(intact->decodeCount(), 1u);
}

// When a file cannot be decoded, the log names the file and the image source's reason, once.
TEST_F(ConvertDecodeTest, TheReasonADecodeFailedIsLoggedOnceWithTheFileName)
{
    const fs::path damaged = root / "damaged.heic";
    writeBytes(damaged, damagedPicture());
    auto source = HeicImageSource::createWithFile(damaged.string());
    source->imageAtIndex(0);
    const std::string reason = source->lastError();
    ASSERT_FALSE(reason.empty());

    testing::internal::CaptureStdout();
    const EntryOutcome outcome = convertEntry(EntryPaths{damaged.string(), root.string(), "damaged"}, options,
                                              ExifHooks{});
    const std::string log = testing::internal::GetCapturedStdout();
    EXPECT_EQ(outcome.errorKey, "ConversionFailure");
    const std::string line = "【日志】解码失败[" + damaged.string() + "]: " + reason;
    const size_t first = log.find(line);
    EXPECT_NE(first, std::string::npos) << log;
    EXPECT_EQ(log.find("解码失败", first + line.size()), std::string::npos) << log;

    // A file that is not HEIF at all: the reason is the parse's.
    const fs::path text = root / "text.heic";
    std::ofstream(text) << "not a picture";
    testing::internal::CaptureStdout();
    convertEntry(EntryPaths{text.string(), root.string(), "text"}, options, ExifHooks{});
    const std::string textLog = testing::internal::GetCapturedStdout();
    EXPECT_NE(textLog.find("【日志】解码失败[" + text.string() + "]: "), std::string::npos) << textLog;
}

// The Exif module reads the Exif item through the same parse of the file the picture is decoded from:
// the conversion hands it the source's reader, which holds the file's Exif item.
TEST_F(ConvertDecodeTest, ExifAndPictureShareOneParse)
{
    fs::copy_file(fixture("exif.heic"), root / "tagged.heic");
    options.bExif = true;
    int creates = 0;
    std::string make;
    ExifHooks hooks = defaultExifHooks();
    const auto real = hooks.create;
    hooks.create = [&](const ImageFileReaderInterface& reader)
    {
        ++creates;
        ExifData* tree = real(reader);
        if (tree != nullptr)
        {
            if (ExifEntry* e = exif_content_get_entry(tree->ifd[EXIF_IFD_0], EXIF_TAG_MAKE))
            {
                char text[64] = {};
                make = exif_entry_get_value(e, text, sizeof text);
            }
        }
        return tree;
    };
    const EntryOutcome outcome =
        convertEntry(EntryPaths{(root / "tagged.heic").string(), root.string(), "tagged"}, options, hooks);
    ASSERT_TRUE(outcome.converted) << outcome.errorKey;
    EXPECT_EQ(creates, 1);
    EXPECT_EQ(make, "PravixTest");

    // No Exif wanted, or not a JPG: the module is not asked at all.
    options.bExif = false;
    ASSERT_TRUE(convertEntry(EntryPaths{(root / "tagged.heic").string(), root.string(), "tagged"}, options, hooks)
                    .converted);
    options.bExif = true;
    options.saveSuff = "PNG";
    ASSERT_TRUE(convertEntry(EntryPaths{(root / "tagged.heic").string(), root.string(), "tagged"}, options, hooks)
                    .converted);
    EXPECT_EQ(creates, 1);
}
