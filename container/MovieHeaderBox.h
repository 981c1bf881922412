#pragma once

#include <cstdint>
#include <vector>

#include "FullBox.h"
#include "TrackTimes.h"

// 'mvhd': movie-wide times, the movie timescale and the display matrix. Only version 0 is read.
class MovieHeaderBox : public FullBox, public TrackTimes::Fields
{
public:
    MovieHeaderBox();
    ~MovieHeaderBox() override = default;

    std::uint32_t getNextTrackID() const { return mNextTrackID; }
    void setNextTrackID(std::uint32_t id) { mNextTrackID = id; }
    std::vector<std::int32_t> getMatrix() const { return mMatrix; }
    void setMatrix(const std::vector<std::int32_t>& matrix) { mMatrix = matrix; }

    /// A matrix of fewer than 9 values throws std::out_of_range "vector".
    void writeBox(BitStream& bitstr) override;
    /// A version other than 0, and a timescale of 0 (every time of the movie is divided by
    /// it), throw std::runtime_error.
    void parseBox(BitStream& bitstr) override;

private:
    std::vector<std::int32_t> mMatrix;
    std::uint32_t mNextTrackID = 0;
};
