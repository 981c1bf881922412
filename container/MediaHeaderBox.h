#pragma once

#include <cstdint>

#include "FullBox.h"
#include "TrackTimes.h"

// 'mdhd': times and timescale of a track's media. Version 1 stores 64-bit times; they are held
// in 32 bits like the track header's.
class MediaHeaderBox : public FullBox, public TrackTimes::Fields
{
public:
    MediaHeaderBox();
    ~MediaHeaderBox() override = default;

    void writeBox(BitStream& bitstr) override;
    /// A timescale of 0 throws std::runtime_error.
    void parseBox(BitStream& bitstr) override;
};
