#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

#include "BitStream.h"
#include "H265BitWriter.h"
#include "H265ParameterSets.h"
#include "ParserInterface.h"

using h265test::BitWriter;
using h265test::Bytes;

namespace
{
BitStream rbspOf(const Bytes& nalUnit)
{
    BitStream bits = parsertest::rbspStream(nalUnit);
    readH265NalHeader(bits);
    return bits;
}

std::shared_ptr<H265Sps> spsOf(const Bytes& nalUnit, const H265Vps* vps = nullptr)
{
    BitStream bits = parsertest::rbspStream(nalUnit);
    const H265NalHeader header = readH265NalHeader(bits);
    return parseH265Sps(bits, header, vps);
}

struct LayeredVpsOptions
{
    unsigned numProfileTierLevelsMinus1 = 1;
    unsigned profileTierLevelIdxBits = 1;
    unsigned profileTierLevelIdx = 1;
    unsigned numAddOlss = 0;
    unsigned numRepFormatsMinus1 = 0;
};

/// A two-layer VPS: base layer plus one multiview enhancement layer that predicts from it, two
/// layer sets, two profile/tier/level entries and one representation format of 64x48.
Bytes makeTwoLayerVps(const LayeredVpsOptions& o = {})
{
    BitWriter w;
    w.bits(0, 4).flag(true).flag(true).bits(1, 6).bits(0, 3).flag(true).bits(0xffff, 16).ptl();
    w.flag(true).ue(4).ue(0).ue(0);
    w.bits(1, 6).ue(1).flag(true).flag(true);  // vps_max_layer_id 1; layer set 1 = {0, 1}
    w.flag(false);                             // timing
    w.flag(true);                              // vps_extension_flag
    while (!w.aligned())
    {
        w.flag(true);
    }
    w.ptl(false);                           // the base layer's entry without profile
    w.flag(false).bits(0x4000, 16);         // no splitting; scalability type 1 (multiview)
    w.bits(0, 3);                           // dimension_id_len_minus1
    w.flag(false);                          // layer ids not signalled
    w.bits(1, 1);                           // dimension_id[1][0]
    w.bits(0, 4);                           // view_id_len
    w.flag(true);                           // direct_dependency_flag[1][0]
    w.flag(false).flag(false).flag(false);  // sub-layer and tid flags, default ref layers
    w.ue(o.numProfileTierLevelsMinus1);
    for (unsigned i = 2; i <= o.numProfileTierLevelsMinus1 && i < 64; ++i)
    {
        w.flag(false).ptl(false);
    }
    w.ue(o.numAddOlss).bits(0, 2);  // num_add_olss, default_output_layer_idc
    w.bits(o.profileTierLevelIdx, o.profileTierLevelIdxBits).bits(o.profileTierLevelIdx, o.profileTierLevelIdxBits);
    w.ue(o.numRepFormatsMinus1).bits(64, 16).bits(48, 16).flag(true);  // one rep_format
    w.bits(1, 2).bits(0, 4).bits(0, 4).flag(false);
    w.flag(false).flag(false);  // max_one_active_ref_layer_flag, vps_poc_lsb_aligned_flag
    return w.nalUnit(32);
}
}  // namespace

TEST(H265ParameterSets, VpsWithOneHrdEntryHasNoCommonInfoFlag)
{
    BitWriter w;
    w.bits(3, 4).flag(true).flag(true).bits(0, 6).bits(0, 3).flag(true).bits(0xffff, 16).ptl();
    w.flag(true).ue(4).ue(0).ue(0).bits(0, 6).ue(0);
    w.flag(true).bits(1001, 32).bits(60000, 32).flag(false);  // timing
    w.ue(1).ue(0);                                            // one HRD entry for layer set 0
    w.flag(false).flag(false);                                // no NAL or VCL HRD
    w.flag(true).ue(5).ue(0);                                 // fixed rate, elemental duration 5, one CPB
    w.flag(false);                                            // vps_extension_flag
    BitStream bits = rbspOf(w.nalUnit(32));
    const auto vps = parseH265Vps(bits);
    EXPECT_EQ(vps->vpsVideoParameterSetId, 3u);
    EXPECT_EQ(vps->vpsTimeScale, 60000u);
    ASSERT_EQ(vps->hrdParameters.size(), 1u);
    EXPECT_TRUE(vps->cprmsPresentFlag[0]);
    ASSERT_EQ(vps->hrdParameters[0].subLayers.size(), 1u);
    EXPECT_EQ(vps->hrdParameters[0].subLayers[0].elementalDurationInTcMinus1, 5u);
    EXPECT_FALSE(vps->vpsExtensionFlag);
    EXPECT_EQ(vps->profileTierLevel.generalProfileIdc, 1);
    EXPECT_EQ(vps->profileTierLevel.generalLevelIdc, 93);
    EXPECT_TRUE(vps->profileTierLevel.generalProgressiveSourceFlag);
    EXPECT_TRUE(vps->profileTierLevel.generalFrameOnlyConstraintFlag);
}

TEST(H265ParameterSets, VpsExtensionDerivesLayerTables)
{
    BitStream bits = rbspOf(makeTwoLayerVps());
    const auto vps = parseH265Vps(bits);
    ASSERT_TRUE(vps->vpsExtensionFlag);
    const H265VpsExtension& ext = vps->extension;
    EXPECT_EQ(ext.numScalabilityTypes, 1u);
    EXPECT_EQ(vps->layerIdxInVps(1), 1u);
    EXPECT_EQ(vps->numDirectRefLayers(1), 1u);
    EXPECT_EQ(ext.idDirectRefLayer[1], (std::vector<std::uint8_t>{0}));
    EXPECT_EQ(ext.numIndependentLayers, 1u);
    EXPECT_EQ(ext.numViews, 2u);
    EXPECT_EQ(ext.dimensionId[1], (std::vector<std::uint32_t>{1}));
    ASSERT_EQ(ext.profileTierLevels.size(), 2u);
    EXPECT_EQ(ext.profileTierLevels[1].generalProfileIdc, 1) << "profile inferred from the base entry";
    EXPECT_EQ(ext.numOutputLayerSets, 2u);
    EXPECT_EQ(ext.outputLayerFlag[1], (std::vector<bool>{true, true}));
    EXPECT_EQ(ext.profileTierLevelIdx[1], (std::vector<std::uint32_t>{1, 1}));
    ASSERT_EQ(ext.repFormats.size(), 1u);
    EXPECT_EQ(ext.repFormats[0].picWidthVpsInLumaSamples, 64);
    EXPECT_EQ(ext.repFormats[0].chromaFormatVpsIdc, 1);
    EXPECT_FALSE(vps->pocLsbNotPresent(1));
    // Look-ups beyond the tables are refused, not read out of bounds.
    EXPECT_THROW(vps->layerIdxInVps(2), std::out_of_range);
    EXPECT_THROW(vps->layerIdxInVps(64), std::out_of_range);
    EXPECT_THROW(vps->numDirectRefLayers(64), std::out_of_range);
}

TEST(H265ParameterSets, SpsFieldsAndConformanceWindow)
{
    BitWriter w;
    w.bits(0, 4).bits(0, 3).flag(true).ptl();
    w.ue(2).ue(1).ue(72).ue(56).flag(true).ue(0).ue(3).ue(0).ue(3);  // 66x50 after the window
    w.ue(2).ue(2).ue(4).flag(true).ue(4).ue(2).ue(0);
    w.ue(0).ue(1).ue(0).ue(2).ue(1).ue(1).flag(false).flag(true).flag(true).flag(false);
    w.ue(1).rps(false, {-1, -3}, {2});
    w.flag(false).flag(true).flag(true).flag(false).flag(false);
    const auto sps = spsOf(w.nalUnit(33));
    EXPECT_EQ(sps->spsSeqParameterSetId, 2u);
    EXPECT_EQ(sps->picWidthInLumaSamples, 72u);
    EXPECT_EQ(sps->croppedWidth(), 66u);
    EXPECT_EQ(sps->croppedHeight(), 50u);
    EXPECT_EQ(sps->bitDepthLumaMinus8, 2u);
    EXPECT_EQ(sps->ctbLog2SizeY(), 4u);
    EXPECT_EQ(sps->picSizeInCtbsY(), 5u * 4u);
    ASSERT_EQ(sps->shortTermRefPicSets.size(), 1u);
    const auto& rps = sps->shortTermRefPicSets[0];
    EXPECT_EQ(rps.deltaPocS0, (std::vector<std::int32_t>{-1, -3}));
    EXPECT_EQ(rps.deltaPocS1, (std::vector<std::int32_t>{2}));
    EXPECT_TRUE(sps->spsTemporalMvpEnabledFlag);
}

TEST(H265ParameterSets, PredictedReferencePictureSet)
{
    // Set 1 predicted from set 0 {-1, -3 | +2} with deltaRps -1, keeping every entry and
    // adding deltaRps itself: {-1, -2, -4 | +1}.
    BitWriter w;
    w.rps(false, {-1, -3}, {2});
    w.flag(true).flag(true).ue(0);  // inter_ref_pic_set_prediction_flag, sign -, abs_delta_rps_minus1 0
    for (int j = 0; j < 4; ++j)
    {
        w.flag(true);
    }
    BitStream bits(w.rbsp());
    std::vector<H265ShortTermRefPicSet> sets(1);
    parseH265ShortTermRefPicSet(bits, 0, 2, sets, sets[0]);
    H265ShortTermRefPicSet predicted;
    parseH265ShortTermRefPicSet(bits, 1, 2, sets, predicted);
    EXPECT_EQ(predicted.deltaPocS0, (std::vector<std::int32_t>{-1, -2, -4}));
    EXPECT_EQ(predicted.deltaPocS1, (std::vector<std::int32_t>{1}));
    EXPECT_EQ(predicted.numDeltaPocs(), 4u);
}

TEST(H265ParameterSets, ReferencePictureSetsAboveSixteenEntriesAreRefused)
{
    std::vector<int> sixteen;
    for (int i = 1; i <= 16; ++i)
    {
        sixteen.push_back(-i);
    }
    {
        BitWriter w;
        w.rps(false, sixteen, {1});
        BitStream bits(w.rbsp());
        H265ShortTermRefPicSet rps;
        EXPECT_THROW(parseH265ShortTermRefPicSet(bits, 0, 1, {}, rps), H265StreamError);
    }
    {
        // Sixteen entries, then a prediction that keeps them all and adds one more.
        BitWriter w;
        w.rps(false, sixteen, {});
        w.flag(true).flag(true).ue(0);  // deltaRps -1: -2 to -17, and -1 itself
        for (int j = 0; j <= 16; ++j)
        {
            w.flag(true);
        }
        BitStream bits(w.rbsp());
        std::vector<H265ShortTermRefPicSet> sets(1);
        parseH265ShortTermRefPicSet(bits, 0, 2, sets, sets[0]);
        H265ShortTermRefPicSet predicted;
        EXPECT_THROW(parseH265ShortTermRefPicSet(bits, 1, 2, sets, predicted), H265StreamError);
    }
}

TEST(H265ParameterSets, SpsValuesOutsideTheirRangesAreRefused)
{
    using h265test::SpsOptions;
    const std::vector<std::pair<const char*, std::function<void(SpsOptions&)>>> cases = {
        {"MaxPicOrderCntLsb above 2^16", [](SpsOptions& o) { o.log2MaxPocLsbMinus4 = 13; }},
        {"coding tree block of 128", [](SpsOptions& o) { o.log2DiffMaxMinCb = 4; }},
        {"minimum coding block of 64", [](SpsOptions& o) { o.log2MinCbMinus3 = 4; }},
        {"zero width", [](SpsOptions& o) { o.width = 0; }},
        {"seventeen references",
         [](SpsOptions& o) {
             o.refPicSets = {{{-1, -2, -3, -4, -5, -6, -7, -8, -9, -10, -11, -12, -13, -14, -15, -16}, {1}}};
         }},
        {"33 long-term pictures",
         [](SpsOptions& o)
         {
             o.longTermPresent = true;
             o.longTermLsbs.assign(33, 0);
         }},
        {"seq parameter set id 16", [](SpsOptions& o) { o.id = 16; }},
    };
    for (const auto& c : cases)
    {
        SpsOptions options;
        c.second(options);
        EXPECT_THROW(spsOf(h265test::makeSps(options)), H265StreamError) << c.first;
    }
    EXPECT_NO_THROW(spsOf(h265test::makeSps(SpsOptions())));

    // 65 short-term sets: refused before any of them is read.
    BitWriter w;
    w.bits(0, 4).bits(0, 3).flag(true).ptl();
    w.ue(0).ue(1).ue(64).ue(64).flag(false).ue(0).ue(0).ue(4).flag(true).ue(4).ue(0).ue(0);
    w.ue(0).ue(1).ue(0).ue(2).ue(0).ue(0).flag(false).flag(false).flag(false).flag(false).ue(65);
    EXPECT_THROW(spsOf(w.nalUnit(33)), H265StreamError);
}

TEST(H265ParameterSets, MultiLayerSpsWithoutRepresentationFormatHasNoSize)
{
    BitWriter w;
    w.bits(0, 4).bits(7, 3).ue(1).flag(false).ue(4);
    w.ue(0).ue(1).ue(0).ue(2).ue(0).ue(0).flag(false).flag(false).flag(false).flag(false);
    w.ue(0).flag(false).flag(false).flag(false).flag(false).flag(false);
    const auto sps = spsOf(w.nalUnit(33, 1));
    EXPECT_TRUE(sps->multiLayerExtSpsFlag);
    EXPECT_EQ(sps->spsSeqParameterSetId, 1u);
    EXPECT_EQ(sps->picWidthInLumaSamples, 0u);
    EXPECT_EQ(sps->picHeightInLumaSamples, 0u);
    EXPECT_EQ(sps->log2MaxPicOrderCntLsbMinus4, 4u);
}

TEST(H265ParameterSets, ScalingListData)
{
    BitWriter w;
    w.flag(true);  // size 0, matrix 0: explicit, deltas of +1 from 8
    for (int i = 0; i < 16; ++i)
    {
        w.se(1);
    }
    for (int sizeId = 0; sizeId < 4; ++sizeId)
    {
        for (int matrixId = sizeId == 0 ? 1 : 0; matrixId < 6; matrixId += sizeId == 3 ? 3 : 1)
        {
            w.flag(false).ue(0);
        }
    }
    BitStream bits(w.rbsp());
    H265ScalingListData data;
    parseH265ScalingListData(bits, data);
    ASSERT_EQ(data.matrices[0][0].coefficients.size(), 16u);
    EXPECT_EQ(data.matrices[0][0].coefficients.front(), 9);
    EXPECT_EQ(data.matrices[0][0].coefficients.back(), 24);

    // A 32x32 matrix may only refer to the one before it.
    BitWriter bad;
    for (int i = 0; i < 6 * 3; ++i)
    {
        bad.flag(false).ue(0);
    }
    bad.flag(false).ue(0).flag(false).ue(2);
    BitStream badBits(bad.rbsp());
    EXPECT_THROW(parseH265ScalingListData(badBits, data), H265StreamError);
}

TEST(H265ParameterSets, PpsFieldsAndRanges)
{
    BitStream bits = rbspOf(h265test::makePps({5, 3, true, true, 2, 1, true}));
    const auto pps = parseH265Pps(bits);
    EXPECT_EQ(pps->ppsPicParameterSetId, 5u);
    EXPECT_EQ(pps->ppsSeqParameterSetId, 3u);
    EXPECT_TRUE(pps->tilesEnabledFlag);
    EXPECT_EQ(pps->numTileColumnsMinus1, 2u);
    EXPECT_EQ(pps->numTileRowsMinus1, 1u);
    EXPECT_TRUE(pps->entropyCodingSyncEnabledFlag);
    EXPECT_TRUE(pps->listsModificationPresentFlag);

    BitStream badId = rbspOf(h265test::makePps({64, 0}));
    EXPECT_THROW(parseH265Pps(badId), H265StreamError);
    BitStream badTiles = rbspOf(h265test::makePps({0, 0, false, true, 5000, 0}));
    EXPECT_THROW(parseH265Pps(badTiles), H265StreamError);
}

TEST(H265ParameterSets, HugeCountsOnShortDataEndInAnError)
{
    // 1024 layer sets of 64 layers announced by a VPS that ends right after the count.
    BitWriter w;
    w.bits(0, 4).flag(true).flag(true).bits(0, 6).bits(0, 3).flag(true).bits(0xffff, 16).ptl();
    w.flag(true).ue(4).ue(0).ue(0).bits(63, 6).ue(1023);
    BitStream bits = rbspOf(w.nalUnit(32));
    EXPECT_THROW(parseH265Vps(bits), std::out_of_range);
}

TEST(H265ParameterSets, TruncatedAndMutatedSetsFailCleanly)
{
    const std::vector<Bytes> units = {makeTwoLayerVps(), h265test::makeVps(), h265test::makeSps({}),
                                      h265test::makePps({0, 0, true, true, 1, 1, true})};
    // Parses the unit and returns how many bytes of its RBSP the parse needed (a byte read in
    // part counts), after checking that it stayed inside them.
    auto parse = [](const Bytes& unit)
    {
        BitStream bits = parsertest::rbspStream(unit);
        const H265NalHeader header = readH265NalHeader(bits);
        if (header.nalUnitType == 32)
        {
            parseH265Vps(bits);
        }
        else if (header.nalUnitType == 33)
        {
            parseH265Sps(bits, header, nullptr);
        }
        else
        {
            parseH265Pps(bits);
        }
        const std::size_t needed = bits.getPos() + (bits.isByteAligned() ? 0 : 1);
        EXPECT_LE(needed, bits.getSize()) << "the parse read past the end of its data";
        return needed;
    };
    for (const Bytes& unit : units)
    {
        const std::size_t wholeNeeds = parse(unit);
        for (std::size_t size = 6; size < unit.size(); ++size)
        {
            // The parse reads the same bits in the same order whatever follows them, so a prefix
            // that still holds them parses as the whole did, and one that does not must fail.
            const Bytes truncated(unit.begin(), unit.begin() + std::ptrdiff_t(size));
            if (parsertest::rbspStream(truncated).getSize() < wholeNeeds)
            {
                EXPECT_THROW(parse(truncated), std::exception) << "a " << size << "-byte prefix was taken for the set";
            }
            else
            {
                EXPECT_EQ(parse(truncated), wholeNeeds);
            }
        }
        for (std::size_t i = 6; i < unit.size(); ++i)
        {
            for (std::uint8_t mask : {0x01, 0x10, 0x80, 0xFF})
            {
                Bytes mutated = unit;
                mutated[i] ^= mask;
                try
                {
                    parse(mutated);
                }
                catch (const std::exception&)
                {
                    // A clean refusal; a set that parses is checked inside parse.
                }
            }
        }
    }
}

TEST(H265ParameterSets, VpsCountsOutsideTheirRangesAreRefused)
{
    struct Base
    {
        unsigned maxSubLayersMinus1 = 0;
        unsigned numLayerSetsMinus1 = 0;
        unsigned numHrd = 1;
        unsigned hrdLayerSetIdx = 0;
        unsigned cpbCntMinus1 = 0;
    };
    auto make = [](const Base& b)
    {
        BitWriter w;
        w.bits(0, 4).flag(true).flag(true).bits(0, 6).bits(b.maxSubLayersMinus1, 3).flag(true).bits(0xffff, 16);
        w.ptl().flag(false).ue(4).ue(0).ue(0).bits(0, 6).ue(b.numLayerSetsMinus1);
        for (unsigned i = 0; i < b.numLayerSetsMinus1 && i < 4; ++i)
        {
            w.flag(true);
        }
        w.flag(true).bits(1, 32).bits(25, 32).flag(false).ue(b.numHrd);
        for (unsigned i = 0; i < b.numHrd && i < 4; ++i)
        {
            w.ue(b.hrdLayerSetIdx);
            if (i > 0)
            {
                w.flag(false);
            }
            if (i == 0)
            {
                w.flag(false).flag(false);
            }
            w.flag(false).flag(false).flag(false).ue(b.cpbCntMinus1);
        }
        w.flag(false);
        return w.nalUnit(32);
    };
    auto parse = [](const Bytes& unit)
    {
        BitStream bits = rbspOf(unit);
        return parseH265Vps(bits);
    };
    EXPECT_NO_THROW(parse(make(Base())));
    const std::vector<std::pair<const char*, Base>> cases = {
        {"eight sub-layers", {7, 0, 1, 0, 0}},
        {"1025 layer sets", {0, 1024, 1, 0, 0}},
        {"more HRD entries than layer sets", {0, 1, 3, 0, 0}},
        {"HRD for a layer set that does not exist", {0, 1, 1, 2, 0}},
        {"33 CPBs", {0, 0, 1, 0, 32}},
    };
    for (const auto& c : cases)
    {
        EXPECT_THROW(parse(make(c.second)), H265StreamError) << c.first;
    }

    auto parseLayered = [](const LayeredVpsOptions& o)
    {
        BitStream bits = rbspOf(makeTwoLayerVps(o));
        return parseH265Vps(bits);
    };
    EXPECT_NO_THROW(parseLayered({}));
    LayeredVpsOptions ptls;
    ptls.numProfileTierLevelsMinus1 = 64;
    EXPECT_THROW(parseLayered(ptls), H265StreamError);
    LayeredVpsOptions ptlIdx;
    ptlIdx.numProfileTierLevelsMinus1 = 2;
    ptlIdx.profileTierLevelIdxBits = 2;
    ptlIdx.profileTierLevelIdx = 3;
    EXPECT_THROW(parseLayered(ptlIdx), H265StreamError);
    LayeredVpsOptions olss;
    olss.numAddOlss = 1024;
    EXPECT_THROW(parseLayered(olss), H265StreamError);
    LayeredVpsOptions reps;
    reps.numRepFormatsMinus1 = 256;
    EXPECT_THROW(parseLayered(reps), H265StreamError);
}
