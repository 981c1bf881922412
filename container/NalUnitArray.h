#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class BitStream;

// One array of parameter-set NAL units as the decoder configuration records hold them: the
// units without start code or length prefix, in file order. The units lie back to back in one
// buffer, so a record of many small units costs its bytes and an end offset each, not an
// allocation per unit.
class NalUnitArray
{
public:
    std::uint8_t arrayCompleteness = 0;
    std::uint8_t nalUnitType = 0;

    NalUnitArray() = default;
    NalUnitArray(std::uint8_t completeness, std::uint8_t type, const std::vector<std::vector<std::uint8_t>>& units = {});

    std::size_t unitCount() const { return mEnds.size(); }
    bool empty() const { return mEnds.empty(); }
    /// The bytes of the unit at that index (below unitCount()).
    const std::uint8_t* unitData(std::size_t index) const { return mBytes.data() + unitStart(index); }
    std::size_t unitSize(std::size_t index) const { return mEnds[index] - unitStart(index); }
    /// Copies of the units, in order.
    std::vector<std::vector<std::uint8_t>> units() const;
    /// Writes the unit's bytes (no length) to the stream.
    void writeUnit(BitStream& bitstr, std::size_t index) const;

    /// Appends a unit as it is.
    void addUnit(const std::uint8_t* data, std::size_t size);
    /// Reads a unit of length bytes from the stream straight into the buffer (checked first).
    void readUnit(BitStream& bitstr, std::uint32_t length);
    /// Strips a start code (two or more 0 bytes, then 1) from the front of the last unit.
    void stripStartCodeOfLastUnit();
    void reserveUnits(std::size_t count) { mEnds.reserve(count); }

private:
    std::size_t unitStart(std::size_t index) const { return index == 0 ? 0 : mEnds[index - 1]; }

    std::vector<std::uint8_t> mBytes;
    std::vector<std::uint32_t> mEnds;  // end of each unit in mBytes (records are below 4 GiB)
};

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

/// Appends 00 00 00 01 and the unit at that index of the array to dest.
void appendWithStartCode(std::vector<std::uint8_t>& dest, const NalUnitArray& array, std::size_t index);

/// Reads count units, each a u16 length and that many bytes, and adds them as addNalUnit does.
/// The count is checked against the bytes left (two at least per unit) before anything is
/// sized from it.
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
