#include "NalUnitArray.h"

#include <memory>
#include <stdexcept>
#include <string>

NalUnitArray::NalUnitArray(std::uint8_t completeness, std::uint8_t type,
                           const std::vector<std::vector<std::uint8_t>>& units)
    : arrayCompleteness(completeness), nalUnitType(type)
{
    for (const auto& unit : units)
    {
        addUnit(unit);
    }
}

std::vector<std::vector<std::uint8_t>> NalUnitArray::units() const
{
    std::vector<std::vector<std::uint8_t>> copies;
    copies.reserve(unitCount());
    forEachUnit([&copies](const std::uint8_t* data, std::size_t size) { copies.emplace_back(data, data + size); });
    return copies;
}

void NalUnitArray::addUnit(const std::vector<std::uint8_t>& unit)
{
    if (unit.size() > 0xFFFFFFFFu - 4)
    {
        throw std::length_error("NalUnitArray: a unit of 4 GiB or more");
    }
    auto buffer = std::make_shared<std::vector<std::uint8_t>>();
    buffer->reserve(unit.size() + 4);
    for (int shift = 24; shift >= 0; shift -= 8)
    {
        buffer->push_back(std::uint8_t(unit.size() >> shift));
    }
    buffer->insert(buffer->end(), unit.begin(), unit.end());
    Segment segment;
    segment.span.length = std::uint32_t(buffer->size());
    segment.span.buffer = std::move(buffer);
    segment.lengthSize = 4;
    mSegments.push_back(std::move(segment));
    ++mUnitCount;
}

void NalUnitArray::readUnits(BitStream& bitstr, std::uint32_t count)
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
    // The lengths are walked first, so the span taken covers whole units only.
    const std::uint32_t start = bitstr.getPos();
    for (std::uint32_t i = 0; i < count; ++i)
    {
        const std::uint32_t length = bitstr.readU16();
        if (length > bitstr.numBytesLeft())
        {
            throwVectorOutOfRange();
        }
        bitstr.setPosition(bitstr.getPos() + length);
    }
    const std::uint32_t end = bitstr.getPos();
    bitstr.setPosition(start);
    Segment segment;
    segment.span = bitstr.readSpan(end - start);
    mSegments.push_back(std::move(segment));
    mUnitCount += count;
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

void appendWithStartCode(std::vector<std::uint8_t>& dest, const std::uint8_t* data, std::size_t size)
{
    static const std::uint8_t startCode[] = {0, 0, 0, 1};
    dest.insert(dest.end(), std::begin(startCode), std::end(startCode));
    dest.insert(dest.end(), data, data + size);
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
    arrays.push_back(NalUnitArray(arrayCompleteness, nalUnitType));
    return arrays.back();
}

void addNalUnit(NalUnitArrays& arrays, const std::vector<std::uint8_t>& nalUnit, std::uint8_t nalUnitType,
                std::uint8_t arrayCompleteness)
{
    findOrAddArray(arrays, nalUnitType, arrayCompleteness).addUnit(nalUnit);
}

void appendFirstWithStartCode(std::vector<std::uint8_t>& dest, const NalUnitArray& array)
{
    bool first = true;
    array.forEachUnit(
        [&](const std::uint8_t* data, std::size_t size)
        {
            if (first)
            {
                appendWithStartCode(dest, data, size);
                first = false;
            }
        });
}

void appendAllWithStartCodes(std::vector<std::uint8_t>& dest, const NalUnitArray& array)
{
    array.forEachUnit([&dest](const std::uint8_t* data, std::size_t size) { appendWithStartCode(dest, data, size); });
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
    if (count == 0)
    {
        return;
    }
    findOrAddArray(arrays, nalUnitType, arrayCompleteness).readUnits(bitstr, count);
}

void writeUnits(BitStream& bitstr, const NalUnitArray& array)
{
    array.forEachUnit(
        [&bitstr](const std::uint8_t* data, std::size_t size)
        {
            bitstr.writeU16(std::uint16_t(size));
            for (std::size_t i = 0; i < size; ++i)
            {
                bitstr.writeU8(data[i]);
            }
        });
}

void checkUnitLengths(const NalUnitArray& array, const char* recordName)
{
    array.forEachUnit(
        [recordName](const std::uint8_t*, std::size_t size)
        {
            if (size > 0xFFFF)
            {
                refuse(recordName, "NAL unit length");
            }
        });
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
