#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "AvcParameterSets.h"

class BitStream;

enum class AvcSliceType : std::uint8_t
{
    P = 0,
    B = 1,
    I = 2,
    SP = 3,
    SI = 4
};

struct AvcRefPicListModification
{
    std::uint32_t modification_of_pic_nums_idc = 0;
    std::uint32_t abs_diff_pic_num_minus1 = 0;
    std::uint32_t long_term_pic_num = 0;
};

struct AvcMemoryManagementOperation
{
    std::uint32_t memory_management_control_operation = 0;
    std::uint32_t difference_of_pic_nums_minus1 = 0;
    std::uint32_t long_term_pic_num = 0;
    std::uint32_t long_term_frame_idx = 0;
    std::uint32_t max_long_term_frame_idx_plus1 = 0;
};

struct AvcWeightEntry
{
    bool luma_weight_flag = false;
    std::int32_t luma_weight = 0;
    std::int32_t luma_offset = 0;
    bool chroma_weight_flag = false;
    std::int32_t chroma_weight[2] = {0, 0};
    std::int32_t chroma_offset[2] = {0, 0};
};

/// Resolves a parameter-set id to the stored record; null when none is stored.
using AvcSpsLookUp = std::function<std::shared_ptr<const AvcSequenceParameterSet>(std::uint32_t)>;
using AvcPpsLookUp = std::function<std::shared_ptr<const AvcPictureParameterSet>(std::uint32_t)>;

/// One slice (or slice data partition) header. Holds its parameter sets by shared ownership, so a
/// parameter set re-sent in the middle of a picture cannot pull them away from the slice.
struct AvcSliceHeader
{
    AVCNalUnitType nal_unit_type = AVCNalUnitType::UNSPECIFIED_0;
    std::uint32_t nal_ref_idc = 0;
    bool IdrPicFlag = false;
    std::uint32_t first_mb_in_slice = 0;
    AvcSliceType slice_type = AvcSliceType::P;
    std::uint32_t pic_parameter_set_id = 0;
    std::shared_ptr<const AvcPictureParameterSet> pps;
    std::shared_ptr<const AvcSequenceParameterSet> sps;
    std::uint32_t colour_plane_id = 0;
    std::uint32_t frame_num = 0;
    std::uint32_t MaxFrameNum = 0;
    bool field_pic_flag = false;
    bool bottom_field_flag = false;
    std::uint32_t idr_pic_id = 0;
    std::uint32_t pic_order_cnt_lsb = 0;
    std::int32_t delta_pic_order_cnt_bottom = 0;
    std::int32_t delta_pic_order_cnt[2] = {0, 0};
    std::uint32_t redundant_pic_cnt = 0;
    bool direct_spatial_mv_pred_flag = false;
    bool num_ref_idx_active_override_flag = false;
    std::uint32_t num_ref_idx_l0_active_minus1 = 0;
    std::uint32_t num_ref_idx_l1_active_minus1 = 0;
    bool ref_pic_list_modification_flag_l0 = false;
    std::vector<AvcRefPicListModification> modifications_l0;  // closing operation 3 included
    bool ref_pic_list_modification_flag_l1 = false;
    std::vector<AvcRefPicListModification> modifications_l1;
    std::uint32_t luma_log2_weight_denom = 0;
    std::uint32_t chroma_log2_weight_denom = 0;
    std::vector<AvcWeightEntry> weights_l0;
    std::vector<AvcWeightEntry> weights_l1;
    bool no_output_of_prior_pics_flag = false;
    bool long_term_reference_flag = false;
    bool adaptive_ref_pic_marking_mode_flag = false;
    std::vector<AvcMemoryManagementOperation> mmcos;  // closing operation 0 included
    bool hasMmco5 = false;
    std::uint32_t cabac_init_idc = 0;
    std::int32_t slice_qp_delta = 0;
    bool sp_for_switch_flag = false;
    std::int32_t slice_qs_delta = 0;
    std::uint32_t disable_deblocking_filter_idc = 0;
    std::int32_t slice_alpha_c0_offset_div2 = 0;
    std::int32_t slice_beta_offset_div2 = 0;
    std::uint32_t slice_group_change_cycle = 0;
    std::uint32_t slice_id = 0;

    bool isIntra() const { return slice_type == AvcSliceType::I || slice_type == AvcSliceType::SI; }

    /// Reads the header of a slice or partition A unit (nal_unit_type 1, 2 or 5) after the NAL
    /// header. Unknown parameter sets, field pictures and values outside the standard's range throw
    /// std::runtime_error; data ending early throws std::out_of_range "vector".
    void parse(BitStream& bitstr, const AvcNalHeader& nalHeader, const AvcSpsLookUp& spsLookUp,
               const AvcPpsLookUp& ppsLookUp);

    /// Reads a partition B or C unit (slice_id, colour_plane_id, redundant_pic_cnt). The other
    /// fields are taken from partA, the partition A slice they belong with; first_mb_in_slice is 0.
    void parsePartition(BitStream& bitstr, const AvcNalHeader& nalHeader, const AvcSliceHeader& partA);
};
