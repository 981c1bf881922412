#include "AvcDecoderConfigRecord.h"

#include <stdexcept>

#include "AvcParameterSets.h"
#include "BitStream.h"
#include "ConfigRecordFields.h"

namespace
{
constexpr std::uint8_t kSps = 7;
constexpr std::uint8_t kPps = 8;
constexpr std::uint8_t kSpsExt = 13;
const char* const kName = "AvcDecoderConfigRecord";

void checkArray(const NalUnitArray* array, std::size_t maxCount)
{
    if (array == nullptr)
    {
        return;
    }
    if (array->unitCount() > maxCount)
    {
        throw std::runtime_error(std::string(kName) + ": too many NAL units of type " +
                                 std::to_string(array->nalUnitType) + " for the count field");
    }
    NalUnitArrayUtil::checkUnitLengths(*array, kName);
}

void writeUnits(BitStream& bitstr, const NalUnitArray* array)
{
    if (array != nullptr)
    {
        NalUnitArrayUtil::writeUnits(bitstr, *array);
    }
}

std::uint32_t unitCount(const NalUnitArray* array)
{
    return array == nullptr ? 0 : std::uint32_t(array->unitCount());
}
}  // namespace

bool AvcDecoderConfigRecord::hasExtension() const
{
    return mAvcProfileIndication == 100 || mAvcProfileIndication == 110 || mAvcProfileIndication == 122 ||
           mAvcProfileIndication == 144;
}

void AvcDecoderConfigRecord::configureFromSps(const std::vector<std::uint8_t>& sps)
{
    mLengthSizeMinus1 = 3;
    mNalArray.clear();

    SPSConfigValues values;
    parseSPSConfigValues(sps, values);
    mChromaFormat = values.mChromaFormat;
    mBitDepthLumaMinus8 = values.mBitDepthLumaMinus8;
    mBitDepthChromaMinus8 = values.mBitDepthChromaMinus8;
    mPicWidth = values.mPicWidth;
    mPicHeight = values.mPicHeight;
}

void AvcDecoderConfigRecord::addNalUnit(const std::vector<std::uint8_t>& nalUnit, std::uint8_t nalUnitType,
                                        std::uint8_t arrayCompleteness)
{
    NalUnitArrayUtil::addNalUnit(mNalArray, nalUnit, nalUnitType, arrayCompleteness);
}

const NalUnitArray* AvcDecoderConfigRecord::findNalArray(std::uint8_t nalUnitType) const
{
    return NalUnitArrayUtil::findArray(mNalArray, nalUnitType);
}

void AvcDecoderConfigRecord::appendParameterSets(std::vector<std::uint8_t>& dest, std::uint8_t nalUnitType) const
{
    const NalUnitArray* array = findNalArray(nalUnitType);
    if (array != nullptr)
    {
        NalUnitArrayUtil::appendFirstWithStartCode(dest, *array);
    }
}

void AvcDecoderConfigRecord::writeDecConfigRecord(BitStream& bitstr) const
{
    const NalUnitArray* sps = findNalArray(kSps);
    const NalUnitArray* pps = findNalArray(kPps);
    const NalUnitArray* spsExt = hasExtension() ? findNalArray(kSpsExt) : nullptr;
    checkArray(sps, 31);
    checkArray(pps, 0xFF);
    checkArray(spsExt, 0xFF);

    bitstr.writeU8(mConfigurationVersion);
    bitstr.writeU8(mAvcProfileIndication);
    bitstr.writeU8(mProfileCompatibility);
    bitstr.writeU8(mAvcLevelIndication);
    bitstr.writeBits(0x3F, 6);  // reserved
    bitstr.writeBits(mLengthSizeMinus1, 2);
    bitstr.writeBits(0x7, 3);  // reserved
    bitstr.writeBits(unitCount(sps), 5);
    writeUnits(bitstr, sps);
    bitstr.writeU8(std::uint8_t(unitCount(pps)));
    writeUnits(bitstr, pps);
    if (hasExtension())
    {
        ConfigRecordFields::writeChromaAndBitDepths(bitstr, mChromaFormat, mBitDepthLumaMinus8, mBitDepthChromaMinus8);
        bitstr.writeU8(std::uint8_t(unitCount(spsExt)));
        writeUnits(bitstr, spsExt);
    }
}

void AvcDecoderConfigRecord::parseConfig(BitStream& bitstr)
{
    mConfigurationVersion = std::uint8_t(bitstr.readU8());
    mAvcProfileIndication = std::uint8_t(bitstr.readU8());
    mProfileCompatibility = std::uint8_t(bitstr.readU8());
    mAvcLevelIndication = std::uint8_t(bitstr.readU8());
    bitstr.readBits(6);  // reserved
    mLengthSizeMinus1 = std::uint8_t(bitstr.readBits(2));
    bitstr.readBits(3);  // reserved
    NalUnitArrayUtil::readUnits(bitstr, bitstr.readBits(5), mNalArray, kSps, 0);
    NalUnitArrayUtil::readUnits(bitstr, bitstr.readU8(), mNalArray, kPps, 0);

    if (bitstr.numBytesLeft() > 0 && hasExtension())
    {
        ConfigRecordFields::readChromaAndBitDepths(bitstr, mChromaFormat, mBitDepthLumaMinus8, mBitDepthChromaMinus8);
        NalUnitArrayUtil::readUnits(bitstr, bitstr.readU8(), mNalArray, kSpsExt, 0);
    }
}
