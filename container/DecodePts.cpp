#include "DecodePts.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

namespace
{
constexpr std::int64_t kInt64Max = std::numeric_limits<std::int64_t>::max();

void requireTimescale(std::uint32_t timescale)
{
    if (timescale == 0)
    {
        throw std::runtime_error("DecodePts: timescale 0");
    }
}

/// Throws the ceiling's failure when count passes the limit.
void checkLimit(std::uint64_t count, std::uint64_t limit, const char* what)
{
    if (count > limit)
    {
        throw std::runtime_error(std::string(what) + ": more than " + std::to_string(limit) + " records");
    }
}

/// The first `count` composition offsets of the runs of the box's version, without expanding runs
/// past them (fewer when the box covers fewer samples).
std::vector<std::int32_t> firstOffsets(const CompositionOffsetBox& ctts, std::size_t count)
{
    std::vector<std::int32_t> offsets;
    const auto take = [&](std::uint32_t runLength, std::int32_t offset)
    {
        const std::size_t n = std::min<std::size_t>(runLength, count - offsets.size());
        offsets.insert(offsets.end(), n, offset);
    };
    if (ctts.getVersion() == 0)
    {
        for (const auto& entry : ctts.getEntriesVersion0())
        {
            take(entry.mSampleCount, std::int32_t(entry.mSampleOffset));
        }
    }
    else if (ctts.getVersion() == 1)
    {
        for (const auto& entry : ctts.getEntriesVersion1())
        {
            take(entry.mSampleCount, entry.mSampleOffset);
        }
    }
    return offsets;
}

std::int64_t toMs(std::int64_t time, std::uint32_t timescale)
{
    if (time > kInt64Max / 1000 || time < -(kInt64Max / 1000))
    {
        throw std::runtime_error("DecodePts: presentation time out of range");
    }
    return time * 1000 / std::int64_t(timescale);
}
}  // namespace

void DecodePts::insertPresentation(std::int64_t time, std::uint64_t sample)
{
    // Counting insertions, not map size, also bounds edit lists that revisit the same times.
    ++mInsertions;
    checkLimit(mInsertions, mRecordLimit, "DecodePts");
    mPresentationTimes.emplace(time, sample);
}

void DecodePts::applyDwell(std::int64_t mediaTime, std::uint64_t segmentDuration)
{
    auto after = mMediaTimes.upper_bound(mediaTime);
    if (after == mMediaTimes.begin())
    {
        // No sample at or before the media time: nothing to hold on screen.
        return;
    }
    insertPresentation(mCursor, std::prev(after)->second);
    mCursor += std::uint32_t(segmentDuration);
}

void DecodePts::applyNormalEdit(std::int64_t mediaTime, std::int64_t segmentEnd)
{
    bool first = true;
    for (auto it = mMediaTimes.lower_bound(mediaTime); it != mMediaTimes.end() && it->first < segmentEnd; ++it)
    {
        if (first && it->first > mediaTime && it != mMediaTimes.begin())
        {
            // The edit starts inside the previous sample: show it until this one begins.
            insertPresentation(mCursor, std::prev(it)->second);
            mCursor += std::uint32_t(it->first - mediaTime);
        }
        first = false;
        insertPresentation(mCursor, it->second);
        const auto next = std::next(it);
        const std::int64_t until = next == mMediaTimes.end() ? segmentEnd : std::min(segmentEnd, next->first);
        mCursor += std::uint32_t(until - it->first);
    }
}

void DecodePts::computePresentationTimes()
{
    if (mTimeToSampleBox == nullptr)
    {
        throw std::runtime_error("DecodePts: no time-to-sample table");
    }
    mCursor = 0;
    mInsertions = 0;
    mMediaTimes.clear();
    mPresentationTimes.clear();

    checkLimit(mTimeToSampleBox->getSampleCount(), mRecordLimit, "DecodePts");
    const std::vector<std::uint32_t> decodeTimes = mTimeToSampleBox->getDecodeTimes();
    std::vector<std::int32_t> offsets;
    if (mCompositionOffsetBox != nullptr)
    {
        offsets = firstOffsets(*mCompositionOffsetBox, decodeTimes.size());
        if (offsets.size() < decodeTimes.size())
        {
            throw std::runtime_error("DecodePts: composition offsets cover fewer samples than the decode times");
        }
    }
    for (std::size_t i = 0; i < decodeTimes.size(); ++i)
    {
        std::uint32_t time = decodeTimes[i];
        if (!offsets.empty())
        {
            time += std::uint32_t(offsets[i]);
        }
        mMediaTimes.emplace(time, i);
    }

    if (mEditListBox == nullptr)
    {
        for (const auto& entry : mMediaTimes)
        {
            insertPresentation(entry.first, entry.second);
        }
        if (mMediaTimes.size() >= 2)
        {
            const auto last = std::prev(mMediaTimes.end());
            const std::uint32_t lastTime = std::uint32_t(last->first);
            const std::uint32_t previousTime = std::uint32_t(std::prev(last)->first);
            mCursor = lastTime + (lastTime - previousTime);
        }
        return;
    }

    const std::uint32_t entryCount = mEditListBox->numberOfEntries();
    const bool version1 = mEditListBox->getVersion() == 1;
    for (std::uint32_t i = 0; i < entryCount; ++i)
    {
        std::int64_t mediaTime = 0;
        std::uint64_t segmentDuration = 0;
        std::int16_t rate = 0;
        std::int64_t segmentEnd = 0;
        if (version1)
        {
            const auto& entry = mEditListBox->getEntryVersion1(i);
            mediaTime = entry.mMediaTime;
            segmentDuration = entry.mSegmentDuration;
            rate = entry.mMediaRateInteger;
            if (rate != 0 && mediaTime >= 0)
            {
                if (segmentDuration > std::uint64_t(kInt64Max - mediaTime))
                {
                    throw std::runtime_error("DecodePts: edit list segment beyond 64-bit time");
                }
                segmentEnd = mediaTime + std::int64_t(segmentDuration);
            }
        }
        else
        {
            const auto& entry = mEditListBox->getEntryVersion0(i);
            mediaTime = entry.mMediaTime;
            segmentDuration = entry.mSegmentDuration;
            rate = entry.mMediaRateInteger;
            // Version-0 edits live in 32-bit time, where the end wraps like the tables do.
            segmentEnd = std::uint32_t(std::uint32_t(entry.mMediaTime) + entry.mSegmentDuration);
        }

        if (mediaTime == -1)
        {
            mCursor += std::uint32_t(segmentDuration);
        }
        if (rate == 0)
        {
            applyDwell(mediaTime, segmentDuration);
        }
        else if (mediaTime >= 0)
        {
            applyNormalEdit(mediaTime, segmentEnd);
        }
    }
}

DecodePts::PresentationTimeMap DecodePts::getPresentationTimesMs(std::uint32_t timescale) const
{
    requireTimescale(timescale);
    PresentationTimeMap result;
    for (const auto& entry : mPresentationTimes)
    {
        result.emplace(toMs(entry.first, timescale), entry.second);
    }
    return result;
}

DecodePts::PresentationTimeMap DecodePts::getLoopedPresentationTimesMs(std::uint32_t timescale,
                                                                       std::uint64_t endMs) const
{
    requireTimescale(timescale);
    const PresentationTimeMap once = getPresentationTimesMs(timescale);
    if (once.empty())
    {
        return once;
    }
    const std::uint64_t period = std::uint64_t(mCursor) * 1000 / timescale;

    // Copy 0, then copy k while k x period < endMs.
    std::uint64_t copies = 1;
    if (period != 0 && endMs > period)
    {
        copies += (endMs - 1) / period;
    }
    if (copies > mRecordLimit / once.size())
    {
        checkLimit(mRecordLimit + 1, mRecordLimit, "DecodePts looping");
    }
    // Every key stays within signed 64 bits: last start + largest time.
    const std::int64_t largest = std::prev(once.end())->first;
    if ((copies - 1) != 0 && (period > std::uint64_t(kInt64Max) / (copies - 1) ||
                              std::int64_t((copies - 1) * period) > kInt64Max - std::max<std::int64_t>(largest, 0)))
    {
        throw std::runtime_error("DecodePts: looped presentation time out of range");
    }

    PresentationTimeMap result;
    for (std::uint64_t k = 0; k < copies; ++k)
    {
        const std::int64_t start = std::int64_t(k * period);
        for (const auto& entry : once)
        {
            result.emplace(entry.first + start, entry.second);
        }
    }
    return result;
}

std::uint64_t DecodePts::toLoopEndMs(double durationSeconds)
{
    const double ms = durationSeconds * 1000.0;
    // 2^64 is exact in a double; anything at or above it does not fit.
    if (!std::isfinite(ms) || ms < 0.0 || ms >= 18446744073709551616.0)
    {
        throw std::runtime_error("DecodePts: track duration out of range");
    }
    return std::uint64_t(ms);
}
