#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "FullBox.h"

// 'oinf': the operating points of a layered HEVC image: its profile/tier/level records, one
// operating point per output layer set (its layers and picture size range) and the layers with
// their scalability dimension identifiers and direct reference layers.
class OperatingPointsInformation : public FullBox
{
public:
    struct ProfileTierLevel
    {
        std::uint8_t generalProfileSpace = 0;  // 2 bits
        std::uint8_t generalTierFlag = 0;      // 1 bit
        std::uint8_t generalProfileIdc = 0;    // 5 bits
        std::uint32_t generalProfileCompatibilityFlags = 0;
        std::array<std::uint8_t, 6> generalConstraintIndicatorFlags{};
        std::uint8_t generalLevelIdc = 0;
    };

    struct OperatingPointLayer
    {
        std::uint8_t ptlIdx = 0;
        std::uint8_t layerId = 0;  // 6 bits
        bool isOutputLayer = false;
        bool isAlternateOutputLayer = false;
    };

    struct OperatingPoint
    {
        std::uint16_t outputLayerSetIdx = 0;
        std::vector<OperatingPointLayer> layers;
        std::uint16_t minPicWidth = 0;
        std::uint16_t minPicHeight = 0;
        std::uint16_t maxPicWidth = 0;
        std::uint16_t maxPicHeight = 0;
        std::uint8_t maxChromaFormat = 0;    // 2 bits
        std::uint8_t maxBitDepthMinus8 = 0;  // 3 bits
    };

    struct Layer
    {
        std::uint8_t layerId = 0;
        std::vector<std::uint8_t> directRefLayerIds;
        /// One per bit set in the scalability mask, lowest bit first.
        std::vector<std::uint8_t> dimensionIdentifiers;
    };

    struct Extents
    {
        std::uint16_t width = 0;
        std::uint16_t height = 0;
    };

    OperatingPointsInformation();
    ~OperatingPointsInformation() override = default;

    std::uint16_t getScalabilityMask() const { return mScalabilityMask; }
    void setScalabilityMask(std::uint16_t mask) { mScalabilityMask = mask; }
    const std::vector<ProfileTierLevel>& getProfileTierLevels() const { return mProfileTierLevels; }
    void addProfileTierLevel(const ProfileTierLevel& ptl) { mProfileTierLevels.push_back(ptl); }
    const std::vector<OperatingPoint>& getOperatingPoints() const { return mOperatingPoints; }
    void addOperatingPoint(const OperatingPoint& point) { mOperatingPoints.push_back(point); }
    const std::vector<Layer>& getLayers() const { return mLayers; }
    void addLayer(const Layer& layer) { mLayers.push_back(layer); }

    /// Maximum picture size of the first operating point of that output layer set; throws
    /// std::runtime_error when there is none.
    Extents getExtents(std::uint16_t outputLayerSetIndex) const;
    /// Layer ids of the first operating point of that output layer set, in order; throws
    /// std::runtime_error when there is none.
    std::vector<std::uint8_t> getLayerIds(std::uint16_t outputLayerSetIndex) const;

    /// Replaces the contents by those of one H.265 video parameter set NAL unit in byte-stream
    /// form (start code included), read with its multi-layer extension: the scalability mask
    /// (first flag in the most significant bit), every profile/tier/level of the set, one
    /// operating point per output layer set with the size range of its layers' representation
    /// formats, one layer record per layer. A unit that is no VPS, or that fails to parse,
    /// throws and leaves the property as it was.
    void fillFromVideoParameterSet(const std::vector<std::uint8_t>& vpsNalUnit);

    /// Refuses (std::runtime_error) lists longer than their count fields and layers whose
    /// dimension identifiers do not match the scalability mask, which could not be read back.
    void writeBox(BitStream& bitstr) override;
    void parseBox(BitStream& bitstr) override;

private:
    const OperatingPoint* findOperatingPoint(std::uint16_t outputLayerSetIndex) const;

    std::uint16_t mScalabilityMask = 0;
    std::vector<ProfileTierLevel> mProfileTierLevels;
    std::vector<OperatingPoint> mOperatingPoints;
    std::vector<Layer> mLayers;
};
