#include "SampleGroupDescriptionBox.h"

#include <stdexcept>

#include "DirectReferenceSampleListEntry.h"
#include "LogStream.h"

SampleGroupDescriptionBox::SampleGroupDescriptionBox() : FullBox(FourCCInt("sgpd"), 0, 0) {}

void SampleGroupDescriptionBox::setGroupingType(const std::string& groupingType)
{
    if (groupingType.length() != 4)
    {
        throw std::runtime_error(
            "SampleGroupDescriptionBox::setGroupingType: invalid grouping type length, must be 4 characters");
    }
    mGroupingType = groupingType;
}

const SampleGroupEntry* SampleGroupDescriptionBox::getEntry(std::uint32_t index) const
{
    if (index == 0 || index > mSampleGroupEntry.size())
    {
        throwVectorOutOfRange();
    }
    return mSampleGroupEntry[index - 1].get();
}

std::uint32_t SampleGroupDescriptionBox::getEntryIndexOfSampleId(std::uint32_t sampleId) const
{
    for (std::size_t i = 0; i < mSampleGroupEntry.size(); ++i)
    {
        const auto* entry = dynamic_cast<const DirectReferenceSampleListEntry*>(mSampleGroupEntry[i].get());
        if (entry != nullptr && entry->getSampleId() == sampleId)
        {
            return std::uint32_t(i + 1);
        }
    }
    throw std::runtime_error("SampleGroupDescriptionBox::getEntryIndexOfSampleId: no entry for sampleId found.");
}

void SampleGroupDescriptionBox::writeBox(BitStream& bitstr)
{
    if (mSampleGroupEntry.empty())
    {
        throw std::runtime_error("SampleGroupDescriptionBox::writeBox: not writing an invalid box without entries");
    }
    if (mGroupingType.length() != 4)
    {
        throw std::runtime_error("SampleGroupDescriptionBox::writeBox: Invalid grouping_type length");
    }
    writeFullBoxHeader(bitstr);
    bitstr.writeString(mGroupingType);
    if (getVersion() == 1)
    {
        bitstr.writeU32(mDefaultLength);
    }
    bitstr.writeU32(std::uint32_t(mSampleGroupEntry.size()));
    for (const auto& entry : mSampleGroupEntry)
    {
        if (getVersion() == 1 && mDefaultLength == 0)
        {
            bitstr.writeU32(entry->getSize());
        }
        entry->writeEntry(bitstr);
    }
    updateSize(bitstr);
}

void SampleGroupDescriptionBox::parseBox(BitStream& bitstr)
{
    parseFullBoxHeader(bitstr);
    bitstr.readString(mGroupingType, 4);
    if (getVersion() == 1)
    {
        mDefaultLength = bitstr.readU32();
    }
    const std::uint32_t entryCount = bitstr.readU32();
    mSampleGroupEntry.clear();
    const bool isRefs = mGroupingType == "refs";

    if (getVersion() != 1)
    {
        // Without stored lengths, 'refs' entries are read back to back; entries of other types
        // cannot be delimited, so the rest of the box is left unread.
        if (!isRefs)
        {
            if (entryCount != 0)
            {
                logWarning() << "Skipping an entry of SampleGroupDescriptionBox of an unknown grouping type '"
                             << mGroupingType << "'." << std::endl;
            }
            return;
        }
        for (std::uint32_t i = 0; i < entryCount && bitstr.numBytesLeft() > 0; ++i)
        {
            auto entry = std::make_unique<DirectReferenceSampleListEntry>();
            entry->parseEntry(bitstr);
            mSampleGroupEntry.push_back(std::move(entry));
        }
        return;
    }

    bool warned = false;
    for (std::uint32_t i = 0; i < entryCount; ++i)
    {
        // An entry without bytes describes nothing; a count of 2^32 of them must not spin.
        if (bitstr.numBytesLeft() == 0)
        {
            logWarning() << "SampleGroupDescriptionBox: entry count " << entryCount
                         << " exceeds the entries present; read " << i << "." << std::endl;
            break;
        }
        std::uint32_t length = mDefaultLength;
        if (mDefaultLength == 0)
        {
            length = bitstr.readU32();
        }
        if (length == 0)
        {
            logWarning() << "SampleGroupDescriptionBox: stopping at an entry of length 0." << std::endl;
            break;
        }
        if (length > bitstr.numBytesLeft())
        {
            throwVectorOutOfRange();
        }
        BitStream entryStream;
        const std::uint32_t start = bitstr.getPos();
        bitstr.extract(start, start + length, entryStream);
        bitstr.setPosition(start + length);
        if (isRefs)
        {
            auto entry = std::make_unique<DirectReferenceSampleListEntry>();
            entry->parseEntry(entryStream);
            mSampleGroupEntry.push_back(std::move(entry));
        }
        else if (!warned)
        {
            logWarning() << "Skipping an entry of SampleGroupDescriptionBox of an unknown grouping type '"
                         << mGroupingType << "'." << std::endl;
            warned = true;
        }
    }
}
