#pragma once

#include "Box.h"

// Box with an 8-bit version and 24-bit flags after the header.
class FullBox : public Box
{
public:
    FullBox(FourCCInt boxType, std::uint8_t version, std::uint32_t flags);
    ~FullBox() override = default;

    std::uint8_t getVersion() const { return mVersion; }
    void setVersion(std::uint8_t version) { mVersion = version; }
    std::uint32_t getFlags() const { return mFlags; }
    void setFlags(std::uint32_t flags) { mFlags = flags & 0xFFFFFF; }

    void writeFullBoxHeader(BitStream& bitstr);
    void parseFullBoxHeader(BitStream& bitstr);

private:
    std::uint8_t mVersion;
    std::uint32_t mFlags;
};
