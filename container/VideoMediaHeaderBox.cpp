#include "VideoMediaHeaderBox.h"

VideoMediaHeaderBox::VideoMediaHeaderBox() : FullBox(FourCCInt("vmhd"), 0, 0) {}

void VideoMediaHeaderBox::writeBox(BitStream& bitstr)
{
    writeFullBoxHeader(bitstr);
    for (int i = 0; i < 4; ++i)
    {
        bitstr.writeU16(0);  // graphicsmode, opcolor
    }
    updateSize(bitstr);
}

void VideoMediaHeaderBox::parseBox(BitStream& bitstr)
{
    parseFullBoxHeader(bitstr);
    for (int i = 0; i < 4; ++i)
    {
        bitstr.readU16();
    }
}
