#include "HevcDecoderConfigRecord.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "BitStream.h"
#include "ConfigRecordFields.h"
#include "ParserInterface.h"

namespace
{
const char* const kName = "HevcDecoderConfigRecord";

// SubWidthC and SubHeightC by chroma_format_idc (monochrome, 4:2:0, 4:2:2, 4:4:4).
const std::vector<std::uint32_t> kSubWidthC = {1, 2, 2, 1};
const std::vector<std::uint32_t> kSubHeightC = {1, 2, 1, 1};

std::uint32_t subSampling(const std::vector<std::uint32_t>& table, std::uint8_t chromaFormat)
{
    if (chromaFormat >= table.size())
    {
        throwVectorOutOfRange();
    }
    return table[chromaFormat];
}

std::uint32_t cropped(std::uint32_t size, std::uint32_t unit, std::uint32_t first, std::uint32_t second)
{
    const std::uint64_t crop = std::uint64_t(unit) * (std::uint64_t(first) + second);
    return crop >= size ? 0 : std::uint32_t(size - crop);
}
}  // namespace

HevcDecoderConfigRecord::HevcDecoderConfigRecord() : mGeneralConstraintIndicatorFlags(6, 0) {}

void HevcDecoderConfigRecord::setGeneralConstraintIndicatorFlags(const std::vector<std::uint8_t>& flags)
{
    if (flags.size() != 6)
    {
        throw std::runtime_error("HevcDecoderConfigRecord: general_constraint_indicator_flags must be 6 bytes");
    }
    mGeneralConstraintIndicatorFlags = flags;
}

void HevcDecoderConfigRecord::configureFromSps(const std::vector<std::uint8_t>& sps, float frameRate)
{
    // The 16-bit field holds frames per 256 seconds; a negative or NaN rate means "unknown".
    float rate = std::isnan(frameRate) ? 0.0f : frameRate;
    rate = std::min(std::max(rate, 0.0f), 255.99609375f);
    mAvgFrameRate = std::uint16_t(rate * 256.0f + 0.5f);
    mConstantFrameRate = 0;
    mLengthSizeMinus1 = 3;
    mNalArray.clear();

    std::vector<std::uint8_t> rbsp;
    convertByteStreamToRBSP(sps, rbsp);
    BitStream bitstr(std::move(rbsp));
    bitstr.readBits(16);  // NAL unit header
    bitstr.readBits(4);   // sps_video_parameter_set_id
    const std::uint32_t maxSubLayersMinus1 = bitstr.readBits(3);
    mNumTemporalLayers = std::uint8_t(maxSubLayersMinus1 + 1);
    mTemporalIdNested = std::uint8_t(bitstr.readBits(1));

    // profile_tier_level(1, sps_max_sub_layers_minus1)
    mGeneralProfileSpace = std::uint8_t(bitstr.readBits(2));
    mGeneralTierFlag = std::uint8_t(bitstr.readBits(1));
    mGeneralProfileIdc = std::uint8_t(bitstr.readBits(5));
    mGeneralProfileCompatibilityFlags = bitstr.readBits(32);
    mGeneralConstraintIndicatorFlags.assign(6, 0);
    for (auto& byte : mGeneralConstraintIndicatorFlags)
    {
        byte = std::uint8_t(bitstr.readBits(8));
    }
    mGeneralLevelIdc = std::uint8_t(bitstr.readBits(8));
    std::vector<bool> profilePresent(maxSubLayersMinus1);
    std::vector<bool> levelPresent(maxSubLayersMinus1);
    for (std::uint32_t i = 0; i < maxSubLayersMinus1; ++i)
    {
        profilePresent[i] = bitstr.readFlag();
        levelPresent[i] = bitstr.readFlag();
    }
    if (maxSubLayersMinus1 > 0)
    {
        for (std::uint32_t i = maxSubLayersMinus1; i < 8; ++i)
        {
            bitstr.readBits(2);  // reserved_zero_2bits
        }
    }
    for (std::uint32_t i = 0; i < maxSubLayersMinus1; ++i)
    {
        if (profilePresent[i])
        {
            bitstr.readBits(32);
            bitstr.readBits(32);
            bitstr.readBits(24);
        }
        if (levelPresent[i])
        {
            bitstr.readBits(8);
        }
    }

    bitstr.readUnsignedExpGolomb();  // sps_seq_parameter_set_id
    const std::uint32_t chromaFormatIdc = bitstr.readUnsignedExpGolomb();
    mChromaFormat = std::uint8_t(chromaFormatIdc);
    if (chromaFormatIdc == 3)
    {
        bitstr.readBits(1);  // separate_colour_plane_flag
    }
    mPicWidth = std::uint16_t(bitstr.readUnsignedExpGolomb());
    mPicHeight = std::uint16_t(bitstr.readUnsignedExpGolomb());
    if (bitstr.readFlag())
    {
        mConfWinLeftOffset = std::uint16_t(bitstr.readUnsignedExpGolomb());
        mConfWinRightOffset = std::uint16_t(bitstr.readUnsignedExpGolomb());
        mConfWinTopOffset = std::uint16_t(bitstr.readUnsignedExpGolomb());
        mConfWinBottomOffset = std::uint16_t(bitstr.readUnsignedExpGolomb());
    }
    else
    {
        mConfWinLeftOffset = 0;
        mConfWinRightOffset = 0;
        mConfWinTopOffset = 0;
        mConfWinBottomOffset = 0;
    }
    mBitDepthLumaMinus8 = std::uint8_t(bitstr.readUnsignedExpGolomb());
    mBitDepthChromaMinus8 = std::uint8_t(bitstr.readUnsignedExpGolomb());
    bitstr.readUnsignedExpGolomb();  // log2_max_pic_order_cnt_lsb_minus4

    mMinSpatialSegmentationIdc = 0;
    mParallelismType = 0;
}

void HevcDecoderConfigRecord::addNalUnit(const std::vector<std::uint8_t>& nalUnit, std::uint8_t nalUnitType,
                                         std::uint8_t arrayCompleteness)
{
    NalUnitArrayUtil::addNalUnit(mNalArray, nalUnit, nalUnitType, arrayCompleteness);
}

void HevcDecoderConfigRecord::appendParameterSets(std::vector<std::uint8_t>& dest, std::uint8_t nalUnitType) const
{
    for (const auto& array : mNalArray)
    {
        if (array.nalUnitType == nalUnitType)
        {
            NalUnitArrayUtil::appendFirstWithStartCode(dest, array);
        }
    }
}

std::uint32_t HevcDecoderConfigRecord::getCroppedPicWidth() const
{
    return cropped(mPicWidth, subSampling(kSubWidthC, mChromaFormat), mConfWinLeftOffset, mConfWinRightOffset);
}

std::uint32_t HevcDecoderConfigRecord::getCroppedPicHeight() const
{
    return cropped(mPicHeight, subSampling(kSubHeightC, mChromaFormat), mConfWinTopOffset, mConfWinBottomOffset);
}

void HevcDecoderConfigRecord::writeDecConfigRecord(BitStream& bitstr) const
{
    NalUnitArrayUtil::checkHevcArrays(mNalArray, kName);

    bitstr.writeU8(mConfigurationVersion);
    bitstr.writeBits(mGeneralProfileSpace, 2);
    bitstr.writeBits(mGeneralTierFlag, 1);
    bitstr.writeBits(mGeneralProfileIdc, 5);
    bitstr.writeU32(mGeneralProfileCompatibilityFlags);
    for (std::size_t i = 0; i < 6; ++i)
    {
        bitstr.writeU8(i < mGeneralConstraintIndicatorFlags.size() ? mGeneralConstraintIndicatorFlags[i] : 0);
    }
    bitstr.writeU8(mGeneralLevelIdc);
    ConfigRecordFields::writeSegmentationAndParallelism(bitstr, mMinSpatialSegmentationIdc, mParallelismType);
    ConfigRecordFields::writeChromaAndBitDepths(bitstr, mChromaFormat, mBitDepthLumaMinus8, mBitDepthChromaMinus8);
    bitstr.writeU16(mAvgFrameRate);
    bitstr.writeBits(mConstantFrameRate, 2);
    bitstr.writeBits(mNumTemporalLayers, 3);
    bitstr.writeBits(mTemporalIdNested, 1);
    bitstr.writeBits(mLengthSizeMinus1, 2);
    NalUnitArrayUtil::writeHevcArrays(bitstr, mNalArray);
}

void HevcDecoderConfigRecord::parseConfig(BitStream& bitstr)
{
    mConfigurationVersion = std::uint8_t(bitstr.readU8());
    mGeneralProfileSpace = std::uint8_t(bitstr.readBits(2));
    mGeneralTierFlag = std::uint8_t(bitstr.readBits(1));
    mGeneralProfileIdc = std::uint8_t(bitstr.readBits(5));
    mGeneralProfileCompatibilityFlags = bitstr.readU32();
    for (auto& byte : mGeneralConstraintIndicatorFlags)
    {
        byte = std::uint8_t(bitstr.readU8());
    }
    mGeneralLevelIdc = std::uint8_t(bitstr.readU8());
    ConfigRecordFields::readSegmentationAndParallelism(bitstr, mMinSpatialSegmentationIdc, mParallelismType);
    ConfigRecordFields::readChromaAndBitDepths(bitstr, mChromaFormat, mBitDepthLumaMinus8, mBitDepthChromaMinus8);
    mAvgFrameRate = std::uint16_t(bitstr.readU16());
    mConstantFrameRate = std::uint8_t(bitstr.readBits(2));
    mNumTemporalLayers = std::uint8_t(bitstr.readBits(3));
    mTemporalIdNested = std::uint8_t(bitstr.readBits(1));
    mLengthSizeMinus1 = std::uint8_t(bitstr.readBits(2));
    NalUnitArrayUtil::parseHevcArrays(bitstr, mNalArray);
}
