#include "MediaBox.h"

MediaBox::MediaBox() : Box(FourCCInt("mdia")) {}

void MediaBox::writeBox(BitStream& bitstr)
{
    writeBoxHeader(bitstr);
    mMediaHeaderBox.writeBox(bitstr);
    mHandlerBox.writeBox(bitstr);
    mMediaInformationBox.writeBox(bitstr);
    updateSize(bitstr);
}

void MediaBox::parseBox(BitStream& bitstr)
{
    parseBoxHeader(bitstr);
    while (bitstr.numBytesLeft() > 0)
    {
        FourCCInt type;
        BitStream child = bitstr.readChildBox(type);
        if (type == FourCCInt("hdlr"))
        {
            mHandlerBox.parseBox(child);
        }
        else if (type == FourCCInt("minf"))
        {
            mMediaInformationBox.parseBox(child);
        }
        else if (type == FourCCInt("mdhd"))
        {
            mMediaHeaderBox.parseBox(child);
        }
    }
}
