#pragma once

#include <cstdint>
#include <vector>

#include "NalUnitArray.h"

class BitStream;

// LHEVCDecoderConfigurationRecord: the parameter sets of the enhancement layers of a layered
// HEVC image, carried by the 'lhvC' item property.
class LayeredHevcDecoderConfigRecord
{
public:
    LayeredHevcDecoderConfigRecord() = default;

    /// Takes the number of temporal layers from a VPS and an SPS, each one unit in byte-stream
    /// form, and empties the arrays.
    void configureFromVpsSps(const std::vector<std::uint8_t>& vps, const std::vector<std::uint8_t>& sps);

    void addNalUnit(const std::vector<std::uint8_t>& nalUnit, std::uint8_t nalUnitType, std::uint8_t arrayCompleteness);
    /// Appends a whole array after those held, even when one of its type exists already.
    void addNalArray(const NalUnitArray& array) { mNalArray.push_back(array); }
    /// Appends every unit of every array of that type, each behind 00 00 00 01.
    void appendParameterSets(std::vector<std::uint8_t>& dest, std::uint8_t nalUnitType) const;

    /// Refuses (std::runtime_error, nothing written) arrays that do not fit their fields.
    void writeDecConfigRecord(BitStream& bitstr) const;
    void parseConfig(BitStream& bitstr);

    std::uint8_t getConfigurationVersion() const { return mConfigurationVersion; }
    void setConfigurationVersion(std::uint8_t value) { mConfigurationVersion = value; }
    std::uint16_t getMinSpatialSegmentationIdc() const { return mMinSpatialSegmentationIdc; }
    void setMinSpatialSegmentationIdc(std::uint16_t value) { mMinSpatialSegmentationIdc = value; }
    std::uint8_t getParallelismType() const { return mParallelismType; }
    void setParallelismType(std::uint8_t value) { mParallelismType = value; }
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
    std::uint16_t mMinSpatialSegmentationIdc = 0;
    std::uint8_t mParallelismType = 0;
    std::uint8_t mNumTemporalLayers = 0;
    std::uint8_t mTemporalIdNested = 0;
    std::uint8_t mLengthSizeMinus1 = 0;
    NalUnitArrays mNalArray;
};
