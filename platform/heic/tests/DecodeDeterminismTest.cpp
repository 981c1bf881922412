#include "HeicImageSource.h"
#include "HevcDecoder.h"
#include "PlatformTestSupport.h"
#include "TestPhotoEncoder.h"

#include <gtest/gtest.h>

#include <cstdio>

#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

using namespace pravix;
using namespace pravix::test;

// libx265, which codes the test photos, leaves buffers of its frame filters allocated when its encoder is
// closed; the leak checker of the sanitizer build passes over what it allocated.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libx265.so\n";
}

namespace
{

// Every damaged file is decoded this many times in one process, as a batch of copies of it would be.
constexpr int kRuns = 20;
const uint32_t kSeeds = kUnderSanitizers ? 8 : 24;

// The file with 1 to 3 of its slice bytes changed, the same for a seed on every run.
std::vector<uint8_t> damagedCopy(const std::vector<uint8_t>& file, const std::vector<std::pair<size_t, size_t>>& spans,
                                 uint32_t seed)
{
    size_t total = 0;
    for (const auto& [begin, end] : spans)
    {
        total += end - begin;
    }
    std::mt19937 random(seed);
    std::vector<uint8_t> bytes = file;
    const uint32_t flips = 1 + random() % 3;
    for (uint32_t i = 0; i < flips; ++i)
    {
        size_t at = random() % total;
        for (const auto& [begin, end] : spans)
        {
            if (at < end - begin)
            {
                bytes[begin + at] ^= static_cast<uint8_t>(1u << (random() % 8));
                break;
            }
            at -= end - begin;
        }
    }
    return bytes;
}

// What one decode of the file gives, as the conversion decodes it: its refusal with the reason, or a
// digest of its size and pixels.
std::string outcomeOf(const std::shared_ptr<const std::vector<uint8_t>>& bytes)
{
    auto source = test::heicSourceOver(bytes);
    const std::optional<Bitmap> image = source->thumbnailAtIndex(0, upright());
    if (!image)
    {
        return "refused: " + source->lastError();
    }
    uint64_t hash = 1469598103934665603ull;
    for (const uint8_t b : image->pixels)
    {
        hash = (hash ^ b) * 1099511628211ull;
    }
    std::ostringstream out;
    out << image->width << "x" << image->height << " " << std::hex << hash;
    return out.str();
}

struct Verdicts
{
    uint32_t refused = 0;
    uint32_t decoded = 0;
};

// Decodes each damaged copy kRuns times with the default threads and expects one outcome per copy.
Verdicts expectOneOutcomePerFile(const std::vector<uint8_t>& file, const std::vector<CodedPicture>& pictures)
{
    const auto spans = sliceSpans(file, pictures);
    EXPECT_EQ(spans.size(), pictures.size());
    Verdicts verdicts;
    if (spans.empty())
    {
        return verdicts;
    }
    for (uint32_t seed = 0; seed < kSeeds; ++seed)
    {
        const auto bytes = std::make_shared<const std::vector<uint8_t>>(damagedCopy(file, spans, seed));
        std::map<std::string, int> outcomes;
        for (int run = 0; run < kRuns; ++run)
        {
            ++outcomes[outcomeOf(bytes)];
        }
        std::ostringstream seen;
        for (const auto& [outcome, count] : outcomes)
        {
            seen << "\n  " << count << " x " << outcome;
        }
        EXPECT_EQ(outcomes.size(), 1u) << "seed " << seed << " gave" << seen.str();
        ++(outcomes.begin()->first.rfind("refused", 0) == 0 ? verdicts.refused : verdicts.decoded);
    }
    return verdicts;
}

}  // namespace

// One picture coded in wavefront rows, decoded by several slice threads: damage in its slices gives the
// same result on every run, and most of it is refused.
TEST(DecodeDeterminismTest, DamagedWavefrontPictureGivesOneOutcomePerFile)
{
    const std::optional<CodedPicture> picture = encodeBusyPicture(1024, 768, 7);
    if (!picture)
    {
        GTEST_SKIP() << "libavcodec has no libx265 encoder";
    }
    const std::vector<uint8_t> file = pictureFile(*picture);
    ASSERT_EQ(outcomeOf(std::make_shared<const std::vector<uint8_t>>(file)).rfind("1024x768 ", 0), 0u);
    const Verdicts verdicts = expectOneOutcomePerFile(file, {*picture});
    EXPECT_GT(verdicts.refused, 0u);
}

// A grid of many distinct tiles, decoded on all cores: a damaged tile gives the same result on every
// run, whichever worker decoded it and whatever that worker decoded before.
TEST(DecodeDeterminismTest, DamagedGridGivesOneOutcomePerFile)
{
    std::vector<CodedPicture> tiles;
    for (uint32_t i = 0; i < 16; ++i)
    {
        std::optional<CodedPicture> tile = encodeBusyPicture(256, 256, 100 + i);
        if (!tile)
        {
            GTEST_SKIP() << "libavcodec has no libx265 encoder";
        }
        tiles.push_back(std::move(*tile));
    }
    GridSpec spec;
    spec.rows = 4;
    spec.columns = 4;
    spec.width = 1000;
    spec.height = 1000;
    for (uint32_t place = 0; place < 16; ++place)
    {
        spec.pattern.push_back(place);
    }
    const std::vector<uint8_t> file = gridFile(tiles, spec);
    ASSERT_EQ(outcomeOf(std::make_shared<const std::vector<uint8_t>>(file)).rfind("1000x1000 ", 0), 0u);
    // Small tiles seldom stop early; their refusals are the next test's.
    expectOneOutcomePerFile(file, tiles);
}

// A picture coded in several slices with one of them lost decodes up to its last block, which the last
// slice covers, but leaves a band in the middle never written: it is refused, on every run, as the
// whole picture and as a grid tile, where the worker's previous tile would show through the hole.
TEST(DecodeDeterminismTest, PictureMissingASliceIsRefused)
{
    std::optional<CodedPicture> picture = encodeBusyPicture(512, 512, 3, 4);
    if (!picture)
    {
        GTEST_SKIP() << "libavcodec has no libx265 encoder";
    }
    ASSERT_EQ(picture->slices.size(), 4u);
    const auto whole = std::make_shared<const std::vector<uint8_t>>(pictureFile(*picture));
    ASSERT_EQ(outcomeOf(whole).rfind("512x512 ", 0), 0u) << outcomeOf(whole);

    CodedPicture holed = *picture;
    holed.slices.erase(holed.slices.begin() + 2);
    const auto single = std::make_shared<const std::vector<uint8_t>>(pictureFile(holed));

    GridSpec spec;
    spec.rows = 2;
    spec.columns = 2;
    spec.width = 1024;
    spec.height = 1024;
    spec.pattern = {0, 1, 1, 1};
    const auto grid = std::make_shared<const std::vector<uint8_t>>(gridFile({*picture, holed}, spec));
    for (int run = 0; run < 5; ++run)
    {
        EXPECT_EQ(outcomeOf(single), "refused: HEVC picture is damaged");
        EXPECT_EQ(outcomeOf(grid), "refused: grid tile: HEVC picture is damaged");
    }
}

// A grid with several broken tiles gives the reason of the first broken tile in the grid, though later
// ones fail sooner on other workers.
TEST(DecodeDeterminismTest, GridGivesTheReasonOfItsFirstBrokenTile)
{
    std::optional<CodedPicture> picture = encodeBusyPicture(512, 512, 5, 4);
    std::optional<CodedPicture> small = encodeBusyPicture(256, 256, 6);
    if (!picture || !small)
    {
        GTEST_SKIP() << "libavcodec has no libx265 encoder";
    }
    CodedPicture holed = *picture;  // slow to fail: decoded whole before its hole shows
    holed.slices.erase(holed.slices.begin() + 1);
    CodedPicture mismatched = *small;  // quick to fail: a small picture that claims the tiles' size
    mismatched.width = 512;
    mismatched.height = 512;
    GridSpec spec;
    spec.rows = 2;
    spec.columns = 4;
    spec.width = 2048;
    spec.height = 1024;
    spec.pattern = {0, 1, 2, 2, 2, 2, 2, 2};
    const auto grid = std::make_shared<const std::vector<uint8_t>>(gridFile({*picture, holed, mismatched}, spec));
    for (int run = 0; run < 10; ++run)
    {
        EXPECT_EQ(outcomeOf(grid), "refused: grid tile: HEVC picture is damaged");
    }
}

namespace
{

Bytes annexB(const CodedPicture& picture)
{
    Bytes stream;
    for (const Bytes* unit : {&picture.vps, &picture.sps, &picture.pps})
    {
        stream.insert(stream.end(), {0, 0, 0, 1});
        stream.insert(stream.end(), unit->begin(), unit->end());
    }
    for (const Bytes& slice : picture.slices)
    {
        stream.insert(stream.end(), {0, 0, 0, 1});
        stream.insert(stream.end(), slice.begin(), slice.end());
    }
    return stream;
}

// The decoder's verdict on a stream: its reason, or a digest of the picture's samples.
std::string verdictOf(HevcDecoder& decoder, const Bytes& stream)
{
    std::string error;
    const FramePtr frame = decoder.decode(stream.data(), stream.size(), uint64_t(1) << 22, error);
    if (!frame)
    {
        return error;
    }
    uint64_t hash = 1469598103934665603ull;
    for (int plane = 0; plane < 3 && frame->data[plane] != nullptr; ++plane)
    {
        const int rows = plane == 0 ? frame->height : frame->height / 2;
        const int bytes = plane == 0 ? frame->width : frame->width / 2;
        for (int y = 0; y < rows; ++y)
        {
            for (int x = 0; x < bytes; ++x)
            {
                hash = (hash ^ frame->data[plane][y * frame->linesize[plane] + x]) * 1099511628211ull;
            }
        }
    }
    return std::to_string(hash);
}

}  // namespace

// A decoder that decoded other pictures before gives every picture, whole or damaged, what a new one
// gives: the pictures before it, good or damaged, leave nothing in it that shows.
TEST(DecodeDeterminismTest, DecoderUsedBeforeGivesWhatANewOneGives)
{
    std::optional<CodedPicture> first = encodeBusyPicture(512, 512, 21);
    std::optional<CodedPicture> second = encodeBusyPicture(512, 512, 22);
    if (!first || !second)
    {
        GTEST_SKIP() << "libavcodec has no libx265 encoder";
    }
    const Bytes good = annexB(*first);
    const Bytes other = annexB(*second);
    std::vector<std::pair<size_t, size_t>> spans;  // the slice's bytes in the stream
    const auto at = std::search(other.begin(), other.end(), second->slices[0].begin(), second->slices[0].end());
    spans.emplace_back(static_cast<size_t>(at - other.begin()) + 2,
                       static_cast<size_t>(at - other.begin()) + second->slices[0].size());
    uint32_t refused = 0;
    HevcDecoder used(1);
    for (uint32_t seed = 0; seed < 64; ++seed)
    {
        const Bytes damaged = damagedCopy(other, spans, seed);
        HevcDecoder fresh(1);
        const std::string expected = verdictOf(fresh, damaged);
        refused += expected == "HEVC picture is damaged" ? 1 : 0;
        EXPECT_EQ(verdictOf(used, good), verdictOf(fresh, good));
        EXPECT_EQ(verdictOf(used, damaged), expected) << "seed " << seed << " after a good picture";
        EXPECT_EQ(verdictOf(used, damaged), expected) << "seed " << seed << " after itself";
    }
    HevcDecoder fresh(1);
    EXPECT_EQ(verdictOf(used, other), verdictOf(fresh, other));
    EXPECT_GT(refused, 0u);
}

// Pictures of every plane layout the decoder gives, 8 and 10 bits, luma or (for RGB coding) green first,
// are kept whole, and refused with their middle slice lost: the marks sit in the plane the decoder writes
// first.
TEST(DecodeDeterminismTest, EveryPlaneLayoutIsKeptWholeAndRefusedWithAHole)
{
    for (const AVPixelFormat format : {AV_PIX_FMT_YUV420P, AV_PIX_FMT_YUV422P, AV_PIX_FMT_YUV444P, AV_PIX_FMT_GBRP,
                                       AV_PIX_FMT_GRAY8, AV_PIX_FMT_YUV420P10LE})
    {
        const char* name = av_get_pix_fmt_name(format);
        std::optional<CodedPicture> picture = encodeBusyPicture(320, 256, 9, 3, format);
        if (!picture)
        {
            std::printf("libx265 here does not code %s\n", name);
            continue;
        }
        ASSERT_EQ(picture->slices.size(), 3u) << name;
        HevcDecoder decoder(1);
        std::string error;
        const Bytes whole = annexB(*picture);
        const FramePtr frame = decoder.decode(whole.data(), whole.size(), uint64_t(1) << 22, error);
        ASSERT_TRUE(frame) << name << ": " << error;
        EXPECT_EQ(frame->format, format) << name;
        EXPECT_EQ(frame->width, 320);

        CodedPicture holed = *picture;
        holed.slices.erase(holed.slices.begin() + 1);
        const Bytes stream = annexB(holed);
        EXPECT_FALSE(decoder.decode(stream.data(), stream.size(), uint64_t(1) << 22, error)) << name;
        EXPECT_EQ(error, "HEVC picture is damaged") << name;
    }
}
