#include "TrackLimits.h"

#include <stdexcept>
#include <string>

#include "BitStream.h"

void checkTrackRecordCount(std::uint64_t count, const char* what)
{
    if (count > MAX_TRACK_RECORDS)
    {
        throw std::runtime_error(std::string(what) + ": more than " + std::to_string(MAX_TRACK_RECORDS) +
                                 " records in one track");
    }
}

void addTrackRecordCount(std::uint64_t& total, std::uint64_t count, const char* what)
{
    // total is at most the ceiling, so a count above the ceiling fails before the addition.
    checkTrackRecordCount(count, what);
    total += count;
    checkTrackRecordCount(total, what);
}

void checkEntriesFit(std::uint64_t count, std::uint64_t entrySize, std::uint32_t bytesLeft)
{
    // count < 2^32 and entrySize is small, so the product cannot wrap.
    if (count * entrySize > bytesLeft)
    {
        throwVectorOutOfRange();
    }
}
