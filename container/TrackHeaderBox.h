#pragma once

#include <cstdint>

#include "FullBox.h"

// 'tkhd': track ID, duration, alternate group and display size of a track. Version 1 stores
// 64-bit times; they are held in 32 bits, a too large duration saturating at 0xFFFFFFFE so
// that 0xFFFFFFFF keeps meaning "unknown".
class TrackHeaderBox : public FullBox
{
public:
    TrackHeaderBox();
    ~TrackHeaderBox() override = default;

    std::uint32_t getCreationTime() const { return mCreationTime; }
    void setCreationTime(std::uint32_t time) { mCreationTime = time; }
    std::uint32_t getModificationTime() const { return mModificationTime; }
    void setModificationTime(std::uint32_t time) { mModificationTime = time; }
    std::uint32_t getTrackID() const { return mTrackID; }
    void setTrackID(std::uint32_t id) { mTrackID = id; }
    /// In movie timescale units; 0xFFFFFFFF when unknown.
    std::uint32_t getDuration() const { return mDuration; }
    void setDuration(std::uint32_t duration) { mDuration = duration; }
    /// 16.16 fixed point.
    std::uint32_t getWidth() const { return mWidth; }
    void setWidth(std::uint32_t width) { mWidth = width; }
    std::uint32_t getHeight() const { return mHeight; }
    void setHeight(std::uint32_t height) { mHeight = height; }
    std::uint16_t getAlternateGroup() const { return mAlternateGroup; }
    void setAlternateGroup(std::uint16_t group) { mAlternateGroup = group; }

    /// Writes the unity matrix whatever was read; version 1 writes the 64-bit layout.
    void writeBox(BitStream& bitstr) override;
    void parseBox(BitStream& bitstr) override;

private:
    std::uint32_t mCreationTime = 0;
    std::uint32_t mModificationTime = 0;
    std::uint32_t mTrackID = 0;
    std::uint32_t mDuration = 0;
    std::uint32_t mWidth = 0;
    std::uint32_t mHeight = 0;
    std::uint16_t mAlternateGroup = 0;
};
