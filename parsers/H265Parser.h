#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "H265ParameterSets.h"
#include "ParserInterface.h"

class BitStream;

/// One slice segment header, with the parameter sets it resolved. The records are shared, so a
/// parameter set re-sent later in the same picture does not pull them from under the slice.
struct H265SliceHeader
{
    std::uint8_t nalUnitType = 0;
    std::uint8_t nuhLayerId = 0;
    std::uint8_t nuhTemporalIdPlus1 = 1;
    bool firstSliceSegmentInPicFlag = false;
    bool noOutputOfPriorPicsFlag = false;
    std::uint32_t slicePicParameterSetId = 0;
    std::shared_ptr<const H265Pps> mPps;
    std::shared_ptr<const H265Sps> mSps;
    std::shared_ptr<const H265Vps> mVps;
    bool dependentSliceSegmentFlag = false;
    std::uint32_t sliceSegmentAddress = 0;
    bool discardableFlag = false;
    bool crossLayerBlaFlag = false;
    std::uint32_t sliceType = 0;  // 0 B, 1 P, 2 I
    bool picOutputFlag = true;
    std::uint32_t colourPlaneId = 0;
    std::uint32_t slicePicOrderCntLsb = 0;
    bool shortTermRefPicSetSpsFlag = false;
    std::uint32_t shortTermRefPicSetIdx = 0;
    H265ShortTermRefPicSet stRefPicSet;  // the slice's own set
    std::uint32_t numLongTermSps = 0;
    std::uint32_t numLongTermPics = 0;
    std::vector<std::uint32_t> ltIdxSps;
    std::vector<std::uint32_t> pocLsbLt;  // PocLsbLt: from the SPS or the slice
    std::vector<bool> usedByCurrPicLt;    // UsedByCurrPicLt
    std::vector<bool> deltaPocMsbPresentFlag;
    std::vector<std::uint32_t> deltaPocMsbCycleLt;    // as read
    std::vector<std::int64_t> deltaPocMsbCycleLtSum;  // DeltaPocMsbCycleLt
    bool sliceTemporalMvpEnabledFlag = false;
    bool interLayerPredEnabledFlag = false;
    std::uint32_t numInterLayerRefPicsMinus1 = 0;
    std::uint32_t numActiveRefLayerPics = 0;
    std::vector<std::uint32_t> interLayerPredLayerIdc;
    bool sliceSaoLumaFlag = false;
    bool sliceSaoChromaFlag = false;
    std::uint32_t numPicTotalCurr = 0;
    bool numRefIdxActiveOverrideFlag = false;
    std::uint32_t numRefIdxL0ActiveMinus1 = 0;
    std::uint32_t numRefIdxL1ActiveMinus1 = 0;
    bool refPicListModificationFlagL0 = false;
    bool refPicListModificationFlagL1 = false;
    std::vector<std::uint32_t> listEntryL0;
    std::vector<std::uint32_t> listEntryL1;
    bool mvdL1ZeroFlag = false;
    bool cabacInitFlag = false;
    bool collocatedFromL0Flag = true;
    std::uint32_t collocatedRefIdx = 0;
    struct WeightEntry
    {
        bool lumaWeightFlag = false;
        bool chromaWeightFlag = false;
        std::int32_t deltaLumaWeight = 0;
        std::int32_t lumaOffset = 0;
        std::int32_t deltaChromaWeight[2] = {0, 0};
        std::int32_t deltaChromaOffset[2] = {0, 0};
    };
    std::uint32_t lumaLog2WeightDenom = 0;
    std::int32_t deltaChromaLog2WeightDenom = 0;
    std::vector<WeightEntry> weightsL0;
    std::vector<WeightEntry> weightsL1;
    std::uint32_t fiveMinusMaxNumMergeCand = 0;
    std::int32_t sliceQpDelta = 0;
    std::int32_t sliceCbQpOffset = 0;
    std::int32_t sliceCrQpOffset = 0;
    bool deblockingFilterOverrideFlag = false;
    bool sliceDeblockingFilterDisabledFlag = false;
    std::int32_t sliceBetaOffsetDiv2 = 0;
    std::int32_t sliceTcOffsetDiv2 = 0;
    bool sliceLoopFilterAcrossSlicesEnabledFlag = false;
    std::uint32_t numEntryPointOffsets = 0;
    std::uint32_t offsetLenMinus1 = 0;
    std::vector<std::uint32_t> entryPointOffsetMinus1;

    /// The short-term set in force: the SPS's at the index, or the slice's own.
    const H265ShortTermRefPicSet& refPicSetInForce() const;
};

/// H.265 elementary-stream parser: splits an Annex B stream into pictures (access units, with
/// all their layers for a multi-layer stream) with their parameter sets, reference pictures and
/// place in display order.
class H265Parser : public ByteStreamParser<H265Parser>
{
public:
    H265Parser() = default;
    ~H265Parser() override = default;

    bool parseNextPicture(PictureData& picture) override;

    /// Whether the buffered unit (start code included) is the first slice segment of a picture.
    static bool isFirstVclNaluInPic(const std::vector<std::uint8_t>& nalUnit);
    static std::uint32_t getLayerId(const std::vector<std::uint8_t>& nalUnit);
    static std::uint32_t getH265NalUnitType(const std::vector<std::uint8_t>& nalUnit);

    /// Reads a slice segment header from its RBSP, positioned after the NAL unit header. Throws
    /// H265StreamError for a missing parameter set or a value out of range.
    void parseSliceHeader(BitStream& bits, H265SliceHeader& slice, std::uint8_t nalUnitType, std::uint8_t nuhLayerId,
                          std::uint8_t nuhTemporalIdPlus1) const;
    /// The slice header of a multi-layer stream: only the fields up to the PPS id are read.
    void parseLhvcSliceHeader(BitStream& bits, H265SliceHeader& slice, std::uint8_t nalUnitType) const;

    /// Processes one parameter-set unit (types 32 to 34) in byte-stream form: parses and stores it.
    void processParameterSet(const std::vector<std::uint8_t>& nalUnit);

    /// Some stored VPS carries the multi-layer extension.
    bool isLayered() const;

private:
    struct StoredPicture
    {
        std::uint8_t nalUnitType = 0;
        std::int32_t decodeIndex = 0;
        std::int32_t poc = 0;
        std::uint32_t width = 0;
        std::uint32_t height = 0;
        std::uint32_t slicePicOrderCntLsb = 0;
        bool isReference = false;
        bool isLongTerm = false;
        bool picOutputFlag = false;
    };

    void reset() override;
    void resolveParameterSets(H265SliceHeader& slice) const;
    /// The fields every slice segment header begins with, up to the PPS it names, which is resolved.
    void parseSliceHeaderStart(BitStream& bits, H265SliceHeader& slice, std::uint8_t nalUnitType) const;
    void setUpPicture(PictureData& picture, std::uint8_t nalUnitType);
    std::int32_t computePoc(const H265SliceHeader& slice);
    void markReferencePictures(const H265SliceHeader& slice, std::int32_t poc);
    void buildReferenceLists(const H265SliceHeader& slice);
    std::int32_t findReference(std::int64_t value, bool byLsb) const;

    std::vector<std::uint8_t> mUnit;  // the unit read but not yet consumed

    H265ParameterSetStore<H265Vps> mVpsStore;
    H265ParameterSetStore<H265Sps> mSpsStore;
    H265ParameterSetStore<H265Pps> mPpsStore;
    std::vector<std::unique_ptr<H265SliceHeader>> mSlices;  // of the picture being assembled

    std::vector<StoredPicture> mStoredPictures;  // decoding order, never dropped
    /// First stored picture after the latest IDR or BLA picture: older ones are never references.
    std::size_t mFirstCandidate = 0;
    std::vector<std::int32_t> mCurrBefore, mCurrAfter, mLtCurr;  // indices into the store
    std::vector<std::int32_t> mRefPicList0, mRefPicList1;
    /// The latest IRAP picture starts a new coded video sequence (IDR, BLA, or a CRA first in
    /// the stream or after an end of sequence): its skipped leading pictures may lack references.
    bool mIrapStartsSequence = false;
    bool mAtSequenceStart = true;
    bool mToleratesMissingReferences = false;
    std::int64_t mPrevPicOrderCntLsb = 0;
    std::int64_t mPrevPicOrderCntMsb = 0;
};
