#pragma once

#include <cstdint>

namespace pravix
{

// Bounds on the work and memory a stream decoder may spend on one picture beyond its pixel count, so that
// a small file cannot make one conversion take more than a few seconds or a few hundred megabytes.

// A JPEG decoded in several scans: the coefficient blocks summed over its scans, a scan covering the
// blocks of the components it codes. The ten scans of a 50-megapixel 4:2:0 photo come to about six
// million; each block costs tens of nanoseconds in a scan, more when arithmetic-coded.
constexpr uint64_t kMaxJpegScanBlocks = uint64_t(32) << 20;
// Its coefficients (2 bytes each, every component), held whole while its scans arrive: with the largest
// picture the conversion hands on (192 MB) they stay well under 600 MB.
constexpr uint64_t kMaxJpegCoefficientBytes = uint64_t(320) << 20;

// Lowers kMaxJpegScanBlocks for the JPEGs decoded from now on, for callers short of time such as a
// fuzzer or a test; 0 restores it.
void limitJpegScanBlocks(uint64_t blocks);
uint64_t jpegScanBlockLimit();

}  // namespace pravix
