#include "MediaInformationBox.h"

MediaInformationBox::MediaInformationBox() : Box(FourCCInt("minf")) {}

void MediaInformationBox::writeBox(BitStream& bitstr)
{
    writeBoxHeader(bitstr);
    mVideoMediaHeaderBox.writeBox(bitstr);
    mDataInformationBox.writeBox(bitstr);
    mSampleTableBox.writeBox(bitstr);
    updateSize(bitstr);
}

void MediaInformationBox::parseBox(BitStream& bitstr)
{
    parseBoxHeader(bitstr);
    while (bitstr.numBytesLeft() > 0)
    {
        FourCCInt type;
        BitStream child = bitstr.readChildBox(type);
        if (type == FourCCInt("dinf"))
        {
            mDataInformationBox.parseBox(child);
        }
        else if (type == FourCCInt("stbl"))
        {
            mSampleTableBox.parseBox(child);
        }
        else if (type == FourCCInt("vmhd"))
        {
            mVideoMediaHeaderBox.parseBox(child);
        }
    }
}
