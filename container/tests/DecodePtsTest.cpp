#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>

#include "BoundedMemory.h"
#include "BoxBuilder.h"
#include "DecodePts.h"
#include "EditBox.h"
#include "ExpectRuntimeError.h"

using testsupport::ByteBuilder;
using testsupport::Bytes;
using testsupport::concat;
using testsupport::expectRoundTrip;
using testsupport::expectRuntimeError;
using testsupport::makeBox;
using testsupport::makeFullBox;
using testsupport::parseBytes;
using testsupport::writeBytes;
using Map = DecodePts::PresentationTimeMap;

namespace
{
struct Edit
{
    std::int64_t mediaTime;
    std::uint64_t duration;
    std::int16_t rate = 1;
};

/// A track's time tables, built in code, and the times they give.
struct Track
{
    TimeToSampleBox stts;
    CompositionOffsetBox ctts;
    EditListBox elst;
    bool withCtts = false;
    bool withElst = false;

    Track(std::initializer_list<std::pair<std::uint32_t, std::uint32_t>> runs)
    {
        for (const auto& run : runs)
        {
            stts.addEntry({run.first, run.second});
        }
    }
    Track& offsets(std::initializer_list<std::pair<std::uint32_t, std::int32_t>> runs)
    {
        ctts.setVersion(1);
        for (const auto& run : runs)
        {
            ctts.addCompositionOffsetEntryVersion1({run.first, run.second});
        }
        withCtts = true;
        return *this;
    }
    Track& edits(std::initializer_list<Edit> list, std::uint8_t version = 0)
    {
        elst.setVersion(version);
        for (const auto& e : list)
        {
            if (version == 0)
            {
                elst.addEntry(
                    EditListBox::EntryVersion0{std::uint32_t(e.duration), std::int32_t(e.mediaTime), e.rate, 0});
            }
            else
            {
                elst.addEntry(EditListBox::EntryVersion1{e.duration, e.mediaTime, e.rate, 0});
            }
        }
        withElst = true;
        return *this;
    }
    DecodePts compute()
    {
        DecodePts pts;
        pts.setTimeToSampleBox(&stts);
        pts.setCompositionOffsetBox(withCtts ? &ctts : nullptr);
        pts.setEditListBox(withElst ? &elst : nullptr);
        pts.computePresentationTimes();
        return pts;
    }
};
}  // namespace

TEST(DecodePts, PresentationTimeCases)
{
    struct Case
    {
        const char* name;
        Track track;
        Map expected;
        std::uint32_t span;
    };
    Case cases[] = {
        {"no edit list", Track({{3, 1000}}), {{0, 0}, {1000, 1}, {2000, 2}}, 3000},
        {"empty edit then normal edit",
         Track({{3, 1000}}).edits({{-1, 500}, {0, 3000}}),
         {{500, 0}, {1500, 1}, {2500, 2}},
         3500},
        {"same in version 1",
         Track({{3, 1000}}).edits({{-1, 500}, {0, 3000}}, 1),
         {{500, 0}, {1500, 1}, {2500, 2}},
         3500},
        {"normal edit starting inside a sample",
         Track({{3, 1000}}).edits({{500, 2000}}),
         {{0, 0}, {500, 1}, {1500, 2}},
         2000},
        {"dwell between samples", Track({{3, 1000}}).edits({{1500, 700, 0}}), {{0, 1}}, 700},
        {"dwell on a sample", Track({{3, 1000}}).edits({{2000, 700, 0}}), {{0, 2}}, 700},
        {"dwell before every sample is skipped",
         Track({{2, 1000}}).offsets({{2, 100}}).edits({{50, 700, 0}, {0, 5000}}),
         {{0, 0}, {1000, 1}},
         4900},
        {"shared composition time keeps the first sample",
         Track({{3, 1000}}).offsets({{1, 1000}, {2, 0}}),
         {{1000, 0}, {2000, 2}},
         3000},
        {"single sample without edits", Track({{1, 1000}}), {{0, 0}}, 0},
    };
    for (auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        const DecodePts pts = c.track.compute();
        EXPECT_EQ(pts.getPresentationTimes(), c.expected);
        EXPECT_EQ(pts.getSpan(), c.span);
    }
}

TEST(DecodePts, MillisecondsAndLooping)
{
    Track track({{3, 1000}});
    EXPECT_EQ(track.compute().getPresentationTimesMs(30000), (Map{{0, 0}, {33, 1}, {66, 2}}));

    Track two({{2, 1000}});
    const DecodePts pts = two.compute();
    EXPECT_EQ(pts.getSpan(), 2000u);
    EXPECT_EQ(pts.getLoopedPresentationTimesMs(1000, 5000),
              (Map{{0, 0}, {1000, 1}, {2000, 0}, {3000, 1}, {4000, 0}, {5000, 1}}));
    EXPECT_EQ(pts.getLoopedPresentationTimesMs(1000, 0), (Map{{0, 0}, {1000, 1}}));

    Track one({{1, 1000}});
    EXPECT_EQ(one.compute().getLoopedPresentationTimesMs(1000, 1000000), (Map{{0, 0}}));

    EXPECT_EQ(DecodePts::toLoopEndMs(2.5), 2500u);
}

TEST(DecodePts, RefusesWhatWouldDivideByZeroOrOverflow)
{
    Track track({{3, 1000}});
    const DecodePts pts = track.compute();
    EXPECT_THROW(pts.getPresentationTimesMs(0), std::runtime_error);
    EXPECT_THROW(pts.getLoopedPresentationTimesMs(0, 1000), std::runtime_error);
    for (double bad : {std::nan(""), std::numeric_limits<double>::infinity(), -1.0, 1e300})
    {
        EXPECT_THROW(DecodePts::toLoopEndMs(bad), std::runtime_error) << bad;
    }

    // Composition offsets must cover every sample.
    Track shortOffsets({{3, 1000}});
    shortOffsets.offsets({{2, 10}});
    EXPECT_THROW(shortOffsets.compute(), std::runtime_error);

    // A version-1 segment whose end passes 2^63.
    Track farEdit({{3, 1000}});
    farEdit.edits({{std::numeric_limits<std::int64_t>::max() - 10, 100}}, 1);
    EXPECT_THROW(farEdit.compute(), std::runtime_error);

    Track otherVersion({{3, 1000}});
    otherVersion.edits({}, 2);
    EXPECT_THROW(otherVersion.compute(), std::runtime_error);

    DecodePts empty;
    EXPECT_THROW(empty.computePresentationTimes(), std::runtime_error);
}

TEST(DecodePts, LoopingAndEditListsAreBounded)
{
    // A 33 ms loop asked to fill 2^63 ms would insert forever.
    testsupport::expectRefusedInBoundedMemory(
        []
        {
            Track track({{2, 1}});
            track.compute().getLoopedPresentationTimesMs(30, std::uint64_t(1) << 63);
        });
    // Thousands of edits, each replaying every sample: the work is bounded, not only the map
    // (each edit spans exactly 2^32 units, so the keys repeat and the map stays small).
    testsupport::expectRefusedInBoundedMemory(
        []
        {
            Track track({{1024, 1u << 22}});
            track.elst.setVersion(1);
            for (int i = 0; i < 5000; ++i)
            {
                track.elst.addEntry(EditListBox::EntryVersion1{std::uint64_t(1) << 32, 0, 1, 0});
            }
            track.withElst = true;
            track.compute();
        });
}

TEST(EditListBox, BothVersionsRoundTrip)
{
    const Bytes v0 = makeFullBox(
        "elst", 0, 0, ByteBuilder().u32(2).u32(500).u32(0xFFFFFFFF).u16(1).u16(0).u32(3000).u32(0).u16(1).u16(0));
    const Bytes v1 = makeFullBox("elst", 1, 1, ByteBuilder().u32(1).u64(0x100000000ull).u64(~0ull).u16(0).u16(5));
    expectRoundTrip<EditListBox>(v0);
    expectRoundTrip<EditListBox>(v1);
    EditListBox box;
    parseBytes(box, v1);
    EXPECT_EQ(box.numberOfEntries(), 1u);
    EXPECT_EQ(box.getEntryVersion1(0).mMediaTime, -1);
    EXPECT_THROW(box.getEntryVersion1(1), std::out_of_range);

    // An empty list keeps its count field, so it reads back.
    expectRoundTrip<EditListBox>(makeFullBox("elst", 0, 0, ByteBuilder().u32(0)));
    EditListBox built;
    EXPECT_EQ(writeBytes(built), makeFullBox("elst", 0, 0, ByteBuilder().u32(0)));

    EditListBox v2;
    parseBytes(v2, makeFullBox("elst", 2, 0, ByteBuilder().u32(3)));
    expectRuntimeError([&] { v2.numberOfEntries(); },
                       "Not supported EditListBox entry version (only 0 and 1 are supported).");

    EditListBox wrong;
    wrong.setVersion(1);
    expectRuntimeError([&] { wrong.addEntry(EditListBox::EntryVersion0{}); },
                       "Invalid attempt to add version0 EditListBox entries.");
    wrong.setVersion(0);
    EXPECT_THROW(wrong.addEntry(EditListBox::EntryVersion1{}), std::runtime_error);

    EditListBox huge;
    EXPECT_THROW(parseBytes(huge, makeFullBox("elst", 1, 0, ByteBuilder().u32(0xFFFFFFFF))), std::out_of_range);
}

TEST(EditBox, LastEditListWins)
{
    const Bytes first = makeFullBox("elst", 0, 0, ByteBuilder().u32(1).u32(1).u32(0).u16(1).u16(0));
    const Bytes second = makeFullBox("elst", 0, 0, ByteBuilder().u32(1).u32(2).u32(0).u16(1).u16(0));
    EditBox box;
    parseBytes(box, makeBox("edts", concat({first, makeBox("free", {}), second})));
    ASSERT_NE(box.getEditListBox(), nullptr);
    EXPECT_EQ(box.getEditListBox()->getEntryVersion0(0).mSegmentDuration, 2u);
    EXPECT_EQ(writeBytes(box), makeBox("edts", second));
}
