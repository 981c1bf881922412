#pragma once

#include <cstdint>

// One ceiling for every table that a track expands from run-length counts in the file (stts,
// ctts, stsc, stsz, sbgp) and for the presentation-time maps built from them. A 30-byte box can
// ask for 2^32 runs of 2^32 samples; without a ceiling the conversion thread would try to
// allocate that. Four million records is more than a day of 30 fps video, far beyond any image
// sequence, and keeps the worst case to a few hundred MiB.
constexpr std::uint64_t MAX_TRACK_RECORDS = 4000000;

/// Throws std::runtime_error naming `what` when `count` exceeds MAX_TRACK_RECORDS.
void checkTrackRecordCount(std::uint64_t count, const char* what);

/// Adds `count` to `total`, throwing like checkTrackRecordCount when the sum passes the ceiling.
/// Both stay far below 2^64, so the sum itself never wraps.
void addTrackRecordCount(std::uint64_t& total, std::uint64_t count, const char* what);

/// Throws std::out_of_range "vector" when `count` entries of `entrySize` bytes need more than
/// the bytes left in the stream; called before a table is read or sized from its count.
void checkEntriesFit(std::uint64_t count, std::uint64_t entrySize, std::uint32_t bytesLeft);
