// What the tracks of a movie may cost: their sample records are bounded, all tracks together,
// against the file's size, and a track past the bound is left out while the file's still image
// and metadata stay readable.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "AddressSpaceLimit.h"
#include "BoxTree.h"
#include "HeifBuilder.h"
#include "ReaderTestSupport.h"

using namespace readertest;
using Reader = ImageFileReaderInterface;

namespace
{
const Bytes kExif = ByteBuilder().u32(6).str("Exif").u16(0).str("II").u16(42).u32(8).u16(0);

Node leaf(const std::string& type, const Bytes& payload, bool full = true)
{
    Node node;
    node.type = type;
    node.bytes = full ? makeFullBox(type, 0, 0, payload) : makeBox(type, payload);
    return node;
}

/// The sequence's track with another id and `count` samples of `size` bytes in one chunk at the
/// start of the media data, plus the given sample-to-group boxes.
Node trackOf(const Node& original, std::uint32_t id, std::uint32_t count, std::uint32_t size,
             const std::vector<Bytes>& groupBoxes = {})
{
    Node track = original;
    setU32(track.find("tkhd")->bytes, 20, id);
    track.children.erase(std::remove_if(track.children.begin(), track.children.end(),
                                        [](const Node& child) { return child.type == "edts"; }),
                         track.children.end());
    Node* stbl = track.find("mdia")->find("minf")->find("stbl");
    std::vector<Node> children = {*stbl->find("stsd"), leaf("stts", ByteBuilder().u32(1).u32(count).u32(1024)),
                                  leaf("stsc", ByteBuilder().u32(1).u32(1).u32(count).u32(1)),
                                  leaf("stsz", ByteBuilder().u32(size).u32(count)),
                                  leaf("stco", ByteBuilder().u32(1).u32(44))};
    for (const auto& box : groupBoxes)
    {
        Node group;
        group.type = "sbgp";
        group.bytes = box;
        children.push_back(group);
    }
    stbl->children = children;
    return track;
}

/// A sample-to-group box of a grouping type mapping `count` samples to entry 1.
Bytes groupOf(const std::string& type, std::uint32_t count)
{
    return makeFullBox("sbgp", 0, 0, ByteBuilder().str(type).u32(1).u32(count).u32(1));
}

/// The sequence with its tracks replaced, and a meta box holding an Exif item after it.
Bytes movieWithStill(const std::function<std::vector<Node>(const Node& track)>& tracks)
{
    const Bytes movie = editSequence(
        [&](Node& moov)
        {
            const Node track = *moov.find("trak");
            moov.children.erase(moov.children.begin() + 1, moov.children.end());  // keep mvhd
            for (auto& made : tracks(track))
            {
                moov.children.push_back(made);
            }
        });
    HeifBuilder heif;
    heif.addItem(1, "Exif", kExif).method = 1;
    return concat({movie, heif.makeMeta(0)});
}

std::size_t skippedTracks(const std::string& log)
{
    std::size_t count = 0;
    for (auto at = log.find("Skipping track "); at != std::string::npos; at = log.find("Skipping track ", at + 1))
    {
        ++count;
    }
    return count;
}
}  // namespace

// A movie of 64 tracks of 4 million samples each (one size for all, 25 KB of boxes) took a
// gigabyte, and one track of a million samples was refused only after building its records,
// taking the still image with it. Now the whole movie's samples are bounded by the file's size
// before anything is built per sample: such tracks are left out, each with a log line, the
// Exif item is read as ever, and opening takes a few megabytes.
TEST(TrackBudgetRegression, HugeTracksLeaveTheStillImageReadable)
{
    const Bytes manyTracks = movieWithStill(
        [](const Node& track)
        {
            std::vector<Node> tracks;
            for (std::uint32_t id = 1; id <= 64; ++id)
            {
                tracks.push_back(trackOf(track, id, 4000000, 1));
            }
            return tracks;
        });
    const Bytes oneTrack =
        movieWithStill([](const Node& track) { return std::vector<Node>{trackOf(track, 1, 1000000, 1)}; });
    ASSERT_LT(manyTracks.size(), 200000u);
    for (const Bytes* bytes : {&manyTracks, &oneTrack})
    {
        const std::size_t tracks = bytes == &manyTracks ? 64 : 1;
        testing::internal::CaptureStdout();
        OpenedFile file;
        EXPECT_EQ(tryOpen(*bytes, file), -1);
        const std::string log = testing::internal::GetCapturedStdout();
        EXPECT_EQ(skippedTracks(log), tracks);
        EXPECT_NE(log.find("more sample records than the file's size allows"), std::string::npos);
        EXPECT_EQ(file->getState(), 2);
        EXPECT_TRUE(file->getFileInformation().trackInformation.empty());
        EXPECT_READER_ERROR(file->getDisplayWidth(1), Reader::InvalidContextId);
        std::vector<std::uint8_t> exif;
        file->getItemData(file.meta(), 1, exif);
        EXPECT_EQ(exif, kExif);

        testsupport::expectWithinAddressSpaceGrowth(std::uint64_t(64) << 20,
                                                    [bytes]
                                                    {
                                                        testing::internal::CaptureStdout();
                                                        OpenedFile bounded;
                                                        const int code = tryOpen(*bytes, bounded);
                                                        testing::internal::GetCapturedStdout();
                                                        return code == -1;
                                                    });
    }
}

TEST(TrackBudget, TheWholeMovieSharesOneBudget)
{
    // 3000 samples fit a small file's allowance of 4096 records; a second track of 3000 does not.
    testing::internal::CaptureStdout();
    auto two = openBytes(movieWithStill(
        [](const Node& track) {
            return std::vector<Node>{trackOf(track, 1, 3000, 1), trackOf(track, 2, 3000, 1)};
        }));
    EXPECT_EQ(skippedTracks(testing::internal::GetCapturedStdout()), 1u);
    const auto& tracks = two->getFileInformation().trackInformation;
    ASSERT_EQ(tracks.size(), 1u);
    EXPECT_EQ(tracks.begin()->first, 1u);
    EXPECT_EQ(tracks.at(1).samplePropertiesMap.size(), 3000u);
    std::vector<std::uint32_t> samples;
    two->getItemListByType(1, "samples", samples);
    EXPECT_EQ(samples.size(), 3000u);
    EXPECT_EQ(two->getDecoderCodeType(1, 2999), "hvc1");
    EXPECT_READER_ERROR(two->getDecoderCodeType(1, 3000), Reader::InvalidItemId);
    EXPECT_EQ(two->getWidth(1, 2999), 64u);

    // The entries of sample groups count too: one group over 1000 samples fits, two groups over
    // all 3000 do not.
    testing::internal::CaptureStdout();
    auto grouped = openBytes(movieWithStill(
        [](const Node& track) { return std::vector<Node>{trackOf(track, 1, 3000, 1, {groupOf("abcd", 1000)})}; }));
    EXPECT_EQ(skippedTracks(testing::internal::GetCapturedStdout()), 0u);
    const auto& members = grouped->getFileInformation().trackInformation.at(1).sampleGroupMembers;
    ASSERT_EQ(members.at(FourCCInt("abcd")).size(), 1000u);
    EXPECT_EQ(members.at(FourCCInt("abcd")).back(), 999u);

    testing::internal::CaptureStdout();
    auto overGrouped = openBytes(movieWithStill(
        [](const Node& track) {
            return std::vector<Node>{trackOf(track, 1, 3000, 1, {groupOf("abcd", 3000), groupOf("efgh", 0xFFFFFFFF)})};
        }));
    EXPECT_EQ(skippedTracks(testing::internal::GetCapturedStdout()), 1u);
    EXPECT_TRUE(overGrouped->getFileInformation().trackInformation.empty());
}
