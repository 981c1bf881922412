#pragma once

#include <cstdint>
#include <vector>

#include "FullBox.h"

// 'elst': the edits that place a track's media on the presentation timeline. Version 0 stores
// 32-bit durations and times, version 1 64-bit ones; only the list of the box's version is used.
class EditListBox : public FullBox
{
public:
    struct EntryVersion0
    {
        std::uint32_t mSegmentDuration = 0;
        std::int32_t mMediaTime = 0;
        std::int16_t mMediaRateInteger = 0;
        std::int16_t mMediaRateFraction = 0;
    };
    struct EntryVersion1
    {
        std::uint64_t mSegmentDuration = 0;
        std::int64_t mMediaTime = 0;
        std::int16_t mMediaRateInteger = 0;
        std::int16_t mMediaRateFraction = 0;
    };

    EditListBox();
    ~EditListBox() override = default;

    /// Throws std::runtime_error unless the version is 0 and no version-1 entry is held.
    void addEntry(const EntryVersion0& entry);
    /// Throws std::runtime_error unless the version is 1 and no version-0 entry is held.
    void addEntry(const EntryVersion1& entry);
    /// Entries of the box's version; throws std::runtime_error for other versions.
    std::uint32_t numberOfEntries() const;
    /// Entry by 0-based index; past the list throws std::out_of_range "vector".
    const EntryVersion0& getEntryVersion0(std::uint32_t index) const;
    const EntryVersion1& getEntryVersion1(std::uint32_t index) const;

    /// An edit list without entries is written with entry_count 0.
    void writeBox(BitStream& bitstr) override;
    void parseBox(BitStream& bitstr) override;

private:
    std::vector<EntryVersion0> mEntryVersion0;
    std::vector<EntryVersion1> mEntryVersion1;
};
