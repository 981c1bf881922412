#include "AvcParser.h"

#include <algorithm>
#include <limits>
#include <stdexcept>
#include <string>

#include "BitStream.h"

namespace
{
[[noreturn]] void throwStreamError(const std::string& what)
{
    throw std::runtime_error("H.264 stream: " + what);
}

bool isSliceType(AVCNalUnitType type)
{
    return type >= AVCNalUnitType::CODED_SLICE_NON_IDR && type <= AVCNalUnitType::CODED_SLICE_IDR;
}

std::int32_t checkedPoc(std::int64_t poc)
{
    if (poc < std::numeric_limits<std::int32_t>::min() || poc > std::numeric_limits<std::int32_t>::max())
    {
        throwStreamError("picture order count out of range");
    }
    return std::int32_t(poc);
}

// Reference lists are padded to this many entries (the most a frame's list can use).
constexpr std::size_t PaddedListSize = 16;
// Operations applied per list and per picture at most.
constexpr std::size_t MaxListModifications = 17;
constexpr std::size_t MaxMarkingOperations = 35;
}  // namespace

void AvcParser::reset()
{
    mNalUnit.clear();
    mSpsStore.clear();
    mPpsStore.clear();
    mSlices.clear();
    mLastSlice.reset();
    mStore.clear();
    mRefPicList0.clear();
    mRefPicList1.clear();
    mMaxLongTermFrameIdx.reset();
    mNumRefFrames = 0;
    mDpbCapacity = 0;
    mPrevPicOrderCntMsb = 0;
    mPrevPicOrderCntLsb = 0;
    mPrevFrameNumOffset = 0;
    mPrevFrameNum = 0;
}

bool AvcParser::isFirstSliceOfPicture(const std::vector<std::uint8_t>& nalUnit) const
{
    const AVCNalUnitType type = getAVCNalUnitType(nalUnit);
    if (type == AVCNalUnitType::CODED_SLICE_DPB || type == AVCNalUnitType::CODED_SLICE_DPC)
    {
        return true;  // no first_mb_in_slice: counted as 0
    }
    if (!isSliceType(type))
    {
        return false;
    }
    // first_mb_in_slice is the first field; a short prefix holds it.
    const std::size_t header = findNalUnitHeader(nalUnit, 1);
    const std::size_t end = std::min(nalUnit.size(), header + 16);
    std::vector<std::uint8_t> prefix;
    prefix.reserve(end - header + 3);
    prefix.push_back(0);
    prefix.push_back(0);
    prefix.push_back(1);
    for (std::size_t i = header; i < end; ++i)
    {
        prefix.push_back(nalUnit[i]);
    }
    std::vector<std::uint8_t> rbsp;
    convertByteStreamToRBSP(prefix, rbsp);
    BitStream bitstr(std::move(rbsp));
    bitstr.readBits(8);
    return bitstr.readUnsignedExpGolomb() == 0;
}

bool AvcParser::lastSlicesDiffer() const
{
    if (mSlices.size() < 3)
    {
        return false;
    }
    const AvcSliceHeader& a = mSlices[mSlices.size() - 2];
    const AvcSliceHeader& b = mSlices[mSlices.size() - 1];
    if (a.frame_num != b.frame_num || a.IdrPicFlag != b.IdrPicFlag)
    {
        return true;
    }
    if (a.IdrPicFlag && b.IdrPicFlag && a.idr_pic_id != b.idr_pic_id)
    {
        return true;
    }
    if (a.nal_ref_idc != b.nal_ref_idc && (a.nal_ref_idc == 0 || b.nal_ref_idc == 0))
    {
        return true;
    }
    if (a.sps->pic_order_cnt_type == 0 && b.sps->pic_order_cnt_type == 0 &&
        (a.pic_order_cnt_lsb != b.pic_order_cnt_lsb || a.delta_pic_order_cnt_bottom != b.delta_pic_order_cnt_bottom))
    {
        return true;
    }
    if (a.sps->pic_order_cnt_type == 1 && b.sps->pic_order_cnt_type == 1 &&
        (a.delta_pic_order_cnt[0] != b.delta_pic_order_cnt[0] || a.delta_pic_order_cnt[1] != b.delta_pic_order_cnt[1]))
    {
        return true;
    }
    return false;
}

bool AvcParser::parseNextPicture(PictureData& picture)
{
    picture.clear();
    bool pictureBegun = false;
    bool firstPass = true;
    for (;;)
    {
        if (mNalUnit.empty())
        {
            readNalUnit(mStream, mNalUnit);
        }
        bool ends = false;
        if (mNalUnit.empty())
        {
            ends = true;
        }
        else if (!firstPass)
        {
            ends = isFirstSliceOfPicture(mNalUnit) ? pictureBegun : lastSlicesDiffer();
        }
        firstPass = false;
        if (ends)
        {
            break;
        }
        processNalUnit(picture, pictureBegun);
        mNalUnit.clear();
    }

    picture.mIsIntraOnly = std::all_of(mSlices.begin(), mSlices.end(),
                                       [](const AvcSliceHeader& s) { return s.slice_type == AvcSliceType::I; });
    mSlices.clear();
    return finishPicture(picture);
}

void AvcParser::processNalUnit(PictureData& picture, bool& pictureBegun)
{
    const AVCNalUnitType type = getAVCNalUnitType(mNalUnit);
    const bool isParameterSet = type == AVCNalUnitType::SPS || type == AVCNalUnitType::PPS;
    if (isParameterSet || isSliceType(type))
    {
        std::vector<std::uint8_t> rbsp;
        convertByteStreamToRBSP(mNalUnit, rbsp);
        BitStream bitstr(std::move(rbsp));
        AvcNalHeader header;
        header.parse(bitstr);

        if (type == AVCNalUnitType::SPS)
        {
            auto sps = std::make_shared<AvcSequenceParameterSet>();
            sps->parse(bitstr);
            mSpsStore[sps->seq_parameter_set_id] = std::move(sps);
        }
        else if (type == AVCNalUnitType::PPS)
        {
            auto pps = std::make_shared<AvcPictureParameterSet>();
            pps->parse(bitstr);
            mPpsStore[pps->pic_parameter_set_id] = std::move(pps);
        }
        else
        {
            AvcSliceHeader slice;
            if (type == AVCNalUnitType::CODED_SLICE_DPB || type == AVCNalUnitType::CODED_SLICE_DPC)
            {
                if (!mLastSlice)
                {
                    throwStreamError("slice data partition without a slice header before it");
                }
                slice.parsePartition(bitstr, header, *mLastSlice);
            }
            else
            {
                slice.parse(
                    bitstr, header,
                    [this](std::uint32_t id)
                    {
                        const auto it = mSpsStore.find(id);
                        return it == mSpsStore.end() ? nullptr : it->second;
                    },
                    [this](std::uint32_t id)
                    {
                        const auto it = mPpsStore.find(id);
                        return it == mPpsStore.end() ? nullptr : it->second;
                    });
                mLastSlice = slice;
            }
            mSlices.push_back(slice);
            if (slice.first_mb_in_slice == 0)
            {
                setUpPicture(mSlices.back(), picture);
                pictureBegun = true;
            }
        }
    }

    if (type == AVCNalUnitType::SPS)
    {
        picture.mSpsNalUnits.push_back(std::move(mNalUnit));
    }
    else if (type == AVCNalUnitType::PPS)
    {
        picture.mPpsNalUnits.push_back(std::move(mNalUnit));
    }
    else
    {
        picture.mPictureNalUnits.push_back(std::move(mNalUnit));
    }
    mNalUnit.clear();
}

void AvcParser::setUpPicture(const AvcSliceHeader& slice, PictureData& picture)
{
    const AvcSequenceParameterSet& sps = *slice.sps;
    mRefPicList0.clear();
    mRefPicList1.clear();

    const CurrentPicture current = computePoc(slice);
    const std::uint32_t width = sps.croppedWidth();
    const std::uint32_t height = sps.croppedHeight();

    if (slice.IdrPicFlag)
    {
        mDpbCapacity = sps.vui_parameters_present_flag ? sps.vui.max_dec_frame_buffering : 0;
        mNumRefFrames = sps.max_num_ref_frames;
    }
    else
    {
        refreshFrameNums(slice);
    }

    if (!slice.isIntra())
    {
        buildInitialLists(slice, current.poc);
        fillShortList(mRefPicList0, slice.num_ref_idx_l0_active_minus1, width, height);
        if (slice.slice_type == AvcSliceType::B)
        {
            fillShortList(mRefPicList1, slice.num_ref_idx_l1_active_minus1, width, height);
        }
        if (slice.ref_pic_list_modification_flag_l0)
        {
            modifyList(mRefPicList0, slice.modifications_l0, slice.num_ref_idx_l0_active_minus1, slice);
        }
        if (slice.slice_type == AvcSliceType::B && slice.ref_pic_list_modification_flag_l1)
        {
            modifyList(mRefPicList1, slice.modifications_l1, slice.num_ref_idx_l1_active_minus1, slice);
        }
    }

    picture.mDecodeIndex = current.decodeIndex;
    picture.mDisplayIndex = lookUpDisplayIndex(mDisplayOrder, current.decodeIndex);
    picture.mPoc = current.poc;
    picture.mPicWidth = width;
    picture.mPicHeight = height;
    picture.mIsIdr = slice.IdrPicFlag;
    picture.mPicOutputFlag = true;
    picture.mRefPicIndices.clear();
    for (const auto* list : {&mRefPicList0, &mRefPicList1})
    {
        for (std::size_t index : *list)
        {
            addRefPicIndex(picture, std::uint32_t(mStore[index].decodeIndex));
        }
    }

    markPicture(slice, current);
}

AvcParser::CurrentPicture AvcParser::computePoc(const AvcSliceHeader& slice) const
{
    const AvcSequenceParameterSet& sps = *slice.sps;
    CurrentPicture current;
    current.decodeIndex = mDecodeCounter;
    const std::int64_t maxFrameNum = slice.MaxFrameNum;

    if (sps.pic_order_cnt_type == 0)
    {
        const std::int64_t maxLsb = sps.maxPicOrderCntLsb();
        const std::int64_t prevMsb = slice.IdrPicFlag ? 0 : mPrevPicOrderCntMsb;
        const std::int64_t prevLsb = slice.IdrPicFlag ? 0 : mPrevPicOrderCntLsb;
        const std::int64_t lsb = slice.pic_order_cnt_lsb;
        const std::int64_t msb = nextPicOrderCntMsb(prevMsb, prevLsb, lsb, maxLsb);
        current.picOrderCntMsb = msb;
        current.poc = checkedPoc(msb + lsb);
        return current;
    }

    // Types 1 and 2 count frames.
    if (slice.IdrPicFlag)
    {
        current.frameNumOffset = 0;
    }
    else if (mPrevFrameNum > std::int64_t(slice.frame_num))
    {
        current.frameNumOffset = mPrevFrameNumOffset + maxFrameNum;
    }
    else
    {
        current.frameNumOffset = mPrevFrameNumOffset;
    }
    // Some 2^31 frames in: no count built on it could be represented any more.
    if (current.frameNumOffset > std::numeric_limits<std::int32_t>::max())
    {
        throwStreamError("frame number offset out of range");
    }

    if (sps.pic_order_cnt_type == 1)
    {
        const std::int64_t cycleLength = sps.num_ref_frames_in_pic_order_cnt_cycle;
        std::int64_t absFrameNum = cycleLength != 0 ? current.frameNumOffset + slice.frame_num : 0;
        if (slice.nal_ref_idc == 0 && absFrameNum > 0)
        {
            --absFrameNum;
        }
        std::int64_t expected = 0;
        if (absFrameNum > 0)
        {
            std::int64_t deltaPerCycle = 0;
            for (std::int32_t offset : sps.offset_for_ref_frame)
            {
                deltaPerCycle += offset;
            }
            const std::int64_t cycleCount = (absFrameNum - 1) / cycleLength;
            const std::int64_t inCycle = (absFrameNum - 1) % cycleLength;
            if (deltaPerCycle != 0 && cycleCount > std::numeric_limits<std::int64_t>::max() / 2 /
                                                       (deltaPerCycle < 0 ? -deltaPerCycle : deltaPerCycle))
            {
                throwStreamError("picture order count out of range");
            }
            expected = cycleCount * deltaPerCycle;
            for (std::int64_t i = 0; i <= inCycle; ++i)
            {
                expected += sps.offset_for_ref_frame[std::size_t(i)];
            }
        }
        if (slice.nal_ref_idc == 0)
        {
            expected += sps.offset_for_non_ref_pic;
        }
        current.poc = checkedPoc(expected + slice.delta_pic_order_cnt[0]);
        return current;
    }

    if (slice.IdrPicFlag)
    {
        current.poc = 0;
    }
    else
    {
        const std::int64_t doubled = 2 * (current.frameNumOffset + slice.frame_num);
        current.poc = checkedPoc(slice.nal_ref_idc == 0 ? doubled - 1 : doubled);
    }
    return current;
}

void AvcParser::refreshFrameNums(const AvcSliceHeader& slice)
{
    for (auto& stored : mStore)
    {
        if (stored.marking == Marking::LongTerm)
        {
            stored.longTermPicNum = stored.longTermFrameIdx;
        }
        else if (stored.marking == Marking::ShortTerm)
        {
            stored.frameNumWrap =
                stored.frameNum > std::int64_t(slice.frame_num) ? stored.frameNum - slice.MaxFrameNum : stored.frameNum;
        }
    }
}

void AvcParser::buildInitialLists(const AvcSliceHeader& slice, std::int32_t currentPoc)
{
    std::vector<std::size_t> shortTerm;
    std::vector<std::size_t> longTerm;
    for (std::size_t i = 0; i < mStore.size(); ++i)
    {
        if (mStore[i].marking == Marking::ShortTerm)
        {
            shortTerm.push_back(i);
        }
        else if (mStore[i].marking == Marking::LongTerm)
        {
            longTerm.push_back(i);
        }
    }
    std::stable_sort(longTerm.begin(), longTerm.end(),
                     [this](std::size_t a, std::size_t b)
                     { return mStore[a].longTermPicNum < mStore[b].longTermPicNum; });

    if (slice.slice_type != AvcSliceType::B)
    {
        std::stable_sort(shortTerm.begin(), shortTerm.end(),
                         [this](std::size_t a, std::size_t b)
                         { return mStore[a].frameNumWrap > mStore[b].frameNumWrap; });
        mRefPicList0 = shortTerm;
        mRefPicList0.insert(mRefPicList0.end(), longTerm.begin(), longTerm.end());
        return;
    }

    std::vector<std::size_t> before;  // POC below the current one, descending
    std::vector<std::size_t> after;   // POC above the current one, ascending
    for (std::size_t i : shortTerm)
    {
        if (mStore[i].poc < currentPoc)
        {
            before.push_back(i);
        }
        else if (mStore[i].poc > currentPoc)
        {
            after.push_back(i);
        }
    }
    std::stable_sort(before.begin(), before.end(),
                     [this](std::size_t a, std::size_t b) { return mStore[a].poc > mStore[b].poc; });
    std::stable_sort(after.begin(), after.end(),
                     [this](std::size_t a, std::size_t b) { return mStore[a].poc < mStore[b].poc; });

    mRefPicList0 = before;
    mRefPicList0.insert(mRefPicList0.end(), after.begin(), after.end());
    mRefPicList0.insert(mRefPicList0.end(), longTerm.begin(), longTerm.end());
    mRefPicList1 = after;
    mRefPicList1.insert(mRefPicList1.end(), before.begin(), before.end());
    mRefPicList1.insert(mRefPicList1.end(), longTerm.begin(), longTerm.end());
    if (mRefPicList1.size() > 1 && mRefPicList1 == mRefPicList0)
    {
        std::swap(mRefPicList1[0], mRefPicList1[1]);
    }
}

void AvcParser::fillShortList(std::vector<std::size_t>& list, std::uint32_t activeMinus1, std::uint32_t width,
                              std::uint32_t height) const
{
    if (list.size() >= std::size_t(activeMinus1) + 1)
    {
        return;
    }
    if (list.empty())
    {
        for (std::size_t i = 0; i < mStore.size(); ++i)
        {
            if (mStore[i].width == width && mStore[i].height == height)
            {
                list.push_back(i);
                break;
            }
        }
    }
    if (list.empty())
    {
        // Nothing to predict from: a P or B picture at the start of the stream or after a size
        // change.
        throwStreamError("no reference picture for an inter-predicted picture");
    }
    while (list.size() < PaddedListSize)
    {
        list.push_back(list.back());
    }
}

void AvcParser::modifyList(std::vector<std::size_t>& list, const std::vector<AvcRefPicListModification>& operations,
                           std::uint32_t activeMinus1, const AvcSliceHeader& slice) const
{
    const std::int64_t maxPicNum = slice.MaxFrameNum;
    const std::int64_t currPicNum = slice.frame_num;
    std::int64_t picNumPred = currPicNum;
    std::size_t refIdx = 0;
    const std::size_t applied = std::min(operations.size(), MaxListModifications);
    for (std::size_t n = 0; n < applied; ++n)
    {
        const AvcRefPicListModification& op = operations[n];
        if (op.modification_of_pic_nums_idc == 3)
        {
            break;
        }
        if (refIdx > activeMinus1 || refIdx >= PaddedListSize)
        {
            break;  // never place an entry past the list
        }
        std::size_t named = mStore.size();
        if (op.modification_of_pic_nums_idc == 0 || op.modification_of_pic_nums_idc == 1)
        {
            const std::int64_t absDiff = std::int64_t(op.abs_diff_pic_num_minus1) + 1;
            std::int64_t picNumNoWrap;
            if (op.modification_of_pic_nums_idc == 0)
            {
                picNumNoWrap = picNumPred - absDiff;
                if (picNumNoWrap < 0)
                {
                    picNumNoWrap += maxPicNum;
                }
            }
            else
            {
                picNumNoWrap = picNumPred + absDiff;
                if (picNumNoWrap >= maxPicNum)
                {
                    picNumNoWrap -= maxPicNum;
                }
            }
            picNumPred = picNumNoWrap;
            const std::int64_t picNum = picNumNoWrap > currPicNum ? picNumNoWrap - maxPicNum : picNumNoWrap;
            for (std::size_t i = 0; i < mStore.size(); ++i)
            {
                if (mStore[i].marking == Marking::ShortTerm && mStore[i].frameNumWrap == picNum)
                {
                    named = i;
                    break;
                }
            }
        }
        else
        {
            for (std::size_t i = 0; i < mStore.size(); ++i)
            {
                if (mStore[i].marking == Marking::LongTerm && mStore[i].longTermPicNum == op.long_term_pic_num)
                {
                    named = i;
                    break;
                }
            }
        }
        if (named == mStore.size())
        {
            throwStreamError("reference list modification names a picture that is not stored");
        }

        list.insert(list.begin() + std::ptrdiff_t(refIdx), named);
        ++refIdx;
        list.erase(std::remove(list.begin() + std::ptrdiff_t(refIdx), list.end(), named), list.end());
    }
}

std::size_t AvcParser::countMarked() const
{
    return std::size_t(std::count_if(mStore.begin(), mStore.end(),
                                     [](const StoredPicture& p) { return p.marking != Marking::Unused; }));
}

void AvcParser::unmarkOldestShortTerm()
{
    StoredPicture* oldest = nullptr;
    for (auto& stored : mStore)
    {
        if (stored.marking == Marking::ShortTerm && (!oldest || stored.frameNumWrap < oldest->frameNumWrap))
        {
            oldest = &stored;
        }
    }
    if (oldest)
    {
        oldest->marking = Marking::Unused;
    }
}

bool AvcParser::applyAdaptiveMarking(const AvcSliceHeader& slice, StoredPicture& current)
{
    const std::int64_t currPicNum = slice.frame_num;
    auto findShortTerm = [this](std::int64_t picNum) -> StoredPicture*
    {
        for (auto& stored : mStore)
        {
            if (stored.marking == Marking::ShortTerm && stored.frameNumWrap == picNum)
            {
                return &stored;
            }
        }
        return nullptr;
    };
    auto unmarkLongTermIdx = [this](std::uint32_t idx, const StoredPicture* except)
    {
        for (auto& stored : mStore)
        {
            if (&stored != except && stored.marking == Marking::LongTerm && stored.longTermFrameIdx == idx)
            {
                stored.marking = Marking::Unused;
            }
        }
    };

    bool hadMmco5 = false;
    const std::size_t applied = std::min(slice.mmcos.size(), MaxMarkingOperations);
    for (std::size_t n = 0; n < applied; ++n)
    {
        const AvcMemoryManagementOperation& op = slice.mmcos[n];
        switch (op.memory_management_control_operation)
        {
        case 0:
            return hadMmco5;
        case 1:
        {
            StoredPicture* picture = findShortTerm(currPicNum - (std::int64_t(op.difference_of_pic_nums_minus1) + 1));
            if (!picture)
            {
                return hadMmco5;
            }
            picture->marking = Marking::Unused;
            break;
        }
        case 2:
        {
            StoredPicture* found = nullptr;
            for (auto& stored : mStore)
            {
                if (stored.marking == Marking::LongTerm && stored.longTermPicNum == op.long_term_pic_num)
                {
                    found = &stored;
                    break;
                }
            }
            if (!found)
            {
                return hadMmco5;
            }
            found->marking = Marking::Unused;
            break;
        }
        case 3:
        {
            unmarkLongTermIdx(op.long_term_frame_idx, nullptr);
            StoredPicture* picture = findShortTerm(currPicNum - (std::int64_t(op.difference_of_pic_nums_minus1) + 1));
            if (!picture)
            {
                return hadMmco5;
            }
            picture->marking = Marking::LongTerm;
            picture->longTermFrameIdx = op.long_term_frame_idx;
            picture->longTermPicNum = op.long_term_frame_idx;
            break;
        }
        case 4:
            for (auto& stored : mStore)
            {
                if (stored.marking == Marking::LongTerm && stored.longTermFrameIdx >= op.max_long_term_frame_idx_plus1)
                {
                    stored.marking = Marking::Unused;
                }
            }
            if (op.max_long_term_frame_idx_plus1 == 0)
            {
                mMaxLongTermFrameIdx.reset();
            }
            else
            {
                mMaxLongTermFrameIdx = op.max_long_term_frame_idx_plus1 - 1;
            }
            break;
        case 5:
            for (auto& stored : mStore)
            {
                stored.marking = Marking::Unused;
            }
            mMaxLongTermFrameIdx.reset();
            hadMmco5 = true;
            break;
        case 6:
            unmarkLongTermIdx(op.long_term_frame_idx, &current);
            current.marking = Marking::LongTerm;
            current.longTermFrameIdx = op.long_term_frame_idx;
            current.longTermPicNum = op.long_term_frame_idx;
            break;
        default:
            break;
        }
    }
    return hadMmco5;
}

void AvcParser::markPicture(const AvcSliceHeader& slice, const CurrentPicture& current)
{
    const AvcSequenceParameterSet& sps = *slice.sps;
    StoredPicture picture;
    picture.decodeIndex = current.decodeIndex;
    picture.poc = current.poc;
    picture.frameNum = slice.frame_num;
    picture.frameNumWrap = slice.frame_num;
    picture.width = sps.croppedWidth();
    picture.height = sps.croppedHeight();
    picture.marking = Marking::ShortTerm;

    // The store never holds more marked frames than this, whatever the stream says.
    const std::size_t maxRefFrames = std::max<std::uint32_t>(mNumRefFrames, 1);
    bool hadMmco5 = false;
    if (slice.IdrPicFlag)
    {
        // Every stored picture goes at an IDR picture, even at one that (against the standard)
        // is not itself a reference.
        for (auto& stored : mStore)
        {
            stored.marking = Marking::Unused;
        }
        if (slice.nal_ref_idc == 0)
        {
            picture.marking = Marking::Unused;
        }
        else if (slice.long_term_reference_flag)
        {
            picture.marking = Marking::LongTerm;
            picture.longTermFrameIdx = 0;
            picture.longTermPicNum = 0;
            mMaxLongTermFrameIdx = 0;
        }
        else
        {
            mMaxLongTermFrameIdx.reset();
        }
    }
    else if (slice.nal_ref_idc == 0)
    {
        picture.marking = Marking::Unused;
    }
    else if (slice.adaptive_ref_pic_marking_mode_flag)
    {
        hadMmco5 = applyAdaptiveMarking(slice, picture);
        while (countMarked() + 1 > maxRefFrames &&
               std::any_of(mStore.begin(), mStore.end(),
                           [](const StoredPicture& p) { return p.marking == Marking::ShortTerm; }))
        {
            unmarkOldestShortTerm();
        }
    }
    else
    {
        // Sliding window; >= so that a count already above the limit comes back down.
        while (countMarked() >= maxRefFrames &&
               std::any_of(mStore.begin(), mStore.end(),
                           [](const StoredPicture& p) { return p.marking == Marking::ShortTerm; }))
        {
            unmarkOldestShortTerm();
        }
    }

    if (hadMmco5)
    {
        // The picture counts as frame_num 0 and, for a frame, picture order count 0 from here on.
        picture.frameNum = 0;
        picture.frameNumWrap = 0;
        picture.poc = 0;
    }
    mStore.push_back(picture);

    // Pictures no longer used for reference are kept (for the empty-list fallback) only up to the
    // buffer's capacity, oldest dropped first.
    const std::size_t keepUnused = std::max<std::uint32_t>(mDpbCapacity, 1);
    std::size_t unused = mStore.size() - countMarked();
    for (auto it = mStore.begin(); unused > keepUnused && it != mStore.end();)
    {
        if (it->marking == Marking::Unused)
        {
            it = mStore.erase(it);
            --unused;
        }
        else
        {
            ++it;
        }
    }

    // Picture order count state for the next picture.
    mPrevFrameNum = hadMmco5 ? 0 : slice.frame_num;
    mPrevFrameNumOffset = hadMmco5 ? 0 : current.frameNumOffset;
    if (slice.nal_ref_idc != 0)
    {
        if (hadMmco5)
        {
            // TopFieldOrderCnt after operation 5: the frame's count minus the smaller of its two
            // field counts, so 0 unless the bottom field comes first.
            mPrevPicOrderCntMsb = 0;
            mPrevPicOrderCntLsb = sps.pic_order_cnt_type == 0
                                      ? std::max<std::int64_t>(0, -std::int64_t(slice.delta_pic_order_cnt_bottom))
                                      : 0;
        }
        else
        {
            mPrevPicOrderCntMsb = current.picOrderCntMsb;
            mPrevPicOrderCntLsb = slice.pic_order_cnt_lsb;
        }
    }
}
