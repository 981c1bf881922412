#include "LayeredHevcDecoderConfigRecord.h"

#include "BitStream.h"
#include "ConfigRecordFields.h"
#include "ParserInterface.h"

namespace
{
const char* const kName = "LayeredHevcDecoderConfigRecord";

BitStream rbspOf(const std::vector<std::uint8_t>& nalUnit)
{
    std::vector<std::uint8_t> rbsp;
    convertByteStreamToRBSP(nalUnit, rbsp);
    return BitStream(std::move(rbsp));
}
}  // namespace

void LayeredHevcDecoderConfigRecord::configureFromVpsSps(const std::vector<std::uint8_t>& vps,
                                                         const std::vector<std::uint8_t>& sps)
{
    mLengthSizeMinus1 = 3;
    mNalArray.clear();

    BitStream vpsBits = rbspOf(vps);
    vpsBits.readBits(16);  // NAL unit header
    vpsBits.readBits(4);   // vps_video_parameter_set_id
    vpsBits.readBits(1);   // vps_base_layer_internal_flag
    vpsBits.readBits(1);   // vps_base_layer_available_flag
    vpsBits.readBits(6);   // vps_max_layers_minus1
    const std::uint32_t vpsMaxSubLayersMinus1 = vpsBits.readBits(3);

    BitStream spsBits = rbspOf(sps);
    spsBits.readBits(1);  // forbidden_zero_bit
    spsBits.readBits(6);  // nal_unit_type
    const std::uint32_t layerId = spsBits.readBits(6);
    spsBits.readBits(3);  // nuh_temporal_id_plus1
    spsBits.readBits(4);  // sps_video_parameter_set_id
    std::uint32_t maxSubLayersMinus1 = spsBits.readBits(3);
    // In an enhancement layer's SPS the value 7 means "as in the VPS".
    if (layerId != 0 && maxSubLayersMinus1 == 7)
    {
        maxSubLayersMinus1 = vpsMaxSubLayersMinus1;
    }
    mNumTemporalLayers = std::uint8_t(maxSubLayersMinus1 + 1);
    mMinSpatialSegmentationIdc = 0;
    mParallelismType = 0;
}

void LayeredHevcDecoderConfigRecord::addNalUnit(const std::vector<std::uint8_t>& nalUnit, std::uint8_t nalUnitType,
                                                std::uint8_t arrayCompleteness)
{
    NalUnitArrayUtil::addNalUnit(mNalArray, nalUnit, nalUnitType, arrayCompleteness);
}

void LayeredHevcDecoderConfigRecord::appendParameterSets(std::vector<std::uint8_t>& dest,
                                                         std::uint8_t nalUnitType) const
{
    for (const auto& array : mNalArray)
    {
        if (array.nalUnitType == nalUnitType)
        {
            NalUnitArrayUtil::appendAllWithStartCodes(dest, array);
        }
    }
}

void LayeredHevcDecoderConfigRecord::writeDecConfigRecord(BitStream& bitstr) const
{
    NalUnitArrayUtil::checkHevcArrays(mNalArray, kName);

    bitstr.writeU8(mConfigurationVersion);
    ConfigRecordFields::writeSegmentationAndParallelism(bitstr, mMinSpatialSegmentationIdc, mParallelismType);
    bitstr.writeBits(0x3, 2);  // reserved
    bitstr.writeBits(mNumTemporalLayers, 3);
    bitstr.writeBits(mTemporalIdNested, 1);
    bitstr.writeBits(mLengthSizeMinus1, 2);
    NalUnitArrayUtil::writeHevcArrays(bitstr, mNalArray);
}

void LayeredHevcDecoderConfigRecord::parseConfig(BitStream& bitstr)
{
    mConfigurationVersion = std::uint8_t(bitstr.readU8());
    ConfigRecordFields::readSegmentationAndParallelism(bitstr, mMinSpatialSegmentationIdc, mParallelismType);
    bitstr.readBits(2);  // reserved
    mNumTemporalLayers = std::uint8_t(bitstr.readBits(3));
    mTemporalIdNested = std::uint8_t(bitstr.readBits(1));
    mLengthSizeMinus1 = std::uint8_t(bitstr.readBits(2));
    NalUnitArrayUtil::parseHevcArrays(bitstr, mNalArray);
}
