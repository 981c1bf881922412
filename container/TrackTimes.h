#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

#include "BitStream.h"

// The 32/64-bit time fields shared by 'tkhd', 'mdhd' and 'mvhd'. Values are held in 32 bits.
namespace TrackTimes
{
/// A 64-bit time or duration held in 32 bits: all-ones stays all-ones ("unknown"), anything
/// else too large saturates at 0xFFFFFFFE.
inline std::uint32_t narrow(std::uint64_t value)
{
    if (value == ~std::uint64_t(0))
    {
        return 0xFFFFFFFF;
    }
    return value > 0xFFFFFFFEull ? 0xFFFFFFFE : std::uint32_t(value);
}

/// Reads a version-dependent field: 64 bits in version 1, else 32.
inline std::uint32_t read(BitStream& bitstr, bool wide)
{
    return wide ? narrow(bitstr.readU64()) : bitstr.readU32();
}

/// Writes a version-dependent field; 0xFFFFFFFF widens to all-ones.
inline void write(BitStream& bitstr, bool wide, std::uint32_t value)
{
    if (!wide)
    {
        bitstr.writeU32(value);
    }
    else
    {
        bitstr.writeU64(value == 0xFFFFFFFF ? ~std::uint64_t(0) : value);
    }
}

/// Creation and modification time, timescale and duration, in the order 'mvhd' and 'mdhd'
/// store them; the headers inherit the fields, their accessors and the reading and writing.
class Fields
{
public:
    std::uint32_t getCreationTime() const { return mCreationTime; }
    void setCreationTime(std::uint32_t time) { mCreationTime = time; }
    std::uint32_t getModificationTime() const { return mModificationTime; }
    void setModificationTime(std::uint32_t time) { mModificationTime = time; }
    std::uint32_t getTimeScale() const { return mTimeScale; }
    void setTimeScale(std::uint32_t timeScale) { mTimeScale = timeScale; }
    std::uint32_t getDuration() const { return mDuration; }
    void setDuration(std::uint32_t duration) { mDuration = duration; }

protected:
    void writeFields(BitStream& bitstr, bool wide) const
    {
        write(bitstr, wide, mCreationTime);
        write(bitstr, wide, mModificationTime);
        bitstr.writeU32(mTimeScale);
        write(bitstr, wide, mDuration);
    }

    /// A timescale of 0 (every time of the box is divided by it) throws std::runtime_error
    /// naming boxName.
    void parseFields(BitStream& bitstr, bool wide, const char* boxName)
    {
        mCreationTime = read(bitstr, wide);
        mModificationTime = read(bitstr, wide);
        mTimeScale = bitstr.readU32();
        mDuration = read(bitstr, wide);
        if (mTimeScale == 0)
        {
            throw std::runtime_error(std::string(boxName) + "::parseBox() timescale 0 is invalid");
        }
    }

private:
    std::uint32_t mCreationTime = 0;
    std::uint32_t mModificationTime = 0;
    std::uint32_t mTimeScale = 0;
    std::uint32_t mDuration = 0;
};
}  // namespace TrackTimes
