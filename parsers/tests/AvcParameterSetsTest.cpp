#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "AvcParameterSets.h"
#include "BitStream.h"
#include "ParserTestUtil.h"

using parsertest::BitWriter;
using parsertest::Bytes;
using parsertest::firstUnitOfType;

namespace
{
BitStream payloadStream(const Bytes& unit)
{
    BitStream bitstr = parsertest::rbspStream(unit);
    AvcNalHeader header;
    header.parse(bitstr);
    return bitstr;
}

AvcSequenceParameterSet parseSps(const Bytes& unit)
{
    BitStream bitstr = payloadStream(unit);
    AvcSequenceParameterSet sps;
    sps.parse(bitstr);
    return sps;
}

AvcPictureParameterSet parsePps(const Bytes& unit)
{
    BitStream bitstr = payloadStream(unit);
    AvcPictureParameterSet pps;
    pps.parse(bitstr);
    return pps;
}

// Baseline SPS head up to max_num_ref_frames' predecessor fields, in the given size.
BitWriter baselineSps(unsigned widthMbsMinus1, unsigned heightMapUnitsMinus1)
{
    BitWriter w;
    w.bits(66, 8).bits(0, 8).bits(30, 8).ue(0);  // profile, constraints, level, sps id
    w.ue(0).ue(2);                               // log2_max_frame_num_minus4, poc type 2
    w.ue(1).flag(false).ue(widthMbsMinus1).ue(heightMapUnitsMinus1);
    return w;
}

struct ConfigCase
{
    const char* file;
    unsigned chroma, lumaMinus8, chromaMinus8, width, height;
};
}  // namespace

// Width, height and pixel format as ffprobe reports them. Profiles without chroma fields in
// their SPS (baseline, main) give chroma format and bit depths 0.
TEST(AvcParameterSets, ConfigValuesOfRealStreams)
{
    const ConfigCase cases[] = {{"baseline.h264", 0, 0, 0, 128, 96},      {"main_bpyramid.h264", 0, 0, 0, 128, 96},
                                {"high_cqm.h264", 1, 0, 0, 128, 96},      {"refs_weighted.h264", 1, 0, 0, 128, 96},
                                {"crop1080.h264", 0, 0, 0, 1920, 1080},   {"interlaced.h264", 1, 0, 0, 128, 96},
                                {"high422_10bit.h264", 2, 2, 2, 128, 96}, {"crop444.h264", 3, 0, 0, 350, 286},
                                {"crop422.h264", 2, 0, 0, 350, 286},      {"crop1080i.h264", 0, 0, 0, 1920, 1080}};
    for (const auto& c : cases)
    {
        const Bytes sps = firstUnitOfType(c.file, 7);
        ASSERT_FALSE(sps.empty()) << c.file;
        EXPECT_EQ(getAVCNalUnitType(sps), AVCNalUnitType::SPS);
        SPSConfigValues values;
        EXPECT_TRUE(parseSPSConfigValues(sps, values));
        EXPECT_EQ(values.mChromaFormat, c.chroma) << c.file;
        EXPECT_EQ(values.mBitDepthLumaMinus8, c.lumaMinus8) << c.file;
        EXPECT_EQ(values.mBitDepthChromaMinus8, c.chromaMinus8) << c.file;
        EXPECT_EQ(values.mPicWidth, c.width) << c.file;
        EXPECT_EQ(values.mPicHeight, c.height) << c.file;
    }
}

TEST(AvcParameterSets, FieldsOfRealStreams)
{
    const auto baseline = parseSps(firstUnitOfType("baseline.h264", 7));
    EXPECT_EQ(baseline.profile_idc, 66u);
    EXPECT_EQ(baseline.pic_order_cnt_type, 2u);
    EXPECT_EQ(baseline.chromaArrayType(), 1u);  // inferred 4:2:0

    const auto main = parseSps(firstUnitOfType("main_bpyramid.h264", 7));
    EXPECT_EQ(main.pic_order_cnt_type, 0u);
    EXPECT_TRUE(main.vui_parameters_present_flag);
    EXPECT_TRUE(main.vui.bitstream_restriction_flag);
    EXPECT_FALSE(parsePps(firstUnitOfType("main_bpyramid.h264", 8)).transform_8x8_mode_flag);

    // x264 sends its custom matrices in the PPS, after the two flags read there.
    const auto highPps = parsePps(firstUnitOfType("high_cqm.h264", 8));
    EXPECT_TRUE(highPps.transform_8x8_mode_flag);
    EXPECT_TRUE(highPps.pic_scaling_matrix_present_flag);
    EXPECT_TRUE(highPps.entropy_coding_mode_flag);

    const auto crop = parseSps(firstUnitOfType("crop1080.h264", 7));
    EXPECT_EQ(crop.pic_width_in_mbs_minus1, 119u);
    EXPECT_EQ(crop.pic_height_in_map_units_minus1, 67u);
    EXPECT_EQ(crop.frame_crop_bottom_offset, 4u);

    const auto interlaced = parseSps(firstUnitOfType("interlaced.h264", 7));
    EXPECT_FALSE(interlaced.frame_mbs_only_flag);
    EXPECT_TRUE(interlaced.mb_adaptive_frame_field_flag);

    EXPECT_TRUE(parsePps(firstUnitOfType("refs_weighted.h264", 8)).weighted_pred_flag);
}

TEST(AvcParameterSets, SequenceScalingLists)
{
    BitWriter w;
    w.bits(100, 8).bits(0, 8).bits(40, 8).ue(0);  // high profile
    w.ue(1).ue(2).ue(2).flag(false).flag(true);   // 4:2:0, 10 bits, scaling matrix present
    w.flag(true).se(-8);                          // list 0: first value 0 -> use default
    w.flag(false);                                // list 1 absent
    w.flag(true).se(8).se(-16);                   // list 2: 16, then 0 -> repeat 16
    w.flag(false).flag(false).flag(false);        // lists 3..5
    w.flag(true);                                 // list 6 (8x8): 64 deltas of 0
    for (int i = 0; i < 64; ++i)
    {
        w.se(0);
    }
    w.flag(false);  // list 7
    w.ue(0).ue(0).ue(4).ue(1).flag(false).ue(7).ue(5).flag(true).flag(true).flag(false).flag(false);
    const auto sps = parseSps(w.nalUnit(0x67));
    ASSERT_EQ(sps.scalingLists.size(), 3u);
    EXPECT_TRUE(sps.scalingLists[0].useDefaultScalingMatrixFlag);
    EXPECT_EQ(sps.scalingLists[1].values, std::vector<std::uint8_t>(16, 16));
    EXPECT_FALSE(sps.scalingLists[1].useDefaultScalingMatrixFlag);
    EXPECT_EQ(sps.scalingLists[2].values, std::vector<std::uint8_t>(64, 8));
    EXPECT_EQ(sps.pic_width_in_mbs_minus1, 7u);
    EXPECT_EQ(sps.max_num_ref_frames, 1u);
    EXPECT_EQ(sps.chromaArrayType(), 1u);

    SPSConfigValues values;
    ASSERT_TRUE(parseSPSConfigValues(w.nalUnit(0x67), values));
    EXPECT_EQ(values.mChromaFormat, 1u);
    EXPECT_EQ(values.mBitDepthLumaMinus8, 2u);
    EXPECT_EQ(values.mBitDepthChromaMinus8, 2u);
    EXPECT_EQ(values.mPicWidth, 128u);
    EXPECT_EQ(values.mPicHeight, 96u);

    // A delta_scale outside -128..127.
    BitWriter bad;
    bad.bits(100, 8).bits(0, 8).bits(40, 8).ue(0).ue(1).ue(0).ue(0).flag(false).flag(true).flag(true).se(300);
    EXPECT_THROW(parseSps(bad.nalUnit(0x67)), std::runtime_error);
}

TEST(AvcParameterSets, CroppedSizeOfA420Frame)
{
    BitWriter w = baselineSps(119, 67);
    w.flag(true).flag(true).flag(true).ue(0).ue(0).ue(0).ue(4).flag(false);  // frame_mbs_only .. vui
    SPSConfigValues values;
    ASSERT_TRUE(parseSPSConfigValues(w.nalUnit(0x67), values));
    EXPECT_EQ(values.mPicWidth, 1920u);
    EXPECT_EQ(values.mPicHeight, 1080u);
    EXPECT_EQ(values.mChromaFormat, 0u);

    // Crop offsets that would leave no picture are refused.
    BitWriter bad = baselineSps(0, 0);
    bad.flag(true).flag(true).flag(true).ue(4).ue(4).ue(0).ue(0).flag(false);
    EXPECT_THROW(parseSPSConfigValues(bad.nalUnit(0x67), values), std::runtime_error);
}

// The cropped size counted two luma samples per crop offset whatever the chroma format and field
// coding: 4:4:4 and 4:2:2 streams of 350x286 came out 348x284, interlaced 1080 lines 1084.
TEST(AvcParameterSetsRegression, CropUnitsOfChromaFormatAndFields)
{
    struct Case
    {
        unsigned chromaFormat;
        bool separatePlanes;
        bool frameMbsOnly;
        unsigned unitX, unitY;
    };
    const Case cases[] = {
        {0, false, true, 1, 1}, {0, false, false, 1, 2}, {1, false, true, 2, 2}, {1, false, false, 2, 4},
        {2, false, true, 2, 1}, {2, false, false, 2, 2}, {3, false, true, 1, 1}, {3, false, false, 1, 2},
        {3, true, true, 1, 1},  // separate colour planes: no chroma arrays to align to
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(testing::Message() << c.chromaFormat << " " << c.separatePlanes << " " << c.frameMbsOnly);
        BitWriter w;
        w.bits(244, 8).bits(0, 8).bits(40, 8).ue(0).ue(c.chromaFormat);  // High 4:4:4 Predictive
        if (c.chromaFormat == 3)
        {
            w.flag(c.separatePlanes);
        }
        w.ue(0).ue(0).flag(false).flag(false);                               // bit depths, bypass, no scaling matrix
        w.ue(0).ue(2).ue(1).flag(false).ue(21).ue(c.frameMbsOnly ? 17 : 8);  // 352 x 288 coded
        w.flag(c.frameMbsOnly);
        if (!c.frameMbsOnly)
        {
            w.flag(false);  // no macroblock-adaptive frames
        }
        w.flag(true).flag(true).ue(1).ue(2).ue(3).ue(4).flag(false);  // crop 1, 2, 3, 4
        const auto sps = parseSps(w.nalUnit(0x67));
        EXPECT_EQ(sps.cropUnitX(), c.unitX);
        EXPECT_EQ(sps.cropUnitY(), c.unitY);
        EXPECT_EQ(sps.codedWidth(), 352u);
        EXPECT_EQ(sps.codedHeight(), 288u);
        EXPECT_EQ(sps.croppedWidth(), 352u - 3 * c.unitX);
        EXPECT_EQ(sps.croppedHeight(), 288u - 7 * c.unitY);
        SPSConfigValues values;
        ASSERT_TRUE(parseSPSConfigValues(w.nalUnit(0x67), values));
        EXPECT_EQ(values.mPicWidth, 352u - 3 * c.unitX);
        EXPECT_EQ(values.mPicHeight, 288u - 7 * c.unitY);
    }

    // The range check uses the same units: 4:4:4 may crop 351 columns of 352, 4:2:0 not 176 units.
    BitWriter wide;
    wide.bits(244, 8).bits(0, 8).bits(40, 8).ue(0).ue(3).flag(false).ue(0).ue(0).flag(false).flag(false);
    wide.ue(0).ue(2).ue(1).flag(false).ue(21).ue(17).flag(true).flag(true).flag(true).ue(351).ue(0).ue(0).ue(0);
    wide.flag(false);
    EXPECT_EQ(parseSps(wide.nalUnit(0x67)).croppedWidth(), 1u);
    BitWriter tooWide;
    tooWide.bits(244, 8).bits(0, 8).bits(40, 8).ue(0).ue(1).ue(0).ue(0).flag(false).flag(false);
    tooWide.ue(0).ue(2).ue(1).flag(false).ue(21).ue(17).flag(true).flag(true).flag(true).ue(176).ue(0).ue(0).ue(0);
    tooWide.flag(false);
    EXPECT_THROW(parseSps(tooWide.nalUnit(0x67)), std::runtime_error);
}

TEST(AvcParameterSets, WrongUnitsAreRefused)
{
    SPSConfigValues values;
    EXPECT_THROW(parseSPSConfigValues(firstUnitOfType("baseline.h264", 8), values), std::runtime_error);
    EXPECT_THROW(parseSPSConfigValues(Bytes{0x67, 0x42, 0x00}, values), std::runtime_error);
    EXPECT_THROW(parseSPSConfigValues(Bytes{0, 0, 1, 0x67, 0x42}, values), std::out_of_range);
    EXPECT_THROW(getAVCNalUnitType(Bytes{0, 0, 0}), std::runtime_error);
    EXPECT_THROW(getAVCNalUnitType(Bytes{0x67, 0x42}), std::runtime_error);
    EXPECT_EQ(getAVCNalUnitType(Bytes{0, 0, 1, 0x65}), AVCNalUnitType::CODED_SLICE_IDR);
}

TEST(AvcParameterSets, CountsBeyondTheStandardAreRefused)
{
    // 256 offset_for_ref_frame values.
    BitWriter cycle;
    cycle.bits(66, 8).bits(0, 8).bits(30, 8).ue(0).ue(0).ue(1).flag(false).se(0).se(0).ue(256);
    EXPECT_THROW(parseSps(cycle.nalUnit(0x67)), std::runtime_error);

    // log2_max_frame_num_minus4 above 12 would make MaxFrameNum a shift out of range.
    BitWriter frameNum;
    frameNum.bits(66, 8).bits(0, 8).bits(30, 8).ue(0).ue(13);
    EXPECT_THROW(parseSps(frameNum.nalUnit(0x67)), std::runtime_error);

    BitWriter pocLsb;
    pocLsb.bits(66, 8).bits(0, 8).bits(30, 8).ue(0).ue(0).ue(0).ue(13);
    EXPECT_THROW(parseSps(pocLsb.nalUnit(0x67)), std::runtime_error);

    // More than 8 slice groups.
    BitWriter groups;
    groups.ue(0).ue(0).flag(false).flag(false).ue(8);
    EXPECT_THROW(parsePps(groups.nalUnit(0x68)), std::runtime_error);

    // A slice-group-id table far larger than the data: refused before anything is sized.
    BitWriter table;
    table.ue(0).ue(0).flag(false).flag(false).ue(1).ue(6).ue(1000000);
    EXPECT_THROW(parsePps(table.nalUnit(0x68)), std::out_of_range);

    // A change rate whose +1 would wrap to 0.
    BitWriter rate;
    rate.ue(0).ue(0).flag(false).flag(false).ue(1).ue(3).flag(false).ue(0xFFFFFFFEu);
    EXPECT_THROW(parsePps(rate.nalUnit(0x68)), std::runtime_error);

    // Default reference counts above 32.
    BitWriter refs;
    refs.ue(0).ue(0).flag(false).flag(false).ue(0).ue(32).ue(0);
    EXPECT_THROW(parsePps(refs.nalUnit(0x68)), std::runtime_error);
}

TEST(AvcParameterSets, SliceGroupTableAndOptionalTail)
{
    BitWriter w;
    w.ue(3).ue(1).flag(true).flag(false).ue(2).ue(6).ue(3);  // 3 groups, 4 map units, 2 bits each
    w.bits(0, 2).bits(1, 2).bits(2, 2).bits(1, 2);
    w.ue(2).ue(0).flag(true).bits(1, 2).se(-3).se(0).se(2).flag(true).flag(false).flag(false);
    const auto pps = parsePps(w.nalUnit(0x68));
    EXPECT_EQ(pps.pic_parameter_set_id, 3u);
    EXPECT_EQ(pps.seq_parameter_set_id, 1u);
    EXPECT_EQ(pps.slice_group_id, (std::vector<std::uint32_t>{0, 1, 2, 1}));
    EXPECT_EQ(pps.num_ref_idx_l0_default_active_minus1, 2u);
    EXPECT_EQ(pps.pic_init_qp_minus26, -3);
    EXPECT_EQ(pps.chroma_qp_index_offset, 2);
    // The stop bit is not read as transform_8x8_mode_flag.
    EXPECT_FALSE(pps.transform_8x8_mode_flag);

    BitWriter tail = w;
    tail.flag(true).flag(false);
    const auto withTail = parsePps(tail.nalUnit(0x68));
    EXPECT_TRUE(withTail.transform_8x8_mode_flag);
    EXPECT_FALSE(withTail.pic_scaling_matrix_present_flag);

    // A group id above num_slice_groups_minus1.
    BitWriter badId;
    badId.ue(0).ue(0).flag(false).flag(false).ue(2).ue(6).ue(0).bits(3, 2);
    EXPECT_THROW(parsePps(badId.nalUnit(0x68)), std::runtime_error);
}

// Every prefix and every single-bit change of real parameter sets: a value or a clean error.
TEST(AvcParameterSets, TruncationAndMutationSweeps)
{
    for (const char* file : {"high_cqm.h264", "main_bpyramid.h264", "high422_10bit.h264"})
    {
        for (unsigned type : {7u, 8u})
        {
            const Bytes unit = firstUnitOfType(file, type);
            for (std::size_t size = 0; size < unit.size(); ++size)
            {
                const Bytes cut(unit.begin(), unit.begin() + std::ptrdiff_t(size));
                try
                {
                    if (type == 7)
                    {
                        SPSConfigValues values;
                        parseSPSConfigValues(cut, values);
                    }
                    else
                    {
                        parsePps(cut);
                    }
                }
                catch (const std::exception&)
                {
                }
            }
            for (std::size_t bit = 0; bit < (unit.size() - 5) * 8; ++bit)
            {
                Bytes mutated = unit;
                mutated[5 + bit / 8] ^= std::uint8_t(0x80u >> (bit % 8));
                try
                {
                    if (type == 7)
                    {
                        const auto sps = parseSps(mutated);
                        EXPECT_GT(sps.croppedWidth(), 0u);
                        EXPECT_GT(sps.croppedHeight(), 0u);
                    }
                    else
                    {
                        parsePps(mutated);
                    }
                }
                catch (const std::exception&)
                {
                }
            }
        }
    }
}
