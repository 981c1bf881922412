#include "SampleToChunkBox.h"

#include <algorithm>
#include <iterator>
#include <stdexcept>

#include "TrackLimits.h"

SampleToChunkBox::SampleToChunkBox() : FullBox(FourCCInt("stsc"), 0, 0) {}

const SampleToChunkBox::DecodedRun& SampleToChunkBox::runOf(std::uint32_t sampleIndex) const
{
    // The last run starting at or before the sample.
    const auto after =
        std::upper_bound(mDecodedRuns.begin(), mDecodedRuns.end(), std::uint64_t(sampleIndex),
                         [](std::uint64_t sample, const DecodedRun& run) { return sample < run.firstSample; });
    if (after == mDecodedRuns.begin() || sampleIndex >= mDecodedSampleCount)
    {
        throwVectorOutOfRange();
    }
    return *std::prev(after);
}

std::uint32_t SampleToChunkBox::getSampleDescriptionIndex(std::uint32_t sampleIndex) const
{
    return runOf(sampleIndex).sampleDescriptionIndex;
}

std::uint32_t SampleToChunkBox::getSampleChunkIndex(std::uint32_t sampleIndex) const
{
    const DecodedRun& run = runOf(sampleIndex);
    return std::uint32_t(run.firstChunk + (sampleIndex - run.firstSample) / run.samplesPerChunk);
}

bool SampleToChunkBox::isFirstSampleOfChunk(std::uint32_t sampleIndex) const
{
    const DecodedRun& run = runOf(sampleIndex);
    return (sampleIndex - run.firstSample) % run.samplesPerChunk == 0;
}

void SampleToChunkBox::addSampleToChunkEntry(const ChunkEntry& entry)
{
    mRunOfChunks.push_back(entry);
    try
    {
        decodeEntries(std::max(mChunkCount, entry.mFirstChunk));
    }
    catch (...)
    {
        mRunOfChunks.pop_back();
        if (!mRunOfChunks.empty() && mChunkCount != 0)
        {
            decodeEntries(mChunkCount);
        }
        throw;
    }
}

void SampleToChunkBox::decodeEntries(std::uint32_t chunkCount)
{
    mDecodedRuns.clear();
    mDecodedSampleCount = 0;
    if (chunkCount == 0 || mRunOfChunks.empty())
    {
        throw std::runtime_error("A SampleToChunkBox without entries");
    }
    if (mRunOfChunks.front().mFirstChunk != 1)
    {
        throw std::runtime_error("SampleToChunkBox first entry first_chunk != 1");
    }

    const std::uint64_t endOfChunks = std::uint64_t(chunkCount) + 1;
    std::vector<DecodedRun> runs;
    std::uint64_t total = 0;
    for (std::size_t i = 0; i < mRunOfChunks.size(); ++i)
    {
        const ChunkEntry& run = mRunOfChunks[i];
        if (run.mFirstChunk > endOfChunks)
        {
            throw std::runtime_error(
                "Invalid first_chunk value in SampleToChunkBox entry. Must not exceed the chunk count + 1");
        }
        std::uint64_t runEnd = endOfChunks;
        if (i + 1 < mRunOfChunks.size())
        {
            runEnd = mRunOfChunks[i + 1].mFirstChunk;
            if (runEnd <= run.mFirstChunk)
            {
                throw std::runtime_error(
                    "Invalid first_chunk value in SampleToChunkBox entry. Must be greater than previous");
            }
        }
        // Both factors are below 2^32, so the product fits 64 bits, and so does the sum of at
        // most 2^32 of them.
        const std::uint64_t samples = (runEnd - run.mFirstChunk) * run.mSamplesPerChunk;
        if (samples != 0)
        {
            runs.push_back(
                DecodedRun{total, samples, run.mFirstChunk, run.mSamplesPerChunk, run.mSampleDescriptionIndex});
            total += samples;
        }
    }
    mDecodedRuns = std::move(runs);
    mDecodedSampleCount = total;
    mChunkCount = chunkCount;
}

void SampleToChunkBox::writeBox(BitStream& bitstr)
{
    writeFullBoxHeader(bitstr);
    bitstr.writeU32(std::uint32_t(mRunOfChunks.size()));
    for (const auto& run : mRunOfChunks)
    {
        bitstr.writeU32(run.mFirstChunk);
        bitstr.writeU32(run.mSamplesPerChunk);
        bitstr.writeU32(run.mSampleDescriptionIndex);
    }
    updateSize(bitstr);
}

void SampleToChunkBox::parseBox(BitStream& bitstr)
{
    parseFullBoxHeader(bitstr);
    const std::uint32_t entryCount = bitstr.readU32();
    checkEntriesFit(entryCount, 12, bitstr.numBytesLeft());
    mRunOfChunks.clear();
    mDecodedRuns.clear();
    mDecodedSampleCount = 0;
    mRunOfChunks.reserve(entryCount);
    for (std::uint32_t i = 0; i < entryCount; ++i)
    {
        ChunkEntry run;
        run.mFirstChunk = bitstr.readU32();
        run.mSamplesPerChunk = bitstr.readU32();
        run.mSampleDescriptionIndex = bitstr.readU32();
        mRunOfChunks.push_back(run);
    }
}
