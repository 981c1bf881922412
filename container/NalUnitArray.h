#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "BitStream.h"

// One array of parameter-set NAL units as the decoder configuration records hold them: the units
// without start code or length prefix, in file order. Units read from a record stay where the
// file has them: the array keeps spans of the file's bytes (the units with their 16-bit lengths,
// as laid out there), so a record of many small units costs no allocation per unit and no copy.
// Units added in code go to spans of their own.
class NalUnitArray
{
public:
    std::uint8_t arrayCompleteness = 0;
    std::uint8_t nalUnitType = 0;

    NalUnitArray() = default;
    NalUnitArray(std::uint8_t completeness, std::uint8_t type,
                 const std::vector<std::vector<std::uint8_t>>& units = {});

    std::size_t unitCount() const { return mUnitCount; }
    bool empty() const { return mUnitCount == 0; }
    /// Calls visit(data, size) for every unit, in order.
    template <typename Visit>
    void forEachUnit(Visit visit) const;
    /// Copies of the units, in order.
    std::vector<std::vector<std::uint8_t>> units() const;

    /// Appends a unit, stripping a leading start code (two or more 0 bytes, then 1); a unit that
    /// does not begin with one is stored whole.
    void addUnit(const std::vector<std::uint8_t>& unit);
    /// Takes count units (a u16 length and that many bytes each) from the stream as one span of
    /// its bytes. The count is checked against the bytes left, and every length against the bytes
    /// after it, before anything is kept; start codes are stripped as addUnit does.
    void readUnits(BitStream& bitstr, std::uint32_t count);

private:
    /// Units laid out back to back in a buffer, each after a big-endian length of lengthSize bytes.
    struct Segment
    {
        BitStream::Span span;
        unsigned lengthSize = 2;
    };

    std::vector<Segment> mSegments;
    std::size_t mUnitCount = 0;
};

template <typename Visit>
void NalUnitArray::forEachUnit(Visit visit) const
{
    for (const Segment& segment : mSegments)
    {
        const std::uint8_t* at = segment.span.data();
        const std::uint8_t* const end = at + segment.span.length;
        while (at < end)
        {
            std::size_t length = 0;
            for (unsigned i = 0; i < segment.lengthSize; ++i)
            {
                length = (length << 8) | *at++;
            }
            // A leading start code is no part of the unit.
            std::size_t zeros = 0;
            while (zeros < length && at[zeros] == 0)
            {
                ++zeros;
            }
            const std::size_t skip = zeros >= 2 && zeros < length && at[zeros] == 1 ? zeros + 1 : 0;
            visit(at + skip, length - skip);
            at += length;
        }
    }
}

using NalUnitArrays = std::vector<NalUnitArray>;

namespace NalUnitArrayUtil
{
/// The first array of that type, or null.
const NalUnitArray* findArray(const NalUnitArrays& arrays, std::uint8_t nalUnitType);

/// The first array of that type, created (with that completeness) when there is none.
NalUnitArray& findOrAddArray(NalUnitArrays& arrays, std::uint8_t nalUnitType, std::uint8_t arrayCompleteness);

/// Appends the unit to the first array of that type, creating the array (with that
/// completeness) when there is none. A leading start code (two or more zero bytes, then 0x01)
/// is stripped; a unit that does not begin with one is stored whole.
void addNalUnit(NalUnitArrays& arrays, const std::vector<std::uint8_t>& nalUnit, std::uint8_t nalUnitType,
                std::uint8_t arrayCompleteness);

/// Appends 00 00 00 01 and the first unit of the array to dest (nothing when it is empty).
void appendFirstWithStartCode(std::vector<std::uint8_t>& dest, const NalUnitArray& array);
/// Appends 00 00 00 01 and the unit for every unit of the array to dest.
void appendAllWithStartCodes(std::vector<std::uint8_t>& dest, const NalUnitArray& array);

/// Reads count units, each a u16 length and that many bytes, into the first array of that type
/// (created when there is none). The count is checked against the bytes left (two at least per
/// unit) before anything is kept.
void readUnits(BitStream& bitstr, std::uint32_t count, NalUnitArrays& arrays, std::uint8_t nalUnitType,
               std::uint8_t arrayCompleteness);
/// Writes every unit of the array as a u16 length and its bytes (lengths checked by
/// checkUnitLengths beforehand).
void writeUnits(BitStream& bitstr, const NalUnitArray& array);

/// The HEVC-style array list: numOfArrays (8 bits), then per array completeness (1 bit), a
/// reserved 0 bit, the type (6 bits), numNalus (16 bits) and each unit as length u16 + bytes.
/// Arrays read are added to those already held.
void parseHevcArrays(BitStream& bitstr, NalUnitArrays& arrays);
void writeHevcArrays(BitStream& bitstr, const NalUnitArrays& arrays);
/// Throws std::runtime_error when the arrays do not fit the fields writeHevcArrays uses.
void checkHevcArrays(const NalUnitArrays& arrays, const char* recordName);

/// Throws std::runtime_error when a unit is longer than a 16-bit length field can say.
void checkUnitLengths(const NalUnitArray& array, const char* recordName);
}  // namespace NalUnitArrayUtil
