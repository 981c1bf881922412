#include "H265Parser.h"

#include <algorithm>
#include <string>

#include "BitStream.h"
#include "ExpGolombRange.h"

namespace
{
constexpr std::uint32_t kSliceB = 0;
constexpr std::uint32_t kSliceP = 1;
constexpr std::uint32_t kSliceI = 2;

constexpr std::uint8_t kNalVps = 32;
constexpr std::uint8_t kNalSps = 33;
constexpr std::uint8_t kNalPps = 34;

[[noreturn]] void streamError(const std::string& what)
{
    throw H265StreamError("H.265 stream: " + what);
}

std::uint32_t readUeMax(BitStream& bits, std::uint32_t maxValue, const char* name)
{
    return readUeAtMost<H265StreamError>(bits, maxValue, "H.265 stream: ", name);
}

std::int32_t readSeRange(BitStream& bits, std::int32_t minValue, std::int32_t maxValue, const char* name)
{
    return readSeWithin<H265StreamError>(bits, minValue, maxValue, "H.265 stream: ", name);
}

bool isIdrType(std::uint32_t type)
{
    return type == 19 || type == 20;
}

bool isBlaType(std::uint32_t type)
{
    return type >= 16 && type <= 18;
}

/// Whether a unit that is neither a parameter set of a layered stream nor a slice opens a new
/// access unit (VPS, SPS and PPS for single-layer streams, AUD, prefix SEI and reserved types).
bool startsAccessUnit(std::uint32_t type, bool layered)
{
    if (type == 32 || type == 35 || type == 39 || (type >= 41 && type <= 44) || (type >= 48 && type <= 55))
    {
        return true;
    }
    return !layered && (type == 33 || type == 34);
}

void parsePredWeightTable(BitStream& bits, H265SliceHeader& slice, std::uint32_t chromaArrayType)
{
    slice.lumaLog2WeightDenom = readUeMax(bits, 7, "luma_log2_weight_denom");
    if (chromaArrayType != 0)
    {
        slice.deltaChromaLog2WeightDenom =
            readSeRange(bits, -std::int32_t(slice.lumaLog2WeightDenom), 7 - std::int32_t(slice.lumaLog2WeightDenom),
                        "delta_chroma_log2_weight_denom");
    }
    auto readList = [&](std::uint32_t activeMinus1, std::vector<H265SliceHeader::WeightEntry>& weights)
    {
        weights.assign(activeMinus1 + 1, H265SliceHeader::WeightEntry());
        for (auto& w : weights)
        {
            w.lumaWeightFlag = bits.readFlag();
        }
        if (chromaArrayType != 0)
        {
            for (auto& w : weights)
            {
                w.chromaWeightFlag = bits.readFlag();
            }
        }
        for (auto& w : weights)
        {
            if (w.lumaWeightFlag)
            {
                w.deltaLumaWeight = readSeRange(bits, -128, 127, "delta_luma_weight");
                w.lumaOffset = readSeRange(bits, -128, 127, "luma_offset");
            }
            if (w.chromaWeightFlag)
            {
                for (int j = 0; j < 2; ++j)
                {
                    w.deltaChromaWeight[j] = readSeRange(bits, -128, 127, "delta_chroma_weight");
                    w.deltaChromaOffset[j] = readSeRange(bits, -512, 511, "delta_chroma_offset");
                }
            }
        }
    };
    readList(slice.numRefIdxL0ActiveMinus1, slice.weightsL0);
    if (slice.sliceType == kSliceB)
    {
        readList(slice.numRefIdxL1ActiveMinus1, slice.weightsL1);
    }
}
}  // namespace

const H265ShortTermRefPicSet& H265SliceHeader::refPicSetInForce() const
{
    if (shortTermRefPicSetSpsFlag && mSps && shortTermRefPicSetIdx < mSps->shortTermRefPicSets.size())
    {
        return mSps->shortTermRefPicSets[shortTermRefPicSetIdx];
    }
    return stRefPicSet;
}

bool H265Parser::isFirstVclNaluInPic(const std::vector<std::uint8_t>& nalUnit)
{
    const std::size_t header = findNalUnitHeader(nalUnit, 2);
    if (nalUnit[header] & 0x40)
    {
        return false;  // nal_unit_type 32 or above: not a slice
    }
    if (nalUnit.size() - header < 3)
    {
        streamError("slice segment without a header");
    }
    return (nalUnit[header + 2] & 0x80) != 0;
}

std::uint32_t H265Parser::getLayerId(const std::vector<std::uint8_t>& nalUnit)
{
    const std::size_t header = findNalUnitHeader(nalUnit, 2);
    return (nalUnit[header] & 0x01u) * 32u + (nalUnit[header + 1] >> 3);
}

std::uint32_t H265Parser::getH265NalUnitType(const std::vector<std::uint8_t>& nalUnit)
{
    const std::size_t header = findNalUnitHeader(nalUnit, 2);
    return (nalUnit[header] >> 1) & 0x3Fu;
}

bool H265Parser::isLayered() const
{
    return mVpsStore.any([](const H265Vps& vps) { return vps.vpsExtensionFlag; });
}

void H265Parser::reset()
{
    mUnit.clear();
    mVpsStore.clear();
    mSpsStore.clear();
    mPpsStore.clear();
    mSlices.clear();
    mStoredPictures.clear();
    mFirstCandidate = 0;
    mCurrBefore.clear();
    mCurrAfter.clear();
    mLtCurr.clear();
    mRefPicList0.clear();
    mRefPicList1.clear();
    mIrapStartsSequence = false;
    mAtSequenceStart = true;
    mToleratesMissingReferences = false;
    mPrevPicOrderCntLsb = 0;
    mPrevPicOrderCntMsb = 0;
}

void H265Parser::processParameterSet(const std::vector<std::uint8_t>& nalUnit)
{
    std::vector<std::uint8_t> rbsp;
    convertByteStreamToRBSP(nalUnit, rbsp);
    BitStream bits(std::move(rbsp));
    const H265NalHeader header = readH265NalHeader(bits);
    switch (header.nalUnitType)
    {
    case kNalVps:
    {
        auto vps = parseH265Vps(bits);
        const std::uint32_t id = vps->vpsVideoParameterSetId;
        mVpsStore.store(id, std::move(vps));
        break;
    }
    case kNalSps:
    {
        // sps_video_parameter_set_id is the first four bits after the header.
        const std::uint32_t vpsId = bits.getByte(2) >> 4;
        const auto vps = mVpsStore.find(vpsId);
        auto sps = parseH265Sps(bits, header, vps.get());
        const std::uint32_t id = sps->spsSeqParameterSetId;
        mSpsStore.store(id, std::move(sps));
        break;
    }
    case kNalPps:
    {
        auto pps = parseH265Pps(bits);
        const std::uint32_t id = pps->ppsPicParameterSetId;
        mPpsStore.store(id, std::move(pps));
        break;
    }
    default:
        break;
    }
}

void H265Parser::resolveParameterSets(H265SliceHeader& slice) const
{
    slice.mPps = mPpsStore.find(slice.slicePicParameterSetId);
    if (!slice.mPps)
    {
        streamError("slice refers to a PPS that was not sent");
    }
    slice.mSps = mSpsStore.find(slice.mPps->ppsSeqParameterSetId);
    if (!slice.mSps)
    {
        streamError("slice refers to an SPS that was not sent");
    }
    slice.mVps = mVpsStore.find(slice.mSps->spsVideoParameterSetId);
    if (!slice.mVps)
    {
        streamError("slice refers to a VPS that was not sent");
    }
    const H265Pps& pps = *slice.mPps;
    slice.numRefIdxL0ActiveMinus1 = pps.numRefIdxL0DefaultActiveMinus1;
    slice.numRefIdxL1ActiveMinus1 = pps.numRefIdxL1DefaultActiveMinus1;
    slice.sliceDeblockingFilterDisabledFlag = pps.ppsDeblockingFilterDisabledFlag;
    slice.sliceBetaOffsetDiv2 = pps.ppsBetaOffsetDiv2;
    slice.sliceTcOffsetDiv2 = pps.ppsTcOffsetDiv2;
    slice.sliceLoopFilterAcrossSlicesEnabledFlag = pps.ppsLoopFilterAcrossSlicesEnabledFlag;
}

void H265Parser::parseSliceHeaderStart(BitStream& bits, H265SliceHeader& slice, std::uint8_t nalUnitType) const
{
    slice.nalUnitType = nalUnitType;
    slice.firstSliceSegmentInPicFlag = bits.readFlag();
    if (nalUnitType >= 16 && nalUnitType <= 23)
    {
        slice.noOutputOfPriorPicsFlag = bits.readFlag();
    }
    slice.slicePicParameterSetId = readUeMax(bits, 63, "slice_pic_parameter_set_id");
    resolveParameterSets(slice);
}

void H265Parser::parseLhvcSliceHeader(BitStream& bits, H265SliceHeader& slice, std::uint8_t nalUnitType) const
{
    // Layered pictures take no output flag from their slices: it stays clear.
    slice.picOutputFlag = false;
    parseSliceHeaderStart(bits, slice, nalUnitType);
}

void H265Parser::parseSliceHeader(BitStream& bits, H265SliceHeader& slice, std::uint8_t nalUnitType,
                                  std::uint8_t nuhLayerId, std::uint8_t nuhTemporalIdPlus1) const
{
    slice.nuhLayerId = nuhLayerId;
    slice.nuhTemporalIdPlus1 = nuhTemporalIdPlus1;
    slice.picOutputFlag = true;
    parseSliceHeaderStart(bits, slice, nalUnitType);
    const H265Pps& pps = *slice.mPps;
    const H265Sps& sps = *slice.mSps;
    const H265Vps& vps = *slice.mVps;

    const std::uint32_t picSizeInCtbsY = sps.picSizeInCtbsY();
    if (picSizeInCtbsY == 0)
    {
        streamError("slice of a sequence without a picture size");
    }
    if (pps.tilesEnabledFlag)
    {
        // The tile grid has to fit the picture: every tile at least one coding tree block.
        std::uint64_t columns = 0;
        std::uint64_t rows = 0;
        for (std::uint32_t w : pps.columnWidthMinus1)
        {
            columns += std::uint64_t(w) + 1;
        }
        for (std::uint32_t h : pps.rowHeightMinus1)
        {
            rows += std::uint64_t(h) + 1;
        }
        if (pps.numTileColumnsMinus1 >= sps.picWidthInCtbsY() || pps.numTileRowsMinus1 >= sps.picHeightInCtbsY() ||
            columns >= sps.picWidthInCtbsY() || rows >= sps.picHeightInCtbsY())
        {
            streamError("tile grid larger than the picture");
        }
    }

    if (!slice.firstSliceSegmentInPicFlag)
    {
        if (pps.dependentSliceSegmentsEnabledFlag)
        {
            slice.dependentSliceSegmentFlag = bits.readFlag();
        }
        slice.sliceSegmentAddress = bits.readBits(h265CeilLog2(picSizeInCtbsY));
        if (slice.sliceSegmentAddress >= picSizeInCtbsY)
        {
            streamError("slice_segment_address out of range");
        }
    }

    if (!slice.dependentSliceSegmentFlag)
    {
        std::uint32_t extra = 0;
        if (pps.numExtraSliceHeaderBits > extra)
        {
            ++extra;
            slice.discardableFlag = bits.readFlag();
        }
        if (pps.numExtraSliceHeaderBits > extra)
        {
            ++extra;
            slice.crossLayerBlaFlag = bits.readFlag();
        }
        for (; extra < pps.numExtraSliceHeaderBits; ++extra)
        {
            bits.readFlag();  // slice_reserved_flag
        }
        slice.sliceType = readUeMax(bits, kSliceI, "slice_type");
        if (pps.outputFlagPresentFlag)
        {
            slice.picOutputFlag = bits.readFlag();
        }
        if (sps.separateColourPlaneFlag)
        {
            slice.colourPlaneId = bits.readBits(2);
        }

        const bool idr = isIdrType(nalUnitType);
        const bool readPoc = nuhLayerId == 0 ? !idr : (!idr || !vps.pocLsbNotPresent(nuhLayerId));
        if (readPoc)
        {
            slice.slicePicOrderCntLsb = bits.readBits(sps.log2MaxPicOrderCntLsbMinus4 + 4);
            if (!idr)
            {
                slice.shortTermRefPicSetSpsFlag = bits.readFlag();
                if (!slice.shortTermRefPicSetSpsFlag)
                {
                    parseH265ShortTermRefPicSet(bits, sps.numShortTermRefPicSets, sps.numShortTermRefPicSets,
                                                sps.shortTermRefPicSets, slice.stRefPicSet);
                }
                else
                {
                    if (sps.numShortTermRefPicSets > 1)
                    {
                        slice.shortTermRefPicSetIdx = bits.readBits(h265CeilLog2(sps.numShortTermRefPicSets));
                    }
                    if (slice.shortTermRefPicSetIdx >= sps.numShortTermRefPicSets)
                    {
                        streamError("short_term_ref_pic_set_idx out of range");
                    }
                }
                if (sps.longTermRefPicsPresentFlag)
                {
                    if (sps.numLongTermRefPicsSps > 0)
                    {
                        slice.numLongTermSps = readUeMax(bits, sps.numLongTermRefPicsSps, "num_long_term_sps");
                    }
                    // Short- and long-term entries together fill at most the decoded picture buffer.
                    const std::uint32_t shortTerm = slice.refPicSetInForce().numDeltaPocs();
                    if (shortTerm + slice.numLongTermSps > kH265MaxRefPicSetEntries)
                    {
                        streamError("num_long_term_sps out of range");
                    }
                    slice.numLongTermPics = readUeMax(bits, kH265MaxRefPicSetEntries - shortTerm - slice.numLongTermSps,
                                                      "num_long_term_pics");
                    const std::uint32_t total = slice.numLongTermSps + slice.numLongTermPics;
                    for (std::uint32_t i = 0; i < total; ++i)
                    {
                        if (i < slice.numLongTermSps)
                        {
                            std::uint32_t ltIdx = 0;
                            if (sps.numLongTermRefPicsSps > 1)
                            {
                                ltIdx = bits.readBits(h265CeilLog2(sps.numLongTermRefPicsSps));
                            }
                            if (ltIdx >= sps.numLongTermRefPicsSps)
                            {
                                streamError("lt_idx_sps out of range");
                            }
                            slice.ltIdxSps.push_back(ltIdx);
                            slice.pocLsbLt.push_back(sps.ltRefPicPocLsbSps[ltIdx]);
                            slice.usedByCurrPicLt.push_back(sps.usedByCurrPicLtSpsFlag[ltIdx]);
                        }
                        else
                        {
                            slice.pocLsbLt.push_back(bits.readBits(sps.log2MaxPicOrderCntLsbMinus4 + 4));
                            slice.usedByCurrPicLt.push_back(bits.readFlag());
                        }
                        slice.deltaPocMsbPresentFlag.push_back(bits.readFlag());
                        std::uint32_t cycle = 0;
                        if (slice.deltaPocMsbPresentFlag.back())
                        {
                            cycle = readUeMax(bits, 1u << (32 - (sps.log2MaxPicOrderCntLsbMinus4 + 4)),
                                              "delta_poc_msb_cycle_lt");
                        }
                        slice.deltaPocMsbCycleLt.push_back(cycle);
                        const bool restart = i == 0 || i == slice.numLongTermSps;
                        slice.deltaPocMsbCycleLtSum.push_back(
                            restart ? std::int64_t(cycle) : std::int64_t(cycle) + slice.deltaPocMsbCycleLtSum.back());
                    }
                }
                if (sps.spsTemporalMvpEnabledFlag)
                {
                    slice.sliceTemporalMvpEnabledFlag = bits.readFlag();
                }
            }
        }

        if (nuhLayerId > 0 && !vps.extension.defaultRefLayersActiveFlag && vps.numDirectRefLayers(nuhLayerId) > 0)
        {
            const std::uint32_t numDirect = vps.numDirectRefLayers(nuhLayerId);
            slice.interLayerPredEnabledFlag = bits.readFlag();
            if (slice.interLayerPredEnabledFlag && numDirect > 1)
            {
                if (!vps.extension.maxOneActiveRefLayerFlag)
                {
                    slice.numInterLayerRefPicsMinus1 = bits.readBits(h265CeilLog2(numDirect));
                    if (slice.numInterLayerRefPicsMinus1 >= numDirect)
                    {
                        streamError("num_inter_layer_ref_pics_minus1 out of range");
                    }
                }
                // Reference layers whose sub-layers reach this slice's temporal id.
                const std::uint32_t temporalId = nuhTemporalIdPlus1 > 0 ? nuhTemporalIdPlus1 - 1u : 0u;
                const std::uint32_t layerIdx = vps.layerIdxInVps(nuhLayerId);
                std::uint32_t numRefLayerPics = 0;
                for (std::uint8_t refLayerId : vps.extension.idDirectRefLayer.at(nuhLayerId))
                {
                    const std::uint32_t refIdx = vps.layerIdxInVps(refLayerId);
                    if (vps.extension.subLayersVpsMaxMinus1.at(refIdx) >= temporalId &&
                        (temporalId == 0 || vps.extension.maxTidIlRefPicsPlus1.at(refIdx).at(layerIdx) > temporalId))
                    {
                        ++numRefLayerPics;
                    }
                }
                if (numRefLayerPics == 0)
                {
                    slice.numActiveRefLayerPics = 0;
                }
                else if (vps.extension.maxOneActiveRefLayerFlag || numDirect == 1)
                {
                    slice.numActiveRefLayerPics = 1;
                }
                else
                {
                    slice.numActiveRefLayerPics = slice.numInterLayerRefPicsMinus1 + 1;
                }
                if (slice.numActiveRefLayerPics != numDirect)
                {
                    for (std::uint32_t i = 0; i < slice.numActiveRefLayerPics; ++i)
                    {
                        slice.interLayerPredLayerIdc.push_back(bits.readBits(h265CeilLog2(numDirect)));
                        if (slice.interLayerPredLayerIdc.back() >= numDirect)
                        {
                            streamError("inter_layer_pred_layer_idc out of range");
                        }
                    }
                }
            }
            else if (slice.interLayerPredEnabledFlag)
            {
                slice.numActiveRefLayerPics = 1;
            }
        }

        if (sps.sampleAdaptiveOffsetEnabledFlag)
        {
            slice.sliceSaoLumaFlag = bits.readFlag();
            if (sps.chromaArrayType() != 0)
            {
                slice.sliceSaoChromaFlag = bits.readFlag();
            }
        }

        if (slice.sliceType == kSliceP || slice.sliceType == kSliceB)
        {
            const H265ShortTermRefPicSet& rps = slice.refPicSetInForce();
            slice.numPicTotalCurr = 0;
            for (bool used : rps.usedByCurrPicS0)
            {
                slice.numPicTotalCurr += used ? 1 : 0;
            }
            for (bool used : rps.usedByCurrPicS1)
            {
                slice.numPicTotalCurr += used ? 1 : 0;
            }
            for (bool used : slice.usedByCurrPicLt)
            {
                slice.numPicTotalCurr += used ? 1 : 0;
            }

            slice.numRefIdxActiveOverrideFlag = bits.readFlag();
            if (slice.numRefIdxActiveOverrideFlag)
            {
                slice.numRefIdxL0ActiveMinus1 = readUeMax(bits, 14, "num_ref_idx_l0_active_minus1");
                if (slice.sliceType == kSliceB)
                {
                    slice.numRefIdxL1ActiveMinus1 = readUeMax(bits, 14, "num_ref_idx_l1_active_minus1");
                }
            }
            if (pps.listsModificationPresentFlag && slice.numPicTotalCurr > 1)
            {
                const std::uint32_t entryBits = h265CeilLog2(slice.numPicTotalCurr);
                auto readEntries = [&](std::uint32_t activeMinus1, std::vector<std::uint32_t>& entries)
                {
                    for (std::uint32_t i = 0; i <= activeMinus1; ++i)
                    {
                        entries.push_back(bits.readBits(entryBits));
                        if (entries.back() >= slice.numPicTotalCurr)
                        {
                            streamError("list_entry out of range");
                        }
                    }
                };
                slice.refPicListModificationFlagL0 = bits.readFlag();
                if (slice.refPicListModificationFlagL0)
                {
                    readEntries(slice.numRefIdxL0ActiveMinus1, slice.listEntryL0);
                }
                if (slice.sliceType == kSliceB)
                {
                    slice.refPicListModificationFlagL1 = bits.readFlag();
                    if (slice.refPicListModificationFlagL1)
                    {
                        readEntries(slice.numRefIdxL1ActiveMinus1, slice.listEntryL1);
                    }
                }
            }
            if (slice.sliceType == kSliceB)
            {
                slice.mvdL1ZeroFlag = bits.readFlag();
            }
            if (pps.cabacInitPresentFlag)
            {
                slice.cabacInitFlag = bits.readFlag();
            }
            if (slice.sliceTemporalMvpEnabledFlag)
            {
                if (slice.sliceType == kSliceB)
                {
                    slice.collocatedFromL0Flag = bits.readFlag();
                }
                const std::uint32_t activeMinus1 =
                    slice.collocatedFromL0Flag ? slice.numRefIdxL0ActiveMinus1 : slice.numRefIdxL1ActiveMinus1;
                if (activeMinus1 > 0)
                {
                    slice.collocatedRefIdx = readUeMax(bits, activeMinus1, "collocated_ref_idx");
                }
            }
            if ((pps.weightedPredFlag && slice.sliceType == kSliceP) ||
                (pps.weightedBipredFlag && slice.sliceType == kSliceB))
            {
                parsePredWeightTable(bits, slice, sps.chromaArrayType());
            }
            slice.fiveMinusMaxNumMergeCand = readUeMax(bits, 4, "five_minus_max_num_merge_cand");
        }

        slice.sliceQpDelta = bits.readSignedExpGolomb();
        if (pps.ppsSliceChromaQpOffsetsPresentFlag)
        {
            slice.sliceCbQpOffset = readSeRange(bits, -12, 12, "slice_cb_qp_offset");
            slice.sliceCrQpOffset = readSeRange(bits, -12, 12, "slice_cr_qp_offset");
        }
        if (pps.deblockingFilterOverrideEnabledFlag)
        {
            slice.deblockingFilterOverrideFlag = bits.readFlag();
        }
        if (slice.deblockingFilterOverrideFlag)
        {
            slice.sliceDeblockingFilterDisabledFlag = bits.readFlag();
            if (!slice.sliceDeblockingFilterDisabledFlag)
            {
                slice.sliceBetaOffsetDiv2 = readSeRange(bits, -6, 6, "slice_beta_offset_div2");
                slice.sliceTcOffsetDiv2 = readSeRange(bits, -6, 6, "slice_tc_offset_div2");
            }
        }
        if (pps.ppsLoopFilterAcrossSlicesEnabledFlag &&
            (slice.sliceSaoLumaFlag || slice.sliceSaoChromaFlag || !slice.sliceDeblockingFilterDisabledFlag))
        {
            slice.sliceLoopFilterAcrossSlicesEnabledFlag = bits.readFlag();
        }
    }

    if (pps.tilesEnabledFlag || pps.entropyCodingSyncEnabledFlag)
    {
        const std::uint64_t tiles = std::uint64_t(pps.numTileColumnsMinus1 + 1) * (pps.numTileRowsMinus1 + 1);
        std::uint64_t maxOffsets = 0;
        if (pps.tilesEnabledFlag && pps.entropyCodingSyncEnabledFlag)
        {
            maxOffsets = std::uint64_t(pps.numTileColumnsMinus1 + 1) * sps.picHeightInCtbsY() - 1;
        }
        else if (pps.tilesEnabledFlag)
        {
            maxOffsets = tiles - 1;
        }
        else
        {
            maxOffsets = sps.picHeightInCtbsY() - 1;
        }
        slice.numEntryPointOffsets = readUeMax(bits, std::uint32_t(maxOffsets), "num_entry_point_offsets");
        if (slice.numEntryPointOffsets > 0)
        {
            slice.offsetLenMinus1 = readUeMax(bits, 31, "offset_len_minus1");
            for (std::uint32_t i = 0; i < slice.numEntryPointOffsets; ++i)
            {
                slice.entryPointOffsetMinus1.push_back(bits.readBits(slice.offsetLenMinus1 + 1));
            }
        }
    }
    if (pps.sliceSegmentHeaderExtensionPresentFlag)
    {
        const std::uint32_t length = readUeMax(bits, 256, "slice_segment_header_extension_length");
        for (std::uint32_t i = 0; i < length; ++i)
        {
            bits.readBits(8);
        }
    }
}

bool H265Parser::parseNextPicture(PictureData& picture)
{
    picture.clear();
    mSlices.clear();
    bool begun = false;
    bool firstPass = true;
    for (;;)
    {
        if (mUnit.empty())
        {
            readNalUnit(mStream, mUnit);
        }
        bool ends = false;
        if (mUnit.empty())
        {
            ends = true;
        }
        else if (isFirstVclNaluInPic(mUnit))
        {
            // A first slice of a higher layer belongs to the same access unit.
            ends = begun && getLayerId(mUnit) == 0;
        }
        else if (!firstPass && begun)
        {
            ends = startsAccessUnit(getH265NalUnitType(mUnit), isLayered());
        }
        firstPass = false;
        if (ends)
        {
            break;
        }

        const std::uint32_t type = getH265NalUnitType(mUnit);
        const bool first = isFirstVclNaluInPic(mUnit);
        if (type >= kNalVps && type <= kNalPps)
        {
            processParameterSet(mUnit);
        }
        else if (type <= 31)
        {
            std::vector<std::uint8_t> rbsp;
            convertByteStreamToRBSP(mUnit, rbsp);
            BitStream bits(std::move(rbsp));
            const H265NalHeader header = readH265NalHeader(bits);
            auto slice = std::make_unique<H265SliceHeader>();
            if (isLayered())
            {
                slice->nuhLayerId = header.nuhLayerId;
                slice->nuhTemporalIdPlus1 = header.nuhTemporalIdPlus1;
                parseLhvcSliceHeader(bits, *slice, header.nalUnitType);
            }
            else
            {
                parseSliceHeader(bits, *slice, header.nalUnitType, header.nuhLayerId, header.nuhTemporalIdPlus1);
            }
            mSlices.push_back(std::move(slice));
        }

        switch (type)
        {
        case kNalVps:
            picture.mVpsNalUnits.push_back(std::move(mUnit));
            break;
        case kNalSps:
            picture.mSpsNalUnits.push_back(std::move(mUnit));
            break;
        case kNalPps:
            picture.mPpsNalUnits.push_back(std::move(mUnit));
            break;
        default:
            picture.mPictureNalUnits.push_back(std::move(mUnit));
            break;
        }
        mUnit.clear();
        if (type == 36)
        {
            mAtSequenceStart = true;  // end of sequence: the next picture starts a new one
        }
        picture.mIsLayered = isLayered();
        if (first)
        {
            setUpPicture(picture, std::uint8_t(type));
            begun = true;
        }
    }

    if (picture.mIsLayered)
    {
        picture.mIsIntraOnly = true;
    }
    else
    {
        picture.mIsIntraOnly =
            std::all_of(mSlices.begin(), mSlices.end(), [](const auto& slice) { return slice->sliceType == kSliceI; });
    }
    mSlices.clear();
    return finishPicture(picture);
}

void H265Parser::setUpPicture(PictureData& picture, std::uint8_t nalUnitType)
{
    picture.mIsIdr = isIdrType(nalUnitType);
    picture.mIsCra = nalUnitType == 21;
    picture.mIsBla = isBlaType(nalUnitType);
    picture.mDecodeIndex = mDecodeCounter;
    picture.mDisplayIndex = lookUpDisplayIndex(mDisplayOrder, mDecodeCounter);

    if (picture.mIsLayered)
    {
        const H265SliceHeader& base = *mSlices.front();
        picture.mPoc = 0;
        picture.mPicWidth = base.mSps->croppedWidth();
        picture.mPicHeight = base.mSps->croppedHeight();
        picture.mPicOutputFlag = mSlices.back()->picOutputFlag;
        return;
    }

    const H265SliceHeader& slice = *mSlices.back();
    const std::int32_t poc = computePoc(slice);
    mRefPicList0.clear();
    mRefPicList1.clear();
    if (nalUnitType >= 16 && nalUnitType <= 23)
    {
        mIrapStartsSequence = picture.mIsIdr || picture.mIsBla || mAtSequenceStart;
    }
    mAtSequenceStart = false;
    // Skipped leading pictures (RASL) of such an IRAP picture refer to pictures the stream
    // does not hold: they are delivered without references rather than refused.
    mToleratesMissingReferences = (nalUnitType == 8 || nalUnitType == 9) && mIrapStartsSequence;
    if ((nalUnitType >= 16 && nalUnitType <= 23) && mIrapStartsSequence)
    {
        // Every earlier picture stops being a reference; order counts may repeat after this.
        for (auto& stored : mStoredPictures)
        {
            stored.isReference = false;
            stored.isLongTerm = false;
        }
        mFirstCandidate = mStoredPictures.size();
    }
    if (!picture.mIsIdr)
    {
        markReferencePictures(slice, poc);
        if (slice.sliceType == kSliceP || slice.sliceType == kSliceB)
        {
            buildReferenceLists(slice);
        }
    }

    StoredPicture stored;
    stored.nalUnitType = nalUnitType;
    stored.decodeIndex = mDecodeCounter;
    stored.poc = poc;
    stored.width = slice.mSps->croppedWidth();
    stored.height = slice.mSps->croppedHeight();
    stored.slicePicOrderCntLsb = slice.slicePicOrderCntLsb;
    stored.isReference = true;
    stored.isLongTerm = false;
    stored.picOutputFlag = slice.picOutputFlag;
    mStoredPictures.push_back(stored);

    picture.mPoc = poc;
    picture.mPicWidth = stored.width;
    picture.mPicHeight = stored.height;
    picture.mPicOutputFlag = slice.picOutputFlag;
    for (const auto* list : {&mRefPicList0, &mRefPicList1})
    {
        for (std::int32_t index : *list)
        {
            addRefPicIndex(picture, std::uint32_t(mStoredPictures[std::size_t(index)].decodeIndex));
        }
    }
}

std::int32_t H265Parser::computePoc(const H265SliceHeader& slice)
{
    const std::int64_t maxLsb = slice.mSps->maxPicOrderCntLsb();
    const std::int64_t lsb = slice.slicePicOrderCntLsb;
    const std::int64_t msb = nextPicOrderCntMsb(mPrevPicOrderCntMsb, mPrevPicOrderCntLsb, lsb, maxLsb);
    const std::uint8_t type = slice.nalUnitType;
    const bool subLayerNonReference = type < 16 && type % 2 == 0;
    if (slice.nuhTemporalIdPlus1 == 1 && !(type >= 6 && type <= 9) && !subLayerNonReference)
    {
        mPrevPicOrderCntLsb = lsb;
        mPrevPicOrderCntMsb = msb;
    }
    return static_cast<std::int32_t>(msb + lsb);
}

std::int32_t H265Parser::findReference(std::int64_t value, bool byLsb) const
{
    // Newest first, and only among pictures still marked as references since the latest IDR or
    // BLA picture: order counts repeat across IDR pictures.
    for (std::size_t i = mStoredPictures.size(); i > mFirstCandidate; --i)
    {
        const StoredPicture& stored = mStoredPictures[i - 1];
        if (!stored.isReference)
        {
            continue;
        }
        const std::int64_t key = byLsb ? std::int64_t(stored.slicePicOrderCntLsb) : std::int64_t(stored.poc);
        if (key == value)
        {
            return std::int32_t(i - 1);
        }
    }
    return -1;
}

void H265Parser::markReferencePictures(const H265SliceHeader& slice, std::int32_t poc)
{
    const H265ShortTermRefPicSet& rps = slice.refPicSetInForce();
    const std::int64_t maxLsb = slice.mSps->maxPicOrderCntLsb();
    mCurrBefore.clear();
    mCurrAfter.clear();
    mLtCurr.clear();
    std::vector<std::int32_t> foll;
    std::vector<std::int32_t> longTerm;
    bool missingCurrent = false;

    auto lookUp = [&](std::int64_t value, bool byLsb, bool current, std::vector<std::int32_t>& into)
    {
        const std::int32_t found = findReference(value, byLsb);
        if (found < 0)
        {
            // Pictures only kept for later ones may be missing (a stream that starts at a CRA
            // picture); those the current picture predicts from may not.
            if (current)
            {
                if (!mToleratesMissingReferences)
                {
                    streamError("reference picture missing");
                }
                missingCurrent = true;
            }
            return;
        }
        into.push_back(found);
    };

    for (std::size_t i = 0; i < slice.pocLsbLt.size(); ++i)
    {
        std::int64_t value = slice.pocLsbLt[i];
        const bool msbPresent = slice.deltaPocMsbPresentFlag[i];
        if (msbPresent)
        {
            value +=
                std::int64_t(poc) - slice.deltaPocMsbCycleLtSum[i] * maxLsb - std::int64_t(slice.slicePicOrderCntLsb);
        }
        const bool current = slice.usedByCurrPicLt[i];
        lookUp(value, !msbPresent, current, current ? mLtCurr : foll);
    }
    longTerm = mLtCurr;
    longTerm.insert(longTerm.end(), foll.begin(), foll.end());
    foll.clear();
    for (std::uint32_t i = 0; i < rps.numNegativePics; ++i)
    {
        const bool current = rps.usedByCurrPicS0[i];
        lookUp(std::int64_t(poc) + rps.deltaPocS0[i], false, current, current ? mCurrBefore : foll);
    }
    for (std::uint32_t i = 0; i < rps.numPositivePics; ++i)
    {
        const bool current = rps.usedByCurrPicS1[i];
        lookUp(std::int64_t(poc) + rps.deltaPocS1[i], false, current, current ? mCurrAfter : foll);
    }

    for (auto& stored : mStoredPictures)
    {
        stored.isReference = false;
    }
    for (const auto* list : {&mCurrBefore, &mCurrAfter, &foll})
    {
        for (std::int32_t index : *list)
        {
            mStoredPictures[std::size_t(index)].isReference = true;
            mStoredPictures[std::size_t(index)].isLongTerm = false;
        }
    }
    for (std::int32_t index : longTerm)
    {
        mStoredPictures[std::size_t(index)].isReference = true;
        mStoredPictures[std::size_t(index)].isLongTerm = true;
    }
    if (missingCurrent)
    {
        // No lists for a picture that cannot be decoded.
        mCurrBefore.clear();
        mCurrAfter.clear();
        mLtCurr.clear();
    }
}

void H265Parser::buildReferenceLists(const H265SliceHeader& slice)
{
    const std::size_t numPicTotalCurr = mCurrBefore.size() + mCurrAfter.size() + mLtCurr.size();
    if (numPicTotalCurr == 0 && mToleratesMissingReferences)
    {
        return;
    }
    if (numPicTotalCurr == 0)
    {
        streamError("P or B slice without reference pictures");
    }
    auto build = [&](const std::vector<std::int32_t>& first, const std::vector<std::int32_t>& second,
                     std::uint32_t activeMinus1, bool modified, const std::vector<std::uint32_t>& entries,
                     std::vector<std::int32_t>& list)
    {
        const std::size_t numRpsCurrTempList = std::max<std::size_t>(activeMinus1 + 1, numPicTotalCurr);
        const std::vector<std::int32_t>& ltCurr = mLtCurr;
        std::vector<std::int32_t> temp;
        while (temp.size() < numRpsCurrTempList)
        {
            for (const std::vector<std::int32_t>* part : {&first, &second, &ltCurr})
            {
                for (std::size_t i = 0; i < part->size() && temp.size() < numRpsCurrTempList; ++i)
                {
                    temp.push_back((*part)[i]);
                }
            }
        }
        list.clear();
        for (std::uint32_t i = 0; i <= activeMinus1; ++i)
        {
            const std::size_t index = modified ? entries.at(i) : i;
            if (index >= temp.size())
            {
                streamError("list_entry out of range");
            }
            list.push_back(temp[index]);
        }
    };
    build(mCurrBefore, mCurrAfter, slice.numRefIdxL0ActiveMinus1, slice.refPicListModificationFlagL0, slice.listEntryL0,
          mRefPicList0);
    if (slice.sliceType == kSliceB)
    {
        build(mCurrAfter, mCurrBefore, slice.numRefIdxL1ActiveMinus1, slice.refPicListModificationFlagL1,
              slice.listEntryL1, mRefPicList1);
    }
}
