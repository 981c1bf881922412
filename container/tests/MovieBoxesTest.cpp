#include <gtest/gtest.h>

#include <stdexcept>

#include "BoxBuilder.h"
#include "HevcSampleEntry.h"
#include "MovieBox.h"

using testsupport::ByteBuilder;
using testsupport::Bytes;
using testsupport::concat;
using testsupport::expectRoundTrip;
using testsupport::makeBox;
using testsupport::makeFullBox;
using testsupport::parseBytes;
using testsupport::writeBytes;

namespace
{
Bytes unityMatrix()
{
    return ByteBuilder().u32(0x00010000).u32(0).u32(0).u32(0).u32(0x00010000).u32(0).u32(0).u32(0).u32(0x40000000);
}

Bytes mvhd(std::uint32_t timescale, std::uint8_t version = 0)
{
    ByteBuilder b;
    b.u32(1).u32(2).u32(timescale).u32(3000).u32(0x00010000).u16(0x0100).u16(0).u32(0).u32(0).raw(unityMatrix());
    for (int i = 0; i < 6; ++i)
    {
        b.u32(0);
    }
    b.u32(3);
    return makeFullBox("mvhd", version, 0, b);
}

Bytes tkhd(std::uint32_t trackId, std::uint32_t duration)
{
    return makeFullBox("tkhd", 0, 3,
                       ByteBuilder()
                           .u32(0)
                           .u32(0)
                           .u32(trackId)
                           .u32(0)
                           .u32(duration)
                           .u32(0)
                           .u32(0)
                           .u16(0)
                           .u16(5)
                           .u16(0)
                           .u16(0)
                           .raw(unityMatrix())
                           .u32(0x01400000)
                           .u32(0x00F00000));
}

Bytes mdhd(std::uint32_t timescale)
{
    return makeFullBox("mdhd", 0, 0, ByteBuilder().u32(0).u32(0).u32(timescale).u32(3000).u16(0).u16(0));
}

Bytes hdlr(const std::string& type)
{
    return makeFullBox("hdlr", 0, 0, ByteBuilder().u32(0).str(type).u32(0).u32(0).u32(0).zstr(""));
}

const Bytes kDinf =
    makeBox("dinf", makeFullBox("dref", 0, 0, concat({ByteBuilder().u32(1), makeFullBox("url ", 0, 1, {})})));
const Bytes kVmhd = makeFullBox("vmhd", 0, 0, ByteBuilder().u16(0).u16(0).u16(0).u16(0));

Bytes hvc1Entry()
{
    HevcSampleEntry entry;
    entry.setDataReferenceIndex(1);
    entry.setWidth(320);
    entry.setHeight(240);
    return writeBytes(entry);
}

Bytes stbl()
{
    return makeBox("stbl", concat({makeFullBox("stsd", 0, 0, concat({ByteBuilder().u32(1), hvc1Entry()})),
                                   makeFullBox("stts", 0, 0, ByteBuilder().u32(1).u32(3).u32(1000)),
                                   makeFullBox("stsc", 0, 0, ByteBuilder().u32(1).u32(1).u32(3).u32(1)),
                                   makeFullBox("stco", 0, 0, ByteBuilder().u32(1).u32(48)),
                                   makeFullBox("stsz", 0, 0, ByteBuilder().u32(0).u32(3).u32(10).u32(20).u32(30))}));
}

Bytes mdia(const std::string& handler)
{
    return makeBox("mdia", concat({mdhd(1000), hdlr(handler), makeBox("minf", concat({kVmhd, kDinf, stbl()}))}));
}

const Bytes kTref =
    makeBox("tref", concat({makeBox("thmb", ByteBuilder().u32(1)), makeBox("auxl", ByteBuilder().u32(1).u32(4))}));
const Bytes kEdts = makeBox("edts", makeFullBox("elst", 0, 0, ByteBuilder().u32(1).u32(3000).u32(0).u16(1).u16(0)));

Bytes trak(std::uint32_t id, const std::string& handler, bool withRefs)
{
    return makeBox("trak", withRefs ? concat({tkhd(id, 3000), kTref, kEdts, mdia(handler)})
                                    : concat({tkhd(id, 3000), kEdts, mdia(handler)}));
}

template <typename Fn>
std::string runtimeErrorOf(Fn fn)
{
    try
    {
        fn();
    }
    catch (const std::runtime_error& e)
    {
        return e.what();
    }
    return "";
}
}  // namespace

TEST(MovieBox, KeepsPictureTracksOnly)
{
    const Bytes bytes = makeBox("moov", concat({mvhd(1000), trak(1, "soun", false), trak(2, "pict", true)}));
    testing::internal::CaptureStdout();
    MovieBox movie;
    parseBytes(movie, bytes);
    testing::internal::GetCapturedStdout();
    const auto tracks = movie.getTrackBoxes();
    ASSERT_EQ(tracks.size(), 1u);
    const TrackBox& track = *tracks[0];
    EXPECT_EQ(track.getTrackHeaderBox().getTrackID(), 2u);
    EXPECT_EQ(track.getTrackHeaderBox().getWidth() >> 16, 320u);
    EXPECT_EQ(track.getTrackHeaderBox().getAlternateGroup(), 5);
    EXPECT_EQ(track.getTrackHeaderBox().getFlags(), 3u);
    EXPECT_EQ(movie.getMovieHeaderBox().getTimeScale(), 1000u);
    EXPECT_TRUE(track.getHasTrackReferences());
    EXPECT_TRUE(track.getTrackReferenceBox().isReferenceTypePresent("auxl"));
    EXPECT_FALSE(track.getTrackReferenceBox().isReferenceTypePresent("cdsc"));
    EXPECT_EQ(track.getTrackReferenceBox().getReferenceTypeBoxes()[1].getTrackIds(),
              (std::vector<std::uint32_t>{1, 4}));
    ASSERT_NE(track.getEditBox(), nullptr);
    EXPECT_EQ(track.getEditBox()->getEditListBox()->numberOfEntries(), 1u);
    const auto& stblBox = track.getMediaBox().getMediaInformationBox().getSampleTableBox();
    EXPECT_EQ(stblBox.getSampleSizeBox().getEntrySizes(), (std::vector<std::uint32_t>{10, 20, 30}));
    EXPECT_EQ(stblBox.getSampleDescriptionBox().getSampleEntry(1)->getWidth(), 320);

    // Written back: the movie header and the kept track, as read.
    EXPECT_EQ(writeBytes(movie), makeBox("moov", concat({mvhd(1000), trak(2, "pict", true)})));
}

TEST(MovieBox, UnsupportedChildrenAreLoggedAndTrackChildrenWrittenInOrder)
{
    testing::internal::CaptureStdout();
    MovieBox movie;
    parseBytes(movie, makeBox("moov", concat({mvhd(600), makeBox("udta", {})})));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Skipping an unsupported box 'udta' inside movie box.\n");
    EXPECT_TRUE(movie.getTrackBoxes().empty());

    // Read in another order, written as tkhd, tref, edts, mdia; unknown children are dropped.
    TrackBox track;
    parseBytes(track, makeBox("trak", concat({mdia("pict"), kEdts, makeBox("meta", {}), kTref, tkhd(7, 10)})));
    EXPECT_EQ(writeBytes(track), makeBox("trak", concat({tkhd(7, 10), kTref, kEdts, mdia("pict")})));
}

TEST(MovieBox, TruncatedMovieNeverCrashes)
{
    const Bytes bytes = makeBox("moov", concat({mvhd(1000), trak(1, "pict", true)}));
    testing::internal::CaptureStdout();
    testsupport::expectTruncationSafe<MovieBox>(bytes);
    testing::internal::GetCapturedStdout();
}

TEST(MovieHeaderBox, VersionTimescaleAndMatrix)
{
    expectRoundTrip<MovieHeaderBox>(mvhd(1000));
    EXPECT_EQ(runtimeErrorOf(
                  []
                  {
                      MovieHeaderBox box;
                      parseBytes(box, mvhd(1000, 1));
                  }),
              "MovieHeaderBox::parseBox() supports only 'mvhd' version 0");
    // Every time of the movie is divided by the timescale.
    EXPECT_NE(runtimeErrorOf(
                  []
                  {
                      MovieHeaderBox box;
                      parseBytes(box, mvhd(0));
                  }),
              "");
    MovieHeaderBox shortMatrix;
    shortMatrix.setMatrix({1, 2});
    EXPECT_THROW(writeBytes(shortMatrix), std::out_of_range);
}

TEST(TrackHeaderBox, VersionOneDurationsSaturate)
{
    const Bytes v0 = tkhd(9, 0xFFFFFFFF);
    expectRoundTrip<TrackHeaderBox>(v0);

    auto v1 = [](std::uint64_t duration)
    {
        return makeFullBox("tkhd", 1, 1,
                           ByteBuilder()
                               .u64(5)
                               .u64(6)
                               .u32(2)
                               .u32(0)
                               .u64(duration)
                               .u32(0)
                               .u32(0)
                               .u16(0)
                               .u16(0)
                               .u16(0)
                               .u16(0)
                               .raw(unityMatrix())
                               .u32(0x00400000)
                               .u32(0x00300000));
    };
    TrackHeaderBox box;
    parseBytes(box, v1(0x100000000ull));
    EXPECT_EQ(box.getDuration(), 0xFFFFFFFEu);  // too long, but not "unknown"
    EXPECT_EQ(box.getTrackID(), 2u);
    EXPECT_EQ(box.getHeight() >> 16, 48u);
    parseBytes(box, v1(~0ull));
    EXPECT_EQ(box.getDuration(), 0xFFFFFFFFu);
    expectRoundTrip<TrackHeaderBox>(v1(~0ull));
    expectRoundTrip<TrackHeaderBox>(v1(1234));

    // Any stored matrix is written back as the unity matrix.
    Bytes rotated = v0;
    rotated[12 + 40 + 3] = 0;  // first matrix value
    TrackHeaderBox fromRotated;
    parseBytes(fromRotated, rotated);
    EXPECT_EQ(writeBytes(fromRotated), v0);
}

TEST(MediaHeaderBox, VersionsAndTimescale)
{
    expectRoundTrip<MediaHeaderBox>(mdhd(90000));
    const Bytes v1 = makeFullBox("mdhd", 1, 0, ByteBuilder().u64(1).u64(2).u32(600).u64(1200).u16(0).u16(0));
    MediaHeaderBox box;
    parseBytes(box, v1);
    EXPECT_EQ(box.getTimeScale(), 600u);
    EXPECT_EQ(box.getDuration(), 1200u);
    expectRoundTrip<MediaHeaderBox>(v1);
    EXPECT_NE(runtimeErrorOf(
                  []
                  {
                      MediaHeaderBox zero;
                      parseBytes(zero, mdhd(0));
                  }),
              "");
}

TEST(TrackBox, EditBoxIsCopiedIn)
{
    TrackBox track;
    EXPECT_EQ(track.getEditBox(), nullptr);
    EditBox edits;
    parseBytes(edits, kEdts);
    track.setEditBox(edits);
    ASSERT_NE(track.getEditBox(), nullptr);
    EditBox copy = *track.getEditBox();
    EXPECT_EQ(writeBytes(copy), kEdts);
}
