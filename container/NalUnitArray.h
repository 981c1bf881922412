#pragma once

#include <cstdint>
#include <vector>

class BitStream;

// One array of parameter-set NAL units as the decoder configuration records hold them: the
// units without start code or length prefix, in file order.
struct NalUnitArray
{
    std::uint8_t arrayCompleteness = 0;
    std::uint8_t nalUnitType = 0;
    std::vector<std::vector<std::uint8_t>> nalList;
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

/// Appends 00 00 00 01 and the unit to dest.
void appendWithStartCode(std::vector<std::uint8_t>& dest, const std::vector<std::uint8_t>& nalUnit);

/// Reads count units, each a u16 length and that many bytes, and adds them as addNalUnit does.
/// Each unit is read before it is stored, so a hostile count ends at the data's end.
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
