#pragma once

#include <cstdint>
#include <map>

#include "CompositionOffsetBox.h"
#include "EditListBox.h"
#include "TimeToSampleBox.h"
#include "TrackLimits.h"

// Turns a track's decode times (stts), composition offsets (ctts) and edit list (elst) into the
// times its samples are shown: an ordered map from presentation time to 0-based sample index,
// in table units or in milliseconds, optionally repeated back to back for looping playback.
// When two samples fall on the same time, the first one keeps it.
class DecodePts
{
public:
    using PresentationTimeMap = std::map<std::int64_t, std::uint64_t>;

    DecodePts() = default;
    virtual ~DecodePts() = default;

    /// The boxes belong to the track and must outlive this object.
    void setTimeToSampleBox(const TimeToSampleBox* timeToSampleBox) { mTimeToSampleBox = timeToSampleBox; }
    /// May be null: composition times are then the decode times.
    void setCompositionOffsetBox(const CompositionOffsetBox* compositionOffsetBox)
    {
        mCompositionOffsetBox = compositionOffsetBox;
    }
    /// May be null: the presentation is then the media timeline itself.
    void setEditListBox(const EditListBox* editListBox) { mEditListBox = editListBox; }
    /// The most samples, map insertions and looped times the computations below may make
    /// (MAX_TRACK_RECORDS unless set lower); beyond it they throw std::runtime_error before
    /// building anything further.
    void setRecordLimit(std::uint64_t limit) { mRecordLimit = limit; }

    /// Fills the media and presentation maps and the presentation length. Throws
    /// std::runtime_error without a time-to-sample table, for composition offsets that cover
    /// fewer samples than the decode times, for an edit list of another version than 0 or 1, for
    /// version-1 edit arithmetic that overflows 64 bits, and when the samples or the insertions
    /// into the maps pass the record limit.
    void computePresentationTimes();

    /// Presentation times converted to milliseconds (truncating); timescale 0 throws
    /// std::runtime_error.
    PresentationTimeMap getPresentationTimesMs(std::uint32_t timescale) const;
    /// The presentation repeated back to back: copy k starts at k x the presentation length in
    /// milliseconds; copy 0 always, further copies while they start before endMs. Timescale 0,
    /// more times than the record limit or times beyond 64 bits throw std::runtime_error.
    PresentationTimeMap getLoopedPresentationTimesMs(std::uint32_t timescale, std::uint64_t endMs) const;

    /// Length of the presentation in table units (wraps at 32 bits, like the tables).
    std::uint32_t getSpan() const { return mCursor; }
    /// Composition time to sample, in table units.
    const PresentationTimeMap& getMediaTimes() const { return mMediaTimes; }
    /// Presentation time to sample, in table units.
    const PresentationTimeMap& getPresentationTimes() const { return mPresentationTimes; }

    /// Milliseconds for a duration in seconds, for getLoopedPresentationTimesMs; a negative,
    /// non-finite or too large duration throws std::runtime_error.
    static std::uint64_t toLoopEndMs(double durationSeconds);

private:
    void insertPresentation(std::int64_t time, std::uint64_t sample);
    void applyDwell(std::int64_t mediaTime, std::uint64_t segmentDuration);
    void applyNormalEdit(std::int64_t mediaTime, std::int64_t segmentEnd);

    const TimeToSampleBox* mTimeToSampleBox = nullptr;
    const CompositionOffsetBox* mCompositionOffsetBox = nullptr;
    const EditListBox* mEditListBox = nullptr;

    std::uint32_t mCursor = 0;
    std::uint64_t mInsertions = 0;
    std::uint64_t mRecordLimit = MAX_TRACK_RECORDS;
    PresentationTimeMap mMediaTimes;
    PresentationTimeMap mPresentationTimes;
};
