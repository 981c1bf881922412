#include <gtest/gtest.h>

#include <stdexcept>

#include "BoundedMemory.h"
#include "BoxBuilder.h"
#include "ChunkOffsetBox.h"
#include "CompositionOffsetBox.h"
#include "CompositionToDecodeBox.h"
#include "DirectReferenceSampleListEntry.h"
#include "ExpectRuntimeError.h"
#include "SampleGroupDescriptionBox.h"
#include "SampleSizeBox.h"
#include "SampleTableBox.h"
#include "SampleToChunkBox.h"
#include "SampleToGroupBox.h"
#include "SyncSampleBox.h"
#include "TimeToSampleBox.h"
#include "TrackLimits.h"

using testsupport::ByteBuilder;
using testsupport::Bytes;
using testsupport::concat;
using testsupport::expectRefusedInBoundedMemory;
using testsupport::expectRoundTrip;
using testsupport::expectRuntimeError;
using testsupport::makeBox;
using testsupport::makeFullBox;
using testsupport::parseBytes;
using testsupport::writeBytes;

namespace
{
Bytes stts(std::initializer_list<std::pair<std::uint32_t, std::uint32_t>> runs)
{
    ByteBuilder b;
    b.u32(std::uint32_t(runs.size()));
    for (const auto& run : runs)
    {
        b.u32(run.first).u32(run.second);
    }
    return makeFullBox("stts", 0, 0, b);
}

Bytes stsc(std::initializer_list<std::array<std::uint32_t, 3>> runs)
{
    ByteBuilder b;
    b.u32(std::uint32_t(runs.size()));
    for (const auto& run : runs)
    {
        b.u32(run[0]).u32(run[1]).u32(run[2]);
    }
    return makeFullBox("stsc", 0, 0, b);
}

Bytes stco(std::initializer_list<std::uint32_t> offsets)
{
    ByteBuilder b;
    b.u32(std::uint32_t(offsets.size()));
    for (const auto offset : offsets)
    {
        b.u32(offset);
    }
    return makeFullBox("stco", 0, 0, b);
}

Bytes refsEntry(std::uint32_t sampleId, std::initializer_list<std::uint32_t> references)
{
    ByteBuilder b;
    b.u32(sampleId).u8(std::uint32_t(references.size()));
    for (const auto id : references)
    {
        b.u32(id);
    }
    return b;
}

SampleToChunkBox decoded(const Bytes& bytes, std::uint32_t chunkCount)
{
    SampleToChunkBox box;
    parseBytes(box, bytes);
    box.decodeEntries(chunkCount);
    return box;
}
}  // namespace

TEST(TimeToSampleBox, DecodeTimesAreRunningSumsThatWrapAt32Bits)
{
    const Bytes bytes = stts({{2, 512}, {1, 1024}});
    TimeToSampleBox box;
    parseBytes(box, bytes);
    EXPECT_EQ(box.getDecodeTimes(), (std::vector<std::uint32_t>{0, 512, 1024}));
    expectRoundTrip<TimeToSampleBox>(bytes);

    TimeToSampleBox wrapping;
    parseBytes(wrapping, stts({{3, 0x80000000u}}));
    EXPECT_EQ(wrapping.getDecodeTimes(), (std::vector<std::uint32_t>{0, 0x80000000u, 0}));
}

TEST(CompositionOffsetBox, BothVersionsRoundTripAndExpand)
{
    const Bytes v0 = makeFullBox("ctts", 0, 0, ByteBuilder().u32(2).u32(2).u32(0xFFFFFFFF).u32(1).u32(7));
    const Bytes v1 = makeFullBox("ctts", 1, 0, ByteBuilder().u32(1).u32(3).u32(std::uint32_t(-512)));
    expectRoundTrip<CompositionOffsetBox>(v0);
    expectRoundTrip<CompositionOffsetBox>(v1);

    CompositionOffsetBox box0;
    parseBytes(box0, v0);
    EXPECT_EQ(box0.getSampleCompositionOffsets(), (std::vector<std::int32_t>{-1, -1, 7}));
    CompositionOffsetBox box1;
    parseBytes(box1, v1);
    EXPECT_EQ(box1.getSampleCompositionOffsets(), (std::vector<std::int32_t>{-512, -512, -512}));

    CompositionOffsetBox other;
    parseBytes(other, makeFullBox("ctts", 2, 0, ByteBuilder().u32(1).u32(3).u32(4)));
    EXPECT_TRUE(other.getSampleCompositionOffsets().empty());
}

TEST(CompositionOffsetBox, AddAndWriteRefuseMismatchedOrEmptyLists)
{
    CompositionOffsetBox box;
    expectRuntimeError([&] { writeBytes(box); }, "Can not write an empty CompositionOffsetBox.");
    expectRuntimeError(
        [&] {
            box.addCompositionOffsetEntryVersion1({1, -1});
        },
        "Invalid attempt to add version1 CompositionOffsetBox entries.");
    box.addCompositionOffsetEntryVersion0({1, 5});
    box.setVersion(1);
    expectRuntimeError(
        [&] {
            box.addCompositionOffsetEntryVersion1({1, -1});
        },
        "Invalid attempt to add version1 CompositionOffsetBox entries.");
    expectRuntimeError(
        [&] {
            box.addCompositionOffsetEntryVersion0({1, 5});
        },
        "Invalid attempt to add version0 CompositionOffsetBox entries.");
}

TEST(CompositionToDecodeBox, RoundTrips)
{
    expectRoundTrip<CompositionToDecodeBox>(
        makeFullBox("cslg", 0, 0, ByteBuilder().u32(1).u32(std::uint32_t(-2)).u32(3).u32(4).u32(5)));
}

TEST(SampleToChunkBox, ExpandsRunsOfChunks)
{
    const Bytes bytes = stsc({{1, 2, 1}, {3, 1, 1}});
    const SampleToChunkBox box = decoded(bytes, 4);
    ASSERT_EQ(box.getDecodedSampleCount(), 6u);
    std::vector<std::uint32_t> chunks;
    for (std::uint32_t i = 0; i < 6; ++i)
    {
        chunks.push_back(box.getSampleChunkIndex(i));
    }
    EXPECT_EQ(chunks, (std::vector<std::uint32_t>{1, 1, 2, 2, 3, 4}));
    EXPECT_EQ(box.getSampleDescriptionIndex(5), 1u);
    EXPECT_THROW(box.getSampleChunkIndex(6), std::out_of_range);
    expectRoundTrip<SampleToChunkBox>(bytes);

    // A last run starting one past the last chunk adds nothing.
    EXPECT_EQ(decoded(stsc({{1, 2, 1}, {5, 9, 1}}), 4).getDecodedSampleCount(), 8u);
}

TEST(SampleToChunkBox, RefusesInvalidRuns)
{
    expectRuntimeError([] { decoded(stsc({}), 4); }, "A SampleToChunkBox without entries");
    expectRuntimeError([] { decoded(stsc({{1, 1, 1}}), 0); }, "A SampleToChunkBox without entries");
    expectRuntimeError([] { decoded(stsc({{2, 1, 1}}), 4); }, "SampleToChunkBox first entry first_chunk != 1");
    expectRuntimeError(
        [] {
            decoded(stsc({{1, 3, 1}, {1, 2, 1}}), 4);
        },
        "Invalid first_chunk value in SampleToChunkBox entry. Must be greater than previous");
    // A first chunk far past the chunk count is refused in any entry, not only the last.
    const std::string beyond =
        "Invalid first_chunk value in SampleToChunkBox entry. Must not exceed the chunk count + 1";
    expectRuntimeError([&] { decoded(stsc({{1, 1, 1}, {9, 1, 1}, {10, 1, 1}}), 4); }, beyond);
    expectRuntimeError([&] { decoded(stsc({{1, 1, 1}, {6, 1, 1}}), 4); }, beyond);
}

TEST(SampleToChunkBox, AddedRunsExpandAgainstTheChunksKnown)
{
    SampleToChunkBox box;
    box.addSampleToChunkEntry({1, 2, 1});
    EXPECT_EQ(box.getDecodedSampleCount(), 2u);
    box.addSampleToChunkEntry({3, 1, 2});
    EXPECT_EQ(box.getDecodedSampleCount(), 5u);  // chunks 1 and 2 of two samples, chunk 3 of one
    EXPECT_THROW(box.addSampleToChunkEntry({2, 1, 1}), std::runtime_error);
    EXPECT_EQ(box.getEntries().size(), 2u);
    EXPECT_EQ(box.getDecodedSampleCount(), 5u);
}

TEST(SampleSizeBox, OneSizeForAllOrATable)
{
    const Bytes fixed = makeFullBox("stsz", 0, 0, ByteBuilder().u32(1000).u32(3));
    SampleSizeBox box;
    parseBytes(box, fixed);
    EXPECT_EQ(box.getEntrySizes(), (std::vector<std::uint32_t>{1000, 1000, 1000}));
    EXPECT_EQ(writeBytes(box), fixed);

    const Bytes table = makeFullBox("stsz", 0, 0, ByteBuilder().u32(0).u32(2).u32(10).u32(20));
    expectRoundTrip<SampleSizeBox>(table);
    SampleSizeBox shortTable;
    shortTable.setSampleCount(2);
    shortTable.setEntrySizes({1});
    EXPECT_THROW(writeBytes(shortTable), std::out_of_range);
}

TEST(ChunkOffsetBox, WidthFollowsTheType)
{
    expectRoundTrip<ChunkOffsetBox>(stco({0x10, 0xFFFFFFFF}));
    const Bytes co64 = makeFullBox("co64", 0, 0, ByteBuilder().u32(1).u64(0x100000000ull));
    expectRoundTrip<ChunkOffsetBox>(co64);

    ChunkOffsetBox box;
    box.setChunkOffsets({0x100000000ull});
    EXPECT_EQ(box.getType(), FourCCInt("co64"));
    EXPECT_EQ(writeBytes(box), co64);
    box.setChunkOffsets({});
    EXPECT_EQ(box.getType(), FourCCInt("stco"));
}

TEST(SyncSampleBox, RoundTrips)
{
    expectRoundTrip<SyncSampleBox>(makeFullBox("stss", 0, 0, ByteBuilder().u32(2).u32(1).u32(31)));
}

TEST(SampleGroupDescriptionBox, RefsEntriesOfBothVersions)
{
    const Bytes e1 = refsEntry(1, {});
    const Bytes e2 = refsEntry(2, {1, 7});
    const Bytes v1 = makeFullBox("sgpd", 1, 0, ByteBuilder().str("refs").u32(0).u32(2).u32(5).raw(e1).u32(13).raw(e2));
    SampleGroupDescriptionBox box;
    parseBytes(box, v1);
    ASSERT_EQ(box.getEntryCount(), 2u);
    EXPECT_EQ(box.getEntryIndexOfSampleId(2), 2u);
    const auto* second = dynamic_cast<const DirectReferenceSampleListEntry*>(box.getEntry(2));
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->getDirectReferenceSampleIds(), (std::vector<std::uint32_t>{1, 7}));
    EXPECT_THROW(box.getEntry(0), std::out_of_range);
    EXPECT_THROW(box.getEntry(3), std::out_of_range);
    expectRuntimeError([&] { box.getEntryIndexOfSampleId(9); },
                       "SampleGroupDescriptionBox::getEntryIndexOfSampleId: no entry for sampleId found.");
    expectRoundTrip<SampleGroupDescriptionBox>(v1);

    // Version 0 stores no lengths: 'refs' entries are read back to back.
    const Bytes v0 = makeFullBox("sgpd", 0, 0, ByteBuilder().str("refs").u32(2).raw(e1).raw(e2));
    SampleGroupDescriptionBox box0;
    parseBytes(box0, v0);
    EXPECT_EQ(box0.getEntryCount(), 2u);
    expectRoundTrip<SampleGroupDescriptionBox>(v0);
}

TEST(SampleGroupDescriptionBox, UnknownTypesAndEmptyEntriesWarnOnce)
{
    // 2^32 - 1 entries of length 0 once spun for hours writing a line each.
    for (const Bytes& bytes :
         {makeFullBox("sgpd", 1, 0, ByteBuilder().str("roll").u32(0).u32(0xFFFFFFFF).u32(0).u32(0)),
          makeFullBox("sgpd", 1, 0, ByteBuilder().str("roll").u32(2).u32(0xFFFFFFFF).u16(1).u16(2)),
          makeFullBox("sgpd", 0, 0, ByteBuilder().str("roll").u32(0xFFFFFFFF).u32(0)),
          makeFullBox("sgpd", 1, 0, ByteBuilder().str("refs").u32(0).u32(0xFFFFFFFF).u32(0))})
    {
        testing::internal::CaptureStdout();
        SampleGroupDescriptionBox box;
        parseBytes(box, bytes);
        const std::string log = testing::internal::GetCapturedStdout();
        EXPECT_EQ(box.getEntryCount(), 0u);
        EXPECT_LE(std::count(log.begin(), log.end(), '\n'), 2) << log;
    }
    SampleGroupDescriptionBox tooLong;
    EXPECT_THROW(parseBytes(tooLong, makeFullBox("sgpd", 1, 0, ByteBuilder().str("refs").u32(0).u32(1).u32(9).u32(1))),
                 std::out_of_range);
}

TEST(SampleGroupDescriptionBox, WriterAndSetterChecks)
{
    SampleGroupDescriptionBox box;
    expectRuntimeError(
        [&] { box.setGroupingType("ref"); },
        "SampleGroupDescriptionBox::setGroupingType: invalid grouping type length, must be 4 characters");
    expectRuntimeError([&] { writeBytes(box); },
                       "SampleGroupDescriptionBox::writeBox: not writing an invalid box without entries");
    box.addEntry(std::make_unique<DirectReferenceSampleListEntry>());
    expectRuntimeError([&] { writeBytes(box); }, "SampleGroupDescriptionBox::writeBox: Invalid grouping_type length");

    DirectReferenceSampleListEntry entry;
    entry.setDirectReferenceSampleIds(std::vector<std::uint32_t>(255, 1));
    EXPECT_EQ(entry.getSize(), 5u + 4 * 255);
    expectRuntimeError([&] { entry.setDirectReferenceSampleIds(std::vector<std::uint32_t>(256, 1)); },
                       "Too many entries in referenceSampleIds");
}

TEST(SampleToGroupBox, ExpandsRunsAndFindsSamples)
{
    const Bytes bytes = makeFullBox("sbgp", 0, 0, ByteBuilder().str("refs").u32(2).u32(2).u32(1).u32(1).u32(0));
    SampleToGroupBox box;
    parseBytes(box, bytes);
    EXPECT_EQ(box.getNumberOfSamples(), 3u);
    EXPECT_EQ(box.getSampleGroupDescriptionIndex(1), 1u);
    EXPECT_EQ(box.getSampleGroupDescriptionIndex(2), 0u);
    EXPECT_EQ(box.getSampleGroupDescriptionIndex(99), 0u);
    EXPECT_EQ(box.getSampleId(0), 2u);
    expectRuntimeError([&] { box.getSampleId(5); }, "SampleToGroupBox::getSampleId: no entry for requested sample id");
    expectRoundTrip<SampleToGroupBox>(bytes);
    expectRoundTrip<SampleToGroupBox>(
        makeFullBox("sbgp", 1, 0, ByteBuilder().str("refs").u32(77).u32(1).u32(4).u32(1)));

    SampleToGroupBox empty;
    expectRuntimeError([&] { parseBytes(empty, makeFullBox("sbgp", 0, 0, ByteBuilder().str("refs").u32(0))); },
                       "Read an empty SampleToGroupBox without entries.");
    SampleToGroupBox built;
    expectRuntimeError([&] { writeBytes(built); },
                       "SampleToGroupBox::writeBox: not writing an invalid box without entries");
    built.addSampleRun(2, 1);
    expectRuntimeError([&] { writeBytes(built); }, "SampleToGroupBox::writeBox: Invalid grouping_type length");
    built.setGroupingType("refs");
    EXPECT_EQ(writeBytes(built), makeFullBox("sbgp", 0, 0, ByteBuilder().str("refs").u32(1).u32(2).u32(1)));
}

// Each of these boxes is a few dozen bytes and once asked for gigabytes. Runs and one size for
// all are now kept as they are and looked up, and only the per-sample expansions are refused.
TEST(SampleTableBombs, HugeCountsAreRefusedBeforeAllocating)
{
    using testsupport::expectDoneInBoundedMemory;
    expectDoneInBoundedMemory(
        []
        {
            SampleSizeBox box;
            parseBytes(box, makeFullBox("stsz", 0, 0, ByteBuilder().u32(7).u32(0xFFFFFFFF)));
            bool pastTheEnd = false;
            try
            {
                box.getEntrySize(0xFFFFFFFF);
            }
            catch (const std::out_of_range&)
            {
                pastTheEnd = true;
            }
            return box.getSampleCount() == 0xFFFFFFFF && box.getEntrySize(0xFFFFFFFE) == 7 && pastTheEnd;
        });
    expectDoneInBoundedMemory(
        []
        {
            const SampleToChunkBox one = decoded(stsc({{1, 0xFFFFFFFF, 1}}), 1);
            const SampleToChunkBox many = decoded(stsc({{1, 0x10000, 3}}), 0x10000);
            return one.getDecodedSampleCount() == 0xFFFFFFFFu && one.getSampleChunkIndex(0xFFFFFFFE) == 1 &&
                   many.getDecodedSampleCount() == (1ull << 32) && many.getSampleChunkIndex(0xFFFFFFFF) == 0x10000 &&
                   many.getSampleDescriptionIndex(0xFFFFFFFF) == 3 && many.isFirstSampleOfChunk(0xFFFF0000) &&
                   !many.isFirstSampleOfChunk(0xFFFF0001);
        });
    expectDoneInBoundedMemory(
        []
        {
            SampleToGroupBox box;
            parseBytes(
                box, makeFullBox(
                         "sbgp", 0, 0,
                         ByteBuilder().str("refs").u32(3).u32(0xFFFFFFFF).u32(1).u32(0).u32(7).u32(0xFFFFFFFF).u32(2)));
            return box.getNumberOfSamples() == 0x1FFFFFFFEull && box.getSampleGroupDescriptionIndex(0xFFFFFFFE) == 1 &&
                   box.getSampleId(2) == 0xFFFFFFFF;
        });
    // The decode times and composition offsets are still one per sample, so these are refused.
    expectRefusedInBoundedMemory(
        []
        {
            TimeToSampleBox box;
            parseBytes(box, stts({{0xFFFFFFFF, 1}}));
            box.getDecodeTimes();
        });
    expectRefusedInBoundedMemory(
        []
        {
            // Runs that are each allowed but add up past the ceiling.
            TimeToSampleBox box;
            box.addEntry({std::uint32_t(MAX_TRACK_RECORDS), 1});
            box.addEntry({1, 1});
            box.getDecodeTimes();
        });
    expectRefusedInBoundedMemory(
        []
        {
            CompositionOffsetBox box;
            parseBytes(box,
                       makeFullBox("ctts", 0, 0, ByteBuilder().u32(2).u32(0xFFFFFFFF).u32(1).u32(0xFFFFFFFF).u32(1)));
            box.getSampleCompositionOffsets();
        });

    // Counts of entries beyond the bytes present fail as short data, before anything is sized.
    SampleSizeBox sizes;
    EXPECT_THROW(parseBytes(sizes, makeFullBox("stsz", 0, 0, ByteBuilder().u32(0).u32(1000).u32(1))),
                 std::out_of_range);
    TimeToSampleBox times;
    EXPECT_THROW(parseBytes(times, makeFullBox("stts", 0, 0, ByteBuilder().u32(0xFFFFFFFF))), std::out_of_range);
    ChunkOffsetBox chunks;
    EXPECT_THROW(parseBytes(chunks, makeFullBox("co64", 0, 0, ByteBuilder().u32(2).u64(1))), std::out_of_range);
}

namespace
{
const Bytes kSgpd = makeFullBox("sgpd", 1, 0, ByteBuilder().str("refs").u32(0).u32(1).u32(5).raw(refsEntry(0, {})));
const Bytes kSbgp = makeFullBox("sbgp", 0, 0, ByteBuilder().str("refs").u32(1).u32(3).u32(1));

Bytes sampleTable()
{
    return makeBox(
        "stbl",
        concat({makeFullBox("stsd", 0, 0, ByteBuilder().u32(0)), stts({{3, 1000}}), stsc({{1, 2, 1}, {2, 1, 1}}),
                stco({100, 300}), makeFullBox("stsz", 0, 0, ByteBuilder().u32(50).u32(3)),
                makeFullBox("stss", 0, 0, ByteBuilder().u32(1).u32(1)),
                makeFullBox("ctts", 0, 0, ByteBuilder().u32(1).u32(3).u32(500)),
                makeFullBox("cslg", 0, 0, ByteBuilder().u32(0).u32(0).u32(0).u32(0).u32(0)), kSgpd, kSbgp}));
}
}  // namespace

TEST(SampleTableBox, ParsesWritesAndExpandsChunks)
{
    const Bytes bytes = sampleTable();
    SampleTableBox box;
    parseBytes(box, bytes);
    EXPECT_EQ(box.getSampleToChunkBox().getDecodedSampleCount(), 3u);
    EXPECT_EQ(box.getSampleToChunkBox().getSampleChunkIndex(2), 2u);
    EXPECT_EQ(box.getChunkOffsetBox().getChunkOffsets(), (std::vector<std::uint64_t>{100, 300}));
    ASSERT_NE(box.getCompositionOffsetBox(), nullptr);
    ASSERT_NE(box.getSyncSampleBox(), nullptr);
    EXPECT_EQ(box.getSampleToGroupBoxes().size(), 1u);
    EXPECT_EQ(box.getSampleGroupDescriptionBox("refs").getEntryCount(), 1u);
    expectRuntimeError([&] { box.getSampleGroupDescriptionBox("roll"); },
                       "SampleGroupDescriptionBox with groupingType=roll not found.");
    expectRoundTrip<SampleTableBox>(bytes);
    testsupport::expectTruncationSafe<SampleTableBox>(bytes);
}

TEST(SampleTableBox, LastGroupDescriptionWinsAndUnknownChildrenAreLogged)
{
    const Bytes second =
        makeFullBox("sgpd", 1, 0, ByteBuilder().str("refs").u32(0).u32(1).u32(5).raw(refsEntry(4, {})));
    const Bytes bytes =
        makeBox("stbl", concat({stsc({{1, 1, 1}}), stco({8}), kSgpd, second, makeBox("free", Bytes{1, 2})}));
    testing::internal::CaptureStdout();
    SampleTableBox box;
    parseBytes(box, bytes);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Skipping unknown box of type 'free' inside SampleTableBox\n");
    EXPECT_EQ(box.getSampleGroupDescriptionBox("refs").getEntryIndexOfSampleId(4), 1u);

    SampleTableBox noChunks;
    expectRuntimeError(
        [&] {
            parseBytes(noChunks, makeBox("stbl", stsc({{1, 1, 1}})));
        },
        "A SampleToChunkBox without entries");
}
