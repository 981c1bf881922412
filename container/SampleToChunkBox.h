#pragma once

#include <cstdint>
#include <vector>

#include "FullBox.h"

// 'stsc': runs of chunks sharing a samples-per-chunk count, and their expansion to one record per
// sample, which is what sample look-ups use.
class SampleToChunkBox : public FullBox
{
public:
    struct ChunkEntry
    {
        std::uint32_t mFirstChunk = 0;
        std::uint32_t mSamplesPerChunk = 0;
        std::uint32_t mSampleDescriptionIndex = 0;
    };
    /// One record per sample.
    struct DecodedEntry
    {
        std::uint32_t mChunkIndex = 0;  // 1-based
        std::uint32_t mSamplesPerChunk = 0;
        std::uint32_t mSampleDescriptionIndex = 0;
    };

    SampleToChunkBox();
    ~SampleToChunkBox() override = default;

    /// Sample description index (1-based) of a 0-based sample; past the table throws
    /// std::out_of_range "vector".
    std::uint32_t getSampleDescriptionIndex(std::uint32_t sampleIndex) const;
    /// Chunk index (1-based) of a 0-based sample; past the table throws std::out_of_range "vector".
    std::uint32_t getSampleChunkIndex(std::uint32_t sampleIndex) const;

    /// Appends a run and expands again, against the larger of the last chunk count and the new
    /// run's first chunk (so the new run covers at least one chunk). An entry that makes the
    /// table invalid is not kept and the failure is thrown.
    void addSampleToChunkEntry(const ChunkEntry& entry);

    /// Rebuilds the per-sample records for `chunkCount` chunks. Throws std::runtime_error for a
    /// table without entries, a first run not starting at chunk 1, first chunks that do not
    /// grow, a first chunk beyond chunkCount + 1, or more than MAX_TRACK_RECORDS records.
    void decodeEntries(std::uint32_t chunkCount);

    const std::vector<ChunkEntry>& getEntries() const { return mRunOfChunks; }
    const std::vector<DecodedEntry>& getDecodedEntries() const { return mDecodedEntries; }
    std::uint32_t getDecodedSampleCount() const { return std::uint32_t(mDecodedEntries.size()); }

    void writeBox(BitStream& bitstr) override;
    void parseBox(BitStream& bitstr) override;

private:
    std::vector<ChunkEntry> mRunOfChunks;
    std::vector<DecodedEntry> mDecodedEntries;
    std::uint32_t mChunkCount = 0;
};
