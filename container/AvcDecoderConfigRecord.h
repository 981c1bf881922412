#pragma once

#include <cstdint>
#include <vector>

#include "NalUnitArray.h"

class BitStream;

// AVCDecoderConfigurationRecord: profile and level, NAL unit length size, and the SPS, PPS
// and SPS extension units an H.264 decoder needs before the first picture.
class AvcDecoderConfigRecord
{
public:
    AvcDecoderConfigRecord() = default;

    /// Resets the NAL length size and the arrays, then takes chroma format, bit depths and the
    /// cropped picture size from the SPS (one unit in byte-stream form). Profile,
    /// compatibility and level keep their values.
    void configureFromSps(const std::vector<std::uint8_t>& sps);

    void addNalUnit(const std::vector<std::uint8_t>& nalUnit, std::uint8_t nalUnitType, std::uint8_t arrayCompleteness);
    /// Appends a whole array after those held, even when one of its type exists already.
    void addNalArray(const NalUnitArray& array) { mNalArray.push_back(array); }
    /// The first array of that type, or null.
    const NalUnitArray* findNalArray(std::uint8_t nalUnitType) const;
    /// Appends 00 00 00 01 and the first unit of the first array of that type, if any.
    void appendParameterSets(std::vector<std::uint8_t>& dest, std::uint8_t nalUnitType) const;

    /// Refuses (std::runtime_error, nothing written) unit counts or lengths that do not fit
    /// their fields: 31 SPS, 255 PPS and SPS extensions, 65535 bytes per unit.
    void writeDecConfigRecord(BitStream& bitstr) const;
    void parseConfig(BitStream& bitstr);

    std::uint8_t getConfigurationVersion() const { return mConfigurationVersion; }
    void setConfigurationVersion(std::uint8_t value) { mConfigurationVersion = value; }
    std::uint8_t getAvcProfileIndication() const { return mAvcProfileIndication; }
    void setAvcProfileIndication(std::uint8_t value) { mAvcProfileIndication = value; }
    std::uint8_t getProfileCompatibility() const { return mProfileCompatibility; }
    void setProfileCompatibility(std::uint8_t value) { mProfileCompatibility = value; }
    std::uint8_t getAvcLevelIndication() const { return mAvcLevelIndication; }
    void setAvcLevelIndication(std::uint8_t value) { mAvcLevelIndication = value; }
    std::uint8_t getLengthSizeMinus1() const { return mLengthSizeMinus1; }
    void setLengthSizeMinus1(std::uint8_t value) { mLengthSizeMinus1 = value; }
    std::uint8_t getChromaFormat() const { return mChromaFormat; }
    void setChromaFormat(std::uint8_t value) { mChromaFormat = value; }
    std::uint8_t getBitDepthLumaMinus8() const { return mBitDepthLumaMinus8; }
    void setBitDepthLumaMinus8(std::uint8_t value) { mBitDepthLumaMinus8 = value; }
    std::uint8_t getBitDepthChromaMinus8() const { return mBitDepthChromaMinus8; }
    void setBitDepthChromaMinus8(std::uint8_t value) { mBitDepthChromaMinus8 = value; }
    std::uint16_t getPicWidth() const { return mPicWidth; }
    std::uint16_t getPicHeight() const { return mPicHeight; }
    std::uint8_t getNumOfArrays() const { return std::uint8_t(mNalArray.size()); }
    const NalUnitArrays& getNalArrays() const { return mNalArray; }

private:
    /// Only these profiles carry the chroma format / bit depth extension.
    bool hasExtension() const;

    std::uint8_t mConfigurationVersion = 1;
    std::uint8_t mAvcProfileIndication = 0x42;
    std::uint8_t mProfileCompatibility = 0x80;
    std::uint8_t mAvcLevelIndication = 0x1E;
    std::uint8_t mLengthSizeMinus1 = 3;
    std::uint8_t mChromaFormat = 0;
    std::uint8_t mBitDepthLumaMinus8 = 0;
    std::uint8_t mBitDepthChromaMinus8 = 0;
    std::uint16_t mPicWidth = 0;
    std::uint16_t mPicHeight = 0;
    NalUnitArrays mNalArray;
};
