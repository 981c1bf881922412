#pragma once

#include <cstdint>
#include <vector>

#include "FullBox.h"

// 'stsc': runs of chunks sharing a samples-per-chunk count. Sample look-ups search the runs, so the
// table costs its runs however many samples they cover.
class SampleToChunkBox : public FullBox
{
public:
    struct ChunkEntry
    {
        std::uint32_t mFirstChunk = 0;
        std::uint32_t mSamplesPerChunk = 0;
        std::uint32_t mSampleDescriptionIndex = 0;
    };

    SampleToChunkBox();
    ~SampleToChunkBox() override = default;

    /// Sample description index (1-based) of a 0-based sample; past the samples the runs cover
    /// throws std::out_of_range "vector".
    std::uint32_t getSampleDescriptionIndex(std::uint32_t sampleIndex) const;
    /// Chunk index (1-based) of a 0-based sample; past the samples throws std::out_of_range "vector".
    std::uint32_t getSampleChunkIndex(std::uint32_t sampleIndex) const;
    /// Whether the 0-based sample is the first of its chunk (past the samples: std::out_of_range).
    bool isFirstSampleOfChunk(std::uint32_t sampleIndex) const;

    /// Appends a run and decodes again, against the larger of the last chunk count and the new
    /// run's first chunk (so the new run covers at least one chunk). An entry that makes the
    /// table invalid is not kept and the failure is thrown.
    void addSampleToChunkEntry(const ChunkEntry& entry);

    /// Lays the runs out over `chunkCount` chunks. Throws std::runtime_error for a table without
    /// entries, a first run not starting at chunk 1, first chunks that do not grow, or a first
    /// chunk beyond chunkCount + 1.
    void decodeEntries(std::uint32_t chunkCount);

    const std::vector<ChunkEntry>& getEntries() const { return mRunOfChunks; }
    /// Number of samples the decoded runs cover (which may exceed 32 bits in a hostile table).
    std::uint64_t getDecodedSampleCount() const { return mDecodedSampleCount; }

    void writeBox(BitStream& bitstr) override;
    void parseBox(BitStream& bitstr) override;

private:
    /// A run of chunks laid out: the samples it covers start at firstSample.
    struct DecodedRun
    {
        std::uint64_t firstSample = 0;
        std::uint64_t sampleCount = 0;
        std::uint32_t firstChunk = 0;
        std::uint32_t samplesPerChunk = 0;
        std::uint32_t sampleDescriptionIndex = 0;
    };
    /// The run holding the sample, or std::out_of_range "vector".
    const DecodedRun& runOf(std::uint32_t sampleIndex) const;

    std::vector<ChunkEntry> mRunOfChunks;
    std::vector<DecodedRun> mDecodedRuns;  // runs that cover samples, by first sample
    std::uint64_t mDecodedSampleCount = 0;
    std::uint32_t mChunkCount = 0;
};
