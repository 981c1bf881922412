#include "NalUnitArray.h"

#include <stdexcept>
#include <string>

#include "BitStream.h"

NalUnitArray::NalUnitArray(std::uint8_t completeness, std::uint8_t type,
                           const std::vector<std::vector<std::uint8_t>>& units)
    : arrayCompleteness(completeness), nalUnitType(type)
{
    for (const auto& unit : units)
    {
        addUnit(unit.data(), unit.size());
    }
}

std::vector<std::vector<std::uint8_t>> NalUnitArray::units() const
{
    std::vector<std::vector<std::uint8_t>> copies;
    copies.reserve(unitCount());
    for (std::size_t i = 0; i < unitCount(); ++i)
    {
        copies.emplace_back(unitData(i), unitData(i) + unitSize(i));
    }
    return copies;
}

void NalUnitArray::writeUnit(BitStream& bitstr, std::size_t index) const
{
    bitstr.writeBytes(mBytes, std::uint32_t(unitSize(index)), std::uint32_t(unitStart(index)));
}

void NalUnitArray::addUnit(const std::uint8_t* data, std::size_t size)
{
    if (mBytes.size() + size > 0xFFFFFFFFu)
    {
        throw std::length_error("NalUnitArray: units of 4 GiB or more");
    }
    mBytes.insert(mBytes.end(), data, data + size);
    mEnds.push_back(std::uint32_t(mBytes.size()));
}

void NalUnitArray::readUnit(BitStream& bitstr, std::uint32_t length)
{
    // A stream holds less than 4 GiB, and so does what is read from it.
    bitstr.readBytes(mBytes, length);
    mEnds.push_back(std::uint32_t(mBytes.size()));
}

void NalUnitArray::stripStartCodeOfLastUnit()
{
    if (empty())
    {
        return;
    }
    const std::size_t start = unitStart(unitCount() - 1);
    std::size_t zeros = 0;
    while (start + zeros < mBytes.size() && mBytes[start + zeros] == 0)
    {
        ++zeros;
    }
    if (zeros >= 2 && start + zeros < mBytes.size() && mBytes[start + zeros] == 1)
    {
        mBytes.erase(mBytes.begin() + std::ptrdiff_t(start), mBytes.begin() + std::ptrdiff_t(start + zeros + 1));
        mEnds.back() = std::uint32_t(mBytes.size());
    }
}

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
    target.addUnit(nalUnit.data(), nalUnit.size());
    target.stripStartCodeOfLastUnit();
}

void appendWithStartCode(std::vector<std::uint8_t>& dest, const NalUnitArray& array, std::size_t index)
{
    static const std::uint8_t startCode[] = {0, 0, 0, 1};
    dest.insert(dest.end(), std::begin(startCode), std::end(startCode));
    dest.insert(dest.end(), array.unitData(index), array.unitData(index) + array.unitSize(index));
}

void parseHevcArrays(BitStream& bitstr, NalUnitArrays& arrays)
{
    const std::uint32_t arrayCount = bitstr.readU8();
    // An array header takes three bytes.
    if (std::uint64_t(arrayCount) * 3 > bitstr.numBytesLeft())
    {
        throwVectorOutOfRange();
    }
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
    // Every unit takes its two length bytes at least.
    if (std::uint64_t(count) * 2 > bitstr.numBytesLeft())
    {
        throwVectorOutOfRange();
    }
    if (count == 0)
    {
        return;
    }
    NalUnitArray& target = findOrAddArray(arrays, nalUnitType, arrayCompleteness);
    target.reserveUnits(target.unitCount() + count);
    for (std::uint32_t i = 0; i < count; ++i)
    {
        target.readUnit(bitstr, bitstr.readU16());
        target.stripStartCodeOfLastUnit();
    }
}

void writeUnits(BitStream& bitstr, const NalUnitArray& array)
{
    for (std::size_t i = 0; i < array.unitCount(); ++i)
    {
        bitstr.writeU16(std::uint16_t(array.unitSize(i)));
        array.writeUnit(bitstr, i);
    }
}

void checkUnitLengths(const NalUnitArray& array, const char* recordName)
{
    for (std::size_t i = 0; i < array.unitCount(); ++i)
    {
        if (array.unitSize(i) > 0xFFFF)
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
        if (array.unitCount() > 0xFFFF)
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
        bitstr.writeU16(std::uint16_t(array.unitCount()));
        writeUnits(bitstr, array);
    }
}
}  // namespace NalUnitArrayUtil
