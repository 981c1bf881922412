#pragma once

#include <cstdint>

#include "FullBox.h"

// 'cslg': the composition-to-decode shift and the composition time bounds of a track.
class CompositionToDecodeBox : public FullBox
{
public:
    CompositionToDecodeBox();
    ~CompositionToDecodeBox() override = default;

    std::int32_t getCompositionToDtsShift() const { return mCompositionToDtsShift; }
    void setCompositionToDtsShift(std::int32_t value) { mCompositionToDtsShift = value; }
    std::int32_t getLeastDecodeToDisplayDelta() const { return mLeastDecodeToDisplayDelta; }
    void setLeastDecodeToDisplayDelta(std::int32_t value) { mLeastDecodeToDisplayDelta = value; }
    std::int32_t getGreatestDecodeToDisplayDelta() const { return mGreatestDecodeToDisplayDelta; }
    void setGreatestDecodeToDisplayDelta(std::int32_t value) { mGreatestDecodeToDisplayDelta = value; }
    std::int32_t getCompositionStartTime() const { return mCompositionStartTime; }
    void setCompositionStartTime(std::int32_t value) { mCompositionStartTime = value; }
    std::int32_t getCompositionEndTime() const { return mCompositionEndTime; }
    void setCompositionEndTime(std::int32_t value) { mCompositionEndTime = value; }

    void writeBox(BitStream& bitstr) override;
    /// Reads the five 32-bit fields whatever the version says.
    void parseBox(BitStream& bitstr) override;

private:
    std::int32_t mCompositionToDtsShift = 0;
    std::int32_t mLeastDecodeToDisplayDelta = 0;
    std::int32_t mGreatestDecodeToDisplayDelta = 0;
    std::int32_t mCompositionStartTime = 0;
    std::int32_t mCompositionEndTime = 0;
};
