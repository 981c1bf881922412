#include "AvcSliceHeader.h"

#include <stdexcept>
#include <string>

#include "BitStream.h"
#include "ExpGolombRange.h"

namespace
{
[[noreturn]] void throwSliceError(const std::string& what)
{
    throw std::runtime_error("H.264 slice header: " + what);
}

constexpr const char* kContext = "H.264 slice header: ";

std::uint32_t readUeMax(BitStream& bitstr, std::uint32_t maxValue, const char* what)
{
    return readUeAtMost<std::runtime_error>(bitstr, maxValue, kContext, what);
}

std::int32_t readSeRange(BitStream& bitstr, std::int32_t minValue, std::int32_t maxValue, const char* what)
{
    return readSeWithin<std::runtime_error>(bitstr, minValue, maxValue, kContext, what);
}

/// Ceil(Log2(picSize / rate + 1)) with exact division: the smallest n with 2^n * rate >= picSize + rate.
std::uint32_t changeCycleBits(std::uint32_t picSize, std::uint32_t rate)
{
    std::uint32_t bits = 0;
    while (bits < 32 && (std::uint64_t(rate) << bits) < std::uint64_t(picSize) + rate)
    {
        ++bits;
    }
    return bits;
}

// For frames each list holds at most 16 entries, so an index beyond 15 cannot be served.
constexpr std::uint32_t MaxRefIdxMinus1 = 15;
// Adaptive marking operations of one picture: each frame can be named at most a few times.
constexpr std::size_t MaxMmcoCount = 66;

void readModifications(BitStream& bitstr, std::uint32_t activeMinus1, std::uint32_t maxPicNum,
                       std::vector<AvcRefPicListModification>& operations)
{
    for (;;)
    {
        AvcRefPicListModification op;
        op.modification_of_pic_nums_idc = readUeMax(bitstr, 3, "modification_of_pic_nums_idc");
        if (op.modification_of_pic_nums_idc == 0 || op.modification_of_pic_nums_idc == 1)
        {
            op.abs_diff_pic_num_minus1 = readUeMax(bitstr, maxPicNum - 1, "abs_diff_pic_num_minus1");
        }
        else if (op.modification_of_pic_nums_idc == 2)
        {
            op.long_term_pic_num = readUeMax(bitstr, maxPicNum - 1, "long_term_pic_num");
        }
        operations.push_back(op);
        if (op.modification_of_pic_nums_idc == 3)
        {
            return;
        }
        // At most one operation per list entry before the closing one.
        if (operations.size() > activeMinus1 + 1)
        {
            throwSliceError("too many reference list modifications");
        }
    }
}

void readWeights(BitStream& bitstr, std::uint32_t activeMinus1, bool chroma, std::vector<AvcWeightEntry>& weights)
{
    for (std::uint32_t i = 0; i <= activeMinus1; ++i)
    {
        AvcWeightEntry entry;
        entry.luma_weight_flag = bitstr.readFlag();
        if (entry.luma_weight_flag)
        {
            entry.luma_weight = readSeRange(bitstr, -128, 127, "luma_weight");
            entry.luma_offset = readSeRange(bitstr, -128, 127, "luma_offset");
        }
        if (chroma)
        {
            entry.chroma_weight_flag = bitstr.readFlag();
            if (entry.chroma_weight_flag)
            {
                for (int j = 0; j < 2; ++j)
                {
                    entry.chroma_weight[j] = readSeRange(bitstr, -128, 127, "chroma_weight");
                    entry.chroma_offset[j] = readSeRange(bitstr, -128, 127, "chroma_offset");
                }
            }
        }
        weights.push_back(entry);
    }
}
}  // namespace

void AvcSliceHeader::parse(BitStream& bitstr, const AvcNalHeader& nalHeader, const AvcSpsLookUp& spsLookUp,
                           const AvcPpsLookUp& ppsLookUp)
{
    nal_unit_type = nalHeader.mAVCNalUnitType;
    nal_ref_idc = nalHeader.mNalRefIdc;
    IdrPicFlag = (nal_unit_type == AVCNalUnitType::CODED_SLICE_IDR);

    first_mb_in_slice = bitstr.readUnsignedExpGolomb();
    slice_type = AvcSliceType(readUeMax(bitstr, 9, "slice_type") % 5);
    pic_parameter_set_id = readUeMax(bitstr, 255, "pic_parameter_set_id");
    pps = ppsLookUp(pic_parameter_set_id);
    if (!pps)
    {
        throwSliceError("unknown picture parameter set " + std::to_string(pic_parameter_set_id));
    }
    sps = spsLookUp(pps->seq_parameter_set_id);
    if (!sps)
    {
        throwSliceError("unknown sequence parameter set " + std::to_string(pps->seq_parameter_set_id));
    }
    if (IdrPicFlag && !isIntra())
    {
        throwSliceError("IDR slice that is not intra");
    }

    if (sps->separate_colour_plane_flag)
    {
        colour_plane_id = bitstr.readBits(2);
    }
    frame_num = bitstr.readBits(sps->log2_max_frame_num_minus4 + 4);
    MaxFrameNum = sps->maxFrameNum();
    if (!sps->frame_mbs_only_flag)
    {
        field_pic_flag = bitstr.readFlag();
        if (field_pic_flag)
        {
            // Reference lists and counts are built for frames only.
            throwSliceError("field pictures are not supported");
        }
    }
    if (IdrPicFlag)
    {
        idr_pic_id = readUeMax(bitstr, 65535, "idr_pic_id");
    }
    if (sps->pic_order_cnt_type == 0)
    {
        pic_order_cnt_lsb = bitstr.readBits(sps->log2_max_pic_order_cnt_lsb_minus4 + 4);
        if (pps->bottom_field_pic_order_in_frame_present_flag && !field_pic_flag)
        {
            delta_pic_order_cnt_bottom = bitstr.readSignedExpGolomb();
        }
    }
    if (sps->pic_order_cnt_type == 1 && !sps->delta_pic_order_always_zero_flag)
    {
        delta_pic_order_cnt[0] = bitstr.readSignedExpGolomb();
        if (pps->bottom_field_pic_order_in_frame_present_flag && !field_pic_flag)
        {
            delta_pic_order_cnt[1] = bitstr.readSignedExpGolomb();
        }
    }
    if (pps->redundant_pic_cnt_present_flag)
    {
        redundant_pic_cnt = readUeMax(bitstr, 127, "redundant_pic_cnt");
    }
    if (slice_type == AvcSliceType::B)
    {
        direct_spatial_mv_pred_flag = bitstr.readFlag();
    }
    num_ref_idx_l0_active_minus1 = pps->num_ref_idx_l0_default_active_minus1;
    num_ref_idx_l1_active_minus1 = pps->num_ref_idx_l1_default_active_minus1;
    if (slice_type == AvcSliceType::P || slice_type == AvcSliceType::SP || slice_type == AvcSliceType::B)
    {
        num_ref_idx_active_override_flag = bitstr.readFlag();
        if (num_ref_idx_active_override_flag)
        {
            num_ref_idx_l0_active_minus1 = bitstr.readUnsignedExpGolomb();
            if (slice_type == AvcSliceType::B)
            {
                num_ref_idx_l1_active_minus1 = bitstr.readUnsignedExpGolomb();
            }
        }
        if (num_ref_idx_l0_active_minus1 > MaxRefIdxMinus1 ||
            (slice_type == AvcSliceType::B && num_ref_idx_l1_active_minus1 > MaxRefIdxMinus1))
        {
            throwSliceError("num_ref_idx_active_minus1 out of range");
        }
    }

    if (!isIntra())
    {
        ref_pic_list_modification_flag_l0 = bitstr.readFlag();
        if (ref_pic_list_modification_flag_l0)
        {
            readModifications(bitstr, num_ref_idx_l0_active_minus1, MaxFrameNum, modifications_l0);
        }
    }
    if (slice_type == AvcSliceType::B)
    {
        ref_pic_list_modification_flag_l1 = bitstr.readFlag();
        if (ref_pic_list_modification_flag_l1)
        {
            readModifications(bitstr, num_ref_idx_l1_active_minus1, MaxFrameNum, modifications_l1);
        }
    }

    if ((pps->weighted_pred_flag && (slice_type == AvcSliceType::P || slice_type == AvcSliceType::SP)) ||
        (pps->weighted_bipred_idc == 1 && slice_type == AvcSliceType::B))
    {
        const bool chroma = sps->chromaArrayType() != 0;
        luma_log2_weight_denom = readUeMax(bitstr, 7, "luma_log2_weight_denom");
        if (chroma)
        {
            chroma_log2_weight_denom = readUeMax(bitstr, 7, "chroma_log2_weight_denom");
        }
        readWeights(bitstr, num_ref_idx_l0_active_minus1, chroma, weights_l0);
        if (slice_type == AvcSliceType::B)
        {
            readWeights(bitstr, num_ref_idx_l1_active_minus1, chroma, weights_l1);
        }
    }

    if (nal_ref_idc != 0)
    {
        if (IdrPicFlag)
        {
            no_output_of_prior_pics_flag = bitstr.readFlag();
            long_term_reference_flag = bitstr.readFlag();
        }
        else
        {
            adaptive_ref_pic_marking_mode_flag = bitstr.readFlag();
            while (adaptive_ref_pic_marking_mode_flag)
            {
                AvcMemoryManagementOperation op;
                op.memory_management_control_operation = readUeMax(bitstr, 6, "memory_management_control_operation");
                const std::uint32_t mmco = op.memory_management_control_operation;
                if (mmco == 1 || mmco == 3)
                {
                    op.difference_of_pic_nums_minus1 =
                        readUeMax(bitstr, MaxFrameNum - 1, "difference_of_pic_nums_minus1");
                }
                if (mmco == 2)
                {
                    op.long_term_pic_num = readUeMax(bitstr, MaxFrameNum - 1, "long_term_pic_num");
                }
                if (mmco == 3 || mmco == 6)
                {
                    op.long_term_frame_idx = readUeMax(bitstr, 15, "long_term_frame_idx");
                }
                if (mmco == 4)
                {
                    op.max_long_term_frame_idx_plus1 = readUeMax(bitstr, 16, "max_long_term_frame_idx_plus1");
                }
                hasMmco5 = hasMmco5 || mmco == 5;
                mmcos.push_back(op);
                if (mmco == 0)
                {
                    break;
                }
                if (mmcos.size() > MaxMmcoCount)
                {
                    throwSliceError("too many memory management operations");
                }
            }
        }
    }

    if (pps->entropy_coding_mode_flag && !isIntra())
    {
        cabac_init_idc = readUeMax(bitstr, 2, "cabac_init_idc");
    }
    slice_qp_delta = bitstr.readSignedExpGolomb();
    if (slice_type == AvcSliceType::SP || slice_type == AvcSliceType::SI)
    {
        if (slice_type == AvcSliceType::SP)
        {
            sp_for_switch_flag = bitstr.readFlag();
        }
        slice_qs_delta = bitstr.readSignedExpGolomb();
    }
    if (pps->deblocking_filter_control_present_flag)
    {
        disable_deblocking_filter_idc = readUeMax(bitstr, 2, "disable_deblocking_filter_idc");
        if (disable_deblocking_filter_idc != 1)
        {
            slice_alpha_c0_offset_div2 = readSeRange(bitstr, -6, 6, "slice_alpha_c0_offset_div2");
            slice_beta_offset_div2 = readSeRange(bitstr, -6, 6, "slice_beta_offset_div2");
        }
    }
    if (pps->num_slice_groups_minus1 > 0 && pps->slice_group_map_type >= 3 && pps->slice_group_map_type <= 5)
    {
        // The rate is bounded in the PPS, so its +1 cannot wrap to 0.
        const std::uint32_t rate = pps->slice_group_change_rate_minus1 + 1;
        slice_group_change_cycle = bitstr.readBits(changeCycleBits(sps->picSizeInMapUnits(), rate));
    }
    if (nal_unit_type == AVCNalUnitType::CODED_SLICE_DPA)
    {
        slice_id = bitstr.readUnsignedExpGolomb();
    }
}

void AvcSliceHeader::parsePartition(BitStream& bitstr, const AvcNalHeader& nalHeader, const AvcSliceHeader& partA)
{
    *this = partA;
    nal_unit_type = nalHeader.mAVCNalUnitType;
    nal_ref_idc = nalHeader.mNalRefIdc;
    IdrPicFlag = false;
    first_mb_in_slice = 0;
    slice_id = bitstr.readUnsignedExpGolomb();
    if (sps->separate_colour_plane_flag)
    {
        colour_plane_id = bitstr.readBits(2);
    }
    if (pps->redundant_pic_cnt_present_flag)
    {
        redundant_pic_cnt = readUeMax(bitstr, 127, "redundant_pic_cnt");
    }
}
