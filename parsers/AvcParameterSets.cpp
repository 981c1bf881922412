#include "AvcParameterSets.h"

#include <stdexcept>
#include <string>

#include "BitStream.h"
#include "ExpGolombRange.h"
#include "ParserInterface.h"

namespace
{
[[noreturn]] void throwOutOfRange(const char* what)
{
    throw std::runtime_error(std::string("H.264 parameter set: ") + what + " out of range");
}

constexpr const char* kContext = "H.264 parameter set: ";

std::uint32_t readUeMax(BitStream& bitstr, std::uint32_t maxValue, const char* what)
{
    return readUeAtMost<std::runtime_error>(bitstr, maxValue, kContext, what);
}

std::int32_t readSeRange(BitStream& bitstr, std::int32_t minValue, std::int32_t maxValue, const char* what)
{
    return readSeWithin<std::runtime_error>(bitstr, minValue, maxValue, kContext, what);
}

/// Bits from the current bit position to the end of the data.
std::uint64_t bitsLeft(const BitStream& bitstr)
{
    BitStream probe = bitstr;
    unsigned consumedInByte = 0;
    if (!probe.isByteAligned())
    {
        unsigned toAlign = 0;
        while (!probe.isByteAligned())
        {
            probe.readBits(1);
            ++toAlign;
        }
        consumedInByte = 8 - toAlign;
    }
    const std::uint64_t bytes = std::uint64_t(bitstr.numBytesLeft());
    return bytes * 8 - consumedInByte;
}

// Largest frame of any level (MaxFS 139264 macroblocks) fits in 1056 macroblocks per side;
// bounding both sides keeps every size product well inside 32 bits.
constexpr std::uint32_t MaxMbsMinus1 = 1055;
}  // namespace

void AvcNalHeader::parse(BitStream& bitstr)
{
    bitstr.readBits(1);  // forbidden_zero_bit
    mNalRefIdc = std::uint8_t(bitstr.readBits(2));
    mAVCNalUnitType = AVCNalUnitType(bitstr.readBits(5));
}

AVCNalUnitType getAVCNalUnitType(const std::vector<std::uint8_t>& nalUnit)
{
    const std::size_t header = findNalUnitHeader(nalUnit, 1);
    return AVCNalUnitType(nalUnit[header] & 0x1F);
}

void AvcHrdParameters::parse(BitStream& bitstr)
{
    cpb_cnt_minus1 = readUeMax(bitstr, 31, "cpb_cnt_minus1");
    bit_rate_scale = bitstr.readBits(4);
    cpb_size_scale = bitstr.readBits(4);
    bit_rate_value_minus1.clear();
    cpb_size_value_minus1.clear();
    cbr_flag.clear();
    for (std::uint32_t i = 0; i <= cpb_cnt_minus1; ++i)
    {
        bit_rate_value_minus1.push_back(bitstr.readUnsignedExpGolomb());
        cpb_size_value_minus1.push_back(bitstr.readUnsignedExpGolomb());
        cbr_flag.push_back(bitstr.readFlag());
    }
    initial_cpb_removal_delay_length_minus1 = bitstr.readBits(5);
    cpb_removal_delay_length_minus1 = bitstr.readBits(5);
    dpb_output_delay_length_minus1 = bitstr.readBits(5);
    time_offset_length = bitstr.readBits(5);
}

void AvcVuiParameters::parse(BitStream& bitstr)
{
    aspect_ratio_info_present_flag = bitstr.readFlag();
    if (aspect_ratio_info_present_flag)
    {
        aspect_ratio_idc = bitstr.readBits(8);
        if (aspect_ratio_idc == 255)  // Extended_SAR
        {
            sar_width = bitstr.readBits(16);
            sar_height = bitstr.readBits(16);
        }
    }
    overscan_info_present_flag = bitstr.readFlag();
    if (overscan_info_present_flag)
    {
        overscan_appropriate_flag = bitstr.readFlag();
    }
    video_signal_type_present_flag = bitstr.readFlag();
    if (video_signal_type_present_flag)
    {
        video_format = bitstr.readBits(3);
        video_full_range_flag = bitstr.readFlag();
        colour_description_present_flag = bitstr.readFlag();
        if (colour_description_present_flag)
        {
            colour_primaries = bitstr.readBits(8);
            transfer_characteristics = bitstr.readBits(8);
            matrix_coefficients = bitstr.readBits(8);
        }
    }
    chroma_loc_info_present_flag = bitstr.readFlag();
    if (chroma_loc_info_present_flag)
    {
        chroma_sample_loc_type_top_field = readUeMax(bitstr, 5, "chroma_sample_loc_type_top_field");
        chroma_sample_loc_type_bottom_field = readUeMax(bitstr, 5, "chroma_sample_loc_type_bottom_field");
    }
    timing_info_present_flag = bitstr.readFlag();
    if (timing_info_present_flag)
    {
        num_units_in_tick = bitstr.readBits(32);
        time_scale = bitstr.readBits(32);
        fixed_frame_rate_flag = bitstr.readFlag();
    }
    nal_hrd_parameters_present_flag = bitstr.readFlag();
    if (nal_hrd_parameters_present_flag)
    {
        nal_hrd_parameters.parse(bitstr);
    }
    vcl_hrd_parameters_present_flag = bitstr.readFlag();
    if (vcl_hrd_parameters_present_flag)
    {
        vcl_hrd_parameters.parse(bitstr);
    }
    if (nal_hrd_parameters_present_flag || vcl_hrd_parameters_present_flag)
    {
        low_delay_hrd_flag = bitstr.readFlag();
    }
    pic_struct_present_flag = bitstr.readFlag();
    bitstream_restriction_flag = bitstr.readFlag();
    if (bitstream_restriction_flag)
    {
        motion_vectors_over_pic_boundaries_flag = bitstr.readFlag();
        max_bytes_per_pic_denom = readUeMax(bitstr, 16, "max_bytes_per_pic_denom");
        max_bits_per_mb_denom = readUeMax(bitstr, 16, "max_bits_per_mb_denom");
        log2_max_mv_length_horizontal = readUeMax(bitstr, 16, "log2_max_mv_length_horizontal");
        log2_max_mv_length_vertical = readUeMax(bitstr, 16, "log2_max_mv_length_vertical");
        max_num_reorder_frames = readUeMax(bitstr, 16, "max_num_reorder_frames");
        max_dec_frame_buffering = readUeMax(bitstr, 16, "max_dec_frame_buffering");
    }
}

void AvcScalingList::parse(BitStream& bitstr, unsigned size)
{
    values.assign(size, 0);
    useDefaultScalingMatrixFlag = false;
    std::int32_t lastScale = 8;
    std::int32_t nextScale = 8;
    for (unsigned j = 0; j < size; ++j)
    {
        if (nextScale != 0)
        {
            const std::int32_t deltaScale = readSeRange(bitstr, -128, 127, "delta_scale");
            nextScale = (lastScale + deltaScale + 256) % 256;
            useDefaultScalingMatrixFlag = (j == 0 && nextScale == 0);
        }
        values[j] = std::uint8_t((nextScale == 0) ? lastScale : nextScale);
        lastScale = values[j];
    }
}

bool AvcSequenceParameterSet::hasChromaInfo(std::uint32_t profileIdc)
{
    switch (profileIdc)
    {
    case 44:
    case 83:
    case 86:
    case 100:
    case 110:
    case 118:
    case 122:
    case 128:
    case 134:
    case 138:
    case 139:
    case 244:
        return true;
    default:
        return false;
    }
}

std::uint32_t AvcSequenceParameterSet::chromaArrayType() const
{
    if (!hasChromaInfo(profile_idc))
    {
        return 1;  // inferred 4:2:0
    }
    return separate_colour_plane_flag ? 0 : chroma_format_idc;
}

std::uint32_t AvcSequenceParameterSet::cropUnitX() const
{
    // SubWidthC: 2 for 4:2:0 and 4:2:2, 1 for 4:4:4; one sample without chroma planes.
    const std::uint32_t chroma = chromaArrayType();
    return chroma == 1 || chroma == 2 ? 2 : 1;
}

std::uint32_t AvcSequenceParameterSet::cropUnitY() const
{
    // SubHeightC (2 for 4:2:0, else 1), doubled when pictures may be coded as two fields.
    const std::uint32_t fields = frame_mbs_only_flag ? 1 : 2;
    return (chromaArrayType() == 1 ? 2 : 1) * fields;
}

std::uint32_t AvcSequenceParameterSet::codedWidth() const
{
    return (pic_width_in_mbs_minus1 + 1) * 16;
}

std::uint32_t AvcSequenceParameterSet::codedHeight() const
{
    return (frame_mbs_only_flag ? 1 : 2) * 16 * (pic_height_in_map_units_minus1 + 1);
}

std::uint32_t AvcSequenceParameterSet::croppedWidth() const
{
    return codedWidth() - cropUnitX() * (frame_crop_left_offset + frame_crop_right_offset);
}

std::uint32_t AvcSequenceParameterSet::croppedHeight() const
{
    return codedHeight() - cropUnitY() * (frame_crop_top_offset + frame_crop_bottom_offset);
}

void AvcSequenceParameterSet::parse(BitStream& bitstr)
{
    profile_idc = bitstr.readBits(8);
    for (auto& flag : constraint_set_flags)
    {
        flag = bitstr.readFlag();
    }
    bitstr.readBits(2);  // reserved_zero_2bits
    level_idc = bitstr.readBits(8);
    seq_parameter_set_id = readUeMax(bitstr, 31, "seq_parameter_set_id");

    if (hasChromaInfo(profile_idc))
    {
        chroma_format_idc = readUeMax(bitstr, 3, "chroma_format_idc");
        if (chroma_format_idc == 3)
        {
            separate_colour_plane_flag = bitstr.readFlag();
        }
        bit_depth_luma_minus8 = readUeMax(bitstr, 6, "bit_depth_luma_minus8");
        bit_depth_chroma_minus8 = readUeMax(bitstr, 6, "bit_depth_chroma_minus8");
        qpprime_y_zero_transform_bypass_flag = bitstr.readFlag();
        seq_scaling_matrix_present_flag = bitstr.readFlag();
        if (seq_scaling_matrix_present_flag)
        {
            const unsigned listCount = (chroma_format_idc != 3) ? 8 : 12;
            for (unsigned i = 0; i < listCount; ++i)
            {
                seq_scaling_list_present_flag[i] = bitstr.readFlag();
                if (seq_scaling_list_present_flag[i])
                {
                    AvcScalingList list;
                    list.parse(bitstr, i < 6 ? 16 : 64);
                    scalingLists.push_back(std::move(list));
                }
            }
        }
    }

    log2_max_frame_num_minus4 = readUeMax(bitstr, 12, "log2_max_frame_num_minus4");
    pic_order_cnt_type = readUeMax(bitstr, 2, "pic_order_cnt_type");
    if (pic_order_cnt_type == 0)
    {
        log2_max_pic_order_cnt_lsb_minus4 = readUeMax(bitstr, 12, "log2_max_pic_order_cnt_lsb_minus4");
    }
    else if (pic_order_cnt_type == 1)
    {
        delta_pic_order_always_zero_flag = bitstr.readFlag();
        offset_for_non_ref_pic = bitstr.readSignedExpGolomb();
        offset_for_top_to_bottom_field = bitstr.readSignedExpGolomb();
        num_ref_frames_in_pic_order_cnt_cycle = readUeMax(bitstr, 255, "num_ref_frames_in_pic_order_cnt_cycle");
        for (std::uint32_t i = 0; i < num_ref_frames_in_pic_order_cnt_cycle; ++i)
        {
            offset_for_ref_frame.push_back(bitstr.readSignedExpGolomb());
        }
    }
    max_num_ref_frames = readUeMax(bitstr, 16, "max_num_ref_frames");
    gaps_in_frame_num_value_allowed_flag = bitstr.readFlag();
    pic_width_in_mbs_minus1 = readUeMax(bitstr, MaxMbsMinus1, "pic_width_in_mbs_minus1");
    pic_height_in_map_units_minus1 = readUeMax(bitstr, MaxMbsMinus1, "pic_height_in_map_units_minus1");
    frame_mbs_only_flag = bitstr.readFlag();
    if (!frame_mbs_only_flag)
    {
        mb_adaptive_frame_field_flag = bitstr.readFlag();
    }
    direct_8x8_inference_flag = bitstr.readFlag();
    frame_cropping_flag = bitstr.readFlag();
    if (frame_cropping_flag)
    {
        // Each offset is bounded by the uncropped size so the cropped size stays positive.
        const std::uint32_t width = codedWidth();
        const std::uint32_t height = codedHeight();
        frame_crop_left_offset = readUeMax(bitstr, width, "frame_crop_left_offset");
        frame_crop_right_offset = readUeMax(bitstr, width, "frame_crop_right_offset");
        frame_crop_top_offset = readUeMax(bitstr, height, "frame_crop_top_offset");
        frame_crop_bottom_offset = readUeMax(bitstr, height, "frame_crop_bottom_offset");
        if (cropUnitX() * (frame_crop_left_offset + frame_crop_right_offset) >= width ||
            cropUnitY() * (frame_crop_top_offset + frame_crop_bottom_offset) >= height)
        {
            throwOutOfRange("frame cropping");
        }
    }
    vui_parameters_present_flag = bitstr.readFlag();
    if (vui_parameters_present_flag)
    {
        vui.parse(bitstr);
    }
}

void AvcPictureParameterSet::parse(BitStream& bitstr)
{
    pic_parameter_set_id = readUeMax(bitstr, 255, "pic_parameter_set_id");
    seq_parameter_set_id = readUeMax(bitstr, 31, "seq_parameter_set_id");
    entropy_coding_mode_flag = bitstr.readFlag();
    bottom_field_pic_order_in_frame_present_flag = bitstr.readFlag();
    num_slice_groups_minus1 = readUeMax(bitstr, 7, "num_slice_groups_minus1");
    if (num_slice_groups_minus1 > 0)
    {
        slice_group_map_type = readUeMax(bitstr, 6, "slice_group_map_type");
        if (slice_group_map_type == 0)
        {
            for (std::uint32_t group = 0; group <= num_slice_groups_minus1; ++group)
            {
                run_length_minus1.push_back(bitstr.readUnsignedExpGolomb());
            }
        }
        else if (slice_group_map_type == 2)
        {
            for (std::uint32_t group = 0; group < num_slice_groups_minus1; ++group)
            {
                top_left.push_back(bitstr.readUnsignedExpGolomb());
                bottom_right.push_back(bitstr.readUnsignedExpGolomb());
            }
        }
        else if (slice_group_map_type >= 3 && slice_group_map_type <= 5)
        {
            slice_group_change_direction_flag = bitstr.readFlag();
            // The rate is at most PicSizeInMapUnits; the bound also keeps the +1 from wrapping.
            slice_group_change_rate_minus1 =
                readUeMax(bitstr, (MaxMbsMinus1 + 1) * (MaxMbsMinus1 + 1) - 1, "slice_group_change_rate_minus1");
        }
        else if (slice_group_map_type == 6)
        {
            pic_size_in_map_units_minus1 =
                readUeMax(bitstr, (MaxMbsMinus1 + 1) * (MaxMbsMinus1 + 1) - 1, "pic_size_in_map_units_minus1");
            std::uint32_t bits = 0;  // Ceil(Log2(num_slice_groups_minus1 + 1)), at least 1 here
            while ((1u << bits) < num_slice_groups_minus1 + 1)
            {
                ++bits;
            }
            // The table is sized from the stream: it must fit in the bits that are left.
            const std::uint64_t count = std::uint64_t(pic_size_in_map_units_minus1) + 1;
            if (count * bits > bitsLeft(bitstr))
            {
                throwVectorOutOfRange();
            }
            slice_group_id.reserve(std::size_t(count));
            for (std::uint64_t i = 0; i < count; ++i)
            {
                const std::uint32_t id = bitstr.readBits(bits);
                if (id > num_slice_groups_minus1)
                {
                    throwOutOfRange("slice_group_id");
                }
                slice_group_id.push_back(id);
            }
        }
    }
    num_ref_idx_l0_default_active_minus1 = readUeMax(bitstr, 31, "num_ref_idx_l0_default_active_minus1");
    num_ref_idx_l1_default_active_minus1 = readUeMax(bitstr, 31, "num_ref_idx_l1_default_active_minus1");
    weighted_pred_flag = bitstr.readFlag();
    weighted_bipred_idc = bitstr.readBits(2);
    if (weighted_bipred_idc > 2)
    {
        throwOutOfRange("weighted_bipred_idc");
    }
    pic_init_qp_minus26 = readSeRange(bitstr, -(26 + 36), 25, "pic_init_qp_minus26");
    pic_init_qs_minus26 = readSeRange(bitstr, -26, 25, "pic_init_qs_minus26");
    chroma_qp_index_offset = readSeRange(bitstr, -12, 12, "chroma_qp_index_offset");
    deblocking_filter_control_present_flag = bitstr.readFlag();
    constrained_intra_pred_flag = bitstr.readFlag();
    redundant_pic_cnt_present_flag = bitstr.readFlag();
    if (moreRbspData(bitstr))
    {
        transform_8x8_mode_flag = bitstr.readFlag();
        pic_scaling_matrix_present_flag = bitstr.readFlag();
    }
}

bool moreRbspData(const BitStream& bitstr)
{
    // The last 1 bit of the data is rbsp_stop_one_bit; syntax remains if it lies after the current
    // position. Reading a "flag" out of the stop bit itself would give a wrong value.
    const std::uint64_t left = bitsLeft(bitstr);
    if (left == 0)
    {
        return false;
    }
    const auto& storage = bitstr.getStorage();
    std::uint64_t trailing = 0;  // bits from the end back to and including the stop bit
    for (std::size_t i = storage.size(); i-- > 0;)
    {
        const std::uint8_t b = storage[i];
        if (b == 0)
        {
            trailing += 8;
            continue;
        }
        unsigned zeros = 0;
        while (((b >> zeros) & 1u) == 0)
        {
            ++zeros;
        }
        trailing += zeros + 1;
        break;
    }
    return left > trailing;
}

bool parseSPSConfigValues(const std::vector<std::uint8_t>& spsNalUnit, SPSConfigValues& values)
{
    std::vector<std::uint8_t> rbsp;
    convertByteStreamToRBSP(spsNalUnit, rbsp);
    BitStream bitstr(std::move(rbsp));
    AvcNalHeader naluHeader;
    naluHeader.parse(bitstr);
    if (naluHeader.mAVCNalUnitType != AVCNalUnitType::SPS)
    {
        throw std::runtime_error("parseSPSConfigValues: NAL unit is not a sequence parameter set");
    }
    AvcSequenceParameterSet sps;
    sps.parse(bitstr);
    values.mChromaFormat = std::uint8_t(sps.chroma_format_idc);
    values.mBitDepthLumaMinus8 = std::uint8_t(sps.bit_depth_luma_minus8);
    values.mBitDepthChromaMinus8 = std::uint8_t(sps.bit_depth_chroma_minus8);
    values.mPicWidth = std::uint16_t(sps.croppedWidth());
    values.mPicHeight = std::uint16_t(sps.croppedHeight());
    return true;
}
