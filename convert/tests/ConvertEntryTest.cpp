#include "ConvertEntry.h"
#include "FolderPermissionChecker.h"
#include "ImageEncoders.h"
#include "NSPravixData.h"
#include "PictureLoading.h"
#include "SafeHEICLoader.h"
#include "ZLImage.h"

#include "TemporaryFolder.h"

#include <gtest/gtest.h>

#include <libexif/exif-data.h>

#include <filesystem>
#include <fstream>
#include <iterator>

using namespace pravix;
namespace fs = std::filesystem;

namespace
{

std::string fixture(const std::string& name)
{
    return std::string(PRAVIX_SOURCE_DIR) + "/platform/tests/data/" + name;
}

std::vector<uint8_t> readBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

class ConvertEntryTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        fs::create_directories(root / "in");
        fs::copy_file(fixture("single.heic"), root / "in" / "photo.heic");
        fs::copy_file(fixture("rotate270.heic"), root / "in" / "turned.heic");
        options.cachePath = (root / "cache").string();  // not there yet: made on demand
    }

    EntryPaths entry(const std::string& file = "photo.heic", const std::string& name = "photo")
    {
        return EntryPaths{(root / "in" / file).string(), (root / "in").string(), name};
    }
    size_t filesIn(const fs::path& folder)
    {
        if (!fs::exists(folder))
        {
            return 0;
        }
        return static_cast<size_t>(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
    }

    // Removed with everything the test wrote when the test ends.
    const testsupport::TemporaryFolder mFolder{"pravix-convert"};
    const fs::path root = mFolder.path();
    ConversionOptions options;
};

// A stand-in Exif module: a one-entry tree and a splice that copies the JPEG with an APP1 segment.
ExifHooks fakeExif(int spliceResult, int* creates = nullptr, bool partialOutput = false)
{
    ExifHooks hooks;
    hooks.create = [creates](const ImageFileReaderInterface&)
    {
        if (creates != nullptr)
        {
            ++*creates;
        }
        return exif_data_new();
    };
    hooks.splice = [spliceResult, partialOutput](const char* in, const char* out, ExifData*)
    {
        std::vector<uint8_t> jpeg = readBytes(in);
        if (spliceResult == 0)
        {
            if (partialOutput)
            {
                std::ofstream(out, std::ios::binary).write(reinterpret_cast<const char*>(jpeg.data()), 10);
            }
            return 0;
        }
        static const uint8_t app1[] = {0xFF, 0xE1, 0x00, 0x08, 'E', 'x', 'i', 'f', 0, 0};
        jpeg.insert(jpeg.begin() + 2, std::begin(app1), std::end(app1));
        std::ofstream(out, std::ios::binary).write(reinterpret_cast<const char*>(jpeg.data()), jpeg.size());
        return 1;
    };
    return hooks;
}

bool hasExifSegment(const std::vector<uint8_t>& jpeg)
{
    return jpeg.size() > 10 && jpeg[2] == 0xFF && jpeg[3] == 0xE1 &&
           std::equal(jpeg.begin() + 6, jpeg.begin() + 10, "Exif");
}

}  // namespace

TEST_F(ConvertEntryTest, EveryTypeScaleAndQuality)
{
    struct Type
    {
        const char* suffix;
        ImageFileType type;
    };
    const Type types[] = {{"JPG", ImageFileType::Jpeg},
                          {"JPEG", ImageFileType::Jpeg2000},
                          {"PNG", ImageFileType::Png},
                          {"BMP", ImageFileType::Bmp},
                          {"TIFF", ImageFileType::Tiff}};
    for (const Type& t : types)
    {
        for (float zoom : {0.5f, 1.0f})
        {
            for (int quality : {10, 100})
            {
                SCOPED_TRACE(std::string(t.suffix) + " " + std::to_string(zoom) + " " + std::to_string(quality));
                options.saveSuff = t.suffix;
                options.imageZooming = zoom;
                options.nQuality = quality;
                options.savePath = (root / "out").string();
                const EntryOutcome outcome = convertEntry(entry(), options, ExifHooks{});
                ASSERT_TRUE(outcome.converted) << outcome.errorKey;
                const std::vector<uint8_t> bytes = readBytes(outcome.toPath);
                EXPECT_EQ(identifyPictureFormat(bytes.data(), bytes.size()), pictureFormatOf(t.type));
                const auto image = decodeImage(bytes.data(), bytes.size());
                ASSERT_TRUE(image);
                EXPECT_EQ(image->width, zoom < 1.0f ? 64u : 128u);
                EXPECT_EQ(image->height, zoom < 1.0f ? 48u : 96u);
                fs::remove(outcome.toPath);
            }
        }
    }
}

TEST_F(ConvertEntryTest, QualityActsOnTheFirstEncode)
{
    options.savePath = (root / "out").string();
    options.nQuality = 10;
    const auto low = convertEntry(entry(), options, ExifHooks{});
    options.nQuality = 100;
    const auto high = convertEntry(entry(), options, ExifHooks{});
    ASSERT_TRUE(low.converted && high.converted);
    const auto source = SafeHEICLoader::loadHEICWithImageIOFromPath(entry().heicPath);
    const auto lowBytes = readBytes(low.toPath);
    const auto highBytes = readBytes(high.toPath);
    const auto lowImage = decodeImage(lowBytes.data(), lowBytes.size());
    const auto highImage = decodeImage(highBytes.data(), highBytes.size());
    ASSERT_TRUE(source && lowImage && highImage);
    auto error = [&](const Bitmap& b)
    {
        double sum = 0;
        for (size_t i = 0; i < b.pixels.size(); ++i)
        {
            sum += std::abs(int(b.pixels[i]) - int(source->pixels[i]));
        }
        return sum / b.pixels.size();
    };
    EXPECT_LT(error(*highImage), error(*lowImage));
}

TEST_F(ConvertEntryTest, OutputIsUprightAndBesideTheSourceByDefault)
{
    const EntryOutcome outcome = convertEntry(entry("turned.heic", "turned"), options, ExifHooks{});
    ASSERT_TRUE(outcome.converted);
    EXPECT_EQ(outcome.toPath, (root / "in" / "turned.JPG").string());
    const auto bytes = readBytes(outcome.toPath);
    const auto image = decodeImage(bytes.data(), bytes.size());
    ASSERT_TRUE(image);
    EXPECT_EQ(image->width, 96u);
    EXPECT_EQ(image->height, 128u);
}

TEST_F(ConvertEntryTest, NamesAvoidExistingFiles)
{
    options.savePath = (root / "out").string();
    fs::create_directories(root / "out");
    std::ofstream(root / "out" / "photo.JPG") << "x";
    std::ofstream(root / "out" / "photo(1).JPG") << "x";
    const EntryOutcome outcome = convertEntry(entry(), options, ExifHooks{});
    ASSERT_TRUE(outcome.converted);
    EXPECT_EQ(outcome.toPath, (root / "out" / "photo(2).JPG").string());
    EXPECT_EQ(readBytes((root / "out" / "photo.JPG").string()).size(), 1u);
    EXPECT_EQ(freeOutputPath((root / "out").string(), "photo", "PNG"), (root / "out" / "photo.PNG").string());
}

TEST_F(ConvertEntryTest, FolderFailures)
{
    // Nothing can be made below /proc, even as root.
    options.savePath = "/proc/pravix-no-such-folder/out";
    EXPECT_EQ(convertEntry(entry(), options, ExifHooks{}).errorKey, "FileNotThereTitle");
    options.savePath = "/proc/self";
    EXPECT_EQ(convertEntry(entry(), options, ExifHooks{}).errorKey, "FolderReadOnly");
    options.savePath = (root / "fresh" / "deeper").string();
    EXPECT_TRUE(convertEntry(entry(), options, ExifHooks{}).converted);
}

TEST_F(ConvertEntryTest, SourceAndDecodeFailures)
{
    options.savePath = (root / "out").string();
    EXPECT_EQ(convertEntry(entry("missing.heic"), options, ExifHooks{}).errorKey, "ConversionFailure");
    for (const char* name : {"hostile_grid_count.heic", "hostile_grid_layout.heic", "hostile_grid_tile_size.heic",
                             "hostile_huge_ispe.heic", "hostile_corrupt_slice.heic", "hostile_truncated_file.heic",
                             "hostile_wrong_ispe.heic"})
    {
        SCOPED_TRACE(name);
        fs::copy_file(fixture(name), root / "in" / name);
        const EntryOutcome outcome = convertEntry(entry(name, "bad"), options, ExifHooks{});
        EXPECT_FALSE(outcome.converted);
        EXPECT_EQ(outcome.errorKey, "ConversionFailure");
    }
    EXPECT_EQ(filesIn(root / "out"), 0u);
}

TEST_F(ConvertEntryTest, ExifIsSplicedIntoJpgOnly)
{
    int creates = 0;
    options.bExif = true;
    options.savePath = (root / "out").string();
    const auto jpg = convertEntry(entry(), options, fakeExif(1, &creates));
    ASSERT_TRUE(jpg.converted);
    EXPECT_TRUE(hasExifSegment(readBytes(jpg.toPath)));
    EXPECT_EQ(creates, 1);
    EXPECT_EQ(filesIn(root / "cache"), 0u);  // the temporary file is gone

    options.saveSuff = "PNG";
    const auto png = convertEntry(entry(), options, fakeExif(1, &creates));
    ASSERT_TRUE(png.converted);
    EXPECT_EQ(creates, 1);

    options.saveSuff = "JPG";
    options.bExif = false;
    const auto plain = convertEntry(entry(), options, fakeExif(1, &creates));
    ASSERT_TRUE(plain.converted);
    EXPECT_FALSE(hasExifSegment(readBytes(plain.toPath)));
    EXPECT_EQ(creates, 1);
}

// A splice that fails (here after writing half a file) leaves a whole JPEG without Exif, not a broken file.
TEST_F(ConvertEntryTest, FailedSpliceWritesThePictureWithoutExif)
{
    options.bExif = true;
    options.savePath = (root / "out").string();
    const auto outcome = convertEntry(entry(), options, fakeExif(0, nullptr, true));
    ASSERT_TRUE(outcome.converted);
    const auto bytes = readBytes(outcome.toPath);
    EXPECT_FALSE(hasExifSegment(bytes));
    const auto image = decodeImage(bytes.data(), bytes.size());
    ASSERT_TRUE(image);
    EXPECT_EQ(image->width, 128u);
    EXPECT_EQ(filesIn(root / "out"), 1u);
    EXPECT_EQ(filesIn(root / "cache"), 0u);
}

TEST_F(ConvertEntryTest, WriteProbeLeavesUserFilesAlone)
{
    const fs::path folder = root / "in";
    std::ofstream(folder / ".test_write_access") << "mine";
    EXPECT_FALSE(FolderPermissionChecker::isFolderReadOnlyAtPath(folder.string()));
    EXPECT_EQ(readBytes((folder / ".test_write_access").string()).size(), 4u);
    EXPECT_EQ(filesIn(folder), 3u);
    EXPECT_TRUE(FolderPermissionChecker::isFolderReadOnlyAtPath("/proc/self"));
    EXPECT_FALSE(FolderPermissionChecker::isFolderReadOnlyAtPath((folder / "photo.heic").string()));
    EXPECT_FALSE(FolderPermissionChecker::isFolderReadOnlyAtPath((root / "nothing").string()));
}

TEST_F(ConvertEntryTest, AtomicWriteLeavesNothingOnFailure)
{
    std::string error;
    EXPECT_FALSE(writeFileAtomically((root / "in" / "empty.bin").string(), {}, error));
    EXPECT_FALSE(writeFileAtomically("/proc/pravix/x.bin", {1, 2}, error));
    EXPECT_FALSE(error.empty());
    EXPECT_TRUE(writeFileAtomically((root / "in" / "two.bin").string(), {1, 2}, error));
    EXPECT_EQ(readBytes((root / "in" / "two.bin").string()).size(), 2u);
    EXPECT_EQ(filesIn(root / "in"), 3u);
    EXPECT_EQ(createDirectory((root / "in" / "photo.heic").string()), (root / "in" / "photo.heic").string());
    EXPECT_FALSE(createDirectory(""));
}

// The real Exif module: the photo's Exif block goes into the JPG output as an APP1 segment.
TEST_F(ConvertEntryTest, RealExifModuleCarriesTheBlock)
{
    fs::copy_file(fixture("exif.heic"), root / "in" / "tagged.heic");
    options.bExif = true;
    options.savePath = (root / "out").string();
    const auto outcome = convertEntry(entry("tagged.heic", "tagged"), options);
    ASSERT_TRUE(outcome.converted);
    const auto bytes = readBytes(outcome.toPath);
    EXPECT_TRUE(hasExifSegment(bytes));
    ExifData* exif = exif_data_new_from_data(bytes.data(), static_cast<unsigned>(bytes.size()));
    ASSERT_NE(exif, nullptr);
    ExifEntry* make = exif_content_get_entry(exif->ifd[EXIF_IFD_0], EXIF_TAG_MAKE);
    ASSERT_NE(make, nullptr);
    char text[64] = {};
    exif_entry_get_value(make, text, sizeof text);
    EXPECT_STREQ(text, "PravixTest");
    exif_data_unref(exif);
    const auto image = decodeImage(bytes.data(), bytes.size());
    ASSERT_TRUE(image);
    EXPECT_EQ(image->width, 128u);

    // A file without an Exif item gives no tree.
    const auto plain = HeicImageSource::createWithFile(fixture("single.heic"));
    ASSERT_TRUE(plain && plain->reader());
    EXPECT_EQ(defaultExifHooks().create(*plain->reader()), nullptr);
}

TEST(SafeHEICLoaderTest, OrientationPaths)
{
    auto source = HeicImageSource::createWithFile(fixture("rotate270.heic"));
    ASSERT_TRUE(source);
    EXPECT_EQ(SafeHEICLoader::getImageOrientationFromSource(source.get()), 6u);
    EXPECT_EQ(SafeHEICLoader::getImageOrientationFromSource(nullptr), 1u);
    const auto automatic = SafeHEICLoader::loadHEICWithAutoOrientationCorrection(source.get());
    const auto manual = SafeHEICLoader::loadHEICWithManualOrientationCorrection(source.get());
    ASSERT_TRUE(automatic && manual);
    EXPECT_EQ(manual->width, 96u);
    EXPECT_EQ(manual->height, 128u);
    EXPECT_EQ(manual->pixels, automatic->pixels);
    EXPECT_FALSE(SafeHEICLoader::loadHEICWithManualOrientationCorrection(nullptr));
    EXPECT_FALSE(SafeHEICLoader::applyManualOrientationCorrection(nullptr, 6));
    EXPECT_FALSE(SafeHEICLoader::loadHEICWithImageIOFromPath(fixture("missing.heic")));
    // The platform's loader reads any picture the image source reads, whatever the name says.
    const auto png = SafeHEICLoader::loadHEICWithImageIOFromPath(fixture("source_128x96.png"));
    ASSERT_TRUE(png);
    EXPECT_EQ(png->width, 128u);
    EXPECT_FALSE(SafeHEICLoader::loadHEICWithImageIOFromPath(fixture("make_fixtures.py")));
}

TEST(ZLImageTest, ResizeAndFlip)
{
    auto image = SafeHEICLoader::loadHEICWithImageIOFromPath(fixture("single.heic"));
    ASSERT_TRUE(image);
    const auto same = ZLImage::resizeImage(*image, ImageSize{128, 96});
    ASSERT_TRUE(same);
    EXPECT_EQ(same->pixels, image->pixels);
    const auto small = ZLImage::resizeImage(*image, ImageSize{128 * 0.3, 96 * 0.3});
    ASSERT_TRUE(small);
    EXPECT_EQ(small->width, 38u);
    EXPECT_EQ(small->height, 29u);
    EXPECT_FALSE(ZLImage::resizeImage(*image, ImageSize{0, 10}));
    const auto flipped = ImageExpansion::flipImage(&*image);
    ASSERT_TRUE(flipped);
    EXPECT_EQ(flipped->row(5)[0], image->row(5)[127 * 3]);
    EXPECT_FALSE(ImageExpansion::flipImage(nullptr));
}

TEST(NSPravixDataTest, SizeTextAndNewEntry)
{
    EXPECT_EQ(byteSizeText(1000), "1000.00 byte");
    EXPECT_EQ(byteSizeText(1001), "1.00 KB");
    EXPECT_EQ(byteSizeText(1000000), "1000.00 KB");
    EXPECT_EQ(byteSizeText(1000001), "1.00 MB");
    EXPECT_EQ(byteSizeText(1000000000), "1000.00 MB");
    EXPECT_EQ(byteSizeText(2500000001ULL), "2.50 GB");
    EXPECT_EQ(byteSizeText(0), "0.00 byte");
    const NSPravixData entry;
    EXPECT_TRUE(entry.isSelect);
    EXPECT_TRUE(entry.ToPath.empty());
    EXPECT_TRUE(entry.ToTitle.empty());
    EXPECT_TRUE(entry.ToErrInfo.empty());
}
