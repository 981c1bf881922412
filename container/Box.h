#pragma once

#include <array>
#include <cstdint>

#include "BitStream.h"
#include "FourCCInt.h"

// Base of every box: the header (size, type, optional 64-bit largesize and 'uuid' user type).
// A concrete box parses from a stream that starts at its own first byte, and writes itself as
// header, payload, then updateSize() to patch the true size.
class Box
{
public:
    explicit Box(FourCCInt boxType);
    virtual ~Box() = default;

    virtual void writeBox(BitStream& bitstr) = 0;
    virtual void parseBox(BitStream& bitstr) = 0;

    std::uint32_t getSize() const { return mSize; }
    void setSize(std::uint32_t size) { mSize = size; }
    FourCCInt getType() const { return mType; }
    void setType(FourCCInt type) { mType = type; }
    std::uint64_t getLargeSize() const { return (std::uint64_t(mLargeSizeHigh) << 32) | mLargeSizeLow; }
    const std::array<std::uint8_t, 16>& getUserType() const { return mUserType; }
    void setUserType(const std::array<std::uint8_t, 16>& userType) { mUserType = userType; }

    /// Grows the size; past 32 bits the box switches to the largesize form.
    void increaseSize(std::uint32_t count);

    void writeBoxHeader(BitStream& bitstr);
    void parseBoxHeader(BitStream& bitstr);
    /// Patches the size of the box written since writeBoxHeader. A box in the largesize form
    /// keeps that form and gets its largesize patched, so the header stays consistent.
    void updateSize(BitStream& bitstr);

private:
    std::uint32_t mSize = 8;
    FourCCInt mType;
    std::uint32_t mLargeSizeHigh = 0;
    std::uint32_t mLargeSizeLow = 0;
    std::array<std::uint8_t, 16> mUserType{};
    std::uint32_t mStartLocation = 0;
};
