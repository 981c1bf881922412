#include "NalUnitArray.h"

#include <stdexcept>
#include <string>

#include "BitStream.h"

namespace NalUnitArrayUtil
{
namespace
{
void refuse(const char* recordName, const char* what)
{
    throw std::runtime_error(std::string(recordName) + ": " + what + " does not fit its field");
}

// Serves the const and the mutable lookup alike.
template <typename Arrays>
auto firstOfType(Arrays& arrays, std::uint8_t nalUnitType) -> decltype(&arrays.front())
{
    for (auto& array : arrays)
    {
        if (array.nalUnitType == nalUnitType)
        {
            return &array;
        }
    }
    return nullptr;
}
}  // namespace

const NalUnitArray* findArray(const NalUnitArrays& arrays, std::uint8_t nalUnitType)
{
    return firstOfType(arrays, nalUnitType);
}

NalUnitArray& findOrAddArray(NalUnitArrays& arrays, std::uint8_t nalUnitType, std::uint8_t arrayCompleteness)
{
    if (NalUnitArray* found = firstOfType(arrays, nalUnitType))
    {
        return *found;
    }
    arrays.push_back(NalUnitArray{arrayCompleteness, nalUnitType, {}});
    return arrays.back();
}

void addNalUnit(NalUnitArrays& arrays, const std::vector<std::uint8_t>& nalUnit, std::uint8_t nalUnitType,
                std::uint8_t arrayCompleteness)
{
    NalUnitArray& target = findOrAddArray(arrays, nalUnitType, arrayCompleteness);
    std::size_t zeros = 0;
    while (zeros < nalUnit.size() && nalUnit[zeros] == 0)
    {
        ++zeros;
    }
    std::size_t start = 0;
    if (zeros >= 2 && zeros < nalUnit.size() && nalUnit[zeros] == 1)
    {
        start = zeros + 1;
    }
    target.nalList.emplace_back(nalUnit.begin() + std::ptrdiff_t(start), nalUnit.end());
}

void appendWithStartCode(std::vector<std::uint8_t>& dest, const std::vector<std::uint8_t>& nalUnit)
{
    static const std::uint8_t startCode[] = {0, 0, 0, 1};
    dest.insert(dest.end(), std::begin(startCode), std::end(startCode));
    dest.insert(dest.end(), nalUnit.begin(), nalUnit.end());
}

void parseHevcArrays(BitStream& bitstr, NalUnitArrays& arrays)
{
    const std::uint32_t arrayCount = bitstr.readU8();
    for (std::uint32_t i = 0; i < arrayCount; ++i)
    {
        const std::uint8_t completeness = std::uint8_t(bitstr.readBits(1));
        bitstr.readBits(1);  // reserved
        const std::uint8_t type = std::uint8_t(bitstr.readBits(6));
        const std::uint32_t unitCount = bitstr.readU16();
        // Units join the first array of their type; an array announced without units is kept
        // too, so a record writes back as it was read.
        findOrAddArray(arrays, type, completeness);
        readUnits(bitstr, unitCount, arrays, type, completeness);
    }
}

void readUnits(BitStream& bitstr, std::uint32_t count, NalUnitArrays& arrays, std::uint8_t nalUnitType,
               std::uint8_t arrayCompleteness)
{
    for (std::uint32_t i = 0; i < count; ++i)
    {
        const std::uint32_t length = bitstr.readU16();
        std::vector<std::uint8_t> unit;
        bitstr.readBytes(unit, length);
        addNalUnit(arrays, unit, nalUnitType, arrayCompleteness);
    }
}

void writeUnits(BitStream& bitstr, const NalUnitArray& array)
{
    for (const auto& unit : array.nalList)
    {
        bitstr.writeU16(std::uint16_t(unit.size()));
        bitstr.writeBytes(unit, std::uint32_t(unit.size()));
    }
}

void checkUnitLengths(const NalUnitArray& array, const char* recordName)
{
    for (const auto& unit : array.nalList)
    {
        if (unit.size() > 0xFFFF)
        {
            refuse(recordName, "NAL unit length");
        }
    }
}

void checkHevcArrays(const NalUnitArrays& arrays, const char* recordName)
{
    if (arrays.size() > 0xFF)
    {
        refuse(recordName, "number of arrays");
    }
    for (const auto& array : arrays)
    {
        if (array.nalList.size() > 0xFFFF)
        {
            refuse(recordName, "number of NAL units");
        }
        checkUnitLengths(array, recordName);
    }
}

void writeHevcArrays(BitStream& bitstr, const NalUnitArrays& arrays)
{
    bitstr.writeU8(std::uint8_t(arrays.size()));
    for (const auto& array : arrays)
    {
        bitstr.writeBits(array.arrayCompleteness, 1);
        bitstr.writeBits(0, 1);  // reserved
        bitstr.writeBits(array.nalUnitType, 6);
        bitstr.writeU16(std::uint16_t(array.nalList.size()));
        writeUnits(bitstr, array);
    }
}
}  // namespace NalUnitArrayUtil
