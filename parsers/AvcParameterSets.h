#pragma once

#include <array>
#include <cstdint>
#include <vector>

class BitStream;

/// nal_unit_type of H.264. Values without a name here are passed through unparsed.
enum class AVCNalUnitType : std::uint8_t
{
    UNSPECIFIED_0 = 0,
    CODED_SLICE_NON_IDR = 1,
    CODED_SLICE_DPA = 2,
    CODED_SLICE_DPB = 3,
    CODED_SLICE_DPC = 4,
    CODED_SLICE_IDR = 5,
    SEI = 6,
    SPS = 7,
    PPS = 8,
    AUD = 9,
    END_OF_SEQUENCE = 10,
    END_OF_STREAM = 11,
    FILLER_DATA = 12,
    SPS_EXTENSION = 13
};

/// The one-byte H.264 NAL unit header.
struct AvcNalHeader
{
    std::uint8_t mNalRefIdc = 0;
    AVCNalUnitType mAVCNalUnitType = AVCNalUnitType::UNSPECIFIED_0;

    /// Reads the header byte; forbidden_zero_bit is read and ignored.
    void parse(BitStream& bitstr);
};

/// nal_unit_type of a unit in byte-stream form (leading zeros, 0x01, header). Throws
/// std::runtime_error when the unit does not begin with a start code followed by a header byte.
AVCNalUnitType getAVCNalUnitType(const std::vector<std::uint8_t>& nalUnit);

struct AvcHrdParameters
{
    std::uint32_t cpb_cnt_minus1 = 0;
    std::uint32_t bit_rate_scale = 0;
    std::uint32_t cpb_size_scale = 0;
    std::vector<std::uint32_t> bit_rate_value_minus1;
    std::vector<std::uint32_t> cpb_size_value_minus1;
    std::vector<bool> cbr_flag;
    std::uint32_t initial_cpb_removal_delay_length_minus1 = 0;
    std::uint32_t cpb_removal_delay_length_minus1 = 0;
    std::uint32_t dpb_output_delay_length_minus1 = 0;
    std::uint32_t time_offset_length = 0;

    void parse(BitStream& bitstr);
};

struct AvcVuiParameters
{
    bool aspect_ratio_info_present_flag = false;
    std::uint32_t aspect_ratio_idc = 0;
    std::uint32_t sar_width = 0;
    std::uint32_t sar_height = 0;
    bool overscan_info_present_flag = false;
    bool overscan_appropriate_flag = false;
    bool video_signal_type_present_flag = false;
    std::uint32_t video_format = 5;
    bool video_full_range_flag = false;
    bool colour_description_present_flag = false;
    std::uint32_t colour_primaries = 2;
    std::uint32_t transfer_characteristics = 2;
    std::uint32_t matrix_coefficients = 2;
    bool chroma_loc_info_present_flag = false;
    std::uint32_t chroma_sample_loc_type_top_field = 0;
    std::uint32_t chroma_sample_loc_type_bottom_field = 0;
    bool timing_info_present_flag = false;
    std::uint32_t num_units_in_tick = 0;
    std::uint32_t time_scale = 0;
    bool fixed_frame_rate_flag = false;
    bool nal_hrd_parameters_present_flag = false;
    AvcHrdParameters nal_hrd_parameters;
    bool vcl_hrd_parameters_present_flag = false;
    AvcHrdParameters vcl_hrd_parameters;
    bool low_delay_hrd_flag = false;
    bool pic_struct_present_flag = false;
    bool bitstream_restriction_flag = false;
    bool motion_vectors_over_pic_boundaries_flag = false;
    std::uint32_t max_bytes_per_pic_denom = 0;
    std::uint32_t max_bits_per_mb_denom = 0;
    std::uint32_t log2_max_mv_length_horizontal = 0;
    std::uint32_t log2_max_mv_length_vertical = 0;
    std::uint32_t max_num_reorder_frames = 0;
    std::uint32_t max_dec_frame_buffering = 0;

    void parse(BitStream& bitstr);
};

/// One scaling list as read from a parameter set.
struct AvcScalingList
{
    std::vector<std::uint8_t> values;  // 16 or 64 entries
    bool useDefaultScalingMatrixFlag = false;

    void parse(BitStream& bitstr, unsigned size);
};

/// Sequence parameter set (the frame-relevant fields, all read in stream order).
struct AvcSequenceParameterSet
{
    std::uint32_t profile_idc = 0;
    std::array<bool, 6> constraint_set_flags{};
    std::uint32_t level_idc = 0;
    std::uint32_t seq_parameter_set_id = 0;
    /// 0 for profiles without the chroma fields (where the standard infers 4:2:0); see
    /// chromaArrayType() for the value slices are read with.
    std::uint32_t chroma_format_idc = 0;
    bool separate_colour_plane_flag = false;
    std::uint32_t bit_depth_luma_minus8 = 0;
    std::uint32_t bit_depth_chroma_minus8 = 0;
    bool qpprime_y_zero_transform_bypass_flag = false;
    bool seq_scaling_matrix_present_flag = false;
    std::array<bool, 12> seq_scaling_list_present_flag{};
    std::vector<AvcScalingList> scalingLists;  // one per present flag, in list order
    std::uint32_t log2_max_frame_num_minus4 = 0;
    std::uint32_t pic_order_cnt_type = 0;
    std::uint32_t log2_max_pic_order_cnt_lsb_minus4 = 0;
    bool delta_pic_order_always_zero_flag = false;
    std::int32_t offset_for_non_ref_pic = 0;
    std::int32_t offset_for_top_to_bottom_field = 0;
    std::uint32_t num_ref_frames_in_pic_order_cnt_cycle = 0;
    std::vector<std::int32_t> offset_for_ref_frame;
    std::uint32_t max_num_ref_frames = 0;
    bool gaps_in_frame_num_value_allowed_flag = false;
    std::uint32_t pic_width_in_mbs_minus1 = 0;
    std::uint32_t pic_height_in_map_units_minus1 = 0;
    bool frame_mbs_only_flag = true;
    bool mb_adaptive_frame_field_flag = false;
    bool direct_8x8_inference_flag = false;
    bool frame_cropping_flag = false;
    std::uint32_t frame_crop_left_offset = 0;
    std::uint32_t frame_crop_right_offset = 0;
    std::uint32_t frame_crop_top_offset = 0;
    std::uint32_t frame_crop_bottom_offset = 0;
    bool vui_parameters_present_flag = false;
    AvcVuiParameters vui;

    /// Reads the SPS payload (after the NAL unit header). Values outside the standard's range
    /// throw std::runtime_error; data ending early throws std::out_of_range "vector".
    void parse(BitStream& bitstr);

    /// Profiles whose SPS carries chroma format, bit depths and scaling matrices.
    static bool hasChromaInfo(std::uint32_t profileIdc);
    /// ChromaArrayType with the standard's inference (4:2:0) for profiles without chroma fields.
    std::uint32_t chromaArrayType() const;
    std::uint32_t maxFrameNum() const { return 1u << (log2_max_frame_num_minus4 + 4); }
    std::uint32_t maxPicOrderCntLsb() const { return 1u << (log2_max_pic_order_cnt_lsb_minus4 + 4); }
    /// Luma samples a crop offset counts: CropUnitX and CropUnitY of the chroma format and of
    /// field coding.
    std::uint32_t cropUnitX() const;
    std::uint32_t cropUnitY() const;
    /// Size of the coded frame in luma samples, before cropping.
    std::uint32_t codedWidth() const;
    std::uint32_t codedHeight() const;
    /// Cropped size in luma samples.
    std::uint32_t croppedWidth() const;
    std::uint32_t croppedHeight() const;
    std::uint32_t picSizeInMapUnits() const
    {
        return (pic_width_in_mbs_minus1 + 1) * (pic_height_in_map_units_minus1 + 1);
    }
};

/// Picture parameter set, up to pic_scaling_matrix_present_flag.
struct AvcPictureParameterSet
{
    std::uint32_t pic_parameter_set_id = 0;
    std::uint32_t seq_parameter_set_id = 0;
    bool entropy_coding_mode_flag = false;
    bool bottom_field_pic_order_in_frame_present_flag = false;
    std::uint32_t num_slice_groups_minus1 = 0;
    std::uint32_t slice_group_map_type = 0;
    std::vector<std::uint32_t> run_length_minus1;
    std::vector<std::uint32_t> top_left;
    std::vector<std::uint32_t> bottom_right;
    bool slice_group_change_direction_flag = false;
    std::uint32_t slice_group_change_rate_minus1 = 0;
    std::uint32_t pic_size_in_map_units_minus1 = 0;
    std::vector<std::uint32_t> slice_group_id;
    std::uint32_t num_ref_idx_l0_default_active_minus1 = 0;
    std::uint32_t num_ref_idx_l1_default_active_minus1 = 0;
    bool weighted_pred_flag = false;
    std::uint32_t weighted_bipred_idc = 0;
    std::int32_t pic_init_qp_minus26 = 0;
    std::int32_t pic_init_qs_minus26 = 0;
    std::int32_t chroma_qp_index_offset = 0;
    bool deblocking_filter_control_present_flag = false;
    bool constrained_intra_pred_flag = false;
    bool redundant_pic_cnt_present_flag = false;
    bool transform_8x8_mode_flag = false;
    bool pic_scaling_matrix_present_flag = false;

    /// Reads the PPS payload (after the NAL unit header).
    void parse(BitStream& bitstr);
};

/// What the AVC decoder configuration record takes from an SPS.
struct SPSConfigValues
{
    std::uint8_t mChromaFormat = 0;
    std::uint8_t mBitDepthLumaMinus8 = 0;
    std::uint8_t mBitDepthChromaMinus8 = 0;
    std::uint16_t mPicWidth = 0;
    std::uint16_t mPicHeight = 0;
};

/// Reads an SPS NAL unit in byte-stream form (start code included). Chroma format and bit depths
/// stay 0 for profiles whose SPS does not carry them. Returns true; a unit that is not an SPS or a
/// malformed SPS throws std::runtime_error (std::out_of_range "vector" when it ends early).
bool parseSPSConfigValues(const std::vector<std::uint8_t>& spsNalUnit, SPSConfigValues& values);

/// True when the RBSP holds syntax after the current bit position, before its stop bit.
bool moreRbspData(const BitStream& bitstr);
