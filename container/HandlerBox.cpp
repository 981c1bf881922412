#include "HandlerBox.h"

#include "LogStream.h"

HandlerBox::HandlerBox() : FullBox(FourCCInt("hdlr"), 0, 0) {}

void HandlerBox::writeBox(BitStream& bitstr)
{
    writeFullBoxHeader(bitstr);
    bitstr.writeU32(0);  // pre_defined
    bitstr.writeString(mHandlerType);
    for (int i = 0; i < 3; ++i)
    {
        bitstr.writeU32(0);  // reserved
    }
    bitstr.writeZeroTerminatedString(mName);
    updateSize(bitstr);
}

void HandlerBox::parseBox(BitStream& bitstr)
{
    parseFullBoxHeader(bitstr);
    bitstr.readU32();  // pre_defined
    bitstr.readString(mHandlerType, 4);
    for (int i = 0; i < 3; ++i)
    {
        bitstr.readU32();  // reserved
    }
    bitstr.readZeroTerminatedString(mName);
    if (mHandlerType != "pict")
    {
        logWarning() << "Unknown media handler in track: " << mHandlerType << std::endl;
    }
}
