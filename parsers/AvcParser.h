#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "AvcParameterSets.h"
#include "AvcSliceHeader.h"
#include "ParserInterface.h"

/// Parser of H.264 byte streams (frame coding): splits the stream into pictures, keeps the
/// parameter sets, works out picture order counts and the reference pictures of each picture.
/// Field pictures are refused with an error; macroblock-adaptive frames are frames.
class AvcParser : public ByteStreamParser<AvcParser>
{
public:
    AvcParser() = default;
    ~AvcParser() override = default;

    bool parseNextPicture(PictureData& picture) override;

private:
    enum class Marking : std::uint8_t
    {
        Unused = 0,
        ShortTerm = 1,
        LongTerm = 2
    };

    /// A decoded picture kept for reference bookkeeping.
    struct StoredPicture
    {
        std::int32_t decodeIndex = 0;
        std::int32_t poc = 0;
        std::int64_t frameNum = 0;
        std::int64_t frameNumWrap = 0;
        std::uint32_t longTermFrameIdx = 0;
        std::uint32_t longTermPicNum = 0;
        std::uint32_t width = 0;
        std::uint32_t height = 0;
        Marking marking = Marking::Unused;
    };

    /// The picture whose first slice was just read.
    struct CurrentPicture
    {
        std::int32_t decodeIndex = 0;
        std::int32_t poc = 0;
        std::int64_t frameNumOffset = 0;
        std::int64_t picOrderCntMsb = 0;
    };

    void reset() override;

    bool isFirstSliceOfPicture(const std::vector<std::uint8_t>& nalUnit) const;
    bool lastSlicesDiffer() const;
    void processNalUnit(PictureData& picture, bool& pictureBegun);
    void setUpPicture(const AvcSliceHeader& slice, PictureData& picture);

    CurrentPicture computePoc(const AvcSliceHeader& slice) const;
    void refreshFrameNums(const AvcSliceHeader& slice);
    void buildInitialLists(const AvcSliceHeader& slice, std::int32_t currentPoc);
    void fillShortList(std::vector<std::size_t>& list, std::uint32_t activeMinus1, std::uint32_t width,
                       std::uint32_t height) const;
    void modifyList(std::vector<std::size_t>& list, const std::vector<AvcRefPicListModification>& operations,
                    std::uint32_t activeMinus1, const AvcSliceHeader& slice) const;
    void markPicture(const AvcSliceHeader& slice, const CurrentPicture& current);
    bool applyAdaptiveMarking(const AvcSliceHeader& slice, StoredPicture& current);
    void unmarkOldestShortTerm();
    std::size_t countMarked() const;

    std::vector<std::uint8_t> mNalUnit;  // current unit, not yet consumed

    std::map<std::uint32_t, std::shared_ptr<const AvcSequenceParameterSet>> mSpsStore;
    std::map<std::uint32_t, std::shared_ptr<const AvcPictureParameterSet>> mPpsStore;
    std::vector<AvcSliceHeader> mSlices;       // slices of the picture being assembled
    std::optional<AvcSliceHeader> mLastSlice;  // the slice that data partitions B and C belong with

    std::vector<StoredPicture> mStore;
    std::vector<std::size_t> mRefPicList0;  // indices into mStore
    std::vector<std::size_t> mRefPicList1;
    std::optional<std::uint32_t> mMaxLongTermFrameIdx;
    std::uint32_t mNumRefFrames = 0;
    std::uint32_t mDpbCapacity = 0;

    // Picture order count state.
    std::int64_t mPrevPicOrderCntMsb = 0;
    std::int64_t mPrevPicOrderCntLsb = 0;
    std::int64_t mPrevFrameNumOffset = 0;
    std::int64_t mPrevFrameNum = 0;
};
