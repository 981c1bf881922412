#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <stdexcept>
#include <string>

#include "CurrentTestFolder.h"
#include "H265BitWriter.h"
#include "H265Parser.h"

using h265test::BitWriter;
using h265test::Bytes;
using h265test::join;
using parsertest::dataPath;
using parsertest::parseAll;
using PictureData = ParserInterface::PictureData;

namespace
{
std::string tempPath(const std::string& name)
{
    return testsupport::CurrentTestFolder::path(name);
}

std::vector<PictureData> parseBytes(const Bytes& stream, const std::string& name)
{
    const std::string path = tempPath(name);
    h265test::writeFile(path, stream);
    H265Parser parser;
    if (!parser.openFile(path))
    {
        throw std::runtime_error("cannot open " + path);
    }
    return parseAll(parser);
}

/// True when the units of the picture, in some order, make up the bytes of file from offset on;
/// advances offset past them.
bool consumesNext(const Bytes& file, std::size_t& offset, const PictureData& picture)
{
    std::vector<const Bytes*> units;
    for (const auto* list :
         {&picture.mVpsNalUnits, &picture.mSpsNalUnits, &picture.mPpsNalUnits, &picture.mPictureNalUnits})
    {
        for (const auto& unit : *list)
        {
            units.push_back(&unit);
        }
    }
    while (!units.empty())
    {
        auto match =
            std::find_if(units.begin(), units.end(),
                         [&](const Bytes* unit)
                         {
                             return unit->size() <= file.size() - offset &&
                                    std::equal(unit->begin(), unit->end(), file.begin() + std::ptrdiff_t(offset));
                         });
        if (match == units.end())
        {
            return false;
        }
        offset += (*match)->size();
        units.erase(match);
    }
    return true;
}

// ---- hand-made single-layer streams ----

struct SliceSpec
{
    unsigned nalType = 1;  // TRAIL_R
    unsigned sliceType = 1;
    unsigned ppsId = 0;
    unsigned lsb = 0;
    unsigned lsbBits = 8;
    int spsRpsIdx = -1;  // -1: the slice's own set
    unsigned spsRpsIdxBits = 0;
    bool spsHasSets = false;
    std::vector<int> negative;
    std::vector<int> positive;
    std::function<void(BitWriter&)> customRps;
    bool longTerm = false;
    bool spsHasLongTerm = false;
    std::vector<unsigned> ltIdx;
    unsigned ltIdxBits = 0;
    std::vector<unsigned> listEntries;  // with lists_modification_present_flag
    unsigned entryBits = 0;
    bool listsModification = false;
    unsigned numPicTotalCurr = 0;  // the modification syntax is there only above 1
};

Bytes makeSlice(const SliceSpec& s)
{
    BitWriter w;
    w.flag(true);
    if (s.nalType >= 16 && s.nalType <= 23)
    {
        w.flag(false);
    }
    w.ue(s.ppsId).ue(s.sliceType);
    if (s.nalType != 19 && s.nalType != 20)
    {
        w.bits(s.lsb, s.lsbBits);
        if (s.spsRpsIdx < 0)
        {
            w.flag(false);
            if (s.customRps)
            {
                s.customRps(w);
            }
            else
            {
                w.rps(s.spsHasSets, s.negative, s.positive);
            }
        }
        else
        {
            w.flag(true).bits(unsigned(s.spsRpsIdx), s.spsRpsIdxBits);
        }
        if (s.longTerm)
        {
            if (s.spsHasLongTerm)
            {
                w.ue(unsigned(s.ltIdx.size()));
            }
            w.ue(0);
            for (unsigned idx : s.ltIdx)
            {
                w.bits(idx, s.ltIdxBits).flag(false);
            }
        }
    }
    if (s.sliceType < 2)
    {
        w.flag(false);
        if (s.listsModification && s.numPicTotalCurr > 1)
        {
            w.flag(!s.listEntries.empty());
            for (unsigned entry : s.listEntries)
            {
                w.bits(entry, s.entryBits);
            }
            if (s.sliceType == 0)
            {
                w.flag(false);
            }
        }
        if (s.sliceType == 0)
        {
            w.flag(false);
        }
        w.ue(0);
    }
    w.se(0);
    return w.nalUnit(s.nalType);
}

SliceSpec pSlice(unsigned lsb, std::vector<int> negative)
{
    SliceSpec s;
    s.lsb = lsb;
    s.negative = std::move(negative);
    return s;
}

Bytes headers(const h265test::SpsOptions& sps = {}, const h265test::PpsOptions& pps = {})
{
    return join({h265test::makeVps(), h265test::makeSps(sps), h265test::makePps(pps)});
}

// ---- a hand-made two-layer stream ----

Bytes makeTwoLayerVps()
{
    BitWriter w;
    w.bits(0, 4).flag(true).flag(true).bits(1, 6).bits(0, 3).flag(true).bits(0xffff, 16).ptl();
    w.flag(true).ue(4).ue(0).ue(0).bits(1, 6).ue(1).flag(true).flag(true).flag(false).flag(true);
    while (!w.aligned())
    {
        w.flag(true);
    }
    w.ptl(false).flag(false).bits(0x4000, 16).bits(0, 3).flag(false).bits(1, 1).bits(0, 4).flag(true);
    w.flag(false).flag(false).flag(false).ue(1).ue(0).bits(0, 2).bits(1, 1).bits(1, 1);
    w.ue(0).bits(64, 16).bits(48, 16).flag(true).bits(1, 2).bits(0, 4).bits(0, 4).flag(false);
    w.flag(false).flag(false);
    return w.nalUnit(32);
}

Bytes makeExtensionSps()
{
    BitWriter w;
    w.bits(0, 4).bits(7, 3).ue(1).flag(false).ue(4);
    w.ue(0).ue(1).ue(0).ue(2).ue(0).ue(0).flag(false).flag(false).flag(false).flag(false);
    w.ue(0).flag(false).flag(false).flag(false).flag(false).flag(false);
    return w.nalUnit(33, 1);
}

Bytes makeLayeredSlice(unsigned nalType, unsigned layerId, unsigned ppsId)
{
    BitWriter w;
    w.flag(true);
    if (nalType >= 16 && nalType <= 23)
    {
        w.flag(false);
    }
    w.ue(ppsId).bits(0x55, 8);  // the rest of the header is not read
    return w.nalUnit(nalType, layerId);
}

Bytes layeredHeaders()
{
    h265test::PpsOptions enhancementPps;
    enhancementPps.id = 1;
    enhancementPps.spsId = 1;
    enhancementPps.layerId = 1;
    return join({makeTwoLayerVps(), h265test::makeSps({}), h265test::makePps({}), makeExtensionSps(),
                 h265test::makePps(enhancementPps)});
}
}  // namespace

// ---- streams made by x265 ----

struct StreamExpectation
{
    const char* file;
    unsigned count;
    unsigned width;
    unsigned height;
    std::vector<int> displayOrder;  // per decode index, from ffprobe's output order
};

class H265Streams : public testing::TestWithParam<StreamExpectation>
{
};

TEST_P(H265Streams, MatchFfprobeAndCoverTheFile)
{
    const StreamExpectation& e = GetParam();
    const Bytes file = h265test::readFile(dataPath(e.file));
    ASSERT_FALSE(file.empty());
    H265Parser parser;
    ASSERT_TRUE(parser.openFile(dataPath(e.file)));
    EXPECT_EQ(parser.getPictureCount(), e.count);

    std::size_t offset = 0;
    std::uint32_t latestIdr = 0;
    PictureData picture;
    int index = 0;
    while (parser.parseNextPicture(picture))
    {
        SCOPED_TRACE(index);
        ASSERT_LT(std::size_t(index), e.displayOrder.size());
        EXPECT_EQ(picture.mDecodeIndex, index);
        EXPECT_EQ(picture.mDisplayIndex, e.displayOrder[std::size_t(index)]);
        EXPECT_EQ(picture.mPicWidth, e.width);
        EXPECT_EQ(picture.mPicHeight, e.height);
        EXPECT_FALSE(picture.mIsLayered);
        EXPECT_TRUE(picture.mPicOutputFlag);
        if (picture.mIsIdr)
        {
            latestIdr = std::uint32_t(index);
            EXPECT_TRUE(picture.mRefPicIndices.empty());
        }
        for (std::uint32_t ref : picture.mRefPicIndices)
        {
            // Earlier pictures only, and none from before the latest IDR picture.
            EXPECT_LT(ref, std::uint32_t(index));
            EXPECT_GE(ref, latestIdr);
        }
        EXPECT_EQ(picture.mIsIntraOnly, picture.mRefPicIndices.empty());
        ASSERT_TRUE(consumesNext(file, offset, picture)) << "units do not continue the file at " << offset;
        ++index;
    }
    EXPECT_EQ(unsigned(index), e.count);
    EXPECT_EQ(offset, file.size());
    EXPECT_FALSE(parser.parseNextPicture(picture));
}

INSTANTIATE_TEST_SUITE_P(
    X265, H265Streams,
    testing::Values(StreamExpectation{"h265_10bit.h265", 4, 64, 64, {0, 2, 1, 3}},
                    StreamExpectation{"h265_444.h265", 3, 64, 48, {0, 1, 2}},
                    StreamExpectation{"h265_aud.h265", 5, 64, 64, {0, 2, 1, 4, 3}},
                    StreamExpectation{"h265_bpyramid.h265", 12, 64, 64, {0, 4, 2, 1, 3, 8, 6, 5, 7, 11, 10, 9}},
                    StreamExpectation{"h265_crop.h265", 3, 66, 50, {0, 1, 2}},
                    StreamExpectation{"h265_idrs.h265", 9, 64, 64, {0, 2, 1, 3, 5, 4, 6, 8, 7}},
                    StreamExpectation{"h265_intra.h265", 4, 64, 64, {0, 1, 2, 3}},
                    StreamExpectation{"h265_ippp.h265", 6, 64, 64, {0, 1, 2, 3, 4, 5}},
                    StreamExpectation{"h265_opengop.h265", 14, 64, 64, {0, 3, 2, 1, 5, 4, 8, 7, 6, 10, 9, 13, 12, 11}},
                    StreamExpectation{"h265_slices4.h265", 3, 64, 64, {0, 1, 2}},
                    StreamExpectation{"h265_weighted.h265", 8, 64, 64, {0, 1, 4, 3, 2, 7, 6, 5}},
                    StreamExpectation{"h265_wpp.h265", 3, 64, 64, {0, 2, 1}}),
    [](const testing::TestParamInfo<StreamExpectation>& stream)
    {
        std::string name = stream.param.file;
        name = name.substr(5, name.find('.') - 5);
        return name;
    });

TEST(H265Parser, PictureKindsOfX265Streams)
{
    H265Parser parser;
    ASSERT_TRUE(parser.openFile(dataPath("h265_opengop.h265")));
    const auto open = parseAll(parser);
    ASSERT_EQ(open.size(), 14u);
    EXPECT_TRUE(open[0].mIsIdr);
    for (std::size_t i : {4u, 9u})
    {
        EXPECT_TRUE(open[i].mIsCra);
        EXPECT_FALSE(open[i].mIsIdr);
        EXPECT_EQ(open[i].mVpsNalUnits.size(), 1u);
    }
    // The skipped leading picture after the first CRA predicts from pictures before it.
    EXPECT_EQ(open[5].mRefPicIndices, (std::vector<std::uint32_t>{1, 2, 0, 4}));

    ASSERT_TRUE(parser.openFile(dataPath("h265_idrs.h265")));
    const auto idrs = parseAll(parser);
    ASSERT_EQ(idrs.size(), 9u);
    for (std::size_t i = 0; i < idrs.size(); ++i)
    {
        EXPECT_EQ(idrs[i].mIsIdr, i % 3 == 0) << i;
    }
    // Order counts repeat after each IDR picture; references stay within the run.
    EXPECT_EQ(idrs[3].mPoc, 0);
    EXPECT_EQ(idrs[4].mRefPicIndices, (std::vector<std::uint32_t>{3}));
    EXPECT_EQ(idrs[8].mRefPicIndices, (std::vector<std::uint32_t>{6, 7}));

    ASSERT_TRUE(parser.openFile(dataPath("h265_slices4.h265")));
    for (const auto& picture : parseAll(parser))
    {
        EXPECT_EQ(picture.mPictureNalUnits.size(), 4u);
    }

    ASSERT_TRUE(parser.openFile(dataPath("h265_aud.h265")));
    const auto aud = parseAll(parser);
    ASSERT_EQ(aud.size(), 5u);
    for (const auto& picture : aud)
    {
        EXPECT_EQ(H265Parser::getH265NalUnitType(picture.mPictureNalUnits.front()), 35u);
    }
    EXPECT_EQ(aud[1].mSpsNalUnits.size(), 1u) << "repeated headers go with their picture";
}

TEST(H265Parser, OpeningASecondFileStartsOver)
{
    H265Parser fresh;
    ASSERT_TRUE(fresh.openFile(dataPath("h265_ippp.h265")));
    const auto expected = parseAll(fresh);

    H265Parser parser;
    ASSERT_TRUE(parser.openFile(dataPath("h265_bpyramid.h265")));
    PictureData picture;
    ASSERT_TRUE(parser.parseNextPicture(picture));
    ASSERT_TRUE(parser.openFile(std::string(dataPath("h265_ippp.h265"))));
    EXPECT_EQ(parser.getPictureCount(), 6u);
    const auto again = parseAll(parser);
    ASSERT_EQ(again.size(), expected.size());
    for (std::size_t i = 0; i < again.size(); ++i)
    {
        EXPECT_EQ(again[i].mDecodeIndex, expected[i].mDecodeIndex);
        EXPECT_EQ(again[i].mDisplayIndex, expected[i].mDisplayIndex);
        EXPECT_EQ(again[i].mPoc, expected[i].mPoc);
        EXPECT_EQ(again[i].mRefPicIndices, expected[i].mRefPicIndices);
        EXPECT_EQ(again[i].mPictureNalUnits, expected[i].mPictureNalUnits);
    }
    EXPECT_FALSE(parser.openFile(tempPath("does_not_exist.h265")));
    EXPECT_EQ(parser.getPictureCount(), 0u);
    EXPECT_FALSE(parser.parseNextPicture(picture));
}

TEST(H265Parser, StreamStartingAtACraPicture)
{
    // The open-GOP stream from its first CRA picture on (its parameter sets are repeated there).
    const Bytes file = h265test::readFile(dataPath("h265_opengop.h265"));
    std::size_t cut = 0;
    for (std::size_t i = 1, vpsSeen = 0; i + 4 < file.size(); ++i)
    {
        if (file[i] == 0 && file[i + 1] == 0 && file[i + 2] == 1 && ((file[i + 3] >> 1) & 0x3F) == 32 && ++vpsSeen == 2)
        {
            cut = file[i - 1] == 0 ? i - 1 : i;
            break;
        }
    }
    ASSERT_GT(cut, 0u);
    const auto pictures = parseBytes(Bytes(file.begin() + std::ptrdiff_t(cut), file.end()), "cra_start.h265");
    ASSERT_EQ(pictures.size(), 10u);
    EXPECT_TRUE(pictures[0].mIsCra);
    // References only kept for later pictures may be absent; the skipped leading picture of the
    // starting CRA comes without references; later pictures find theirs.
    EXPECT_TRUE(pictures[1].mRefPicIndices.empty());
    EXPECT_EQ(pictures[2].mRefPicIndices, (std::vector<std::uint32_t>{0}));
    EXPECT_EQ(pictures[0].mDisplayIndex, 1);
    EXPECT_EQ(pictures[1].mDisplayIndex, 0);
}

TEST(H265Parser, OrderCountsAcrossIdrPicturesAndReferenceLookUp)
{
    h265test::SpsOptions sps;
    sps.log2MaxPocLsbMinus4 = 0;  // MaxPicOrderCntLsb 16
    auto p = [](unsigned lsb, std::vector<int> negative)
    {
        // Four-bit order count lsbs.
        SliceSpec s = pSlice(lsb, std::move(negative));
        s.lsbBits = 4;
        return makeSlice(s);
    };
    const Bytes stream = join({headers(sps), h265test::makeIdrSlice(), p(7, {-7}), p(14, {-7, -14}),
                               h265test::makeIdrSlice(), p(1, {-1}), h265test::makeIdrSlice(), p(1, {-1})});
    const auto pictures = parseBytes(stream, "poc.h265");
    ASSERT_EQ(pictures.size(), 7u);
    const std::vector<int> pocs = parsertest::fieldOfEach(pictures, &PictureData::mPoc);
    // The second IDR picture (lsb 0 after lsb 14) goes on above 14 rather than back to 0; the
    // third (lsb 0 after lsb 1) repeats 16.
    EXPECT_EQ(pocs, (std::vector<int>{0, 7, 14, 16, 17, 16, 17}));
    EXPECT_EQ(pictures[2].mRefPicIndices, (std::vector<std::uint32_t>{1}));
    EXPECT_EQ(pictures[4].mRefPicIndices, (std::vector<std::uint32_t>{3}));
    // Order count 16 exists twice: the reference is the newest one, after the latest IDR.
    EXPECT_EQ(pictures[6].mRefPicIndices, (std::vector<std::uint32_t>{5}));
    const std::vector<int> display = parsertest::fieldOfEach(pictures, &PictureData::mDisplayIndex);
    EXPECT_EQ(display, (std::vector<int>{0, 1, 2, 3, 4, 5, 6}));
}

TEST(H265Parser, ReferenceSetsAndListModification)
{
    h265test::SpsOptions sps;
    sps.refPicSets = {{{-1}, {}}, {{-1, -2}, {}}, {{-1, -2, -3}, {}}};
    h265test::PpsOptions pps;
    pps.listsModification = true;
    auto fromSps = [](unsigned lsb, int idx)
    {
        SliceSpec s;
        s.lsb = lsb;
        s.spsRpsIdx = idx;
        s.spsRpsIdxBits = 2;
        s.listsModification = true;
        s.numPicTotalCurr = unsigned(idx) + 1;
        return s;
    };
    const Bytes start =
        join({headers(sps, pps), h265test::makeIdrSlice(), makeSlice(fromSps(1, 0)), makeSlice(fromSps(2, 1))});

    SliceSpec modified = fromSps(3, 2);
    modified.listEntries = {2};  // RefPicListTemp0 = {2, 1, 0}: entry 2 is order count 0
    modified.entryBits = 2;
    const auto pictures = parseBytes(join({start, makeSlice(modified)}), "listmod.h265");
    ASSERT_EQ(pictures.size(), 4u);
    EXPECT_EQ(pictures[2].mRefPicIndices, (std::vector<std::uint32_t>{1}));
    EXPECT_EQ(pictures[3].mRefPicIndices, (std::vector<std::uint32_t>{0}));

    // Foll entries may be missing: order count 1 is kept for later only and is absent here.
    const Bytes follMissing =
        join({headers(), h265test::makeIdrSlice(),
              []
              {
                  SliceSpec s = pSlice(2, {});
                  s.customRps = [](BitWriter& w) { w.ue(2).ue(0).ue(0).flag(false).ue(0).flag(true); };
                  return makeSlice(s);
              }()});
    const auto foll = parseBytes(follMissing, "foll.h265");
    ASSERT_EQ(foll.size(), 2u);
    EXPECT_EQ(foll[1].mRefPicIndices, (std::vector<std::uint32_t>{0}));
}

TEST(H265Parser, StreamErrorsInSlices)
{
    h265test::SpsOptions sps;
    sps.refPicSets = {{{-1}, {}}, {{-1, -2}, {}}, {{-1, -2, -3}, {}}};
    sps.longTermPresent = true;
    sps.longTermLsbs = {0, 1, 2};
    h265test::PpsOptions pps;
    pps.listsModification = true;
    SliceSpec base;
    base.spsHasLongTerm = true;
    base.longTerm = true;
    base.listsModification = true;
    base.spsHasSets = true;
    auto withSps = [&](unsigned lsb, int idx)
    {
        SliceSpec s = base;
        s.lsb = lsb;
        s.spsRpsIdx = idx;
        s.spsRpsIdxBits = 2;
        s.numPicTotalCurr = idx >= 0 ? unsigned(idx) + 1 : 0;
        return s;
    };
    const Bytes start =
        join({headers(sps, pps), h265test::makeIdrSlice(), makeSlice(withSps(1, 0)), makeSlice(withSps(2, 1))});
    // The start decodes.
    ASSERT_EQ(parseBytes(start, "errors_start.h265").size(), 3u);

    std::vector<std::pair<std::string, SliceSpec>> cases;
    cases.push_back({"short_term_ref_pic_set_idx beyond the SPS's sets", withSps(3, 3)});
    {
        SliceSpec s = withSps(3, 2);
        s.ltIdx = {3};
        s.ltIdxBits = 2;
        cases.push_back({"lt_idx_sps beyond the SPS's entries", s});
    }
    {
        SliceSpec s = withSps(3, -1);
        s.customRps = [](BitWriter& w) { w.flag(true).ue(3).flag(true).ue(0); };
        cases.push_back({"delta_idx_minus1 pointing before the first set", s});
    }
    {
        SliceSpec s = withSps(3, 2);
        s.listEntries = {3};
        s.entryBits = 2;
        cases.push_back({"list_entry_l0 beyond the current references", s});
    }
    {
        SliceSpec s = withSps(3, -1);
        s.negative = {-1, -5};
        s.numPicTotalCurr = 2;
        cases.push_back({"missing reference picture used by the current picture", s});
    }
    {
        SliceSpec s = withSps(3, -1);
        cases.push_back({"P slice without references", s});
    }
    {
        SliceSpec s = withSps(3, 2);
        s.ppsId = 9;
        cases.push_back({"unknown PPS", s});
    }
    for (const auto& c : cases)
    {
        EXPECT_THROW(parseBytes(join({start, makeSlice(c.second)}), "errors.h265"), H265StreamError) << c.first;
    }

    // More long-term entries from the SPS than a reference set may hold with the short-term ones.
    h265test::SpsOptions manyLongTerm;
    manyLongTerm.longTermPresent = true;
    manyLongTerm.longTermLsbs.assign(32, 0);
    SliceSpec tooMany = pSlice(1, {-1});
    tooMany.longTerm = true;
    tooMany.spsHasLongTerm = true;
    tooMany.ltIdx.assign(16, 0);
    tooMany.ltIdxBits = 5;
    EXPECT_THROW(parseBytes(join({headers(manyLongTerm), h265test::makeIdrSlice(), makeSlice(tooMany)}), "lt.h265"),
                 H265StreamError);

    // A file that does not begin with a start code cannot be examined.
    EXPECT_THROW(parseBytes(Bytes{0x40, 0x01, 0x0C, 0x01, 0xFF}, "nostart.h265"), std::runtime_error);
}

TEST(H265Parser, TwoLayerAccessUnitsAreOnePicture)
{
    const Bytes stream = join({layeredHeaders(), makeLayeredSlice(20, 0, 0), makeLayeredSlice(20, 1, 1),
                               makeLayeredSlice(1, 0, 0), makeLayeredSlice(1, 1, 1)});
    const auto pictures = parseBytes(stream, "layered.h265");
    ASSERT_EQ(pictures.size(), 2u);
    const PictureData& first = pictures[0];
    EXPECT_TRUE(first.mIsLayered);
    EXPECT_EQ(first.mPictureNalUnits.size(), 2u);
    EXPECT_EQ(first.mSpsNalUnits.size(), 2u);
    EXPECT_EQ(first.mPpsNalUnits.size(), 2u);
    EXPECT_EQ(first.mPoc, 0);
    EXPECT_TRUE(first.mIsIntraOnly);
    EXPECT_TRUE(first.mIsIdr);
    EXPECT_FALSE(first.mPicOutputFlag);
    EXPECT_EQ(first.mPicWidth, 64u);
    EXPECT_TRUE(first.mRefPicIndices.empty());
    EXPECT_EQ(pictures[1].mDecodeIndex, 1);
    EXPECT_TRUE(pictures[1].mIsIntraOnly);
    EXPECT_FALSE(pictures[1].mIsIdr);
}

TEST(H265Parser, ParameterSetResentInsideAPictureLeavesItsSlicesIntact)
{
    // Between the two layers of the first access unit the base SPS is re-sent with another
    // size: the picture keeps the record its first slice resolved; the next one uses the new.
    h265test::SpsOptions wider;
    wider.width = 128;
    const Bytes stream = join({layeredHeaders(), makeLayeredSlice(20, 0, 0), h265test::makeSps(wider),
                               makeLayeredSlice(20, 1, 1), makeLayeredSlice(1, 0, 0), makeLayeredSlice(1, 1, 1)});
    const auto pictures = parseBytes(stream, "resent.h265");
    ASSERT_EQ(pictures.size(), 2u);
    EXPECT_EQ(pictures[0].mSpsNalUnits.size(), 3u);
    EXPECT_EQ(pictures[0].mPicWidth, 64u);
    EXPECT_EQ(pictures[1].mPicWidth, 128u);
}

TEST(H265Parser, MutatedStreamsFailCleanly)
{
    const Bytes file = h265test::readFile(dataPath("h265_bpyramid.h265"));
    ASSERT_FALSE(file.empty());
    for (std::size_t i = 0; i < file.size(); i += 5)
    {
        Bytes mutated = file;
        mutated[i] ^= std::uint8_t(0x5A + i);
        try
        {
            parseBytes(mutated, "mutated.h265");
        }
        catch (const std::exception&)
        {
        }
    }
    for (std::size_t size = 1; size < 200; size += 3)
    {
        try
        {
            parseBytes(Bytes(file.begin(), file.begin() + std::ptrdiff_t(size)), "truncated.h265");
        }
        catch (const std::exception&)
        {
        }
    }
}

TEST(H265Parser, TileGridAndEntryPointsAreChecked)
{
    auto idrWithEntryPoints = [](unsigned count)
    {
        BitWriter w;
        w.flag(true).flag(false).ue(0).ue(2).se(0).ue(count);
        if (count > 0)
        {
            w.ue(0);
            for (unsigned i = 0; i < count; ++i)
            {
                w.bits(0, 1);
            }
        }
        return w.nalUnit(20);
    };
    h265test::PpsOptions wpp;
    wpp.wpp = true;
    EXPECT_EQ(parseBytes(join({headers({}, wpp), idrWithEntryPoints(3)}), "wpp3.h265").size(), 1u);
    // Four rows of coding tree blocks have at most three entry points.
    EXPECT_THROW(parseBytes(join({headers({}, wpp), idrWithEntryPoints(4)}), "wpp4.h265"), H265StreamError);

    h265test::PpsOptions tiles;
    tiles.tiles = true;
    tiles.tileColumnsMinus1 = 1;
    tiles.tileRowsMinus1 = 1;
    EXPECT_EQ(parseBytes(join({headers({}, tiles), idrWithEntryPoints(3)}), "tiles.h265").size(), 1u);
    EXPECT_THROW(parseBytes(join({headers({}, tiles), idrWithEntryPoints(4)}), "tiles4.h265"), H265StreamError);
    // Five tile columns do not fit a picture four coding tree blocks wide.
    tiles.tileColumnsMinus1 = 4;
    EXPECT_THROW(parseBytes(join({headers({}, tiles), idrWithEntryPoints(0)}), "tiles5.h265"), H265StreamError);
}

TEST(H265Parser, DependentSliceSegmentsKeepTheirDefaultSliceType)
{
    h265test::PpsOptions pps;
    pps.dependentSlices = true;
    BitWriter dependent;
    dependent.flag(false).flag(false).ue(0).flag(true).bits(8, 4);  // dependent segment at CTB 8
    const auto pictures =
        parseBytes(join({headers({}, pps), h265test::makeIdrSlice(), dependent.nalUnit(20)}), "dependent.h265");
    ASSERT_EQ(pictures.size(), 1u);
    EXPECT_EQ(pictures[0].mPictureNalUnits.size(), 2u);
    // A dependent segment reads no slice type and counts as slice type 0, so the picture is
    // not reported as intra only.
    EXPECT_FALSE(pictures[0].mIsIntraOnly);
    EXPECT_TRUE(pictures[0].mIsIdr);
}

TEST(H265Parser, AccessUnitBoundariesAroundSeiAndDelimiters)
{
    auto unit = [](unsigned type)
    {
        BitWriter w;
        w.bits(0x05, 8).bits(0x01, 8).bits(0xAB, 8);
        return w.nalUnit(type);
    };
    const Bytes aud = unit(35);
    const Bytes prefixSei = unit(39);
    const Bytes suffixSei = unit(40);
    const Bytes stream =
        join({aud, headers(), prefixSei, h265test::makeIdrSlice(), suffixSei, aud, h265test::makeIdrSlice()});
    const auto pictures = parseBytes(stream, "sei.h265");
    ASSERT_EQ(pictures.size(), 2u);
    EXPECT_EQ(pictures[0].mPictureNalUnits, (std::vector<Bytes>{aud, prefixSei, h265test::makeIdrSlice(), suffixSei}));
    EXPECT_EQ(pictures[0].mVpsNalUnits.size(), 1u);
    EXPECT_EQ(pictures[1].mPictureNalUnits, (std::vector<Bytes>{aud, h265test::makeIdrSlice()}));
    EXPECT_FALSE(pictures[0].mIsLayered);
}
