#include <gtest/gtest.h>

#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "AvcParser.h"
#include "CurrentTestFolder.h"
#include "ParserTestUtil.h"

using parsertest::BitWriter;
using parsertest::Bytes;
using parsertest::dataPath;
using parsertest::join;
using parsertest::parseAll;
using parsertest::readFile;
using parsertest::splitUnits;
using Picture = ParserInterface::PictureData;

namespace
{
std::string writeTempFile(const std::string& name, const Bytes& bytes)
{
    const std::string path = testsupport::CurrentTestFolder::path(name);
    parsertest::writeFile(path, bytes);
    return path;
}

/// Parses a whole file; any exception is returned to the caller's catch.
std::vector<Picture> parseFile(const std::string& path, unsigned* count = nullptr)
{
    AvcParser parser;
    if (!parser.openFile(path))
    {
        throw std::runtime_error("open failed");
    }
    if (count)
    {
        *count = parser.getPictureCount();
    }
    return parseAll(parser);
}

unsigned typeOf(const Bytes& unit)
{
    return unit[findNalUnitHeader(unit, 1)] & 0x1F;
}

// ---- Streams built in code: baseline 32x32, picture order count type 2, 4-bit frame_num.

Bytes spsUnit(unsigned maxRefFrames, bool frameMbsOnly = true, unsigned widthMbsMinus1 = 1)
{
    BitWriter w;
    w.bits(66, 8).bits(0, 8).bits(30, 8).ue(0);
    w.ue(0).ue(2).ue(maxRefFrames).flag(false).ue(widthMbsMinus1).ue(1).flag(frameMbsOnly);
    if (!frameMbsOnly)
    {
        w.flag(false);
    }
    w.flag(true).flag(false).flag(false);
    return w.nalUnit(0x67);
}

Bytes ppsUnit(unsigned refIdxDefaultMinus1 = 0)
{
    BitWriter w;
    w.ue(0).ue(0).flag(false).flag(false).ue(0).ue(refIdxDefaultMinus1).ue(0);
    w.flag(false).bits(0, 2).se(0).se(0).se(0).flag(false).flag(false).flag(false);
    return w.nalUnit(0x68);
}

struct SliceSpec
{
    bool idr = false;
    unsigned refIdc = 1;
    unsigned firstMb = 0;
    unsigned sliceType = 0;  // 0 P, 2 I
    unsigned frameNum = 0;
    int overrideMinus1 = -1;                                   // num_ref_idx_l0_active_minus1 when >= 0
    std::vector<std::pair<unsigned, unsigned>> modifications;  // (idc, value), closing 3 added
    std::vector<std::vector<unsigned>> mmcos;                  // operation and its values; closing 0 added
    int pocLsb = -1;        // 4-bit pic_order_cnt_lsb when >= 0 (pic_order_cnt_type 0)
    bool pocType1 = false;  // the SPS has pic_order_cnt_type 1: delta_pic_order_cnt[0] follows
    int deltaPoc0 = 0;
    unsigned nalType = 0;       // 2, 3, 4: data partitions
    bool fieldPic = false;      // only with a field-capable SPS
    bool fieldCapable = false;  // the SPS has frame_mbs_only_flag 0
};

Bytes sliceUnit(const SliceSpec& s)
{
    BitWriter w;
    if (s.nalType == 3 || s.nalType == 4)
    {
        w.ue(7);  // slice_id
        return w.nalUnit(std::uint8_t((s.refIdc << 5) | s.nalType));
    }
    w.ue(s.firstMb).ue(s.sliceType).ue(0).bits(s.frameNum, 4);
    if (s.fieldCapable)
    {
        w.flag(s.fieldPic);
        if (s.fieldPic)
        {
            w.flag(false);
        }
    }
    if (s.idr)
    {
        w.ue(0);
    }
    if (s.pocLsb >= 0)
    {
        w.bits(unsigned(s.pocLsb), 4);
    }
    if (s.pocType1)
    {
        w.se(s.deltaPoc0);
    }
    if (s.sliceType == 0)
    {
        w.flag(s.overrideMinus1 >= 0);
        if (s.overrideMinus1 >= 0)
        {
            w.ue(unsigned(s.overrideMinus1));
        }
        w.flag(!s.modifications.empty());
        if (!s.modifications.empty())
        {
            for (const auto& m : s.modifications)
            {
                w.ue(m.first).ue(m.second);
            }
            w.ue(3);
        }
    }
    if (s.refIdc != 0)
    {
        if (s.idr)
        {
            w.flag(false).flag(false);
        }
        else
        {
            w.flag(!s.mmcos.empty());
            for (const auto& op : s.mmcos)
            {
                for (unsigned v : op)
                {
                    w.ue(v);
                }
            }
            if (!s.mmcos.empty())
            {
                w.ue(0);
            }
        }
    }
    w.se(0);
    if (s.nalType == 2)
    {
        w.ue(7);  // slice_id
    }
    return w.nalUnit(std::uint8_t((s.refIdc << 5) | (s.nalType ? s.nalType : s.idr ? 5 : 1)));
}

SliceSpec idrSlice()
{
    SliceSpec s;
    s.idr = true;
    s.sliceType = 2;
    return s;
}

SliceSpec pSlice(unsigned frameNum, unsigned refIdc = 1)
{
    SliceSpec s;
    s.frameNum = frameNum;
    s.refIdc = refIdc;
    return s;
}

void expectStreamError(const Bytes& stream, const std::string& name)
{
    const std::string path = writeTempFile(name, stream);
    EXPECT_THROW(parseFile(path), std::runtime_error) << name;
}

struct StreamCase
{
    const char* file;
    unsigned width, height;
    std::vector<std::int32_t> displayOrder;  // per decode index, from ffprobe's presentation order
};
}  // namespace

// Picture counts and presentation order as ffprobe reports them (-count_frames, and
// coded_picture_number of the frames in output order).
TEST(AvcParser, RealStreamsMatchFfprobe)
{
    const StreamCase cases[] = {
        {"baseline.h264", 128, 96, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}},
        {"main_bpyramid.h264", 128, 96, {0, 4, 2, 1, 3, 8, 6, 5, 7, 12, 10, 9, 11, 15, 13, 14}},
        {"high_cqm.h264", 128, 96, {0, 3, 1, 2, 6, 4, 5, 9, 7, 8}},
        {"slices4.h264", 128, 96, {0, 2, 1, 4, 3, 6, 5, 7}},
        {"refs_weighted.h264", 128, 96, {0, 1, 3, 2, 6, 4, 5, 9, 7, 8, 10, 11}},
        {"main_weighted.h264", 128, 96, {0, 1, 3, 2, 6, 4, 5, 9, 7, 8, 10, 11}},
        {"multi_idr.h264", 128, 96, {0, 3, 1, 2, 4, 5, 8, 6, 7, 9, 10, 11}},
        {"crop1080.h264", 1920, 1080, {0, 1, 2}},
        {"interlaced.h264", 128, 96, {0, 1, 2, 3, 4, 5}},
        {"high422_10bit.h264", 128, 96, {0, 1, 2, 3}},
        {"intra_only.h264", 64, 48, {0, 1, 2, 3}},
        {"crop444.h264", 350, 286, {0}},
        {"crop422.h264", 350, 286, {0}},
        {"crop1080i.h264", 1920, 1080, {0, 1}},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.file);
        const Bytes file = readFile(dataPath(c.file));
        const std::vector<Bytes> fileUnits = splitUnits(file);
        ASSERT_EQ(join(fileUnits), file);

        unsigned count = 0;
        const auto pictures = parseFile(dataPath(c.file), &count);
        EXPECT_EQ(count, c.displayOrder.size());
        ASSERT_EQ(pictures.size(), c.displayOrder.size());

        // Each picture holds the next units of the file, parameter sets sorted out by type.
        std::size_t next = 0;
        for (std::size_t i = 0; i < pictures.size(); ++i)
        {
            const Picture& p = pictures[i];
            EXPECT_EQ(p.mDecodeIndex, std::int32_t(i));
            EXPECT_EQ(p.mDisplayIndex, c.displayOrder[i]);
            EXPECT_EQ(p.mPicWidth, c.width);
            EXPECT_EQ(p.mPicHeight, c.height);
            EXPECT_TRUE(p.mPicOutputFlag);
            EXPECT_TRUE(p.mVpsNalUnits.empty());
            EXPECT_FALSE(p.mIsLayered || p.mIsCra || p.mIsBla);
            for (std::uint32_t ref : p.mRefPicIndices)
            {
                EXPECT_LT(ref, i);
            }
            if (p.mIsIdr)
            {
                EXPECT_TRUE(p.mRefPicIndices.empty());
                EXPECT_TRUE(p.mIsIntraOnly);
            }
            const std::size_t total = p.mSpsNalUnits.size() + p.mPpsNalUnits.size() + p.mPictureNalUnits.size();
            ASSERT_LE(next + total, fileUnits.size());
            std::vector<Bytes> sps, pps, rest;
            for (std::size_t k = next; k < next + total; ++k)
            {
                const unsigned type = typeOf(fileUnits[k]);
                (type == 7 ? sps : type == 8 ? pps : rest).push_back(fileUnits[k]);
            }
            EXPECT_EQ(p.mSpsNalUnits, sps);
            EXPECT_EQ(p.mPpsNalUnits, pps);
            EXPECT_EQ(p.mPictureNalUnits, rest);
            next += total;
        }
        EXPECT_EQ(next, fileUnits.size());
        EXPECT_TRUE(pictures.front().mIsIdr);
    }
}

TEST(AvcParser, ReferencePictures)
{
    // Baseline: each P picture refers back to its predecessors, up to 3 reference frames.
    const auto baseline = parseFile(dataPath("baseline.h264"));
    EXPECT_EQ(baseline[1].mRefPicIndices, (std::vector<std::uint32_t>{0}));
    EXPECT_EQ(baseline[3].mRefPicIndices, (std::vector<std::uint32_t>{2, 1, 0}));
    EXPECT_EQ(baseline[5].mRefPicIndices, (std::vector<std::uint32_t>{4, 3, 2}));
    EXPECT_EQ(baseline[7].mRefPicIndices, (std::vector<std::uint32_t>{6}));  // after the second IDR
    EXPECT_EQ(baseline[3].mPoc, 6);

    // B pyramid: the middle B (reference) picture lists the past picture first, the future second.
    const auto pyramid = parseFile(dataPath("main_bpyramid.h264"));
    EXPECT_EQ(pyramid[1].mPoc, 8);
    EXPECT_EQ(pyramid[2].mPoc, 4);
    EXPECT_EQ(pyramid[2].mRefPicIndices, (std::vector<std::uint32_t>{0, 1}));
    EXPECT_EQ(pyramid[3].mRefPicIndices, (std::vector<std::uint32_t>{0, 2, 1}));
    EXPECT_FALSE(pyramid[3].mIsIntraOnly);

    for (const auto& p : parseFile(dataPath("intra_only.h264")))
    {
        EXPECT_TRUE(p.mIsIntraOnly);
        EXPECT_TRUE(p.mRefPicIndices.empty());
    }
    const auto slices = parseFile(dataPath("slices4.h264"));
    EXPECT_EQ(slices[0].mPictureNalUnits.size(), 5u);  // SEI and 4 slices
    EXPECT_EQ(slices[1].mPictureNalUnits.size(), 4u);
}

TEST(AvcParser, OpeningFiles)
{
    AvcParser parser;
    EXPECT_EQ(parser.getPictureCount(), 0u);
    Picture picture;
    EXPECT_FALSE(parser.parseNextPicture(picture));
    EXPECT_FALSE(parser.openFile(dataPath("no-such-file.h264")));
    EXPECT_FALSE(parser.parseNextPicture(picture));

    // A second open starts over on the new file.
    ASSERT_TRUE(parser.openFile(dataPath("baseline.h264")));
    ASSERT_TRUE(parser.parseNextPicture(picture));
    ASSERT_TRUE(parser.openFile(std::string(dataPath("multi_idr.h264"))));
    EXPECT_EQ(parser.getPictureCount(), 12u);
    const auto pictures = parseAll(parser);
    ASSERT_EQ(pictures.size(), 12u);
    EXPECT_EQ(pictures[0].mDecodeIndex, 0);
    EXPECT_EQ(pictures[1].mDisplayIndex, 3);
    EXPECT_FALSE(parser.parseNextPicture(picture));
    EXPECT_FALSE(parser.parseNextPicture(picture));
    EXPECT_TRUE(picture.mPictureNalUnits.empty());

    const std::string empty = writeTempFile("empty.h264", {});
    ASSERT_TRUE(parser.openFile(empty));
    EXPECT_EQ(parser.getPictureCount(), 0u);
    EXPECT_FALSE(parser.parseNextPicture(picture));

    const std::string zeros = writeTempFile("zeros.h264", Bytes(16, 0));
    try
    {
        parser.openFile(zeros);
        FAIL() << "expected an error";
    }
    catch (const std::runtime_error& e)
    {
        EXPECT_STREQ(e.what(), "No data in NAL unit after start code?");
    }

    // Parameter sets alone make no picture.
    AvcParser onlySets;
    ASSERT_TRUE(onlySets.openFile(writeTempFile("sets.h264", join({spsUnit(1), ppsUnit()}))));
    EXPECT_EQ(onlySets.getPictureCount(), 0u);
    EXPECT_FALSE(onlySets.parseNextPicture(picture));
}

TEST(AvcParser, StreamErrors)
{
    // Field pictures of an interlaced stream.
    SliceSpec field = idrSlice();
    field.fieldCapable = true;
    field.fieldPic = true;
    expectStreamError(join({spsUnit(1, false), ppsUnit(), sliceUnit(field)}), "field.h264");
    SliceSpec frame = idrSlice();
    frame.fieldCapable = true;
    EXPECT_EQ(
        parseFile(writeTempFile("framecoded.h264", join({spsUnit(1, false), ppsUnit(), sliceUnit(frame)}))).size(), 1u);

    // A P picture with nothing before it to refer to.
    expectStreamError(join({spsUnit(1), ppsUnit(), sliceUnit(pSlice(1))}), "startsWithP.h264");
    // ... or only pictures of another size: here a (hostile) IDR picture that is not a reference
    // clears the store, then the size changes.
    SliceSpec nonRefIdr = idrSlice();
    nonRefIdr.refIdc = 0;
    expectStreamError(join({spsUnit(1), ppsUnit(), sliceUnit(nonRefIdr), spsUnit(1, true, 2), sliceUnit(pSlice(1))}),
                      "sizeChange.h264");
    // Without the size change the empty list falls back to the stored picture of the same size.
    const auto fallback = parseFile(
        writeTempFile("fallback.h264", join({spsUnit(1), ppsUnit(), sliceUnit(nonRefIdr), sliceUnit(pSlice(1))})));
    ASSERT_EQ(fallback.size(), 2u);
    EXPECT_EQ(fallback[1].mRefPicIndices, (std::vector<std::uint32_t>{0}));

    // Slices without their parameter sets; a file that does not start with a start code.
    expectStreamError(join({ppsUnit(), sliceUnit(idrSlice())}), "noSps.h264");
    expectStreamError(join({spsUnit(1), sliceUnit(idrSlice())}), "noPps.h264");
    expectStreamError(Bytes{0x47, 0x40, 0x11, 0x10, 0x00}, "noStartCode.h264");

    // More than 16 active references, and more modifications than references.
    SliceSpec manyRefs = pSlice(1);
    manyRefs.overrideMinus1 = 16;
    expectStreamError(join({spsUnit(1), ppsUnit(), sliceUnit(idrSlice()), sliceUnit(manyRefs)}), "refs17.h264");
    SliceSpec manyMods = pSlice(1);
    manyMods.overrideMinus1 = 15;
    manyMods.modifications.assign(17, {0, 0});
    expectStreamError(join({spsUnit(1), ppsUnit(), sliceUnit(idrSlice()), sliceUnit(manyMods)}), "mods17.h264");

    // A modification naming a picture that is not stored.
    SliceSpec missing = pSlice(2);
    missing.modifications = {{0, 4}};
    expectStreamError(join({spsUnit(2), ppsUnit(), sliceUnit(idrSlice()), sliceUnit(pSlice(1)), sliceUnit(missing)}),
                      "missingRef.h264");
}

TEST(AvcParser, ListModificationsAndSlidingWindow)
{
    // Four reference frames; the last P picture moves frame 1 (decode index 1) to the front and
    // uses 16 operations, the most a list can take.
    SliceSpec modified = pSlice(4);
    modified.overrideMinus1 = 15;
    modified.modifications = {{0, 2}};  // PicNum 4 - 3 = 1
    std::vector<Bytes> units{spsUnit(4), ppsUnit(), sliceUnit(idrSlice())};
    for (unsigned f = 1; f < 4; ++f)
    {
        units.push_back(sliceUnit(pSlice(f)));
    }
    units.push_back(sliceUnit(modified));
    SliceSpec sixteen = pSlice(5);
    sixteen.overrideMinus1 = 15;
    for (unsigned n = 0; n < 16; ++n)
    {
        // PicNum 4, 3, 4, 3 ...: one down from the current 5, then down and up by one in turn.
        sixteen.modifications.push_back({(n == 0 || n % 2 == 1) ? 0u : 1u, 0u});
    }
    units.push_back(sliceUnit(sixteen));
    const auto pictures = parseFile(writeTempFile("modified.h264", join(units)));
    ASSERT_EQ(pictures.size(), 6u);
    EXPECT_EQ(pictures[3].mRefPicIndices, (std::vector<std::uint32_t>{2, 1, 0}));
    EXPECT_EQ(pictures[4].mRefPicIndices, (std::vector<std::uint32_t>{1, 3, 2, 0}));
    EXPECT_EQ(pictures[5].mRefPicIndices.front(), 4u);

    // max_num_ref_frames 0: the store still keeps exactly one reference frame.
    std::vector<Bytes> window{spsUnit(0), ppsUnit(), sliceUnit(idrSlice())};
    for (unsigned f = 1; f < 40; ++f)
    {
        window.push_back(sliceUnit(pSlice(f % 16)));
    }
    const auto windowed = parseFile(writeTempFile("window.h264", join(window)));
    ASSERT_EQ(windowed.size(), 40u);
    for (std::size_t i = 1; i < windowed.size(); ++i)
    {
        EXPECT_EQ(windowed[i].mRefPicIndices, (std::vector<std::uint32_t>{std::uint32_t(i - 1)}));
        EXPECT_EQ(windowed[i].mPoc, std::int32_t(2 * ((i / 16) * 16 + i % 16)));
    }
}

TEST(AvcParser, AdaptiveMarking)
{
    // Frame 1 turns the IDR picture into a long-term one (after allowing index 0 with operation 4),
    // so frame 2 lists the short-term frame 1 first, then the long-term frame.
    SliceSpec toLongTerm = pSlice(1);
    toLongTerm.mmcos = {{4, 1}, {3, 0, 0}};
    // Frame 3 drops short-term frame 2 (PicNum 3 - 1 = 2) and ends with operation 5.
    SliceSpec dropAndReset = pSlice(3);
    dropAndReset.mmcos = {{1, 0}, {5}};
    const auto pictures = parseFile(writeTempFile(
        "mmco.h264", join({spsUnit(3), ppsUnit(2), sliceUnit(idrSlice()), sliceUnit(toLongTerm), sliceUnit(pSlice(2)),
                           sliceUnit(dropAndReset), sliceUnit(pSlice(1)), sliceUnit(pSlice(2))})));
    ASSERT_EQ(pictures.size(), 6u);
    EXPECT_EQ(pictures[2].mRefPicIndices, (std::vector<std::uint32_t>{1, 0}));
    EXPECT_EQ(pictures[3].mRefPicIndices, (std::vector<std::uint32_t>{2, 1, 0}));
    EXPECT_EQ(pictures[3].mPoc, 6);
    // After operation 5 only frame 3 is left, and it counts as frame_num 0.
    EXPECT_EQ(pictures[4].mRefPicIndices, (std::vector<std::uint32_t>{3}));
    EXPECT_EQ(pictures[4].mPoc, 2);
    EXPECT_EQ(pictures[5].mRefPicIndices, (std::vector<std::uint32_t>{4, 3}));
    EXPECT_EQ(pictures[5].mPoc, 4);
    // One run from the IDR picture: equal counts keep their decoding order.
    EXPECT_EQ(pictures[4].mDisplayIndex, 2);
    EXPECT_EQ(pictures[1].mDisplayIndex, 1);
    EXPECT_EQ(pictures[3].mDisplayIndex, 5);

    // A long-term index named by operation 6 moves to the current picture.
    SliceSpec current = pSlice(1);
    current.mmcos = {{4, 2}, {6, 1}};
    SliceSpec again = pSlice(2);
    again.mmcos = {{6, 1}};
    const auto longTerm =
        parseFile(writeTempFile("mmco6.h264", join({spsUnit(2), ppsUnit(1), sliceUnit(idrSlice()), sliceUnit(current),
                                                    sliceUnit(again), sliceUnit(pSlice(3))})));
    ASSERT_EQ(longTerm.size(), 4u);
    EXPECT_EQ(longTerm[2].mRefPicIndices, (std::vector<std::uint32_t>{0, 1}));
    // Frame 1 lost index 1 to frame 2; the IDR picture is still short-term.
    EXPECT_EQ(longTerm[3].mRefPicIndices, (std::vector<std::uint32_t>{0, 2}));
}

TEST(AvcParser, PictureOrderCountType1)
{
    // Cycle of two reference frames with offsets 2 and 4, -1 for non-reference pictures.
    BitWriter sps;
    sps.bits(66, 8).bits(0, 8).bits(30, 8).ue(0).ue(0).ue(1);
    sps.flag(false).se(-1).se(0).ue(2).se(2).se(4);
    sps.ue(2).flag(false).ue(1).ue(1).flag(true).flag(true).flag(false).flag(false);
    auto slice = [](SliceSpec s, int delta)
    {
        s.pocType1 = true;
        s.deltaPoc0 = delta;
        return sliceUnit(s);
    };
    const auto pictures = parseFile(
        writeTempFile("poc1.h264", join({sps.nalUnit(0x67), ppsUnit(), slice(idrSlice(), 0), slice(pSlice(1), 0),
                                         slice(pSlice(2, 0), 0), slice(pSlice(2), 1), slice(pSlice(3), 0)})));
    ASSERT_EQ(pictures.size(), 5u);
    const std::vector<std::int32_t> pocs = parsertest::fieldOfEach(pictures, &Picture::mPoc);
    EXPECT_EQ(pocs, (std::vector<std::int32_t>{0, 2, 1, 7, 8}));
    EXPECT_EQ(pictures[2].mDisplayIndex, 1);
    EXPECT_EQ(pictures[1].mDisplayIndex, 2);
}

TEST(AvcParser, PictureOrderCountType0AfterOperation5)
{
    // MaxPicOrderCntLsb 16. The picture with operation 5 has count 12 and, as a frame, counts as 0
    // afterwards: the next picture's lsb 2 gives 2 (not 18, as measuring from 12 would).
    BitWriter sps;
    sps.bits(77, 8).bits(0, 8).bits(30, 8).ue(0).ue(0).ue(0).ue(0);
    sps.ue(2).flag(false).ue(1).ue(1).flag(true).flag(true).flag(false).flag(false);
    auto slice = [](SliceSpec s, int lsb)
    {
        s.pocLsb = lsb;
        return sliceUnit(s);
    };
    SliceSpec reset = pSlice(2);
    reset.mmcos = {{5}};
    const auto pictures = parseFile(
        writeTempFile("poc0.h264", join({sps.nalUnit(0x67), ppsUnit(), slice(idrSlice(), 0), slice(pSlice(1), 6),
                                         slice(reset, 12), slice(pSlice(1), 2), slice(pSlice(2), 14)})));
    ASSERT_EQ(pictures.size(), 5u);
    EXPECT_EQ(pictures[2].mPoc, 12);
    EXPECT_EQ(pictures[3].mPoc, 2);
    EXPECT_EQ(pictures[4].mPoc, -2);  // lsb 14 after 2 wraps backwards
    EXPECT_EQ(pictures[3].mRefPicIndices, (std::vector<std::uint32_t>{2}));
}

TEST(AvcParser, DataPartitionsCountAsFirstSlices)
{
    SliceSpec partA = pSlice(1);
    partA.nalType = 2;
    SliceSpec partB = pSlice(1);
    partB.nalType = 3;
    SliceSpec partC = pSlice(1);
    partC.nalType = 4;
    const auto pictures =
        parseFile(writeTempFile("partitions.h264", join({spsUnit(1), ppsUnit(), sliceUnit(idrSlice()), sliceUnit(partA),
                                                         sliceUnit(partB), sliceUnit(partC)})));
    ASSERT_EQ(pictures.size(), 4u);
    EXPECT_EQ(pictures[1].mPoc, 2);
    EXPECT_EQ(pictures[2].mPoc, 2);
    EXPECT_EQ(pictures[2].mPictureNalUnits.size(), 1u);

    // Partitions B and C belong with a partition A; alone they cannot be read.
    expectStreamError(join({spsUnit(1), ppsUnit(), sliceUnit(partB)}), "partitionB.h264");
}

TEST(AvcParser, ParameterSetsResentInsideAPicture)
{
    // A picture of two slices with both parameter sets re-sent (changed) between them: the first
    // slice keeps the records it was read with.
    SliceSpec second = idrSlice();
    second.firstMb = 1;
    const auto pictures =
        parseFile(writeTempFile("resent.h264", join({spsUnit(1), ppsUnit(), sliceUnit(idrSlice()), spsUnit(2),
                                                     ppsUnit(1), sliceUnit(second), sliceUnit(pSlice(1))})));
    ASSERT_EQ(pictures.size(), 2u);
    EXPECT_EQ(pictures[0].mSpsNalUnits.size(), 2u);
    EXPECT_EQ(pictures[0].mPpsNalUnits.size(), 2u);
    EXPECT_EQ(pictures[0].mPictureNalUnits.size(), 2u);
    EXPECT_EQ(pictures[1].mRefPicIndices, (std::vector<std::uint32_t>{0}));

    // The same with a real stream: its parameter sets copied in after the first slice.
    std::vector<Bytes> units = splitUnits(readFile(dataPath("slices4.h264")));
    const Bytes sps = units[0];
    const Bytes pps = units[1];
    units.insert(units.begin() + 4, {sps, pps});
    const auto real = parseFile(writeTempFile("resentReal.h264", join(units)));
    ASSERT_EQ(real.size(), 8u);
    EXPECT_EQ(real[0].mSpsNalUnits.size(), 2u);
    EXPECT_EQ(real[0].mPictureNalUnits.size(), 5u);
}

// Cut and changed streams end in a value or a clean error, never in a crash (the sanitizer build
// runs these too).
TEST(AvcParser, TruncationAndMutationSweeps)
{
    for (const char* name : {"main_bpyramid.h264", "refs_weighted.h264"})
    {
        const Bytes file = readFile(dataPath(name));
        const std::string path = writeTempFile(std::string("sweep_") + name, {});
        auto run = [&](const Bytes& bytes)
        {
            parsertest::writeFile(path, bytes);
            try
            {
                for (const auto& p : parseFile(path))
                {
                    EXPECT_LE(p.mRefPicIndices.size(), 33u);
                }
            }
            catch (const std::exception&)
            {
            }
        };
        for (std::size_t size = 0; size < file.size(); size += (size < 128 ? 1 : 41))
        {
            run(Bytes(file.begin(), file.begin() + std::ptrdiff_t(size)));
        }
        for (std::size_t bit = 0; bit < file.size() * 8; bit += (bit < 1024 ? 1 : 97))
        {
            Bytes mutated = file;
            mutated[bit / 8] ^= std::uint8_t(0x80u >> (bit % 8));
            run(mutated);
        }
    }
}
