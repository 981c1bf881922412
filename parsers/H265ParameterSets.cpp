#include "H265ParameterSets.h"

#include <algorithm>
#include <string>

#include "BitStream.h"
#include "ExpGolombRange.h"

namespace
{
// The largest picture side this reader accepts; with the smallest coding tree block it also
// bounds the tile grid.
constexpr std::uint32_t kMaxPictureSide = 65535;
constexpr std::uint32_t kMaxTileColumnsOrRows = (kMaxPictureSide + 15) / 16;

[[noreturn]] void fail(const std::string& what)
{
    throw H265StreamError("H.265 stream: " + what + " out of range");
}

std::uint32_t readUe(BitStream& bits, std::uint32_t maxValue, const char* name)
{
    return readUeAtMost<H265StreamError>(bits, maxValue, "H.265 stream: ", name);
}

std::int32_t readSe(BitStream& bits, std::int32_t minValue, std::int32_t maxValue, const char* name)
{
    return readSeWithin<H265StreamError>(bits, minValue, maxValue, "H.265 stream: ", name);
}

std::uint64_t readBits64(BitStream& bits, std::uint32_t count)
{
    std::uint64_t value = 0;
    while (count > 0)
    {
        const std::uint32_t chunk = std::min<std::uint32_t>(count, 32);
        value = (value << chunk) | bits.readBits(chunk);
        count -= chunk;
    }
    return value;
}

void parseSubLayerHrd(BitStream& bits, std::uint32_t cpbCnt, bool subPicParams, H265SubLayerHrd& hrd)
{
    for (std::uint32_t i = 0; i < cpbCnt; ++i)
    {
        hrd.bitRateValueMinus1.push_back(bits.readUnsignedExpGolomb());
        hrd.cpbSizeValueMinus1.push_back(bits.readUnsignedExpGolomb());
        if (subPicParams)
        {
            hrd.cpbSizeDuValueMinus1.push_back(bits.readUnsignedExpGolomb());
            hrd.bitRateDuValueMinus1.push_back(bits.readUnsignedExpGolomb());
        }
        hrd.cbrFlag.push_back(bits.readFlag());
    }
}

void parseRepFormat(BitStream& bits, const H265RepFormat* previous, H265RepFormat& rep)
{
    rep.picWidthVpsInLumaSamples = std::uint16_t(bits.readBits(16));
    rep.picHeightVpsInLumaSamples = std::uint16_t(bits.readBits(16));
    rep.chromaAndBitDepthVpsPresentFlag = bits.readFlag();
    if (rep.chromaAndBitDepthVpsPresentFlag)
    {
        rep.chromaFormatVpsIdc = std::uint8_t(bits.readBits(2));
        if (rep.chromaFormatVpsIdc == 3)
        {
            rep.separateColourPlaneVpsFlag = bits.readFlag();
        }
        rep.bitDepthVpsLumaMinus8 = std::uint8_t(bits.readBits(4));
        rep.bitDepthVpsChromaMinus8 = std::uint8_t(bits.readBits(4));
    }
    else if (previous != nullptr)
    {
        rep.chromaFormatVpsIdc = previous->chromaFormatVpsIdc;
        rep.separateColourPlaneVpsFlag = previous->separateColourPlaneVpsFlag;
        rep.bitDepthVpsLumaMinus8 = previous->bitDepthVpsLumaMinus8;
        rep.bitDepthVpsChromaMinus8 = previous->bitDepthVpsChromaMinus8;
    }
    rep.conformanceWindowVpsFlag = bits.readFlag();
    if (rep.conformanceWindowVpsFlag)
    {
        rep.confWinVpsLeftOffset = bits.readUnsignedExpGolomb();
        rep.confWinVpsRightOffset = bits.readUnsignedExpGolomb();
        rep.confWinVpsTopOffset = bits.readUnsignedExpGolomb();
        rep.confWinVpsBottomOffset = bits.readUnsignedExpGolomb();
    }
}

void copyProfile(const H265ProfileTierLevel& from, H265ProfileTierLevel& to)
{
    to.generalProfileSpace = from.generalProfileSpace;
    to.generalTierFlag = from.generalTierFlag;
    to.generalProfileIdc = from.generalProfileIdc;
    to.generalProfileCompatibilityFlags = from.generalProfileCompatibilityFlags;
    to.generalProgressiveSourceFlag = from.generalProgressiveSourceFlag;
    to.generalInterlacedSourceFlag = from.generalInterlacedSourceFlag;
    to.generalNonPackedConstraintFlag = from.generalNonPackedConstraintFlag;
    to.generalFrameOnlyConstraintFlag = from.generalFrameOnlyConstraintFlag;
    to.generalConstraintIndicatorFlags = from.generalConstraintIndicatorFlags;
}

void parseVpsExtension(BitStream& bits, H265Vps& vps)
{
    H265VpsExtension& ext = vps.extension;
    ext.maxLayersMinus1 = std::min<std::uint32_t>(62, vps.vpsMaxLayersMinus1);
    const std::uint32_t layerCount = ext.maxLayersMinus1 + 1;

    ext.profileTierLevels.push_back(vps.profileTierLevel);
    if (vps.vpsMaxLayersMinus1 > 0 && vps.vpsBaseLayerInternalFlag)
    {
        H265ProfileTierLevel ptl;
        parseH265ProfileTierLevel(bits, false, vps.vpsMaxSubLayersMinus1, ptl);
        copyProfile(vps.profileTierLevel, ptl);
        ext.profileTierLevels.push_back(ptl);
        ext.hasBaseExtensionPtl = true;
    }

    ext.splittingFlag = bits.readFlag();
    for (std::uint32_t i = 0; i < 16; ++i)
    {
        ext.scalabilityMaskFlag[i] = bits.readFlag();
        ext.numScalabilityTypes += ext.scalabilityMaskFlag[i] ? 1 : 0;
    }
    if (ext.splittingFlag && ext.numScalabilityTypes == 0)
    {
        fail("splitting_flag without scalability types");
    }
    const std::uint32_t signalledLengths = ext.numScalabilityTypes - (ext.splittingFlag ? 1 : 0);
    std::vector<std::uint32_t> dimBitOffset(ext.numScalabilityTypes + 1, 0);
    for (std::uint32_t j = 0; j < signalledLengths; ++j)
    {
        ext.dimensionIdLenMinus1.push_back(bits.readBits(3));
        dimBitOffset[j + 1] = dimBitOffset[j] + ext.dimensionIdLenMinus1[j] + 1;
    }
    if (ext.splittingFlag)
    {
        // The last dimension takes the bits of the 6-bit layer id that are left.
        const std::uint32_t last = ext.numScalabilityTypes - 1;
        if (dimBitOffset[last] > 5)
        {
            fail("dimension_id_len_minus1");
        }
        ext.dimensionIdLenMinus1.push_back(5 - dimBitOffset[last]);
        dimBitOffset[last + 1] = 6;
    }

    ext.vpsNuhLayerIdPresentFlag = bits.readFlag();
    ext.layerIdInNuh.assign(1, 0);
    ext.dimensionId.assign(1, std::vector<std::uint32_t>(ext.numScalabilityTypes, 0));
    for (std::uint32_t i = 1; i < layerCount; ++i)
    {
        const std::uint32_t layerId = ext.vpsNuhLayerIdPresentFlag ? bits.readBits(6) : i;
        // Layer ids increase with the layer index, so each maps to one index.
        if (layerId <= ext.layerIdInNuh.back())
        {
            fail("layer_id_in_nuh");
        }
        ext.layerIdInNuh.push_back(std::uint8_t(layerId));
        std::vector<std::uint32_t> dims(ext.numScalabilityTypes, 0);
        for (std::uint32_t j = 0; j < ext.numScalabilityTypes; ++j)
        {
            if (!ext.splittingFlag)
            {
                dims[j] = bits.readBits(ext.dimensionIdLenMinus1[j] + 1);
            }
            else
            {
                dims[j] = (layerId & ((1u << dimBitOffset[j + 1]) - 1)) >> dimBitOffset[j];
            }
        }
        ext.dimensionId.push_back(std::move(dims));
    }
    ext.layerIdxInVps.fill(-1);
    for (std::uint32_t i = 0; i < layerCount; ++i)
    {
        ext.layerIdxInVps[ext.layerIdInNuh[i]] = std::int32_t(i);
    }

    // Views: a layer whose view order index no earlier layer has starts a new view.
    std::vector<std::uint32_t> viewOrderIdx(layerCount, 0);
    for (std::uint32_t i = 0; i < layerCount; ++i)
    {
        for (std::uint32_t smIdx = 0, j = 0; smIdx < 16; ++smIdx)
        {
            if (ext.scalabilityMaskFlag[smIdx])
            {
                if (smIdx == 1)
                {
                    viewOrderIdx[i] = ext.dimensionId[i][j];
                }
                ++j;
            }
        }
        if (i > 0 &&
            std::find(viewOrderIdx.begin(), viewOrderIdx.begin() + i, viewOrderIdx[i]) == viewOrderIdx.begin() + i)
        {
            ++ext.numViews;
        }
    }
    ext.viewIdLen = bits.readBits(4);
    if (ext.viewIdLen > 0)
    {
        for (std::uint32_t i = 0; i < ext.numViews; ++i)
        {
            ext.viewIdVal.push_back(bits.readBits(ext.viewIdLen));
        }
    }

    ext.directDependencyFlag.assign(layerCount, std::vector<bool>(layerCount, false));
    for (std::uint32_t i = 1; i < layerCount; ++i)
    {
        for (std::uint32_t j = 0; j < i; ++j)
        {
            ext.directDependencyFlag[i][j] = bits.readFlag();
        }
    }
    ext.dependencyFlag = ext.directDependencyFlag;
    for (std::uint32_t i = 0; i < layerCount; ++i)
    {
        for (std::uint32_t j = 0; j < layerCount; ++j)
        {
            for (std::uint32_t k = 0; k < i; ++k)
            {
                if (ext.directDependencyFlag[i][k] && ext.dependencyFlag[k][j])
                {
                    ext.dependencyFlag[i][j] = true;
                }
            }
        }
    }
    for (std::uint32_t i = 0; i < layerCount; ++i)
    {
        const std::uint8_t iLayerId = ext.layerIdInNuh[i];
        for (std::uint32_t j = 0; j < layerCount; ++j)
        {
            if (ext.directDependencyFlag[i][j])
            {
                ext.idDirectRefLayer[iLayerId].push_back(ext.layerIdInNuh[j]);
            }
            if (ext.dependencyFlag[j][i])
            {
                ext.idPredictedLayer[iLayerId].push_back(ext.layerIdInNuh[j]);
            }
        }
        ext.numDirectRefLayers[iLayerId] = std::uint32_t(ext.idDirectRefLayer[iLayerId].size());
    }
    std::array<bool, 64> layerIdInList{};
    for (std::uint32_t i = 0; i < layerCount; ++i)
    {
        const std::uint8_t iLayerId = ext.layerIdInNuh[i];
        if (ext.numDirectRefLayers[iLayerId] == 0)
        {
            std::vector<std::uint8_t> partition{iLayerId};
            for (std::uint8_t predicted : ext.idPredictedLayer[iLayerId])
            {
                if (!layerIdInList[predicted])
                {
                    partition.push_back(predicted);
                    layerIdInList[predicted] = true;
                }
            }
            ext.treePartitionLayerIdList.push_back(std::move(partition));
        }
    }
    ext.numIndependentLayers = std::uint32_t(ext.treePartitionLayerIdList.size());

    if (ext.numIndependentLayers > 1)
    {
        ext.numAddLayerSets = readUe(bits, 1023, "num_add_layer_sets");
    }
    for (std::uint32_t i = 0; i < ext.numAddLayerSets; ++i)
    {
        std::vector<std::uint32_t> highest(ext.numIndependentLayers, 0);
        std::vector<std::uint8_t> layerIds;
        for (std::uint32_t j = 1; j < ext.numIndependentLayers; ++j)
        {
            const std::uint32_t inTree = std::uint32_t(ext.treePartitionLayerIdList[j].size());
            highest[j] = bits.readBits(h265CeilLog2(inTree + 1));
            if (highest[j] > inTree)
            {
                fail("highest_layer_idx_plus1");
            }
            layerIds.insert(layerIds.end(), ext.treePartitionLayerIdList[j].begin(),
                            ext.treePartitionLayerIdList[j].begin() + highest[j]);
        }
        ext.highestLayerIdxPlus1.push_back(std::move(highest));
        vps.layerSetLayerIdList.push_back(std::move(layerIds));
    }

    ext.vpsSubLayersMaxMinus1PresentFlag = bits.readFlag();
    ext.subLayersVpsMaxMinus1.assign(layerCount, std::uint8_t(vps.vpsMaxSubLayersMinus1));
    if (ext.vpsSubLayersMaxMinus1PresentFlag)
    {
        for (std::uint32_t i = 0; i < layerCount; ++i)
        {
            ext.subLayersVpsMaxMinus1[i] = std::uint8_t(bits.readBits(3));
        }
    }
    ext.maxTidRefPresentFlag = bits.readFlag();
    ext.maxTidIlRefPicsPlus1.assign(layerCount, std::vector<std::uint8_t>(layerCount, 7));
    if (ext.maxTidRefPresentFlag)
    {
        for (std::uint32_t i = 0; i + 1 < layerCount; ++i)
        {
            for (std::uint32_t j = i + 1; j < layerCount; ++j)
            {
                if (ext.directDependencyFlag[j][i])
                {
                    ext.maxTidIlRefPicsPlus1[i][j] = std::uint8_t(bits.readBits(3));
                }
            }
        }
    }
    ext.defaultRefLayersActiveFlag = bits.readFlag();

    ext.vpsNumProfileTierLevelMinus1 = readUe(bits, 63, "vps_num_profile_tier_level_minus1");
    for (std::uint32_t i = vps.vpsBaseLayerInternalFlag ? 2 : 1; i <= ext.vpsNumProfileTierLevelMinus1; ++i)
    {
        if (ext.profileTierLevels.size() != i)
        {
            fail("vps_num_profile_tier_level_minus1");
        }
        const bool profilePresent = bits.readFlag();
        H265ProfileTierLevel ptl;
        parseH265ProfileTierLevel(bits, profilePresent, vps.vpsMaxSubLayersMinus1, ptl);
        if (!profilePresent)
        {
            copyProfile(ext.profileTierLevels.back(), ptl);
        }
        ext.profileTierLevels.push_back(ptl);
    }

    const std::uint32_t numLayerSets = vps.numLayerSets();
    if (numLayerSets > 1)
    {
        ext.numAddOlss = readUe(bits, 1023, "num_add_olss");
        ext.defaultOutputLayerIdc = bits.readBits(2);
    }
    const std::uint32_t defaultOutputLayerIdc = std::min<std::uint32_t>(ext.defaultOutputLayerIdc, 2);
    ext.numOutputLayerSets = ext.numAddOlss + numLayerSets;
    // Output layer set 0 is the base layer alone.
    ext.olsIdxToLsIdx.push_back(0);
    ext.outputLayerFlag.push_back(std::vector<bool>(vps.layerSetLayerIdList[0].size(), true));
    ext.necessaryLayerFlag.push_back(ext.outputLayerFlag[0]);
    ext.profileTierLevelIdx.push_back(std::vector<std::uint32_t>(vps.layerSetLayerIdList[0].size(), 0));
    ext.altOutputLayerFlag.push_back(false);
    const std::uint32_t ptlIdxBits = h265CeilLog2(ext.vpsNumProfileTierLevelMinus1 + 1);
    for (std::uint32_t i = 1; i < ext.numOutputLayerSets; ++i)
    {
        std::uint32_t lsIdx = i;
        if (i >= numLayerSets)
        {
            std::uint32_t minus1 = 0;
            if (numLayerSets > 2)
            {
                minus1 = bits.readBits(h265CeilLog2(numLayerSets - 1));
                if (minus1 > numLayerSets - 2)
                {
                    fail("layer_set_idx_for_ols_minus1");
                }
            }
            lsIdx = minus1 + 1;
        }
        ext.olsIdxToLsIdx.push_back(lsIdx);
        const std::vector<std::uint8_t>& layerIds = vps.layerSetLayerIdList[lsIdx];
        const std::size_t count = layerIds.size();

        std::vector<bool> output(count, false);
        if (i > vps.vpsNumLayerSetsMinus1 || defaultOutputLayerIdc == 2)
        {
            for (std::size_t j = 0; j < count; ++j)
            {
                output[j] = bits.readFlag();
            }
        }
        else if (defaultOutputLayerIdc == 0)
        {
            output.assign(count, true);
        }
        else if (count > 0)
        {
            // Only the layer with the highest id; the lists are in increasing id order.
            output[count - 1] = true;
        }

        std::vector<bool> necessary(count, false);
        for (std::size_t j = 0; j < count; ++j)
        {
            if (!output[j])
            {
                continue;
            }
            necessary[j] = true;
            const std::uint32_t current = std::uint32_t(ext.layerIdxInVps.at(layerIds[j]));
            for (std::size_t r = 0; r < j; ++r)
            {
                const std::int32_t ref = ext.layerIdxInVps.at(layerIds[r]);
                if (ref >= 0 && current < layerCount && ext.dependencyFlag[current][std::uint32_t(ref)])
                {
                    necessary[r] = true;
                }
            }
        }

        std::vector<std::uint32_t> ptlIdx(count, 0);
        for (std::size_t j = 0; j < count; ++j)
        {
            if (necessary[j] && ext.vpsNumProfileTierLevelMinus1 > 0)
            {
                ptlIdx[j] = bits.readBits(ptlIdxBits);
                if (ptlIdx[j] > ext.vpsNumProfileTierLevelMinus1)
                {
                    fail("profile_tier_level_idx");
                }
            }
        }

        std::uint32_t numOutputLayers = 0;
        std::uint32_t highestOutputLayerId = 0;
        for (std::size_t j = 0; j < count; ++j)
        {
            if (output[j])
            {
                ++numOutputLayers;
                highestOutputLayerId = layerIds[j];
            }
        }
        bool alt = false;
        if (numOutputLayers == 1 && ext.numDirectRefLayers.at(highestOutputLayerId) > 0)
        {
            alt = bits.readFlag();
        }
        ext.outputLayerFlag.push_back(std::move(output));
        ext.necessaryLayerFlag.push_back(std::move(necessary));
        ext.profileTierLevelIdx.push_back(std::move(ptlIdx));
        ext.altOutputLayerFlag.push_back(alt);
    }

    const std::uint32_t numRepFormatsMinus1 = readUe(bits, 255, "vps_num_rep_formats_minus1");
    for (std::uint32_t i = 0; i <= numRepFormatsMinus1; ++i)
    {
        H265RepFormat rep;
        parseRepFormat(bits, ext.repFormats.empty() ? nullptr : &ext.repFormats.back(), rep);
        ext.repFormats.push_back(rep);
    }
    if (numRepFormatsMinus1 > 0)
    {
        ext.repFormatIdxPresentFlag = bits.readFlag();
    }
    ext.vpsRepFormatIdx.assign(layerCount, 0);
    for (std::uint32_t i = 0; i < layerCount; ++i)
    {
        ext.vpsRepFormatIdx[i] = std::min(i, numRepFormatsMinus1);
    }
    if (ext.repFormatIdxPresentFlag)
    {
        const std::uint32_t width = h265CeilLog2(numRepFormatsMinus1 + 1);
        for (std::uint32_t i = vps.vpsBaseLayerInternalFlag ? 1 : 0; i < layerCount; ++i)
        {
            ext.vpsRepFormatIdx[i] = bits.readBits(width);
            if (ext.vpsRepFormatIdx[i] > numRepFormatsMinus1)
            {
                fail("vps_rep_format_idx");
            }
        }
    }
    if (vps.vpsBaseLayerInternalFlag)
    {
        ext.vpsRepFormatIdx[0] = 0;
    }
    ext.maxOneActiveRefLayerFlag = bits.readFlag();
    ext.vpsPocLsbAlignedFlag = bits.readFlag();
    ext.pocLsbNotPresentFlag.assign(layerCount, false);
    for (std::uint32_t i = 1; i < layerCount; ++i)
    {
        if (ext.numDirectRefLayers[ext.layerIdInNuh[i]] == 0)
        {
            ext.pocLsbNotPresentFlag[i] = bits.readFlag();
        }
    }
    // dpb_size() and what follows are not needed.
}

void parseScalingListMatrix(BitStream& bits, std::uint32_t sizeId, std::uint32_t matrixId,
                            H265ScalingListData::Matrix& m)
{
    m.predModeFlag = bits.readFlag();
    if (!m.predModeFlag)
    {
        m.predMatrixIdDelta = readUe(bits, sizeId == 3 ? matrixId / 3 : matrixId, "scaling_list_pred_matrix_id_delta");
        return;
    }
    std::int32_t nextCoef = 8;
    const std::uint32_t coefNum = std::min<std::uint32_t>(64, 1u << (4 + (sizeId << 1)));
    if (sizeId > 1)
    {
        m.dcCoefMinus8 = readSe(bits, -7, 247, "scaling_list_dc_coef_minus8");
        nextCoef = m.dcCoefMinus8 + 8;
    }
    for (std::uint32_t i = 0; i < coefNum; ++i)
    {
        const std::int32_t delta = readSe(bits, -128, 127, "scaling_list_delta_coef");
        nextCoef = (nextCoef + delta + 256) % 256;
        m.coefficients.push_back(std::uint8_t(nextCoef));
    }
}

std::uint32_t subWidthC(std::uint32_t chromaArrayType)
{
    return (chromaArrayType == 1 || chromaArrayType == 2) ? 2 : 1;
}

std::uint32_t subHeightC(std::uint32_t chromaArrayType)
{
    return chromaArrayType == 1 ? 2 : 1;
}
}  // namespace

H265NalHeader readH265NalHeader(BitStream& bits)
{
    H265NalHeader header;
    bits.readBits(1);  // forbidden_zero_bit
    header.nalUnitType = std::uint8_t(bits.readBits(6));
    header.nuhLayerId = std::uint8_t(bits.readBits(6));
    header.nuhTemporalIdPlus1 = std::uint8_t(bits.readBits(3));
    return header;
}

std::uint32_t h265CeilLog2(std::uint32_t x)
{
    std::uint32_t bits = 0;
    while ((std::uint64_t(1) << bits) < x)
    {
        ++bits;
    }
    return bits;
}

void parseH265ProfileTierLevel(BitStream& bits, bool profilePresent, std::uint32_t maxNumSubLayersMinus1,
                               H265ProfileTierLevel& ptl)
{
    if (maxNumSubLayersMinus1 > 6)
    {
        fail("maxNumSubLayersMinus1");
    }
    ptl = H265ProfileTierLevel();
    ptl.profilePresent = profilePresent;
    if (profilePresent)
    {
        ptl.generalProfileSpace = std::uint8_t(bits.readBits(2));
        ptl.generalTierFlag = bits.readFlag();
        ptl.generalProfileIdc = std::uint8_t(bits.readBits(5));
        ptl.generalProfileCompatibilityFlags = bits.readBits(32);
        ptl.generalConstraintIndicatorFlags = readBits64(bits, 48);
        ptl.generalProgressiveSourceFlag = (ptl.generalConstraintIndicatorFlags >> 47) & 1;
        ptl.generalInterlacedSourceFlag = (ptl.generalConstraintIndicatorFlags >> 46) & 1;
        ptl.generalNonPackedConstraintFlag = (ptl.generalConstraintIndicatorFlags >> 45) & 1;
        ptl.generalFrameOnlyConstraintFlag = (ptl.generalConstraintIndicatorFlags >> 44) & 1;
    }
    ptl.generalLevelIdc = std::uint8_t(bits.readBits(8));
    ptl.subLayers.resize(maxNumSubLayersMinus1);
    for (auto& sub : ptl.subLayers)
    {
        sub.profilePresent = bits.readFlag();
        sub.levelPresent = bits.readFlag();
    }
    if (maxNumSubLayersMinus1 > 0)
    {
        for (std::uint32_t i = maxNumSubLayersMinus1; i < 8; ++i)
        {
            bits.readBits(2);  // reserved_zero_2bits
        }
    }
    for (auto& sub : ptl.subLayers)
    {
        if (sub.profilePresent)
        {
            sub.profileSpace = std::uint8_t(bits.readBits(2));
            sub.tierFlag = bits.readFlag();
            sub.profileIdc = std::uint8_t(bits.readBits(5));
            sub.profileCompatibilityFlags = bits.readBits(32);
            sub.constraintIndicatorFlags = readBits64(bits, 48);
        }
        if (sub.levelPresent)
        {
            sub.levelIdc = std::uint8_t(bits.readBits(8));
        }
    }
}

void parseH265HrdParameters(BitStream& bits, bool commonInfPresent, std::uint32_t maxNumSubLayersMinus1,
                            H265HrdParameters& hrd)
{
    if (maxNumSubLayersMinus1 > 6)
    {
        fail("maxNumSubLayersMinus1");
    }
    if (commonInfPresent)
    {
        hrd.nalHrdParametersPresentFlag = bits.readFlag();
        hrd.vclHrdParametersPresentFlag = bits.readFlag();
        if (hrd.nalHrdParametersPresentFlag || hrd.vclHrdParametersPresentFlag)
        {
            hrd.subPicHrdParamsPresentFlag = bits.readFlag();
            if (hrd.subPicHrdParamsPresentFlag)
            {
                hrd.tickDivisorMinus2 = std::uint8_t(bits.readBits(8));
                hrd.duCpbRemovalDelayIncrementLengthMinus1 = std::uint8_t(bits.readBits(5));
                hrd.subPicCpbParamsInPicTimingSeiFlag = bits.readFlag();
                hrd.dpbOutputDelayDuLengthMinus1 = std::uint8_t(bits.readBits(5));
            }
            hrd.bitRateScale = std::uint8_t(bits.readBits(4));
            hrd.cpbSizeScale = std::uint8_t(bits.readBits(4));
            if (hrd.subPicHrdParamsPresentFlag)
            {
                hrd.cpbSizeDuScale = std::uint8_t(bits.readBits(4));
            }
            hrd.initialCpbRemovalDelayLengthMinus1 = std::uint8_t(bits.readBits(5));
            hrd.auCpbRemovalDelayLengthMinus1 = std::uint8_t(bits.readBits(5));
            hrd.dpbOutputDelayLengthMinus1 = std::uint8_t(bits.readBits(5));
        }
    }
    hrd.subLayers.clear();
    for (std::uint32_t i = 0; i <= maxNumSubLayersMinus1; ++i)
    {
        H265HrdParameters::SubLayer sub;
        sub.fixedPicRateGeneralFlag = bits.readFlag();
        sub.fixedPicRateWithinCvsFlag = sub.fixedPicRateGeneralFlag ? true : bits.readFlag();
        if (sub.fixedPicRateWithinCvsFlag)
        {
            sub.elementalDurationInTcMinus1 = readUe(bits, 2047, "elemental_duration_in_tc_minus1");
        }
        else
        {
            sub.lowDelayHrdFlag = bits.readFlag();
        }
        if (!sub.lowDelayHrdFlag)
        {
            sub.cpbCntMinus1 = readUe(bits, 31, "cpb_cnt_minus1");
        }
        if (hrd.nalHrdParametersPresentFlag)
        {
            parseSubLayerHrd(bits, sub.cpbCntMinus1 + 1, hrd.subPicHrdParamsPresentFlag, sub.nal);
        }
        if (hrd.vclHrdParametersPresentFlag)
        {
            parseSubLayerHrd(bits, sub.cpbCntMinus1 + 1, hrd.subPicHrdParamsPresentFlag, sub.vcl);
        }
        hrd.subLayers.push_back(std::move(sub));
    }
}

void parseH265Vui(BitStream& bits, std::uint32_t spsMaxSubLayersMinus1, H265Vui& vui)
{
    vui.aspectRatioInfoPresentFlag = bits.readFlag();
    if (vui.aspectRatioInfoPresentFlag)
    {
        vui.aspectRatioIdc = std::uint8_t(bits.readBits(8));
        if (vui.aspectRatioIdc == 255)  // EXTENDED_SAR
        {
            vui.sarWidth = std::uint16_t(bits.readBits(16));
            vui.sarHeight = std::uint16_t(bits.readBits(16));
        }
    }
    vui.overscanInfoPresentFlag = bits.readFlag();
    if (vui.overscanInfoPresentFlag)
    {
        vui.overscanAppropriateFlag = bits.readFlag();
    }
    vui.videoSignalTypePresentFlag = bits.readFlag();
    if (vui.videoSignalTypePresentFlag)
    {
        vui.videoFormat = std::uint8_t(bits.readBits(3));
        vui.videoFullRangeFlag = bits.readFlag();
        vui.colourDescriptionPresentFlag = bits.readFlag();
        if (vui.colourDescriptionPresentFlag)
        {
            vui.colourPrimaries = std::uint8_t(bits.readBits(8));
            vui.transferCharacteristics = std::uint8_t(bits.readBits(8));
            vui.matrixCoeffs = std::uint8_t(bits.readBits(8));
        }
    }
    vui.chromaLocInfoPresentFlag = bits.readFlag();
    if (vui.chromaLocInfoPresentFlag)
    {
        vui.chromaSampleLocTypeTopField = readUe(bits, 5, "chroma_sample_loc_type_top_field");
        vui.chromaSampleLocTypeBottomField = readUe(bits, 5, "chroma_sample_loc_type_bottom_field");
    }
    vui.neutralChromaIndicationFlag = bits.readFlag();
    vui.fieldSeqFlag = bits.readFlag();
    vui.frameFieldInfoPresentFlag = bits.readFlag();
    vui.defaultDisplayWindowFlag = bits.readFlag();
    if (vui.defaultDisplayWindowFlag)
    {
        vui.defDispWinLeftOffset = bits.readUnsignedExpGolomb();
        vui.defDispWinRightOffset = bits.readUnsignedExpGolomb();
        vui.defDispWinTopOffset = bits.readUnsignedExpGolomb();
        vui.defDispWinBottomOffset = bits.readUnsignedExpGolomb();
    }
    vui.timingInfoPresentFlag = bits.readFlag();
    if (vui.timingInfoPresentFlag)
    {
        vui.numUnitsInTick = bits.readBits(32);
        vui.timeScale = bits.readBits(32);
        vui.pocProportionalToTimingFlag = bits.readFlag();
        if (vui.pocProportionalToTimingFlag)
        {
            vui.numTicksPocDiffOneMinus1 = bits.readUnsignedExpGolomb();
        }
        vui.hrdParametersPresentFlag = bits.readFlag();
        if (vui.hrdParametersPresentFlag)
        {
            parseH265HrdParameters(bits, true, spsMaxSubLayersMinus1, vui.hrd);
        }
    }
    vui.bitstreamRestrictionFlag = bits.readFlag();
    if (vui.bitstreamRestrictionFlag)
    {
        vui.tilesFixedStructureFlag = bits.readFlag();
        vui.motionVectorsOverPicBoundariesFlag = bits.readFlag();
        vui.restrictedRefPicListsFlag = bits.readFlag();
        vui.minSpatialSegmentationIdc = readUe(bits, 4095, "min_spatial_segmentation_idc");
        vui.maxBytesPerPicDenom = readUe(bits, 16, "max_bytes_per_pic_denom");
        vui.maxBitsPerMinCuDenom = readUe(bits, 16, "max_bits_per_min_cu_denom");
        vui.log2MaxMvLengthHorizontal = readUe(bits, 15, "log2_max_mv_length_horizontal");
        vui.log2MaxMvLengthVertical = readUe(bits, 15, "log2_max_mv_length_vertical");
    }
}

void parseH265ScalingListData(BitStream& bits, H265ScalingListData& data)
{
    for (std::uint32_t sizeId = 0; sizeId < 4; ++sizeId)
    {
        for (std::uint32_t matrixId = 0; matrixId < 6; matrixId += (sizeId == 3) ? 3 : 1)
        {
            parseScalingListMatrix(bits, sizeId, matrixId, data.matrices[sizeId][matrixId]);
        }
    }
}

void parseH265ShortTermRefPicSet(BitStream& bits, std::uint32_t stRpsIdx, std::uint32_t numShortTermRefPicSets,
                                 const std::vector<H265ShortTermRefPicSet>& sets, H265ShortTermRefPicSet& rps)
{
    rps = H265ShortTermRefPicSet();
    if (stRpsIdx != 0)
    {
        rps.interRefPicSetPredictionFlag = bits.readFlag();
    }
    if (rps.interRefPicSetPredictionFlag)
    {
        if (stRpsIdx == numShortTermRefPicSets)
        {
            // A slice's own set: the set it is predicted from must be one of the SPS's.
            rps.deltaIdxMinus1 = readUe(bits, stRpsIdx - 1, "delta_idx_minus1");
        }
        const std::uint32_t refRpsIdx = stRpsIdx - (rps.deltaIdxMinus1 + 1);
        if (refRpsIdx >= sets.size())
        {
            fail("reference picture set index");
        }
        const H265ShortTermRefPicSet& ref = sets[refRpsIdx];
        rps.deltaRpsSign = bits.readFlag();
        rps.absDeltaRpsMinus1 = readUe(bits, 32767, "abs_delta_rps_minus1");
        const std::int32_t deltaRps = (rps.deltaRpsSign ? -1 : 1) * std::int32_t(rps.absDeltaRpsMinus1 + 1);
        const std::uint32_t numDeltaPocs = ref.numDeltaPocs();
        for (std::uint32_t j = 0; j <= numDeltaPocs; ++j)
        {
            const bool used = bits.readFlag();
            rps.usedByCurrPicFlag.push_back(used);
            rps.useDeltaFlag.push_back(used ? true : bits.readFlag());
        }

        // Equations of the standard for a predicted set.
        for (std::int32_t j = std::int32_t(ref.numPositivePics) - 1; j >= 0; --j)
        {
            const std::int32_t dPoc = ref.deltaPocS1[std::size_t(j)] + deltaRps;
            const std::size_t flagIdx = ref.numNegativePics + std::size_t(j);
            if (dPoc < 0 && rps.useDeltaFlag[flagIdx])
            {
                rps.deltaPocS0.push_back(dPoc);
                rps.usedByCurrPicS0.push_back(rps.usedByCurrPicFlag[flagIdx]);
            }
        }
        if (deltaRps < 0 && rps.useDeltaFlag[numDeltaPocs])
        {
            rps.deltaPocS0.push_back(deltaRps);
            rps.usedByCurrPicS0.push_back(rps.usedByCurrPicFlag[numDeltaPocs]);
        }
        for (std::uint32_t j = 0; j < ref.numNegativePics; ++j)
        {
            const std::int32_t dPoc = ref.deltaPocS0[j] + deltaRps;
            if (dPoc < 0 && rps.useDeltaFlag[j])
            {
                rps.deltaPocS0.push_back(dPoc);
                rps.usedByCurrPicS0.push_back(rps.usedByCurrPicFlag[j]);
            }
        }
        for (std::int32_t j = std::int32_t(ref.numNegativePics) - 1; j >= 0; --j)
        {
            const std::int32_t dPoc = ref.deltaPocS0[std::size_t(j)] + deltaRps;
            if (dPoc > 0 && rps.useDeltaFlag[std::size_t(j)])
            {
                rps.deltaPocS1.push_back(dPoc);
                rps.usedByCurrPicS1.push_back(rps.usedByCurrPicFlag[std::size_t(j)]);
            }
        }
        if (deltaRps > 0 && rps.useDeltaFlag[numDeltaPocs])
        {
            rps.deltaPocS1.push_back(deltaRps);
            rps.usedByCurrPicS1.push_back(rps.usedByCurrPicFlag[numDeltaPocs]);
        }
        for (std::uint32_t j = 0; j < ref.numPositivePics; ++j)
        {
            const std::int32_t dPoc = ref.deltaPocS1[j] + deltaRps;
            const std::size_t flagIdx = ref.numNegativePics + j;
            if (dPoc > 0 && rps.useDeltaFlag[flagIdx])
            {
                rps.deltaPocS1.push_back(dPoc);
                rps.usedByCurrPicS1.push_back(rps.usedByCurrPicFlag[flagIdx]);
            }
        }
        rps.numNegativePics = std::uint32_t(rps.deltaPocS0.size());
        rps.numPositivePics = std::uint32_t(rps.deltaPocS1.size());
        if (rps.numDeltaPocs() > kH265MaxRefPicSetEntries)
        {
            fail("reference picture set size");
        }
        return;
    }

    rps.numNegativePics = readUe(bits, kH265MaxRefPicSetEntries, "num_negative_pics");
    rps.numPositivePics = readUe(bits, kH265MaxRefPicSetEntries - rps.numNegativePics, "num_positive_pics");
    std::int32_t poc = 0;
    for (std::uint32_t i = 0; i < rps.numNegativePics; ++i)
    {
        poc -= std::int32_t(readUe(bits, 32767, "delta_poc_s0_minus1")) + 1;
        rps.deltaPocS0.push_back(poc);
        rps.usedByCurrPicS0.push_back(bits.readFlag());
    }
    poc = 0;
    for (std::uint32_t i = 0; i < rps.numPositivePics; ++i)
    {
        poc += std::int32_t(readUe(bits, 32767, "delta_poc_s1_minus1")) + 1;
        rps.deltaPocS1.push_back(poc);
        rps.usedByCurrPicS1.push_back(bits.readFlag());
    }
}

std::uint32_t H265Vps::layerIdxInVps(std::uint32_t layerId) const
{
    if (!vpsExtensionFlag)
    {
        if (layerId != 0)
        {
            throw std::out_of_range("H.265 stream: layer id not in the VPS");
        }
        return 0;
    }
    if (layerId >= extension.layerIdxInVps.size() || extension.layerIdxInVps[layerId] < 0)
    {
        throw std::out_of_range("H.265 stream: layer id not in the VPS");
    }
    return std::uint32_t(extension.layerIdxInVps[layerId]);
}

std::uint32_t H265Vps::numDirectRefLayers(std::uint32_t layerId) const
{
    return extension.numDirectRefLayers.at(layerId);
}

bool H265Vps::pocLsbNotPresent(std::uint32_t layerId) const
{
    const std::uint32_t index = layerIdxInVps(layerId);
    return index < extension.pocLsbNotPresentFlag.size() && extension.pocLsbNotPresentFlag[index];
}

std::shared_ptr<H265Vps> parseH265Vps(BitStream& bits)
{
    auto vps = std::make_shared<H265Vps>();
    vps->vpsVideoParameterSetId = bits.readBits(4);
    vps->vpsBaseLayerInternalFlag = bits.readFlag();
    vps->vpsBaseLayerAvailableFlag = bits.readFlag();
    vps->vpsMaxLayersMinus1 = bits.readBits(6);
    vps->vpsMaxSubLayersMinus1 = bits.readBits(3);
    if (vps->vpsMaxSubLayersMinus1 > 6)
    {
        fail("vps_max_sub_layers_minus1");
    }
    vps->vpsTemporalIdNestingFlag = bits.readFlag();
    vps->vpsReserved0xffff16Bits = bits.readBits(16);
    parseH265ProfileTierLevel(bits, true, vps->vpsMaxSubLayersMinus1, vps->profileTierLevel);
    vps->vpsSubLayerOrderingInfoPresentFlag = bits.readFlag();
    for (std::uint32_t i = vps->vpsSubLayerOrderingInfoPresentFlag ? 0 : vps->vpsMaxSubLayersMinus1;
         i <= vps->vpsMaxSubLayersMinus1; ++i)
    {
        vps->vpsMaxDecPicBufferingMinus1.push_back(readUe(bits, 15, "vps_max_dec_pic_buffering_minus1"));
        vps->vpsMaxNumReorderPics.push_back(readUe(bits, 15, "vps_max_num_reorder_pics"));
        vps->vpsMaxLatencyIncreasePlus1.push_back(bits.readUnsignedExpGolomb());
    }
    vps->vpsMaxLayerId = bits.readBits(6);
    vps->vpsNumLayerSetsMinus1 = readUe(bits, 1023, "vps_num_layer_sets_minus1");
    vps->layerIdIncludedFlag.emplace_back();
    vps->layerSetLayerIdList.push_back({0});
    for (std::uint32_t i = 1; i <= vps->vpsNumLayerSetsMinus1; ++i)
    {
        std::vector<bool> flags;
        std::vector<std::uint8_t> layerIds;
        for (std::uint32_t j = 0; j <= vps->vpsMaxLayerId; ++j)
        {
            flags.push_back(bits.readFlag());
            if (flags.back())
            {
                layerIds.push_back(std::uint8_t(j));
            }
        }
        vps->layerIdIncludedFlag.push_back(std::move(flags));
        vps->layerSetLayerIdList.push_back(std::move(layerIds));
    }
    vps->vpsTimingInfoPresentFlag = bits.readFlag();
    if (vps->vpsTimingInfoPresentFlag)
    {
        vps->vpsNumUnitsInTick = bits.readBits(32);
        vps->vpsTimeScale = bits.readBits(32);
        vps->vpsPocProportionalToTimingFlag = bits.readFlag();
        if (vps->vpsPocProportionalToTimingFlag)
        {
            vps->vpsNumTicksPocDiffOneMinus1 = bits.readUnsignedExpGolomb();
        }
        vps->vpsNumHrdParameters = readUe(bits, vps->vpsNumLayerSetsMinus1 + 1, "vps_num_hrd_parameters");
        for (std::uint32_t i = 0; i < vps->vpsNumHrdParameters; ++i)
        {
            const std::uint32_t setIdx = readUe(bits, vps->vpsNumLayerSetsMinus1, "hrd_layer_set_idx");
            if (setIdx == 0 && !vps->vpsBaseLayerInternalFlag)
            {
                fail("hrd_layer_set_idx");
            }
            vps->hrdLayerSetIdx.push_back(setIdx);
            vps->cprmsPresentFlag.push_back(i == 0 ? true : bits.readFlag());
            H265HrdParameters hrd;
            parseH265HrdParameters(bits, vps->cprmsPresentFlag.back(), vps->vpsMaxSubLayersMinus1, hrd);
            vps->hrdParameters.push_back(std::move(hrd));
        }
    }
    vps->vpsExtensionFlag = bits.readFlag();
    if (vps->vpsExtensionFlag)
    {
        while (!bits.isByteAligned())
        {
            bits.readBits(1);  // vps_extension_alignment_bit_equal_to_one
        }
        parseVpsExtension(bits, *vps);
    }
    return vps;
}

std::uint32_t H265Sps::picWidthInCtbsY() const
{
    const std::uint32_t ctbSize = 1u << ctbLog2SizeY();
    return (picWidthInLumaSamples + ctbSize - 1) / ctbSize;
}

std::uint32_t H265Sps::picHeightInCtbsY() const
{
    const std::uint32_t ctbSize = 1u << ctbLog2SizeY();
    return (picHeightInLumaSamples + ctbSize - 1) / ctbSize;
}

std::uint32_t H265Sps::croppedWidth() const
{
    return picWidthInLumaSamples - subWidthC(chromaArrayType()) * (confWinLeftOffset + confWinRightOffset);
}

std::uint32_t H265Sps::croppedHeight() const
{
    return picHeightInLumaSamples - subHeightC(chromaArrayType()) * (confWinTopOffset + confWinBottomOffset);
}

std::shared_ptr<H265Sps> parseH265Sps(BitStream& bits, const H265NalHeader& header, const H265Vps* vps)
{
    auto sps = std::make_shared<H265Sps>();
    sps->nuhLayerId = header.nuhLayerId;
    sps->spsVideoParameterSetId = bits.readBits(4);
    const std::uint32_t maxSubLayersField = bits.readBits(3);
    sps->multiLayerExtSpsFlag = header.nuhLayerId != 0 && maxSubLayersField == 7;
    if (sps->multiLayerExtSpsFlag)
    {
        // Inferred from the VPS; without one the sequence has a single sub-layer.
        sps->spsMaxSubLayersMinus1 = vps != nullptr ? vps->vpsMaxSubLayersMinus1 : 0;
    }
    else
    {
        if (maxSubLayersField > 6)
        {
            fail("sps_max_sub_layers_minus1");
        }
        sps->spsMaxSubLayersMinus1 = maxSubLayersField;
        sps->spsTemporalIdNestingFlag = bits.readFlag();
        parseH265ProfileTierLevel(bits, true, sps->spsMaxSubLayersMinus1, sps->profileTierLevel);
    }
    sps->spsSeqParameterSetId = readUe(bits, 15, "sps_seq_parameter_set_id");
    if (sps->multiLayerExtSpsFlag)
    {
        sps->updateRepFormatFlag = bits.readFlag();
        if (sps->updateRepFormatFlag)
        {
            sps->spsRepFormatIdx = bits.readBits(8);
        }
    }
    else
    {
        sps->chromaFormatIdc = readUe(bits, 3, "chroma_format_idc");
        if (sps->chromaFormatIdc == 3)
        {
            sps->separateColourPlaneFlag = bits.readFlag();
        }
        sps->picWidthInLumaSamples = readUe(bits, kMaxPictureSide, "pic_width_in_luma_samples");
        sps->picHeightInLumaSamples = readUe(bits, kMaxPictureSide, "pic_height_in_luma_samples");
        if (sps->picWidthInLumaSamples == 0 || sps->picHeightInLumaSamples == 0)
        {
            fail("picture size");
        }
        sps->conformanceWindowFlag = bits.readFlag();
        if (sps->conformanceWindowFlag)
        {
            sps->confWinLeftOffset = readUe(bits, kMaxPictureSide, "conf_win_left_offset");
            sps->confWinRightOffset = readUe(bits, kMaxPictureSide, "conf_win_right_offset");
            sps->confWinTopOffset = readUe(bits, kMaxPictureSide, "conf_win_top_offset");
            sps->confWinBottomOffset = readUe(bits, kMaxPictureSide, "conf_win_bottom_offset");
            const std::uint32_t chroma = sps->chromaArrayType();
            if (subWidthC(chroma) * (sps->confWinLeftOffset + sps->confWinRightOffset) >= sps->picWidthInLumaSamples ||
                subHeightC(chroma) * (sps->confWinTopOffset + sps->confWinBottomOffset) >= sps->picHeightInLumaSamples)
            {
                fail("conformance window");
            }
        }
        sps->bitDepthLumaMinus8 = readUe(bits, 8, "bit_depth_luma_minus8");
        sps->bitDepthChromaMinus8 = readUe(bits, 8, "bit_depth_chroma_minus8");
    }
    sps->log2MaxPicOrderCntLsbMinus4 = readUe(bits, 12, "log2_max_pic_order_cnt_lsb_minus4");
    if (!sps->multiLayerExtSpsFlag)
    {
        sps->spsSubLayerOrderingInfoPresentFlag = bits.readFlag();
        for (std::uint32_t i = sps->spsSubLayerOrderingInfoPresentFlag ? 0 : sps->spsMaxSubLayersMinus1;
             i <= sps->spsMaxSubLayersMinus1; ++i)
        {
            sps->spsMaxDecPicBufferingMinus1.push_back(readUe(bits, 15, "sps_max_dec_pic_buffering_minus1"));
            sps->spsMaxNumReorderPics.push_back(readUe(bits, 15, "sps_max_num_reorder_pics"));
            sps->spsMaxLatencyIncreasePlus1.push_back(bits.readUnsignedExpGolomb());
        }
    }
    // Coding tree blocks of 8 to 64 samples keep every shift and division below well defined.
    sps->log2MinLumaCodingBlockSizeMinus3 = readUe(bits, 3, "log2_min_luma_coding_block_size_minus3");
    sps->log2DiffMaxMinLumaCodingBlockSize =
        readUe(bits, 3 - sps->log2MinLumaCodingBlockSizeMinus3, "log2_diff_max_min_luma_coding_block_size");
    sps->log2MinLumaTransformBlockSizeMinus2 = readUe(bits, 3, "log2_min_luma_transform_block_size_minus2");
    sps->log2DiffMaxMinLumaTransformBlockSize =
        readUe(bits, 3 - sps->log2MinLumaTransformBlockSizeMinus2, "log2_diff_max_min_luma_transform_block_size");
    sps->maxTransformHierarchyDepthInter = readUe(bits, 4, "max_transform_hierarchy_depth_inter");
    sps->maxTransformHierarchyDepthIntra = readUe(bits, 4, "max_transform_hierarchy_depth_intra");
    sps->scalingListEnabledFlag = bits.readFlag();
    if (sps->scalingListEnabledFlag)
    {
        if (sps->multiLayerExtSpsFlag)
        {
            sps->spsInferScalingListFlag = bits.readFlag();
        }
        if (sps->spsInferScalingListFlag)
        {
            sps->spsScalingListRefLayerId = bits.readBits(6);
        }
        else
        {
            sps->spsScalingListDataPresentFlag = bits.readFlag();
            if (sps->spsScalingListDataPresentFlag)
            {
                parseH265ScalingListData(bits, sps->scalingListData);
            }
        }
    }
    sps->ampEnabledFlag = bits.readFlag();
    sps->sampleAdaptiveOffsetEnabledFlag = bits.readFlag();
    sps->pcmEnabledFlag = bits.readFlag();
    if (sps->pcmEnabledFlag)
    {
        sps->pcmSampleBitDepthLumaMinus1 = bits.readBits(4);
        sps->pcmSampleBitDepthChromaMinus1 = bits.readBits(4);
        sps->log2MinPcmLumaCodingBlockSizeMinus3 = readUe(bits, 2, "log2_min_pcm_luma_coding_block_size_minus3");
        sps->log2DiffMaxMinPcmLumaCodingBlockSize =
            readUe(bits, 2 - sps->log2MinPcmLumaCodingBlockSizeMinus3, "log2_diff_max_min_pcm_luma_coding_block_size");
        sps->pcmLoopFilterDisabledFlag = bits.readFlag();
    }
    sps->numShortTermRefPicSets = readUe(bits, 64, "num_short_term_ref_pic_sets");
    for (std::uint32_t i = 0; i < sps->numShortTermRefPicSets; ++i)
    {
        H265ShortTermRefPicSet rps;
        parseH265ShortTermRefPicSet(bits, i, sps->numShortTermRefPicSets, sps->shortTermRefPicSets, rps);
        sps->shortTermRefPicSets.push_back(std::move(rps));
    }
    sps->longTermRefPicsPresentFlag = bits.readFlag();
    if (sps->longTermRefPicsPresentFlag)
    {
        sps->numLongTermRefPicsSps = readUe(bits, 32, "num_long_term_ref_pics_sps");
        for (std::uint32_t i = 0; i < sps->numLongTermRefPicsSps; ++i)
        {
            sps->ltRefPicPocLsbSps.push_back(bits.readBits(sps->log2MaxPicOrderCntLsbMinus4 + 4));
            sps->usedByCurrPicLtSpsFlag.push_back(bits.readFlag());
        }
    }
    sps->spsTemporalMvpEnabledFlag = bits.readFlag();
    sps->strongIntraSmoothingEnabledFlag = bits.readFlag();
    sps->vuiParametersPresentFlag = bits.readFlag();
    if (sps->vuiParametersPresentFlag)
    {
        parseH265Vui(bits, sps->spsMaxSubLayersMinus1, sps->vui);
    }
    sps->spsExtensionPresentFlag = bits.readFlag();
    return sps;
}

std::shared_ptr<H265Pps> parseH265Pps(BitStream& bits)
{
    auto pps = std::make_shared<H265Pps>();
    pps->ppsPicParameterSetId = readUe(bits, 63, "pps_pic_parameter_set_id");
    pps->ppsSeqParameterSetId = readUe(bits, 15, "pps_seq_parameter_set_id");
    pps->dependentSliceSegmentsEnabledFlag = bits.readFlag();
    pps->outputFlagPresentFlag = bits.readFlag();
    pps->numExtraSliceHeaderBits = bits.readBits(3);
    pps->signDataHidingEnabledFlag = bits.readFlag();
    pps->cabacInitPresentFlag = bits.readFlag();
    pps->numRefIdxL0DefaultActiveMinus1 = readUe(bits, 14, "num_ref_idx_l0_default_active_minus1");
    pps->numRefIdxL1DefaultActiveMinus1 = readUe(bits, 14, "num_ref_idx_l1_default_active_minus1");
    pps->initQpMinus26 = readSe(bits, -(26 + 6 * 8), 25, "init_qp_minus26");
    pps->constrainedIntraPredFlag = bits.readFlag();
    pps->transformSkipEnabledFlag = bits.readFlag();
    pps->cuQpDeltaEnabledFlag = bits.readFlag();
    if (pps->cuQpDeltaEnabledFlag)
    {
        pps->diffCuQpDeltaDepth = readUe(bits, 3, "diff_cu_qp_delta_depth");
    }
    pps->ppsCbQpOffset = readSe(bits, -12, 12, "pps_cb_qp_offset");
    pps->ppsCrQpOffset = readSe(bits, -12, 12, "pps_cr_qp_offset");
    pps->ppsSliceChromaQpOffsetsPresentFlag = bits.readFlag();
    pps->weightedPredFlag = bits.readFlag();
    pps->weightedBipredFlag = bits.readFlag();
    pps->transquantBypassEnabledFlag = bits.readFlag();
    pps->tilesEnabledFlag = bits.readFlag();
    pps->entropyCodingSyncEnabledFlag = bits.readFlag();
    if (pps->tilesEnabledFlag)
    {
        // Checked against the picture's width and height in coding tree blocks when a slice
        // brings the PPS and its SPS together.
        pps->numTileColumnsMinus1 = readUe(bits, kMaxTileColumnsOrRows - 1, "num_tile_columns_minus1");
        pps->numTileRowsMinus1 = readUe(bits, kMaxTileColumnsOrRows - 1, "num_tile_rows_minus1");
        pps->uniformSpacingFlag = bits.readFlag();
        if (!pps->uniformSpacingFlag)
        {
            for (std::uint32_t i = 0; i < pps->numTileColumnsMinus1; ++i)
            {
                pps->columnWidthMinus1.push_back(readUe(bits, kMaxTileColumnsOrRows - 1, "column_width_minus1"));
            }
            for (std::uint32_t i = 0; i < pps->numTileRowsMinus1; ++i)
            {
                pps->rowHeightMinus1.push_back(readUe(bits, kMaxTileColumnsOrRows - 1, "row_height_minus1"));
            }
        }
        pps->loopFilterAcrossTilesEnabledFlag = bits.readFlag();
    }
    pps->ppsLoopFilterAcrossSlicesEnabledFlag = bits.readFlag();
    pps->deblockingFilterControlPresentFlag = bits.readFlag();
    if (pps->deblockingFilterControlPresentFlag)
    {
        pps->deblockingFilterOverrideEnabledFlag = bits.readFlag();
        pps->ppsDeblockingFilterDisabledFlag = bits.readFlag();
        if (!pps->ppsDeblockingFilterDisabledFlag)
        {
            pps->ppsBetaOffsetDiv2 = readSe(bits, -6, 6, "pps_beta_offset_div2");
            pps->ppsTcOffsetDiv2 = readSe(bits, -6, 6, "pps_tc_offset_div2");
        }
    }
    pps->ppsScalingListDataPresentFlag = bits.readFlag();
    if (pps->ppsScalingListDataPresentFlag)
    {
        parseH265ScalingListData(bits, pps->scalingListData);
    }
    pps->listsModificationPresentFlag = bits.readFlag();
    pps->log2ParallelMergeLevelMinus2 = bits.readUnsignedExpGolomb();
    pps->sliceSegmentHeaderExtensionPresentFlag = bits.readFlag();
    pps->ppsExtensionPresentFlag = bits.readFlag();
    return pps;
}
