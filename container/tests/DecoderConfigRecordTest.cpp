#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>

#include "AddressSpaceLimit.h"
#include "AvcConfigurationBox.h"
#include "BoxBuilder.h"
#include "HevcConfigurationBox.h"
#include "LayeredHevcConfigurationItemProperty.h"

using testsupport::ByteBuilder;
using testsupport::Bytes;
using testsupport::makeBox;

namespace
{
// Writes RBSP bits and turns them into one NAL unit in byte-stream form.
class NalWriter
{
public:
    NalWriter& bits(std::uint32_t value, std::uint32_t count)
    {
        mBits.writeBits(value, count);
        return *this;
    }
    NalWriter& ue(std::uint32_t value)
    {
        const std::uint64_t codeNum = std::uint64_t(value) + 1;
        std::uint32_t length = 0;
        while ((codeNum >> (length + 1)) != 0)
        {
            ++length;
        }
        bits(0, length);
        return bits(std::uint32_t(codeNum), length + 1);
    }
    /// Stop bit, alignment, emulation prevention and a four-byte start code.
    Bytes finish()
    {
        bits(1, 1);
        while (!mBits.isByteAligned())
        {
            bits(0, 1);
        }
        Bytes out{0, 0, 0, 1};
        int zeros = 0;
        for (auto byte : mBits.getStorage())
        {
            if (zeros >= 2 && byte <= 3)
            {
                out.push_back(3);
                zeros = 0;
            }
            out.push_back(byte);
            zeros = byte == 0 ? zeros + 1 : 0;
        }
        return out;
    }

private:
    BitStream mBits;
};

Bytes hevcSps(std::uint32_t maxSubLayersMinus1, bool conformanceWindow)
{
    NalWriter w;
    w.bits(0x4201, 16).bits(0, 4).bits(maxSubLayersMinus1, 3).bits(1, 1);
    w.bits(0, 2).bits(0, 1).bits(1, 5).bits(0x60000000, 32);
    w.bits(0x90, 8).bits(0, 32).bits(0, 8).bits(93, 8);
    if (maxSubLayersMinus1 == 1)
    {
        w.bits(1, 1).bits(1, 1);
        for (int i = 1; i < 8; ++i)
        {
            w.bits(0, 2);
        }
        w.bits(0xFFFFFFFF, 32).bits(0xFFFFFFFF, 32).bits(0xFFFFFF, 24).bits(0xFF, 8);
    }
    w.ue(0).ue(1).ue(64).ue(64);
    w.bits(conformanceWindow ? 1 : 0, 1);
    if (conformanceWindow)
    {
        w.ue(0).ue(4).ue(0).ue(2);
    }
    w.ue(2).ue(0).ue(4);
    return w.finish();
}

Bytes avcSps(std::uint32_t profile)
{
    NalWriter w;
    w.bits(0x67, 8).bits(profile, 8).bits(0, 8).bits(30, 8).ue(0);
    if (profile == 100)
    {
        w.ue(1).ue(2).ue(2).bits(0, 1).bits(0, 1);
    }
    w.ue(0).ue(0).ue(0).ue(1).bits(0, 1);
    w.ue(3).ue(2).bits(1, 1).bits(1, 1).bits(0, 1).bits(0, 1);  // 64 x 48
    return w.finish();
}

const Bytes kA{0x40, 0x01, 0xAA};
const Bytes kB{0x40, 0x01, 0xBB};
const Bytes kC{0x40, 0x01, 0xCC};

Bytes withStartCodes(std::initializer_list<Bytes> units)
{
    Bytes out;
    for (const auto& unit : units)
    {
        out.insert(out.end(), {0, 0, 0, 1});
        out.insert(out.end(), unit.begin(), unit.end());
    }
    return out;
}

// An hvcC with VPS, SPS (complete, two units), PPS and an empty SEI array.
Bytes hvccRecord()
{
    ByteBuilder b;
    b.u8(1).u8(0x01).u32(0x60000000).raw({0x90, 0, 0, 0, 0, 0}).u8(93);
    b.u16(0xF000).u8(0xFC).u8(0xFD).u8(0xF8).u8(0xF8).u16(0).u8(0x0F);
    b.u8(4);
    b.u8(0x20).u16(1).u16(3).raw(kA);
    b.u8(0xA1).u16(2).u16(3).raw(kA).u16(3).raw(kB);
    b.u8(0x22).u16(1).u16(3).raw(kC);
    b.u8(0x27).u16(0);
    return b;
}
}  // namespace

TEST(AvcDecoderConfigRecord, DefaultRecordBytes)
{
    AvcConfigurationBox box;
    EXPECT_EQ(testsupport::writeBytes(box), makeBox("avcC", Bytes{0x01, 0x42, 0x80, 0x1E, 0xFF, 0xE0, 0x00}));
}

TEST(AvcDecoderConfigRecord, BaselineIgnoresExtensionBytes)
{
    const Bytes sps{0x67, 0x42, 0x00, 0x1E};
    const Bytes pps{0x68, 0xCE};
    const Bytes record =
        ByteBuilder().u8(1).u8(66).u8(0).u8(30).u8(0xFF).u8(0xE1).u16(4).raw(sps).u8(1).u16(2).raw(pps);
    AvcConfigurationBox box;
    testsupport::parseBytes(box, makeBox("avcC", ByteBuilder().raw(record).u32(0xFCFDF800)));
    const auto& config = box.getConfiguration();
    EXPECT_EQ(config.getAvcProfileIndication(), 66);
    EXPECT_EQ(config.getChromaFormat(), 0);
    EXPECT_EQ(config.getNumOfArrays(), 2);
    ASSERT_NE(config.findNalArray(7), nullptr);
    EXPECT_EQ(config.findNalArray(7)->units(), std::vector<Bytes>{sps});
    EXPECT_EQ(config.findNalArray(13), nullptr);
    EXPECT_EQ(testsupport::writeBytes(box), makeBox("avcC", record));
}

TEST(AvcDecoderConfigRecord, HighProfileExtension)
{
    const Bytes sps{0x67, 0x64, 0x00, 0x1F};
    const Bytes spsExt{0x6D, 0x01};
    const Bytes withExt = makeBox("avcC", ByteBuilder()
                                              .u8(1)
                                              .u8(100)
                                              .u8(0)
                                              .u8(31)
                                              .u8(0xFF)
                                              .u8(0xE1)
                                              .u16(4)
                                              .raw(sps)
                                              .u8(0)
                                              .u8(0xFD)
                                              .u8(0xFA)
                                              .u8(0xF9)
                                              .u8(1)
                                              .u16(2)
                                              .raw(spsExt));
    AvcConfigurationBox box;
    testsupport::parseBytes(box, withExt);
    EXPECT_EQ(box.getConfiguration().getChromaFormat(), 1);
    EXPECT_EQ(box.getConfiguration().getBitDepthLumaMinus8(), 2);
    EXPECT_EQ(box.getConfiguration().getBitDepthChromaMinus8(), 1);
    ASSERT_NE(box.getConfiguration().findNalArray(13), nullptr);
    testsupport::expectRoundTrip<AvcConfigurationBox>(withExt);
    testsupport::expectTruncationSafe<AvcConfigurationBox>(withExt);

    // Ending right after the PPS list: no extension, nothing thrown.
    AvcConfigurationBox shortBox;
    testsupport::parseBytes(shortBox,
                            makeBox("avcC", ByteBuilder().u8(1).u8(100).u8(0).u8(31).u8(0xFF).u8(0xE0).u8(0)));
    EXPECT_EQ(shortBox.getConfiguration().getChromaFormat(), 0);
    EXPECT_EQ(shortBox.getConfiguration().findNalArray(13), nullptr);
}

TEST(AvcDecoderConfigRecord, AppendsOnlyFirstUnitOfFirstArray)
{
    AvcDecoderConfigRecord record;
    record.addNalUnit(kA, 7, 0);
    record.addNalUnit(kB, 7, 0);
    Bytes out;
    record.appendParameterSets(out, 7);
    EXPECT_EQ(out, withStartCodes({kA}));
    out.clear();
    record.appendParameterSets(out, 8);
    EXPECT_TRUE(out.empty());
}

TEST(AvcDecoderConfigRecord, WriterRefusesCountsItCannotHold)
{
    AvcConfigurationBox box;
    for (int i = 0; i < 32; ++i)
    {
        box.getConfiguration().addNalUnit(kA, 7, 0);
    }
    BitStream out;
    EXPECT_THROW(box.writeBox(out), std::runtime_error);
    EXPECT_EQ(out.getSize(), 0u);

    AvcDecoderConfigRecord longUnit;
    longUnit.addNalUnit(Bytes(0x10000, 0x68), 8, 0);
    EXPECT_THROW(longUnit.writeDecConfigRecord(out), std::runtime_error);
    EXPECT_EQ(out.getSize(), 0u);
}

TEST(AvcDecoderConfigRecord, ConfigureFromSps)
{
    AvcDecoderConfigRecord record;
    record.addNalUnit(kA, 7, 0);
    record.setLengthSizeMinus1(1);
    record.configureFromSps(avcSps(66));
    EXPECT_EQ(record.getNumOfArrays(), 0);
    EXPECT_EQ(record.getLengthSizeMinus1(), 3);
    EXPECT_EQ(record.getPicWidth(), 64);
    EXPECT_EQ(record.getPicHeight(), 48);
    EXPECT_EQ(record.getChromaFormat(), 0);
    EXPECT_EQ(record.getAvcProfileIndication(), 0x42);  // kept

    record.configureFromSps(avcSps(100));
    EXPECT_EQ(record.getChromaFormat(), 1);
    EXPECT_EQ(record.getBitDepthLumaMinus8(), 2);
    EXPECT_EQ(record.getBitDepthChromaMinus8(), 2);
}

TEST(NalUnitArray, StartCodeStripping)
{
    AvcDecoderConfigRecord record;
    record.addNalUnit({0, 0, 0, 1, 0x67, 0x42}, 7, 0);
    record.addNalUnit({0, 1, 0x67}, 7, 0);
    record.addNalUnit({0, 0}, 7, 0);
    EXPECT_EQ(record.findNalArray(7)->units(), (std::vector<Bytes>{{0x67, 0x42}, {0, 1, 0x67}, {0, 0}}));
}

TEST(HevcDecoderConfigRecord, RecordWithSeveralArraysRoundTrips)
{
    const Bytes hvcc = makeBox("hvcC", hvccRecord());
    HevcConfigurationBox box;
    testsupport::parseBytes(box, hvcc);
    const auto& config = box.getConfiguration();
    EXPECT_EQ(config.getGeneralProfileIdc(), 1);
    EXPECT_EQ(config.getGeneralLevelIdc(), 93);
    EXPECT_EQ(config.getChromaFormat(), 1);
    EXPECT_EQ(config.getNumTemporalLayers(), 1);
    EXPECT_EQ(config.getTemporalIdNested(), 1);
    EXPECT_EQ(config.getLengthSizeMinus1(), 3);
    ASSERT_EQ(config.getNumOfArrays(), 4);
    EXPECT_EQ(config.getNalArrays()[1].arrayCompleteness, 1);
    EXPECT_EQ(config.getNalArrays()[1].units(), (std::vector<Bytes>{kA, kB}));
    EXPECT_TRUE(config.getNalArrays()[3].empty());
    testsupport::expectRoundTrip<HevcConfigurationBox>(hvcc);
    testsupport::expectTruncationSafe<HevcConfigurationBox>(hvcc);

    Bytes out;
    config.appendParameterSets(out, 33);
    EXPECT_EQ(out, withStartCodes({kA}));
    out.clear();
    config.appendParameterSets(out, 39);  // present but empty
    config.appendParameterSets(out, 40);  // absent
    EXPECT_TRUE(out.empty());
}

TEST(DecoderConfigRecords, AppendRulesWithTwoArraysOfOneType)
{
    const NalUnitArray first{0, 33, {kA, kB}};
    const NalUnitArray second{0, 33, {kC}};
    HevcDecoderConfigRecord hevc;
    LayeredHevcDecoderConfigRecord layered;
    AvcDecoderConfigRecord avc;
    hevc.addNalArray(first);
    hevc.addNalArray(second);
    layered.addNalArray(first);
    layered.addNalArray(second);
    avc.addNalArray(NalUnitArray{0, 7, {kA, kB}});
    avc.addNalArray(NalUnitArray{0, 7, {kC}});
    Bytes out;
    hevc.appendParameterSets(out, 33);
    EXPECT_EQ(out, withStartCodes({kA, kC}));
    out.clear();
    layered.appendParameterSets(out, 33);
    EXPECT_EQ(out, withStartCodes({kA, kB, kC}));
    out.clear();
    avc.appendParameterSets(out, 7);
    EXPECT_EQ(out, withStartCodes({kA}));

    // A parse puts units of a type already held into its first array.
    HevcConfigurationBox box;
    BitStream written;
    HevcConfigurationBox source;
    source.setConfiguration(hevc);
    source.writeBox(written);
    written.reset();
    box.parseBox(written);
    ASSERT_EQ(box.getConfiguration().getNumOfArrays(), 1);
    EXPECT_EQ(box.getConfiguration().getNalArrays()[0].units(), (std::vector<Bytes>{kA, kB, kC}));
}

TEST(HevcDecoderConfigRecord, ArraysAddedByAddNalUnitMergeByType)
{
    HevcDecoderConfigRecord record;
    record.addNalUnit(withStartCodes({kA}), 33, 1);
    record.addNalUnit(kB, 33, 0);
    ASSERT_EQ(record.getNumOfArrays(), 1);
    EXPECT_EQ(record.getNalArrays()[0].arrayCompleteness, 1);
    EXPECT_EQ(record.getNalArrays()[0].units(), (std::vector<Bytes>{kA, kB}));
}

TEST(HevcDecoderConfigRecord, HostileCountsEndAtTheData)
{
    Bytes record = hvccRecord();
    record.resize(23);
    record.push_back(0xFF);  // 255 arrays announced, none present
    HevcConfigurationBox box;
    EXPECT_THROW(testsupport::parseBytes(box, makeBox("hvcC", record)), std::out_of_range);
    Bytes units = hvccRecord();
    units.resize(23);
    units.insert(units.end(), {1, 0x21, 0xFF, 0xFF, 0x00, 0x03, 0x40});
    EXPECT_THROW(testsupport::parseBytes(box, makeBox("hvcC", units)), std::out_of_range);
}

// Every NAL unit of a record was a heap vector of its own: 65535 one-byte units per array cost
// some 60 bytes each, 20 times the three bytes they take in the file. Now the units stay spans of
// the record's bytes; checked here on 32 arrays of 65535 one-byte units (6.3 MB of record), which
// must parse within 64 MB more address space (the old layout needed some 120 MB).
TEST(HevcDecoderConfigRecordRegression, ManySmallUnitsCostTheirBytes)
{
    Bytes record = hvccRecord();
    record.resize(22);  // the fields before numOfArrays
    const std::uint32_t arrays = 32;
    const std::uint32_t units = 65535;
    record.push_back(std::uint8_t(arrays));
    for (std::uint32_t a = 0; a < arrays; ++a)
    {
        record.insert(record.end(), {std::uint8_t(0x80 | (a % 2 == 0 ? 33 : 34)), 0xFF, 0xFF});
        for (std::uint32_t u = 0; u < units; ++u)
        {
            record.insert(record.end(), {0x00, 0x01, std::uint8_t(u)});
        }
    }
    const auto parse = [&record]
    {
        BitStream stream(record);
        HevcDecoderConfigRecord parsed;
        parsed.parseConfig(stream);
        return parsed;
    };
    testsupport::expectWithinAddressSpaceGrowth(std::uint64_t(64) << 20,
                                                [&parse] { return parse().getNalArrays().size() == 2; });
    // Units of one type join the first array of that type, in file order.
    const HevcDecoderConfigRecord parsed = parse();
    ASSERT_EQ(parsed.getNalArrays().size(), 2u);
    const NalUnitArray& sps = parsed.getNalArrays()[0];
    EXPECT_EQ(sps.nalUnitType, 33);
    ASSERT_EQ(sps.unitCount(), std::size_t(arrays / 2) * units);
    std::size_t seen = 0;
    bool allOneByte = true;
    std::uint8_t unit70000 = 0;
    sps.forEachUnit(
        [&](const std::uint8_t* data, std::size_t size)
        {
            allOneByte = allOneByte && size == 1;
            if (seen++ == 70000)
            {
                unit70000 = data[0];
            }
        });
    EXPECT_TRUE(allOneByte);
    EXPECT_EQ(unit70000, std::uint8_t(70000 - units));
    Bytes first;
    parsed.appendParameterSets(first, 34);
    EXPECT_EQ(first, (Bytes{0, 0, 0, 1, 0}));
    // Merged, the arrays hold more units than a written array can count.
    BitStream written;
    EXPECT_THROW(parsed.writeDecConfigRecord(written), std::runtime_error);
}

TEST(HevcDecoderConfigRecord, WriterRefusesArraysItCannotHold)
{
    HevcConfigurationBox box;
    for (int type = 0; type < 256; ++type)
    {
        box.getConfiguration().addNalUnit(kA, std::uint8_t(type), 0);
    }
    BitStream out;
    EXPECT_THROW(box.writeBox(out), std::runtime_error);
    EXPECT_EQ(out.getSize(), 0u);

    HevcDecoderConfigRecord many;
    for (int i = 0; i < 0x10000; ++i)
    {
        many.addNalUnit(kA, 33, 0);
    }
    EXPECT_THROW(many.writeDecConfigRecord(out), std::runtime_error);
    EXPECT_THROW(many.setGeneralConstraintIndicatorFlags(Bytes(5)), std::runtime_error);
}

TEST(HevcDecoderConfigRecord, ConfigureFromSps)
{
    HevcDecoderConfigRecord record;
    record.addNalUnit(kA, 32, 0);
    record.setMinSpatialSegmentationIdc(5);
    record.configureFromSps(hevcSps(0, true), 30.0f);
    EXPECT_EQ(record.getAvgFrameRate(), 7680);
    EXPECT_EQ(record.getNumOfArrays(), 0);
    EXPECT_EQ(record.getLengthSizeMinus1(), 3);
    EXPECT_EQ(record.getNumTemporalLayers(), 1);
    EXPECT_EQ(record.getTemporalIdNested(), 1);
    EXPECT_EQ(record.getGeneralProfileIdc(), 1);
    EXPECT_EQ(record.getGeneralProfileCompatibilityFlags(), 0x60000000u);
    EXPECT_EQ(record.getGeneralConstraintIndicatorFlags(), (Bytes{0x90, 0, 0, 0, 0, 0}));
    EXPECT_EQ(record.getGeneralLevelIdc(), 93);
    EXPECT_EQ(record.getChromaFormat(), 1);
    EXPECT_EQ(record.getPicWidth(), 64);
    EXPECT_EQ(record.getConfWinRightOffset(), 4);
    EXPECT_EQ(record.getConfWinBottomOffset(), 2);
    EXPECT_EQ(record.getBitDepthLumaMinus8(), 2);
    EXPECT_EQ(record.getMinSpatialSegmentationIdc(), 0);
    EXPECT_EQ(record.getCroppedPicWidth(), 56u);
    EXPECT_EQ(record.getCroppedPicHeight(), 60u);

    // Without a conformance window the offsets are cleared; sub-layer data is stepped over.
    record.configureFromSps(hevcSps(1, false), 29.97f);
    EXPECT_EQ(record.getAvgFrameRate(), 7672);
    EXPECT_EQ(record.getNumTemporalLayers(), 2);
    EXPECT_EQ(record.getConfWinRightOffset(), 0);
    EXPECT_EQ(record.getBitDepthLumaMinus8(), 2);
    EXPECT_EQ(record.getCroppedPicWidth(), 64u);
}

TEST(HevcDecoderConfigRecord, FrameRateClampedBothWays)
{
    HevcDecoderConfigRecord record;
    record.configureFromSps(hevcSps(0, false), 300.0f);
    EXPECT_EQ(record.getAvgFrameRate(), 65535);
    record.configureFromSps(hevcSps(0, false), -5.0f);
    EXPECT_EQ(record.getAvgFrameRate(), 0);
    record.configureFromSps(hevcSps(0, false), std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(record.getAvgFrameRate(), 0);
    record.configureFromSps(hevcSps(0, false), -std::numeric_limits<float>::infinity());
    EXPECT_EQ(record.getAvgFrameRate(), 0);
}

TEST(HevcDecoderConfigRecord, TruncatedSpsThrowsAndCroppingIsChecked)
{
    Bytes sps = hevcSps(0, true);
    sps.resize(12);
    HevcDecoderConfigRecord record;
    EXPECT_THROW(record.configureFromSps(sps, 30.0f), std::out_of_range);
    EXPECT_EQ(record.getAvgFrameRate(), 7680);  // set before the failure

    HevcDecoderConfigRecord bad;
    bad.setChromaFormat(4);
    EXPECT_THROW(bad.getCroppedPicWidth(), std::out_of_range);
    EXPECT_EQ(HevcDecoderConfigRecord().getCroppedPicHeight(), 0u);
}

TEST(LayeredHevcDecoderConfigRecord, RoundTripAndEveryUnitAppended)
{
    ByteBuilder b;
    b.u8(1).u16(0xF000).u8(0xFC).u8(0xCF);
    b.u8(2);
    b.u8(0x21).u16(2).u16(3).raw(kA).u16(3).raw(kB);
    b.u8(0x21).u16(1).u16(3).raw(kC);
    const Bytes lhvc = makeBox("lhvC", b);
    LayeredHevcConfigurationItemProperty property;
    testsupport::parseBytes(property, lhvc);
    const auto config = property.getConfiguration();
    EXPECT_EQ(config.getNumTemporalLayers(), 1);
    EXPECT_EQ(config.getTemporalIdNested(), 1);
    EXPECT_EQ(config.getLengthSizeMinus1(), 3);
    // Both arrays share a type: the parse merges them into the first.
    ASSERT_EQ(config.getNumOfArrays(), 1);

    Bytes out;
    config.appendParameterSets(out, 33);
    EXPECT_EQ(out, withStartCodes({kA, kB, kC}));
    testsupport::expectTruncationSafe<LayeredHevcConfigurationItemProperty>(lhvc);

    LayeredHevcDecoderConfigRecord built;
    built.setTemporalIdNested(1);
    built.setNumTemporalLayers(1);
    built.setLengthSizeMinus1(3);
    built.addNalUnit(kA, 33, 0);
    built.addNalUnit(kB, 33, 0);
    built.addNalUnit(kC, 33, 0);
    LayeredHevcConfigurationItemProperty written;
    written.setConfiguration(built);
    EXPECT_EQ(testsupport::writeBytes(written), makeBox("lhvC", ByteBuilder()
                                                                    .u8(1)
                                                                    .u16(0xF000)
                                                                    .u8(0xFC)
                                                                    .u8(0xCF)
                                                                    .u8(1)
                                                                    .u8(0x21)
                                                                    .u16(3)
                                                                    .u16(3)
                                                                    .raw(kA)
                                                                    .u16(3)
                                                                    .raw(kB)
                                                                    .u16(3)
                                                                    .raw(kC)));
}

TEST(LayeredHevcDecoderConfigRecord, ConfigureFromVpsSps)
{
    const Bytes vps =
        NalWriter().bits(0x4001, 16).bits(0, 4).bits(3, 2).bits(1, 6).bits(4, 3).bits(1, 1).bits(0xFFFF, 16).finish();
    // Enhancement-layer SPS (nuh_layer_id 1) whose sub-layer field 7 defers to the VPS.
    const Bytes spsLayer1 = NalWriter().bits(0x4209, 16).bits(0, 4).bits(7, 3).bits(0, 1).finish();
    const Bytes spsLayer0 = NalWriter().bits(0x4201, 16).bits(0, 4).bits(7, 3).bits(0, 1).finish();
    LayeredHevcDecoderConfigRecord record;
    record.addNalUnit(kA, 33, 0);
    record.configureFromVpsSps(vps, spsLayer1);
    EXPECT_EQ(record.getNumTemporalLayers(), 5);
    EXPECT_EQ(record.getNumOfArrays(), 0);
    EXPECT_EQ(record.getLengthSizeMinus1(), 3);
    record.configureFromVpsSps(vps, spsLayer0);
    EXPECT_EQ(record.getNumTemporalLayers(), 8);
}
