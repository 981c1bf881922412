#pragma once

#include <cstdint>

#include "BitStream.h"

// Field groups the decoder configuration records lay out bit for bit alike, each field behind
// reserved all-ones bits.
namespace ConfigRecordFields
{
/// chroma_format (2 bits), bit_depth_luma_minus8 and bit_depth_chroma_minus8 (3 bits each):
/// three bytes, in the avcC extension and in hvcC.
inline void writeChromaAndBitDepths(BitStream& bitstr, std::uint8_t chromaFormat, std::uint8_t bitDepthLumaMinus8,
                                    std::uint8_t bitDepthChromaMinus8)
{
    bitstr.writeBits(0x3F, 6);  // reserved
    bitstr.writeBits(chromaFormat, 2);
    bitstr.writeBits(0x1F, 5);  // reserved
    bitstr.writeBits(bitDepthLumaMinus8, 3);
    bitstr.writeBits(0x1F, 5);  // reserved
    bitstr.writeBits(bitDepthChromaMinus8, 3);
}

inline void readChromaAndBitDepths(BitStream& bitstr, std::uint8_t& chromaFormat, std::uint8_t& bitDepthLumaMinus8,
                                   std::uint8_t& bitDepthChromaMinus8)
{
    bitstr.readBits(6);  // reserved
    chromaFormat = std::uint8_t(bitstr.readBits(2));
    bitstr.readBits(5);  // reserved
    bitDepthLumaMinus8 = std::uint8_t(bitstr.readBits(3));
    bitstr.readBits(5);  // reserved
    bitDepthChromaMinus8 = std::uint8_t(bitstr.readBits(3));
}

/// min_spatial_segmentation_idc (12 bits) and parallelismType (2 bits): three bytes, in hvcC
/// and lhvC.
inline void writeSegmentationAndParallelism(BitStream& bitstr, std::uint16_t minSpatialSegmentationIdc,
                                            std::uint8_t parallelismType)
{
    bitstr.writeBits(0xF, 4);  // reserved
    bitstr.writeBits(minSpatialSegmentationIdc, 12);
    bitstr.writeBits(0x3F, 6);  // reserved
    bitstr.writeBits(parallelismType, 2);
}

inline void readSegmentationAndParallelism(BitStream& bitstr, std::uint16_t& minSpatialSegmentationIdc,
                                           std::uint8_t& parallelismType)
{
    bitstr.readBits(4);  // reserved
    minSpatialSegmentationIdc = std::uint16_t(bitstr.readBits(12));
    bitstr.readBits(6);  // reserved
    parallelismType = std::uint8_t(bitstr.readBits(2));
}
}  // namespace ConfigRecordFields
