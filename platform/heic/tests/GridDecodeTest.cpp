#include "GridDecoder.h"
#include "GridFiles.h"
#include "HeicImageSource.h"
#include "ImageEncoders.h"
#include "BitmapResize.h"
#include "ImageOps.h"
#include "PictureLoading.h"
#include "PictureTarget.h"

#include <gtest/gtest.h>

using namespace pravix;
using namespace pravix::test;

namespace
{

std::optional<Bitmap> decodeFile(const std::vector<uint8_t>& file, const ThumbnailOptions& options)
{
    auto source = test::heicSourceOver(std::make_shared<std::vector<uint8_t>>(file));
    std::optional<Bitmap> image = source->thumbnailAtIndex(0, options);
    EXPECT_TRUE(image) << source->lastError();
    return image;
}

Bitmap referencePng(const std::string& name)
{
    const std::vector<uint8_t> bytes = readBytes(dataPath(name));
    std::optional<Bitmap> image = decodeImage(bytes.data(), bytes.size());
    EXPECT_TRUE(image) << name;
    return image ? *image : Bitmap{};
}

// The four 128x96 pictures of grid_overhang.heic (items 2 to 5), which differ from each other.
std::vector<CodedPicture> fourPictures()
{
    std::vector<CodedPicture> pictures;
    for (uint32_t id = 2; id <= 5; ++id)
    {
        pictures.push_back(codedPictureOf("grid_overhang.heic", id));
    }
    return pictures;
}

// Each picture decoded on its own, as a grid of one tile.
std::vector<Bitmap> decodedAlone(const std::vector<CodedPicture>& pictures)
{
    std::vector<Bitmap> out;
    for (const CodedPicture& p : pictures)
    {
        GridSpec one;
        one.width = p.width;
        one.height = p.height;
        out.push_back(decodeFile(gridFile({p}, one), upright()).value_or(Bitmap{}));
    }
    return out;
}

}  // namespace

// A grid cut to an odd width or height keeps the colours of its last column and row: the tiles are
// converted whole and cut afterwards, so the chroma of 4:2:0 and 4:2:2 pictures is not stretched over
// the odd size. Each tile's place is compared with the reference decoder's picture of that tile.
TEST(GridDecodeTest, OddSizedGridsKeepTheColoursOfTheirEdgeTiles)
{
    struct Format
    {
        const char* heic;
        const char* reference;
    };
    const Format formats[] = {{"single.heic", "single.png"}, {"chroma422.heic", "chroma422.png"}};
    const std::pair<uint32_t, uint32_t> sizes[] = {{255, 191}, {201, 150}, {200, 151}, {129, 97}, {256, 192}};
    for (const Format& format : formats)
    {
        const CodedPicture tile = codedPictureOf(format.heic);
        const Bitmap reference = referencePng(format.reference);
        ASSERT_EQ(reference.width, tile.width);
        for (const auto& [w, h] : sizes)
        {
            SCOPED_TRACE(std::string(format.heic) + " cut to " + std::to_string(w) + "x" + std::to_string(h));
            GridSpec spec;
            spec.rows = 2;
            spec.columns = 2;
            spec.width = w;
            spec.height = h;
            const std::optional<Bitmap> image = decodeFile(gridFile({tile}, spec), upright());
            ASSERT_TRUE(image);
            ASSERT_EQ(image->width, w);
            ASSERT_EQ(image->height, h);
            const Bitmap expected = expectedGrid({reference}, spec);
            for (uint32_t place = 0; place < 4; ++place)
            {
                const uint32_t x = (place % 2) * tile.width;
                const uint32_t y = (place / 2) * tile.height;
                const uint32_t pw = std::min(tile.width, w - x);
                const uint32_t ph = std::min(tile.height, h - y);
                EXPECT_GT(regionPsnr(*image, expected, x, y, pw, ph), 50.0) << "place " << place;
            }
        }
    }
}

// A grid that names its tiles several times decodes each distinct tile once and draws it at every
// place that names it, whole or cut at the edge, turned with the picture.
TEST(GridDecodeTest, EachDistinctTileIsDecodedOnceAndDrawnWhereverNamed)
{
    const std::vector<CodedPicture> pictures = fourPictures();
    const std::vector<Bitmap> alone = decodedAlone(pictures);
    GridSpec spec;
    spec.rows = 3;
    spec.columns = 4;
    spec.width = 4 * 128 - 5;
    spec.height = 3 * 96 - 3;
    spec.pattern = {0, 1, 2, 3, 3, 3, 0, 0, 1, 2, 1, 2};
    const std::vector<uint8_t> file = gridFile(pictures, spec);
    const Bitmap expected = expectedGrid(alone, spec);

    HeifImageItems items(file);
    GridDecoder grid(items, 1, ItemColour{});
    PictureTarget target(spec.width, spec.height, PictureWindow{0, 0, spec.width, spec.height}, 1, spec.width,
                         spec.height);
    grid.decodeInto(target);
    EXPECT_EQ(grid.tilesDecoded(), 4u);
    const Bitmap image = target.take();
    EXPECT_EQ(psnr(image, expected), 99.0);

    // The same through the image source, turned a quarter clockwise (irot 270 anticlockwise).
    spec.gridProperties = {testsupport::makeBox("irot", {3})};
    const std::optional<Bitmap> turned = decodeFile(gridFile(pictures, spec), upright());
    ASSERT_TRUE(turned);
    EXPECT_EQ(psnr(*turned, applyOrientation(expected, 6)), 99.0);
}

// A grid larger than the output is reduced band by band as its tiles are decoded; the result matches
// reducing the whole decoded picture (within 45 dB), with no seam between the bands, turned or not, and
// each distinct tile is still decoded once.
TEST(GridDecodeTest, ReducedInBandsLikeTheWholePicture)
{
    const std::vector<CodedPicture> pictures = fourPictures();
    GridSpec spec;
    spec.rows = 7;
    spec.columns = 5;
    spec.width = 5 * 128 - 1;
    spec.height = 7 * 96 - 7;
    for (uint32_t place = 0; place < spec.rows * spec.columns; ++place)
    {
        spec.pattern.push_back((place * 7 + place / 5) % 4);
    }
    for (uint32_t orientation : {1u, 6u})
    {
        SCOPED_TRACE(orientation);
        spec.gridProperties.clear();
        if (orientation == 6)
        {
            spec.gridProperties = {testsupport::makeBox("irot", {3})};
        }
        const std::vector<uint8_t> file = gridFile(pictures, spec);
        const std::optional<Bitmap> whole = decodeFile(file, upright(0));
        ASSERT_TRUE(whole);
        for (uint32_t maxSide : {600u, 257u, 64u})
        {
            SCOPED_TRACE(maxSide);
            const std::optional<Bitmap> reduced = decodeFile(file, upright(maxSide));
            ASSERT_TRUE(reduced);
            EXPECT_EQ(std::max(reduced->width, reduced->height), maxSide);
            const std::optional<Bitmap> scaled = resizeBitmap(*whole, reduced->width, reduced->height);
            ASSERT_TRUE(scaled);
            EXPECT_GT(psnr(*reduced, *scaled), 45.0);
        }
    }
    const std::vector<uint8_t> file = gridFile(pictures, spec);
    HeifImageItems items(file);
    GridDecoder grid(items, 1, ItemColour{});
    PictureTarget target(spec.width, spec.height, PictureWindow{0, 0, spec.width, spec.height}, 1, 100, 100);
    grid.decodeInto(target);
    EXPECT_EQ(grid.tilesDecoded(), 4u);
    EXPECT_EQ(target.take().width, 100u);

    // Tiles named once go straight into the band, cut at the odd edge or not.
    for (const auto& [w, h] : {std::pair<uint32_t, uint32_t>{255, 191}, {256, 192}})
    {
        GridSpec once;
        once.rows = 2;
        once.columns = 2;
        once.width = w;
        once.height = h;
        once.pattern = {0, 1, 2, 3};
        const std::vector<uint8_t> onceFile = gridFile(pictures, once);
        const std::optional<Bitmap> whole = decodeFile(onceFile, upright(0));
        const std::optional<Bitmap> reduced = decodeFile(onceFile, upright(100));
        ASSERT_TRUE(whole && reduced);
        EXPECT_EQ(psnr(*reduced, *resizeBitmap(*whole, reduced->width, reduced->height)), 99.0);
    }
}

// A single picture is reduced the same way, in bands of rows.
TEST(GridDecodeTest, SinglePictureReducedInBandsLikeTheWholePicture)
{
    const std::vector<uint8_t> file = readBytes(dataPath("rotate270.heic"));
    const std::optional<Bitmap> whole = decodeFile(file, upright(0));
    ASSERT_TRUE(whole);
    const std::optional<Bitmap> reduced = decodeFile(file, upright(50));
    ASSERT_TRUE(reduced);
    ASSERT_EQ(reduced->height, 50u);
    ASSERT_EQ(reduced->width, 38u);
    EXPECT_GT(psnr(*reduced, *resizeBitmap(*whole, 38, 50)), 45.0);
}
