#include "DecodeWorkLimits.h"

#include <atomic>

namespace pravix
{
namespace
{

std::atomic<uint64_t> gJpegScanBlocks{0};

}  // namespace

void limitJpegScanBlocks(uint64_t blocks)
{
    gJpegScanBlocks = blocks;
}

uint64_t jpegScanBlockLimit()
{
    const uint64_t limit = gJpegScanBlocks;
    return limit == 0 ? kMaxJpegScanBlocks : limit;
}

}  // namespace pravix
