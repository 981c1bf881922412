#pragma once

// H.265 video, sequence and picture parameter sets, read from their RBSP, with the derived
// tables of the multi-layer VPS extension. Every count that sizes a table or a loop is checked
// against the range the standard allows before it is used, and tables grow while they are read,
// so a hostile unit ends in an exception (std::runtime_error for a value out of range,
// std::out_of_range for data ending early), never in a huge allocation.

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <stdexcept>
#include <vector>

class BitStream;

/// Raised for a value outside the range the standard allows (a malformed stream).
class H265StreamError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

struct H265NalHeader
{
    std::uint8_t nalUnitType = 0;
    std::uint8_t nuhLayerId = 0;
    std::uint8_t nuhTemporalIdPlus1 = 0;
};

/// Reads the two header bytes at the stream's position.
H265NalHeader readH265NalHeader(BitStream& bits);

/// Number of bits of a Ceil(Log2(x)) field; 0 for x of 0 or 1.
std::uint32_t h265CeilLog2(std::uint32_t x);

struct H265ProfileTierLevel
{
    bool profilePresent = false;
    std::uint8_t generalProfileSpace = 0;
    bool generalTierFlag = false;
    std::uint8_t generalProfileIdc = 0;
    std::uint32_t generalProfileCompatibilityFlags = 0;
    bool generalProgressiveSourceFlag = false;
    bool generalInterlacedSourceFlag = false;
    bool generalNonPackedConstraintFlag = false;
    bool generalFrameOnlyConstraintFlag = false;
    /// The 48 constraint bits (the four flags above first), as six bytes would hold them.
    std::uint64_t generalConstraintIndicatorFlags = 0;
    std::uint8_t generalLevelIdc = 0;

    struct SubLayer
    {
        bool profilePresent = false;
        bool levelPresent = false;
        std::uint8_t profileSpace = 0;
        bool tierFlag = false;
        std::uint8_t profileIdc = 0;
        std::uint32_t profileCompatibilityFlags = 0;
        std::uint64_t constraintIndicatorFlags = 0;
        std::uint8_t levelIdc = 0;
    };
    std::vector<SubLayer> subLayers;  // maxNumSubLayersMinus1 entries
};

void parseH265ProfileTierLevel(BitStream& bits, bool profilePresent, std::uint32_t maxNumSubLayersMinus1,
                               H265ProfileTierLevel& ptl);

struct H265SubLayerHrd
{
    std::vector<std::uint32_t> bitRateValueMinus1;
    std::vector<std::uint32_t> cpbSizeValueMinus1;
    std::vector<std::uint32_t> cpbSizeDuValueMinus1;
    std::vector<std::uint32_t> bitRateDuValueMinus1;
    std::vector<bool> cbrFlag;
};

struct H265HrdParameters
{
    bool nalHrdParametersPresentFlag = false;
    bool vclHrdParametersPresentFlag = false;
    bool subPicHrdParamsPresentFlag = false;
    std::uint8_t tickDivisorMinus2 = 0;
    std::uint8_t duCpbRemovalDelayIncrementLengthMinus1 = 0;
    bool subPicCpbParamsInPicTimingSeiFlag = false;
    std::uint8_t dpbOutputDelayDuLengthMinus1 = 0;
    std::uint8_t bitRateScale = 0;
    std::uint8_t cpbSizeScale = 0;
    std::uint8_t cpbSizeDuScale = 0;
    std::uint8_t initialCpbRemovalDelayLengthMinus1 = 23;
    std::uint8_t auCpbRemovalDelayLengthMinus1 = 23;
    std::uint8_t dpbOutputDelayLengthMinus1 = 23;

    struct SubLayer
    {
        bool fixedPicRateGeneralFlag = false;
        bool fixedPicRateWithinCvsFlag = false;
        std::uint32_t elementalDurationInTcMinus1 = 0;
        bool lowDelayHrdFlag = false;
        std::uint32_t cpbCntMinus1 = 0;
        H265SubLayerHrd nal;
        H265SubLayerHrd vcl;
    };
    std::vector<SubLayer> subLayers;
};

void parseH265HrdParameters(BitStream& bits, bool commonInfPresent, std::uint32_t maxNumSubLayersMinus1,
                            H265HrdParameters& hrd);

struct H265Vui
{
    bool aspectRatioInfoPresentFlag = false;
    std::uint8_t aspectRatioIdc = 0;
    std::uint16_t sarWidth = 0;
    std::uint16_t sarHeight = 0;
    bool overscanInfoPresentFlag = false;
    bool overscanAppropriateFlag = false;
    bool videoSignalTypePresentFlag = false;
    std::uint8_t videoFormat = 5;
    bool videoFullRangeFlag = false;
    bool colourDescriptionPresentFlag = false;
    std::uint8_t colourPrimaries = 2;
    std::uint8_t transferCharacteristics = 2;
    std::uint8_t matrixCoeffs = 2;
    bool chromaLocInfoPresentFlag = false;
    std::uint32_t chromaSampleLocTypeTopField = 0;
    std::uint32_t chromaSampleLocTypeBottomField = 0;
    bool neutralChromaIndicationFlag = false;
    bool fieldSeqFlag = false;
    bool frameFieldInfoPresentFlag = false;
    bool defaultDisplayWindowFlag = false;
    std::uint32_t defDispWinLeftOffset = 0;
    std::uint32_t defDispWinRightOffset = 0;
    std::uint32_t defDispWinTopOffset = 0;
    std::uint32_t defDispWinBottomOffset = 0;
    bool timingInfoPresentFlag = false;
    std::uint32_t numUnitsInTick = 0;
    std::uint32_t timeScale = 0;
    bool pocProportionalToTimingFlag = false;
    std::uint32_t numTicksPocDiffOneMinus1 = 0;
    bool hrdParametersPresentFlag = false;
    H265HrdParameters hrd;
    bool bitstreamRestrictionFlag = false;
    bool tilesFixedStructureFlag = false;
    bool motionVectorsOverPicBoundariesFlag = true;
    bool restrictedRefPicListsFlag = false;
    std::uint32_t minSpatialSegmentationIdc = 0;
    std::uint32_t maxBytesPerPicDenom = 2;
    std::uint32_t maxBitsPerMinCuDenom = 1;
    std::uint32_t log2MaxMvLengthHorizontal = 15;
    std::uint32_t log2MaxMvLengthVertical = 15;
};

void parseH265Vui(BitStream& bits, std::uint32_t spsMaxSubLayersMinus1, H265Vui& vui);

struct H265ScalingListData
{
    struct Matrix
    {
        bool predModeFlag = false;
        std::uint32_t predMatrixIdDelta = 0;
        std::int32_t dcCoefMinus8 = 0;
        std::vector<std::uint8_t> coefficients;  // empty when predicted
    };
    /// [sizeId][matrixId]; size id 3 uses matrix ids 0 and 3 only.
    std::array<std::array<Matrix, 6>, 4> matrices;
};

void parseH265ScalingListData(BitStream& bits, H265ScalingListData& data);

/// Most entries a short-term reference picture set may hold (the largest decoded picture buffer).
constexpr std::uint32_t kH265MaxRefPicSetEntries = 16;

struct H265ShortTermRefPicSet
{
    // As read.
    bool interRefPicSetPredictionFlag = false;
    std::uint32_t deltaIdxMinus1 = 0;
    bool deltaRpsSign = false;
    std::uint32_t absDeltaRpsMinus1 = 0;
    std::vector<bool> usedByCurrPicFlag;
    std::vector<bool> useDeltaFlag;
    // Derived (also the explicit form's values).
    std::uint32_t numNegativePics = 0;
    std::uint32_t numPositivePics = 0;
    std::vector<std::int32_t> deltaPocS0;
    std::vector<std::int32_t> deltaPocS1;
    std::vector<bool> usedByCurrPicS0;
    std::vector<bool> usedByCurrPicS1;

    std::uint32_t numDeltaPocs() const { return numNegativePics + numPositivePics; }
};

/// Reads st_ref_pic_set(stRpsIdx). sets holds the SPS's sets read so far (indices below
/// stRpsIdx); numShortTermRefPicSets tells a slice's own set (index equal to it) from an SPS's.
void parseH265ShortTermRefPicSet(BitStream& bits, std::uint32_t stRpsIdx, std::uint32_t numShortTermRefPicSets,
                                 const std::vector<H265ShortTermRefPicSet>& sets, H265ShortTermRefPicSet& rps);

struct H265RepFormat
{
    std::uint16_t picWidthVpsInLumaSamples = 0;
    std::uint16_t picHeightVpsInLumaSamples = 0;
    bool chromaAndBitDepthVpsPresentFlag = false;
    std::uint8_t chromaFormatVpsIdc = 0;
    bool separateColourPlaneVpsFlag = false;
    std::uint8_t bitDepthVpsLumaMinus8 = 0;
    std::uint8_t bitDepthVpsChromaMinus8 = 0;
    bool conformanceWindowVpsFlag = false;
    std::uint32_t confWinVpsLeftOffset = 0;
    std::uint32_t confWinVpsRightOffset = 0;
    std::uint32_t confWinVpsTopOffset = 0;
    std::uint32_t confWinVpsBottomOffset = 0;
};

/// Multi-layer VPS extension with the tables derived from it. Per-layer tables are indexed by
/// the layer's index in the VPS (0 to maxLayersMinus1) unless the name says "ByLayerId".
struct H265VpsExtension
{
    std::uint32_t maxLayersMinus1 = 0;  // Min(62, vps_max_layers_minus1)
    bool hasBaseExtensionPtl = false;
    bool splittingFlag = false;
    std::array<bool, 16> scalabilityMaskFlag{};
    std::uint32_t numScalabilityTypes = 0;
    std::vector<std::uint32_t> dimensionIdLenMinus1;
    bool vpsNuhLayerIdPresentFlag = false;
    std::vector<std::uint8_t> layerIdInNuh;               // per layer index
    std::vector<std::vector<std::uint32_t>> dimensionId;  // [layer index][scalability type]
    std::uint32_t viewIdLen = 0;
    std::uint32_t numViews = 1;
    std::vector<std::uint32_t> viewIdVal;
    std::vector<std::vector<bool>> directDependencyFlag;  // [i][j], j < i
    std::vector<std::vector<bool>> dependencyFlag;        // [i][j]
    std::uint32_t numAddLayerSets = 0;
    std::vector<std::vector<std::uint32_t>> highestLayerIdxPlus1;  // [added set][tree partition]
    bool vpsSubLayersMaxMinus1PresentFlag = false;
    std::vector<std::uint8_t> subLayersVpsMaxMinus1;  // per layer index
    bool maxTidRefPresentFlag = false;
    std::vector<std::vector<std::uint8_t>> maxTidIlRefPicsPlus1;  // [i][j], default 7
    bool defaultRefLayersActiveFlag = false;
    std::uint32_t vpsNumProfileTierLevelMinus1 = 0;
    /// Every profile_tier_level of the VPS by index: 0 the base VPS's, then the extension's.
    std::vector<H265ProfileTierLevel> profileTierLevels;
    std::uint32_t numAddOlss = 0;
    std::uint32_t defaultOutputLayerIdc = 0;
    std::uint32_t numOutputLayerSets = 1;
    std::vector<std::uint32_t> olsIdxToLsIdx;
    std::vector<std::vector<bool>> outputLayerFlag;               // [ols][layer in its set]
    std::vector<std::vector<bool>> necessaryLayerFlag;            // [ols][layer in its set]
    std::vector<std::vector<std::uint32_t>> profileTierLevelIdx;  // [ols][layer in its set]
    std::vector<bool> altOutputLayerFlag;
    std::vector<H265RepFormat> repFormats;
    bool repFormatIdxPresentFlag = false;
    std::vector<std::uint32_t> vpsRepFormatIdx;  // per layer index
    bool maxOneActiveRefLayerFlag = false;
    bool vpsPocLsbAlignedFlag = false;
    std::vector<bool> pocLsbNotPresentFlag;  // per layer index

    // Derived, by layer id (0 to 63).
    std::array<std::int32_t, 64> layerIdxInVps{};
    std::array<std::uint32_t, 64> numDirectRefLayers{};
    std::array<std::vector<std::uint8_t>, 64> idDirectRefLayer;
    std::array<std::vector<std::uint8_t>, 64> idPredictedLayer;
    // Tree partitions of the independent layers.
    std::vector<std::vector<std::uint8_t>> treePartitionLayerIdList;
    std::uint32_t numIndependentLayers = 0;
};

struct H265Vps
{
    std::uint32_t vpsVideoParameterSetId = 0;
    bool vpsBaseLayerInternalFlag = false;
    bool vpsBaseLayerAvailableFlag = false;
    std::uint32_t vpsMaxLayersMinus1 = 0;
    std::uint32_t vpsMaxSubLayersMinus1 = 0;
    bool vpsTemporalIdNestingFlag = false;
    std::uint32_t vpsReserved0xffff16Bits = 0;
    H265ProfileTierLevel profileTierLevel;
    bool vpsSubLayerOrderingInfoPresentFlag = false;
    std::vector<std::uint32_t> vpsMaxDecPicBufferingMinus1;
    std::vector<std::uint32_t> vpsMaxNumReorderPics;
    std::vector<std::uint32_t> vpsMaxLatencyIncreasePlus1;
    std::uint32_t vpsMaxLayerId = 0;
    std::uint32_t vpsNumLayerSetsMinus1 = 0;
    std::vector<std::vector<bool>> layerIdIncludedFlag;  // per layer set; set 0 empty
    bool vpsTimingInfoPresentFlag = false;
    std::uint32_t vpsNumUnitsInTick = 0;
    std::uint32_t vpsTimeScale = 0;
    bool vpsPocProportionalToTimingFlag = false;
    std::uint32_t vpsNumTicksPocDiffOneMinus1 = 0;
    std::uint32_t vpsNumHrdParameters = 0;
    std::vector<std::uint32_t> hrdLayerSetIdx;
    std::vector<bool> cprmsPresentFlag;
    std::vector<H265HrdParameters> hrdParameters;
    bool vpsExtensionFlag = false;
    H265VpsExtension extension;

    // Layer sets (the signalled ones, then the added ones): their layer ids in increasing order.
    std::vector<std::vector<std::uint8_t>> layerSetLayerIdList;
    std::uint32_t numLayerSets() const { return std::uint32_t(layerSetLayerIdList.size()); }

    /// Checked look-ups by layer id (std::out_of_range beyond the tables).
    std::uint32_t layerIdxInVps(std::uint32_t layerId) const;
    std::uint32_t numDirectRefLayers(std::uint32_t layerId) const;
    bool pocLsbNotPresent(std::uint32_t layerId) const;
};

/// Reads a whole VPS from its RBSP, positioned just after the NAL unit header.
std::shared_ptr<H265Vps> parseH265Vps(BitStream& bits);

struct H265Sps
{
    std::uint32_t nuhLayerId = 0;
    std::uint32_t spsVideoParameterSetId = 0;
    std::uint32_t spsMaxSubLayersMinus1 = 0;  // sps_ext_or_max_sub_layers_minus1 on layers above 0
    bool multiLayerExtSpsFlag = false;
    bool spsTemporalIdNestingFlag = false;
    H265ProfileTierLevel profileTierLevel;
    std::uint32_t spsSeqParameterSetId = 0;
    bool updateRepFormatFlag = false;
    std::uint32_t spsRepFormatIdx = 0;
    std::uint32_t chromaFormatIdc = 0;
    bool separateColourPlaneFlag = false;
    std::uint32_t picWidthInLumaSamples = 0;
    std::uint32_t picHeightInLumaSamples = 0;
    bool conformanceWindowFlag = false;
    std::uint32_t confWinLeftOffset = 0;
    std::uint32_t confWinRightOffset = 0;
    std::uint32_t confWinTopOffset = 0;
    std::uint32_t confWinBottomOffset = 0;
    std::uint32_t bitDepthLumaMinus8 = 0;
    std::uint32_t bitDepthChromaMinus8 = 0;
    std::uint32_t log2MaxPicOrderCntLsbMinus4 = 0;
    bool spsSubLayerOrderingInfoPresentFlag = false;
    std::vector<std::uint32_t> spsMaxDecPicBufferingMinus1;
    std::vector<std::uint32_t> spsMaxNumReorderPics;
    std::vector<std::uint32_t> spsMaxLatencyIncreasePlus1;
    std::uint32_t log2MinLumaCodingBlockSizeMinus3 = 0;
    std::uint32_t log2DiffMaxMinLumaCodingBlockSize = 0;
    std::uint32_t log2MinLumaTransformBlockSizeMinus2 = 0;
    std::uint32_t log2DiffMaxMinLumaTransformBlockSize = 0;
    std::uint32_t maxTransformHierarchyDepthInter = 0;
    std::uint32_t maxTransformHierarchyDepthIntra = 0;
    bool scalingListEnabledFlag = false;
    bool spsInferScalingListFlag = false;
    std::uint32_t spsScalingListRefLayerId = 0;
    bool spsScalingListDataPresentFlag = false;
    H265ScalingListData scalingListData;
    bool ampEnabledFlag = false;
    bool sampleAdaptiveOffsetEnabledFlag = false;
    bool pcmEnabledFlag = false;
    std::uint32_t pcmSampleBitDepthLumaMinus1 = 0;
    std::uint32_t pcmSampleBitDepthChromaMinus1 = 0;
    std::uint32_t log2MinPcmLumaCodingBlockSizeMinus3 = 0;
    std::uint32_t log2DiffMaxMinPcmLumaCodingBlockSize = 0;
    bool pcmLoopFilterDisabledFlag = false;
    std::uint32_t numShortTermRefPicSets = 0;
    std::vector<H265ShortTermRefPicSet> shortTermRefPicSets;
    bool longTermRefPicsPresentFlag = false;
    std::uint32_t numLongTermRefPicsSps = 0;
    std::vector<std::uint32_t> ltRefPicPocLsbSps;
    std::vector<bool> usedByCurrPicLtSpsFlag;
    bool spsTemporalMvpEnabledFlag = false;
    bool strongIntraSmoothingEnabledFlag = false;
    bool vuiParametersPresentFlag = false;
    H265Vui vui;
    bool spsExtensionPresentFlag = false;

    std::uint32_t ctbLog2SizeY() const
    {
        return log2MinLumaCodingBlockSizeMinus3 + 3 + log2DiffMaxMinLumaCodingBlockSize;
    }
    std::uint32_t picWidthInCtbsY() const;
    std::uint32_t picHeightInCtbsY() const;
    std::uint32_t picSizeInCtbsY() const { return picWidthInCtbsY() * picHeightInCtbsY(); }
    std::uint32_t maxPicOrderCntLsb() const { return 1u << (log2MaxPicOrderCntLsbMinus4 + 4); }
    /// ChromaArrayType: 0 for 4:0:0 and for separately coded colour planes.
    std::uint32_t chromaArrayType() const { return separateColourPlaneFlag ? 0 : chromaFormatIdc; }
    /// Picture size after the conformance window.
    std::uint32_t croppedWidth() const;
    std::uint32_t croppedHeight() const;
};

/// Reads a whole SPS from its RBSP, positioned just after the NAL unit header. vps is the stored
/// VPS with the SPS's id, when there is one (it gives the sub-layer count of a multi-layer SPS).
std::shared_ptr<H265Sps> parseH265Sps(BitStream& bits, const H265NalHeader& header, const H265Vps* vps);

struct H265Pps
{
    std::uint32_t ppsPicParameterSetId = 0;
    std::uint32_t ppsSeqParameterSetId = 0;
    bool dependentSliceSegmentsEnabledFlag = false;
    bool outputFlagPresentFlag = false;
    std::uint32_t numExtraSliceHeaderBits = 0;
    bool signDataHidingEnabledFlag = false;
    bool cabacInitPresentFlag = false;
    std::uint32_t numRefIdxL0DefaultActiveMinus1 = 0;
    std::uint32_t numRefIdxL1DefaultActiveMinus1 = 0;
    std::int32_t initQpMinus26 = 0;
    bool constrainedIntraPredFlag = false;
    bool transformSkipEnabledFlag = false;
    bool cuQpDeltaEnabledFlag = false;
    std::uint32_t diffCuQpDeltaDepth = 0;
    std::int32_t ppsCbQpOffset = 0;
    std::int32_t ppsCrQpOffset = 0;
    bool ppsSliceChromaQpOffsetsPresentFlag = false;
    bool weightedPredFlag = false;
    bool weightedBipredFlag = false;
    bool transquantBypassEnabledFlag = false;
    bool tilesEnabledFlag = false;
    bool entropyCodingSyncEnabledFlag = false;
    std::uint32_t numTileColumnsMinus1 = 0;
    std::uint32_t numTileRowsMinus1 = 0;
    bool uniformSpacingFlag = true;
    std::vector<std::uint32_t> columnWidthMinus1;
    std::vector<std::uint32_t> rowHeightMinus1;
    bool loopFilterAcrossTilesEnabledFlag = true;
    bool ppsLoopFilterAcrossSlicesEnabledFlag = false;
    bool deblockingFilterControlPresentFlag = false;
    bool deblockingFilterOverrideEnabledFlag = false;
    bool ppsDeblockingFilterDisabledFlag = false;
    std::int32_t ppsBetaOffsetDiv2 = 0;
    std::int32_t ppsTcOffsetDiv2 = 0;
    bool ppsScalingListDataPresentFlag = false;
    H265ScalingListData scalingListData;
    bool listsModificationPresentFlag = false;
    std::uint32_t log2ParallelMergeLevelMinus2 = 0;
    bool sliceSegmentHeaderExtensionPresentFlag = false;
    bool ppsExtensionPresentFlag = false;
};

/// Reads a whole PPS from its RBSP, positioned just after the NAL unit header.
std::shared_ptr<H265Pps> parseH265Pps(BitStream& bits);

/// Parameter sets of one kind keyed by their id. Records are shared: a set re-sent in the middle
/// of a picture replaces the stored one while the picture's slices keep the record they resolved.
template <typename T>
class H265ParameterSetStore
{
public:
    void store(std::uint32_t id, std::shared_ptr<const T> record) { mRecords[id] = std::move(record); }
    std::shared_ptr<const T> find(std::uint32_t id) const
    {
        const auto it = mRecords.find(id);
        return it == mRecords.end() ? nullptr : it->second;
    }
    bool empty() const { return mRecords.empty(); }
    void clear() { mRecords.clear(); }
    template <typename F>
    bool any(F predicate) const
    {
        for (const auto& entry : mRecords)
        {
            if (predicate(*entry.second))
            {
                return true;
            }
        }
        return false;
    }

private:
    std::map<std::uint32_t, std::shared_ptr<const T>> mRecords;
};
