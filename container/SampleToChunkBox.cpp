#include "SampleToChunkBox.h"

#include <algorithm>
#include <stdexcept>

#include "TrackLimits.h"

SampleToChunkBox::SampleToChunkBox() : FullBox(FourCCInt("stsc"), 0, 0) {}

std::uint32_t SampleToChunkBox::getSampleDescriptionIndex(std::uint32_t sampleIndex) const
{
    if (sampleIndex >= mDecodedEntries.size())
    {
        throwVectorOutOfRange();
    }
    return mDecodedEntries[sampleIndex].mSampleDescriptionIndex;
}

std::uint32_t SampleToChunkBox::getSampleChunkIndex(std::uint32_t sampleIndex) const
{
    if (sampleIndex >= mDecodedEntries.size())
    {
        throwVectorOutOfRange();
    }
    return mDecodedEntries[sampleIndex].mChunkIndex;
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
    mDecodedEntries.clear();
    if (chunkCount == 0 || mRunOfChunks.empty())
    {
        throw std::runtime_error("A SampleToChunkBox without entries");
    }
    if (mRunOfChunks.front().mFirstChunk != 1)
    {
        throw std::runtime_error("SampleToChunkBox first entry first_chunk != 1");
    }

    // Validate every run and count the records before anything grows.
    const std::uint64_t endOfChunks = std::uint64_t(chunkCount) + 1;
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
        // Both factors are below 2^32, so the product fits 64 bits.
        addTrackRecordCount(total, (runEnd - run.mFirstChunk) * run.mSamplesPerChunk, "SampleToChunkBox");
    }

    mDecodedEntries.reserve(std::size_t(total));
    for (std::size_t i = 0; i < mRunOfChunks.size(); ++i)
    {
        const ChunkEntry& run = mRunOfChunks[i];
        const std::uint64_t runEnd = i + 1 < mRunOfChunks.size() ? mRunOfChunks[i + 1].mFirstChunk : endOfChunks;
        for (std::uint64_t chunk = run.mFirstChunk; chunk < runEnd; ++chunk)
        {
            mDecodedEntries.insert(mDecodedEntries.end(), run.mSamplesPerChunk,
                                   {std::uint32_t(chunk), run.mSamplesPerChunk, run.mSampleDescriptionIndex});
        }
    }
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
    mDecodedEntries.clear();
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
