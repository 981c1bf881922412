#include "SampleTableBox.h"

#include <stdexcept>

#include "LogStream.h"

namespace
{
template <typename BoxT>
void copyInto(std::shared_ptr<BoxT>& held, const BoxT& box)
{
    if (held)
    {
        *held = box;
    }
    else
    {
        held = std::make_shared<BoxT>(box);
    }
}
}  // namespace

SampleTableBox::SampleTableBox() : Box(FourCCInt("stbl")) {}

void SampleTableBox::setSyncSampleBox(const SyncSampleBox& box)
{
    copyInto(mSyncSampleBox, box);
}

void SampleTableBox::setCompositionOffsetBox(const CompositionOffsetBox& box)
{
    copyInto(mCompositionOffsetBox, box);
}

void SampleTableBox::setCompositionToDecodeBox(const CompositionToDecodeBox& box)
{
    copyInto(mCompositionToDecodeBox, box);
}

const SampleGroupDescriptionBox& SampleTableBox::getSampleGroupDescriptionBox(const std::string& groupingType) const
{
    if (!mSampleGroupDescriptionBox || mSampleGroupDescriptionBox->getGroupingType() != groupingType)
    {
        throw std::runtime_error("SampleGroupDescriptionBox with groupingType=" + groupingType + " not found.");
    }
    return *mSampleGroupDescriptionBox;
}

void SampleTableBox::setSampleGroupDescriptionBox(std::unique_ptr<SampleGroupDescriptionBox> box)
{
    mSampleGroupDescriptionBox = std::move(box);
}

SampleToGroupBox& SampleTableBox::addSampleToGroupBox()
{
    mSampleToGroupBoxes.emplace_back();
    return mSampleToGroupBoxes.back();
}

void SampleTableBox::writeBox(BitStream& bitstr)
{
    writeBoxHeader(bitstr);
    mSampleDescriptionBox.writeBox(bitstr);
    mTimeToSampleBox.writeBox(bitstr);
    mSampleToChunkBox.writeBox(bitstr);
    mChunkOffsetBox.writeBox(bitstr);
    mSampleSizeBox.writeBox(bitstr);
    if (mSyncSampleBox)
    {
        mSyncSampleBox->writeBox(bitstr);
    }
    if (mCompositionOffsetBox)
    {
        mCompositionOffsetBox->writeBox(bitstr);
    }
    if (mCompositionToDecodeBox)
    {
        mCompositionToDecodeBox->writeBox(bitstr);
    }
    if (mSampleGroupDescriptionBox)
    {
        mSampleGroupDescriptionBox->writeBox(bitstr);
    }
    for (auto& sampleToGroup : mSampleToGroupBoxes)
    {
        sampleToGroup.writeBox(bitstr);
    }
    updateSize(bitstr);
}

void SampleTableBox::parseBox(BitStream& bitstr)
{
    parseBoxHeader(bitstr);
    while (bitstr.numBytesLeft() > 0)
    {
        FourCCInt type;
        BitStream child = bitstr.readChildBox(type);
        if (type == FourCCInt("stco") || type == FourCCInt("co64"))
        {
            mChunkOffsetBox.parseBox(child);
        }
        else if (type == FourCCInt("cslg"))
        {
            mCompositionToDecodeBox = std::make_shared<CompositionToDecodeBox>();
            mCompositionToDecodeBox->parseBox(child);
        }
        else if (type == FourCCInt("ctts"))
        {
            mCompositionOffsetBox = std::make_shared<CompositionOffsetBox>();
            mCompositionOffsetBox->parseBox(child);
        }
        else if (type == FourCCInt("stss"))
        {
            mSyncSampleBox = std::make_shared<SyncSampleBox>();
            mSyncSampleBox->parseBox(child);
        }
        else if (type == FourCCInt("sbgp"))
        {
            SampleToGroupBox sampleToGroup;
            sampleToGroup.parseBox(child);
            mSampleToGroupBoxes.push_back(std::move(sampleToGroup));
        }
        else if (type == FourCCInt("sgpd"))
        {
            auto description = std::make_unique<SampleGroupDescriptionBox>();
            description->parseBox(child);
            mSampleGroupDescriptionBox = std::move(description);
        }
        else if (type == FourCCInt("stsc"))
        {
            mSampleToChunkBox.parseBox(child);
        }
        else if (type == FourCCInt("stsd"))
        {
            mSampleDescriptionBox.parseBox(child);
        }
        else if (type == FourCCInt("stsz"))
        {
            mSampleSizeBox.parseBox(child);
        }
        else if (type == FourCCInt("stts"))
        {
            mTimeToSampleBox.parseBox(child);
        }
        else
        {
            logWarning() << "Skipping unknown box of type '" << type << "' inside SampleTableBox" << std::endl;
        }
    }
    mSampleToChunkBox.decodeEntries(mChunkOffsetBox.getChunkCount());
}
