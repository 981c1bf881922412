#pragma once

#include <cstdint>
#include <vector>

#include "NalUnitArray.h"

class BitStream;

// HEVCDecoderConfigurationRecord: profile, tier and level, stream properties and the VPS, SPS,
// PPS and SEI arrays an H.265 decoder needs before the first picture. The picture size and
// the conformance window are kept from configureFromSps only; they are not record fields.
class HevcDecoderConfigRecord
{
public:
    HevcDecoderConfigRecord();

    /// Fills the record from one SPS in byte-stream form and the frame rate (clamped to what
    /// the 16-bit avgFrameRate can hold, NaN as 0). The SPS itself is not added to the arrays.
    void configureFromSps(const std::vector<std::uint8_t>& sps, float frameRate);

    void addNalUnit(const std::vector<std::uint8_t>& nalUnit, std::uint8_t nalUnitType, std::uint8_t arrayCompleteness);
    /// Appends a whole array after those held, even when one of its type exists already.
    void addNalArray(const NalUnitArray& array) { mNalArray.push_back(array); }
    /// Appends 00 00 00 01 and the first unit of every non-empty array of that type, in order.
    void appendParameterSets(std::vector<std::uint8_t>& dest, std::uint8_t nalUnitType) const;

    /// Refuses (std::runtime_error, nothing written) more than 255 arrays, 65535 units in an
    /// array, or a unit longer than 65535 bytes.
    void writeDecConfigRecord(BitStream& bitstr) const;
    void parseConfig(BitStream& bitstr);

    /// Picture width and height after the conformance window; 0 when the window is larger than
    /// the picture. A chroma format above 3 throws std::out_of_range "vector".
    std::uint32_t getCroppedPicWidth() const;
    std::uint32_t getCroppedPicHeight() const;

    std::uint8_t getConfigurationVersion() const { return mConfigurationVersion; }
    void setConfigurationVersion(std::uint8_t value) { mConfigurationVersion = value; }
    std::uint8_t getGeneralProfileSpace() const { return mGeneralProfileSpace; }
    void setGeneralProfileSpace(std::uint8_t value) { mGeneralProfileSpace = value; }
    std::uint8_t getGeneralTierFlag() const { return mGeneralTierFlag; }
    void setGeneralTierFlag(std::uint8_t value) { mGeneralTierFlag = value; }
    std::uint8_t getGeneralProfileIdc() const { return mGeneralProfileIdc; }
    void setGeneralProfileIdc(std::uint8_t value) { mGeneralProfileIdc = value; }
    std::uint32_t getGeneralProfileCompatibilityFlags() const { return mGeneralProfileCompatibilityFlags; }
    void setGeneralProfileCompatibilityFlags(std::uint32_t value) { mGeneralProfileCompatibilityFlags = value; }
    const std::vector<std::uint8_t>& getGeneralConstraintIndicatorFlags() const
    {
        return mGeneralConstraintIndicatorFlags;
    }
    /// Exactly six bytes; any other length throws std::runtime_error.
    void setGeneralConstraintIndicatorFlags(const std::vector<std::uint8_t>& flags);
    std::uint8_t getGeneralLevelIdc() const { return mGeneralLevelIdc; }
    void setGeneralLevelIdc(std::uint8_t value) { mGeneralLevelIdc = value; }
    std::uint16_t getMinSpatialSegmentationIdc() const { return mMinSpatialSegmentationIdc; }
    void setMinSpatialSegmentationIdc(std::uint16_t value) { mMinSpatialSegmentationIdc = value; }
    std::uint8_t getParallelismType() const { return mParallelismType; }
    void setParallelismType(std::uint8_t value) { mParallelismType = value; }
    std::uint8_t getChromaFormat() const { return mChromaFormat; }
    void setChromaFormat(std::uint8_t value) { mChromaFormat = value; }
    std::uint16_t getPicWidth() const { return mPicWidth; }
    std::uint16_t getPicHeight() const { return mPicHeight; }
    std::uint16_t getConfWinLeftOffset() const { return mConfWinLeftOffset; }
    std::uint16_t getConfWinRightOffset() const { return mConfWinRightOffset; }
    std::uint16_t getConfWinTopOffset() const { return mConfWinTopOffset; }
    std::uint16_t getConfWinBottomOffset() const { return mConfWinBottomOffset; }
    std::uint8_t getBitDepthLumaMinus8() const { return mBitDepthLumaMinus8; }
    void setBitDepthLumaMinus8(std::uint8_t value) { mBitDepthLumaMinus8 = value; }
    std::uint8_t getBitDepthChromaMinus8() const { return mBitDepthChromaMinus8; }
    void setBitDepthChromaMinus8(std::uint8_t value) { mBitDepthChromaMinus8 = value; }
    std::uint16_t getAvgFrameRate() const { return mAvgFrameRate; }
    void setAvgFrameRate(std::uint16_t value) { mAvgFrameRate = value; }
    std::uint8_t getConstantFrameRate() const { return mConstantFrameRate; }
    void setConstantFrameRate(std::uint8_t value) { mConstantFrameRate = value; }
    std::uint8_t getNumTemporalLayers() const { return mNumTemporalLayers; }
    void setNumTemporalLayers(std::uint8_t value) { mNumTemporalLayers = value; }
    std::uint8_t getTemporalIdNested() const { return mTemporalIdNested; }
    void setTemporalIdNested(std::uint8_t value) { mTemporalIdNested = value; }
    std::uint8_t getLengthSizeMinus1() const { return mLengthSizeMinus1; }
    void setLengthSizeMinus1(std::uint8_t value) { mLengthSizeMinus1 = value; }
    std::uint8_t getNumOfArrays() const { return std::uint8_t(mNalArray.size()); }
    const NalUnitArrays& getNalArrays() const { return mNalArray; }

private:
    std::uint8_t mConfigurationVersion = 1;
    std::uint8_t mGeneralProfileSpace = 0;
    std::uint8_t mGeneralTierFlag = 0;
    std::uint8_t mGeneralProfileIdc = 0;
    std::uint32_t mGeneralProfileCompatibilityFlags = 0;
    std::vector<std::uint8_t> mGeneralConstraintIndicatorFlags;
    std::uint8_t mGeneralLevelIdc = 0;
    std::uint16_t mMinSpatialSegmentationIdc = 0;
    std::uint8_t mParallelismType = 0;
    std::uint8_t mChromaFormat = 0;
    std::uint16_t mPicWidth = 0;
    std::uint16_t mPicHeight = 0;
    std::uint16_t mConfWinLeftOffset = 0;
    std::uint16_t mConfWinRightOffset = 0;
    std::uint16_t mConfWinTopOffset = 0;
    std::uint16_t mConfWinBottomOffset = 0;
    std::uint8_t mBitDepthLumaMinus8 = 0;
    std::uint8_t mBitDepthChromaMinus8 = 0;
    std::uint16_t mAvgFrameRate = 0;
    std::uint8_t mConstantFrameRate = 0;
    std::uint8_t mNumTemporalLayers = 0;
    std::uint8_t mTemporalIdNested = 0;
    std::uint8_t mLengthSizeMinus1 = 0;
    NalUnitArrays mNalArray;
};
