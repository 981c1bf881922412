#include "OperatingPointsInformation.h"

#include <algorithm>
#include <bitset>
#include <stdexcept>
#include <string>

#include "H265ParameterSets.h"
#include "ParserInterface.h"

namespace
{
void checkCount(std::size_t count, std::size_t maximum, const char* what)
{
    if (count > maximum)
    {
        throw std::runtime_error(std::string("OperatingPointsInformation::writeBox() too many ") + what);
    }
}
}  // namespace

OperatingPointsInformation::OperatingPointsInformation() : FullBox(FourCCInt("oinf"), 0, 0) {}

const OperatingPointsInformation::OperatingPoint*
OperatingPointsInformation::findOperatingPoint(std::uint16_t outputLayerSetIndex) const
{
    for (const auto& point : mOperatingPoints)
    {
        if (point.outputLayerSetIdx == outputLayerSetIndex)
        {
            return &point;
        }
    }
    return nullptr;
}

OperatingPointsInformation::Extents OperatingPointsInformation::getExtents(std::uint16_t outputLayerSetIndex) const
{
    const OperatingPoint* point = findOperatingPoint(outputLayerSetIndex);
    if (point == nullptr)
    {
        throw std::runtime_error(
            "OperatingPointsInformation::getExtents() requested output layer set index not found.");
    }
    return {point->maxPicWidth, point->maxPicHeight};
}

std::vector<std::uint8_t> OperatingPointsInformation::getLayerIds(std::uint16_t outputLayerSetIndex) const
{
    const OperatingPoint* point = findOperatingPoint(outputLayerSetIndex);
    if (point == nullptr)
    {
        throw std::runtime_error(
            "OperatingPointsInformation::getLayerIds() requested output layer set index not found.");
    }
    std::vector<std::uint8_t> ids;
    for (const auto& layer : point->layers)
    {
        ids.push_back(layer.layerId);
    }
    return ids;
}

void OperatingPointsInformation::writeBox(BitStream& bitstr)
{
    // Checked before anything is written so a refused box leaves no partial bytes behind.
    checkCount(mProfileTierLevels.size(), 63, "profile/tier/level records");
    checkCount(mOperatingPoints.size(), 0xFFFF, "operating points");
    checkCount(mLayers.size(), 0xFF, "layers");
    for (const auto& point : mOperatingPoints)
    {
        checkCount(point.layers.size(), 0xFF, "layers in an operating point");
    }
    const std::size_t dimensionCount = std::bitset<16>(mScalabilityMask).count();
    for (const auto& layer : mLayers)
    {
        checkCount(layer.directRefLayerIds.size(), 0xFF, "direct reference layers");
        if (layer.dimensionIdentifiers.size() != dimensionCount)
        {
            throw std::runtime_error(
                "OperatingPointsInformation::writeBox() dimension identifiers do not match the scalability mask");
        }
    }

    setVersion(0);
    setFlags(0);
    writeFullBoxHeader(bitstr);
    bitstr.writeU16(mScalabilityMask);
    bitstr.writeBits(0, 2);  // reserved
    bitstr.writeBits(std::uint32_t(mProfileTierLevels.size()), 6);
    for (const auto& ptl : mProfileTierLevels)
    {
        bitstr.writeBits(ptl.generalProfileSpace, 2);
        bitstr.writeBits(ptl.generalTierFlag, 1);
        bitstr.writeBits(ptl.generalProfileIdc, 5);
        bitstr.writeU32(ptl.generalProfileCompatibilityFlags);
        for (auto byte : ptl.generalConstraintIndicatorFlags)
        {
            bitstr.writeU8(byte);
        }
        bitstr.writeU8(ptl.generalLevelIdc);
    }

    bitstr.writeU16(std::uint16_t(mOperatingPoints.size()));
    for (const auto& point : mOperatingPoints)
    {
        bitstr.writeU16(point.outputLayerSetIdx);
        bitstr.writeU8(0);  // max_temporal_id is not kept
        bitstr.writeU8(std::uint8_t(point.layers.size()));
        for (const auto& layer : point.layers)
        {
            bitstr.writeU8(layer.ptlIdx);
            bitstr.writeBits(layer.layerId, 6);
            bitstr.writeBits(layer.isOutputLayer ? 1 : 0, 1);
            bitstr.writeBits(layer.isAlternateOutputLayer ? 1 : 0, 1);
        }
        bitstr.writeU16(point.minPicWidth);
        bitstr.writeU16(point.minPicHeight);
        bitstr.writeU16(point.maxPicWidth);
        bitstr.writeU16(point.maxPicHeight);
        bitstr.writeBits(point.maxChromaFormat, 2);
        bitstr.writeBits(point.maxBitDepthMinus8, 3);
        bitstr.writeBits(0, 3);  // reserved, no frame rate info, no bit rate info
    }

    bitstr.writeU8(std::uint8_t(mLayers.size()));
    for (const auto& layer : mLayers)
    {
        bitstr.writeU8(layer.layerId);
        bitstr.writeU8(std::uint8_t(layer.directRefLayerIds.size()));
        for (auto id : layer.directRefLayerIds)
        {
            bitstr.writeU8(id);
        }
        for (auto id : layer.dimensionIdentifiers)
        {
            bitstr.writeU8(id);
        }
    }
    updateSize(bitstr);
}

void OperatingPointsInformation::parseBox(BitStream& bitstr)
{
    parseFullBoxHeader(bitstr);
    mProfileTierLevels.clear();
    mOperatingPoints.clear();
    mLayers.clear();

    mScalabilityMask = std::uint16_t(bitstr.readU16());
    bitstr.readBits(2);  // reserved
    const std::uint32_t ptlCount = bitstr.readBits(6);
    for (std::uint32_t i = 0; i < ptlCount; ++i)
    {
        ProfileTierLevel ptl;
        ptl.generalProfileSpace = std::uint8_t(bitstr.readBits(2));
        ptl.generalTierFlag = std::uint8_t(bitstr.readBits(1));
        ptl.generalProfileIdc = std::uint8_t(bitstr.readBits(5));
        ptl.generalProfileCompatibilityFlags = bitstr.readU32();
        for (auto& byte : ptl.generalConstraintIndicatorFlags)
        {
            byte = std::uint8_t(bitstr.readU8());
        }
        ptl.generalLevelIdc = std::uint8_t(bitstr.readU8());
        mProfileTierLevels.push_back(ptl);
    }

    // Counts are not used to size anything up front: every element is read before it is
    // stored, so a hostile count ends in the stream's out-of-range failure.
    const std::uint32_t pointCount = bitstr.readU16();
    for (std::uint32_t i = 0; i < pointCount; ++i)
    {
        OperatingPoint point;
        point.outputLayerSetIdx = std::uint16_t(bitstr.readU16());
        bitstr.readU8();  // max_temporal_id
        const std::uint32_t layerCount = bitstr.readU8();
        for (std::uint32_t j = 0; j < layerCount; ++j)
        {
            OperatingPointLayer layer;
            layer.ptlIdx = std::uint8_t(bitstr.readU8());
            layer.layerId = std::uint8_t(bitstr.readBits(6));
            layer.isOutputLayer = bitstr.readFlag();
            layer.isAlternateOutputLayer = bitstr.readFlag();
            point.layers.push_back(layer);
        }
        point.minPicWidth = std::uint16_t(bitstr.readU16());
        point.minPicHeight = std::uint16_t(bitstr.readU16());
        point.maxPicWidth = std::uint16_t(bitstr.readU16());
        point.maxPicHeight = std::uint16_t(bitstr.readU16());
        point.maxChromaFormat = std::uint8_t(bitstr.readBits(2));
        point.maxBitDepthMinus8 = std::uint8_t(bitstr.readBits(3));
        bitstr.readBits(1);  // reserved
        const bool frameRateInfo = bitstr.readFlag();
        const bool bitRateInfo = bitstr.readFlag();
        // The rate fields are not kept, but they must be stepped over or everything after
        // them would be misread.
        if (frameRateInfo)
        {
            bitstr.readU16();  // avgFrameRate
            bitstr.readU8();   // reserved (6 bits), constantFrameRate (2 bits)
        }
        if (bitRateInfo)
        {
            bitstr.readU32();  // maxBitRate
            bitstr.readU32();  // avgBitRate
        }
        mOperatingPoints.push_back(std::move(point));
    }

    const std::uint32_t layerCount = bitstr.readU8();
    for (std::uint32_t i = 0; i < layerCount; ++i)
    {
        Layer layer;
        layer.layerId = std::uint8_t(bitstr.readU8());
        const std::uint32_t refCount = bitstr.readU8();
        for (std::uint32_t j = 0; j < refCount; ++j)
        {
            layer.directRefLayerIds.push_back(std::uint8_t(bitstr.readU8()));
        }
        for (std::uint32_t bit = 0; bit < 16; ++bit)
        {
            if (mScalabilityMask & (1u << bit))
            {
                layer.dimensionIdentifiers.push_back(std::uint8_t(bitstr.readU8()));
            }
        }
        mLayers.push_back(std::move(layer));
    }
}

void OperatingPointsInformation::fillFromVideoParameterSet(const std::vector<std::uint8_t>& vpsNalUnit)
{
    std::vector<std::uint8_t> rbsp;
    convertByteStreamToRBSP(vpsNalUnit, rbsp);
    BitStream bits(std::move(rbsp));
    if (readH265NalHeader(bits).nalUnitType != 32)
    {
        throw std::runtime_error("OperatingPointsInformation::fillFromVideoParameterSet() not a video parameter set");
    }
    const auto vps = parseH265Vps(bits);
    const H265VpsExtension& ext = vps->extension;

    std::uint16_t mask = 0;
    std::vector<ProfileTierLevel> ptls;
    std::vector<OperatingPoint> points;
    std::vector<Layer> layers;

    const std::vector<H265ProfileTierLevel> single{vps->profileTierLevel};
    for (const auto& source : vps->vpsExtensionFlag ? ext.profileTierLevels : single)
    {
        ProfileTierLevel ptl;
        ptl.generalProfileSpace = source.generalProfileSpace;
        ptl.generalTierFlag = source.generalTierFlag ? 1 : 0;
        ptl.generalProfileIdc = source.generalProfileIdc;
        ptl.generalProfileCompatibilityFlags = source.generalProfileCompatibilityFlags;
        for (std::size_t i = 0; i < 6; ++i)
        {
            ptl.generalConstraintIndicatorFlags[i] =
                std::uint8_t(source.generalConstraintIndicatorFlags >> (8 * (5 - i)));
        }
        ptl.generalLevelIdc = source.generalLevelIdc;
        ptls.push_back(ptl);
    }
    if (ptls.size() > 63)
    {
        throw std::runtime_error("OperatingPointsInformation::fillFromVideoParameterSet() too many profile/tier/level "
                                 "records");
    }

    if (!vps->vpsExtensionFlag)
    {
        // A single-layer set: the base layer alone, without representation formats.
        OperatingPoint point;
        point.layers.push_back({0, 0, true, false});
        points.push_back(point);
        layers.push_back(Layer());
    }
    else
    {
        // Scalability types in increasing bit order of the mask: from the last flag down.
        std::vector<std::size_t> typeOfBit;
        for (std::size_t bit = 0; bit < 16; ++bit)
        {
            const std::size_t flagIdx = 15 - bit;
            if (ext.scalabilityMaskFlag[flagIdx])
            {
                mask = std::uint16_t(mask | (1u << bit));
                std::size_t type = 0;
                for (std::size_t k = 0; k < flagIdx; ++k)
                {
                    type += ext.scalabilityMaskFlag[k] ? 1 : 0;
                }
                typeOfBit.push_back(type);
            }
        }

        for (std::uint32_t ols = 0; ols < ext.numOutputLayerSets; ++ols)
        {
            const auto& layerIds = vps->layerSetLayerIdList.at(ext.olsIdxToLsIdx.at(ols));
            OperatingPoint point;
            point.outputLayerSetIdx = std::uint16_t(ols);
            bool first = true;
            for (std::size_t j = 0; j < layerIds.size(); ++j)
            {
                const bool output = ext.outputLayerFlag.at(ols).at(j);
                point.layers.push_back({std::uint8_t(ext.profileTierLevelIdx.at(ols).at(j)), layerIds[j], output,
                                        output && ext.altOutputLayerFlag.at(ols)});
                const H265RepFormat& rep = ext.repFormats.at(ext.vpsRepFormatIdx.at(vps->layerIdxInVps(layerIds[j])));
                const std::uint16_t width = rep.picWidthVpsInLumaSamples;
                const std::uint16_t height = rep.picHeightVpsInLumaSamples;
                const std::uint8_t bitDepth = std::max(rep.bitDepthVpsLumaMinus8, rep.bitDepthVpsChromaMinus8);
                point.minPicWidth = first ? width : std::min(point.minPicWidth, width);
                point.minPicHeight = first ? height : std::min(point.minPicHeight, height);
                point.maxPicWidth = std::max(point.maxPicWidth, width);
                point.maxPicHeight = std::max(point.maxPicHeight, height);
                point.maxChromaFormat = std::max(point.maxChromaFormat, rep.chromaFormatVpsIdc);
                point.maxBitDepthMinus8 =
                    std::uint8_t(std::min<unsigned>(7, std::max(point.maxBitDepthMinus8, bitDepth)));
                first = false;
            }
            points.push_back(point);
        }

        for (std::uint32_t i = 0; i <= ext.maxLayersMinus1; ++i)
        {
            Layer layer;
            layer.layerId = ext.layerIdInNuh[i];
            layer.directRefLayerIds = ext.idDirectRefLayer[layer.layerId];
            for (std::size_t type : typeOfBit)
            {
                layer.dimensionIdentifiers.push_back(std::uint8_t(ext.dimensionId[i][type]));
            }
            layers.push_back(layer);
        }
    }

    mScalabilityMask = mask;
    mProfileTierLevels = std::move(ptls);
    mOperatingPoints = std::move(points);
    mLayers = std::move(layers);
}
