#pragma once

#include <cstdint>

#include "FullBox.h"

// 'mdhd': times and timescale of a track's media. Version 1 stores 64-bit times; they are held
// in 32 bits like the track header's.
class MediaHeaderBox : public FullBox
{
public:
    MediaHeaderBox();
    ~MediaHeaderBox() override = default;

    std::uint32_t getCreationTime() const { return mCreationTime; }
    void setCreationTime(std::uint32_t time) { mCreationTime = time; }
    std::uint32_t getModificationTime() const { return mModificationTime; }
    void setModificationTime(std::uint32_t time) { mModificationTime = time; }
    std::uint32_t getTimeScale() const { return mTimeScale; }
    void setTimeScale(std::uint32_t timeScale) { mTimeScale = timeScale; }
    std::uint32_t getDuration() const { return mDuration; }
    void setDuration(std::uint32_t duration) { mDuration = duration; }

    void writeBox(BitStream& bitstr) override;
    /// A timescale of 0 throws std::runtime_error.
    void parseBox(BitStream& bitstr) override;

private:
    std::uint32_t mCreationTime = 0;
    std::uint32_t mModificationTime = 0;
    std::uint32_t mTimeScale = 0;
    std::uint32_t mDuration = 0;
};
