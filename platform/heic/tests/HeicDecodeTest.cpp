#include "HeicImageSource.h"
#include "ImageEncoders.h"
#include "PictureLoading.h"
#include "PlatformTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

using namespace pravix;
using namespace pravix::test;

namespace
{

std::optional<Bitmap> referencePng(const std::string& path)
{
    const std::vector<uint8_t> bytes = readBytes(path);
    return decodeImage(bytes.data(), bytes.size());
}

}  // namespace

// Each file decodes to the picture the reference decoder made of it, in size, orientation and colour.
TEST(HeicDecodeTest, MatchesReferenceDecodes)
{
    struct Case
    {
        const char* name;
        uint32_t width, height, orientation;
    };
    const Case cases[] = {
        {"single", 128, 96, 1},         {"tenbit", 128, 96, 1},
        {"chroma422", 128, 96, 1},      {"chroma444", 128, 96, 1},
        {"mono", 128, 96, 1},           {"alpha", 128, 96, 1},
        {"grid_overhang", 200, 150, 1}, {"nclx709_limited", 128, 96, 1},
        {"rotate270", 96, 128, 6},      {"transforms", 80, 100, 5},
        {"grid_rotated", 150, 200, 7},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        auto source = HeicImageSource::createWithFile(dataPath(std::string(c.name) + ".heic"));
        ASSERT_TRUE(source);
        ASSERT_EQ(source->count(), 1u);
        const auto props = source->propertiesAtIndex(0);
        ASSERT_TRUE(props);
        EXPECT_EQ(props->orientation, c.orientation);
        EXPECT_EQ(props->pixelWidth, c.width);
        EXPECT_EQ(props->pixelHeight, c.height);
        const auto image = source->thumbnailAtIndex(0, upright());
        ASSERT_TRUE(image) << source->lastError();
        const auto reference = referencePng(dataPath(std::string(c.name) + ".png"));
        ASSERT_TRUE(reference);
        ASSERT_EQ(image->width, c.width);
        ASSERT_EQ(image->height, c.height);
        ASSERT_EQ(reference->width, c.width);
        EXPECT_GT(psnr(*image, *reference), 40.0);
    }
}

TEST(HeicDecodeTest, ImageAtIndexIsAsCodedAndThumbnailIsCapped)
{
    auto source = HeicImageSource::createWithFile(dataPath("rotate270.heic"));
    ASSERT_TRUE(source);
    const auto coded = source->imageAtIndex(0);
    ASSERT_TRUE(coded);
    EXPECT_EQ(coded->width, 128u);
    EXPECT_EQ(coded->height, 96u);
    EXPECT_FALSE(source->imageAtIndex(1));

    const auto capped = source->thumbnailAtIndex(0, upright(64));
    ASSERT_TRUE(capped);
    EXPECT_EQ(capped->width, 48u);
    EXPECT_EQ(capped->height, 64u);
    ThumbnailOptions plain;
    plain.maxPixelSize = 0;
    const auto untransformed = source->thumbnailAtIndex(0, plain);
    ASSERT_TRUE(untransformed);
    EXPECT_EQ(untransformed->width, 128u);
}

// A picture longer than 8192 pixels comes out reduced to 8192 on that side through the upright path,
// and whole as coded.
TEST(HeicDecodeTest, LongPicturesAreReducedTo8192)
{
    auto source = HeicImageSource::createWithFile(dataPath("wide_grid.heic"));
    ASSERT_TRUE(source);
    const auto props = source->propertiesAtIndex(0);
    ASSERT_TRUE(props);
    EXPECT_EQ(props->pixelWidth, 8640u);
    const auto reduced = source->thumbnailAtIndex(0, upright());
    ASSERT_TRUE(reduced) << source->lastError();
    EXPECT_EQ(reduced->width, 8192u);
    EXPECT_EQ(reduced->height, 15u);
    const auto whole = source->imageAtIndex(0);
    ASSERT_TRUE(whole);
    EXPECT_EQ(whole->width, 8640u);
    EXPECT_EQ(whole->height, 16u);
}

// Damaged and hostile files end in a clean failure: no picture, a reason, no crash.
TEST(HeicDecodeTest, HostileFilesFail)
{
    for (const char* name : {"hostile_grid_count", "hostile_grid_layout", "hostile_grid_tile_size", "hostile_huge_ispe",
                             "hostile_wrong_ispe", "hostile_corrupt_slice", "hostile_truncated_file"})
    {
        SCOPED_TRACE(name);
        auto source = HeicImageSource::createWithFile(dataPath(std::string(name) + ".heic"));
        ASSERT_TRUE(source);
        EXPECT_FALSE(source->thumbnailAtIndex(0, upright()));
        EXPECT_FALSE(source->imageAtIndex(0));
        EXPECT_FALSE(source->lastError().empty());
    }
    EXPECT_FALSE(HeicImageSource::createWithFile(dataPath("does-not-exist.heic")));
    auto notHeif = HeicImageSource::createWithFile(dataPath("source_128x96.png"));
    ASSERT_TRUE(notHeif);
    EXPECT_EQ(notHeif->count(), 0u);
}

// Every prefix of a small file: the container check or the decoder refuses it, never a crash.
TEST(HeicDecodeTest, EveryTruncationFailsCleanly)
{
    const std::vector<uint8_t> whole = readBytes(dataPath("grid_overhang.heic"));
    ASSERT_FALSE(whole.empty());
    for (size_t keep = 0; keep < whole.size(); keep += 97)
    {
        auto bytes = std::make_shared<std::vector<uint8_t>>(whole.begin(), whole.begin() + static_cast<long>(keep));
        auto source = test::heicSourceOver(bytes);
        ASSERT_TRUE(source);
        EXPECT_FALSE(source->thumbnailAtIndex(0, upright())) << keep;
    }
}

// The reader steps over boxes it does not parse, so a file whose last box runs past its end opens; the
// picture is still refused, as a damaged file, though its own bytes are all there.
TEST(HeicDecodeTest, BoxRunningPastTheEndIsRefused)
{
    std::vector<uint8_t> bytes = readBytes(dataPath("single.heic"));
    ASSERT_FALSE(bytes.empty());
    ASSERT_TRUE(test::heicSourceOver(std::make_shared<std::vector<uint8_t>>(bytes))->imageAtIndex(0));
    for (const uint8_t b : std::vector<uint8_t>{0, 0, 1, 0, 'f', 'r', 'e', 'e', 0, 0})
    {
        bytes.push_back(b);
    }
    auto source = test::heicSourceOver(std::make_shared<std::vector<uint8_t>>(bytes));
    ASSERT_TRUE(source);
    EXPECT_FALSE(source->imageAtIndex(0));
    EXPECT_NE(source->lastError().find("past the end"), std::string::npos) << source->lastError();
}

// Root boxes after the meta box are only stepped over: a box with a 64-bit size and a last box that
// runs to the end of the file (size 0) are read through; a 64-bit size past the end is refused.
TEST(HeicDecodeTest, RootBoxSizesOfEveryForm)
{
    const std::vector<uint8_t> whole = readBytes(dataPath("single.heic"));
    ASSERT_FALSE(whole.empty());
    auto decodes = [](std::vector<uint8_t> bytes)
    {
        auto source = test::heicSourceOver(std::make_shared<std::vector<uint8_t>>(std::move(bytes)));
        return source->imageAtIndex(0).has_value();
    };
    const std::vector<uint8_t> large = {0, 0, 0, 1, 'f', 'r', 'e', 'e', 0, 0, 0, 0, 0, 0, 0, 20, 1, 2, 3, 4};
    const std::vector<uint8_t> toEnd = {0, 0, 0, 0, 'f', 'r', 'e', 'e', 5, 6, 7};
    std::vector<uint8_t> bytes = whole;
    bytes.insert(bytes.end(), large.begin(), large.end());
    bytes.insert(bytes.end(), toEnd.begin(), toEnd.end());
    EXPECT_TRUE(decodes(bytes));
    std::vector<uint8_t> pastEnd = whole;
    pastEnd.insert(pastEnd.end(), large.begin(), large.end() - 1);
    EXPECT_FALSE(decodes(pastEnd));
}

// The phone photos and feature files of the shared corpus: what the reference decoder decodes, we decode
// to the same picture; the damaged files fail.
TEST(HeicDecodeTest, CorpusFiles)
{
    const char* override = std::getenv("PRAVIX_CORPUS");
    const std::filesystem::path corpus(override != nullptr ? override : PRAVIX_CORPUS_DIR);
    if (!std::filesystem::is_directory(corpus))
    {
        GTEST_SKIP() << "corpus folder absent";
    }
    struct Case
    {
        const char* name;
        uint32_t width, height;
    };
    const Case decodable[] = {
        {"photoprism_iphone_7.heic", 4032, 3024}, {"pillowheif_arrow.heic", 3024, 4032},
        {"oiio_IMG_7702_small.heic", 512, 300},   {"pillowheif_cat.hif", 4240, 2832},
        {"gen_10bit_444.heic", 1600, 1200},       {"libheif_rainbow-451x461.heic", 451, 461},
        {"crabby_blue_422.heic", 320, 240},       {"libheif_with-alpha-512x512.heic", 512, 512},
    };
    for (const Case& c : decodable)
    {
        SCOPED_TRACE(c.name);
        auto source = HeicImageSource::createWithFile((corpus / c.name).string());
        ASSERT_TRUE(source);
        const auto image = source->thumbnailAtIndex(0, upright());
        ASSERT_TRUE(image) << source->lastError();
        EXPECT_EQ(image->width, c.width);
        EXPECT_EQ(image->height, c.height);
    }
    for (const char* name : {"pillowheif_truncated.heic", "libheif_github_45.heic", "gen_sequence_msf1.heics",
                             "libheif_clap-overflow-divide-zero.heic", "crabby_b_506659035_hvcc_nal_zero_length.heic"})
    {
        SCOPED_TRACE(name);
        auto source = HeicImageSource::createWithFile((corpus / name).string());
        ASSERT_TRUE(source);
        EXPECT_FALSE(source->thumbnailAtIndex(0, upright()));
    }
}
