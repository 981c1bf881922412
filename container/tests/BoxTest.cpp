#include <gtest/gtest.h>

#include "Box.h"
#include "BoxBuilder.h"
#include "FullBox.h"

using testsupport::ByteBuilder;
using testsupport::Bytes;

namespace
{
// A box with an opaque payload, to exercise the base classes on their own.
class RawBox : public Box
{
public:
    RawBox() : Box(FourCCInt("test")) {}
    Bytes payload;
    void writeBox(BitStream& bitstr) override
    {
        writeBoxHeader(bitstr);
        bitstr.writeBytes(payload, std::uint32_t(payload.size()), 0);
        updateSize(bitstr);
    }
    void parseBox(BitStream& bitstr) override
    {
        parseBoxHeader(bitstr);
        payload.clear();
        bitstr.readBytes(payload, bitstr.numBytesLeft());
    }
};

class EmptyFullBox : public FullBox
{
public:
    EmptyFullBox() : FullBox(FourCCInt("meta"), 0, 0) {}
    void writeBox(BitStream& bitstr) override
    {
        writeFullBoxHeader(bitstr);
        updateSize(bitstr);
    }
    void parseBox(BitStream& bitstr) override { parseFullBoxHeader(bitstr); }
};
}  // namespace

TEST(Box, NewFullBoxWritesTwelveBytes)
{
    EmptyFullBox box;
    EXPECT_EQ(box.getSize(), 12u);
    EXPECT_EQ(testsupport::writeBytes(box), (Bytes{0, 0, 0, 0x0C, 'm', 'e', 't', 'a', 0, 0, 0, 0}));
}

TEST(Box, FullHeaderFields)
{
    EmptyFullBox box;
    testsupport::parseBytes(box, testsupport::makeFullBox("meta", 2, 0x010203, {}));
    EXPECT_EQ(box.getVersion(), 2);
    EXPECT_EQ(box.getFlags(), 0x010203u);
    EXPECT_EQ(testsupport::writeBytes(box), testsupport::makeFullBox("meta", 2, 0x010203, {}));
}

TEST(Box, IncreaseSizeSwitchesToLargeForm)
{
    RawBox box;
    box.setSize(0xFFFFFFFC);
    box.increaseSize(8);
    EXPECT_EQ(box.getSize(), 1u);
    EXPECT_EQ(box.getLargeSize(), 0x10000000Cull);
    box.increaseSize(0xFFFFFFFF);
    EXPECT_EQ(box.getLargeSize(), 0x10000000Cull + 0xFFFFFFFFull);
}

TEST(Box, ParsesLargeSizeHeader)
{
    RawBox box;
    testsupport::parseBytes(box, ByteBuilder().u32(1).str("mdat").u64(32).u64(0).u64(0));
    EXPECT_EQ(box.getSize(), 1u);
    EXPECT_EQ(box.getType(), FourCCInt("mdat"));
    EXPECT_EQ(box.getLargeSize(), 32u);
    EXPECT_EQ(box.payload.size(), 16u);
}

TEST(Box, LargeFormWritesBackConsistently)
{
    const Bytes original = ByteBuilder().u32(1).str("test").u64(20).u32(0xAABBCCDD);
    RawBox box;
    testsupport::parseBytes(box, original);
    const Bytes written = testsupport::writeBytes(box);
    EXPECT_EQ(written, original);

    // The written header still describes the box: a walk over it sees one 20-byte box.
    BitStream walk(written);
    FourCCInt type;
    EXPECT_EQ(walk.readChildBox(type).getSize(), 20u);
    EXPECT_EQ(walk.numBytesLeft(), 0u);
}

TEST(Box, UuidHeaderCarriesUserType)
{
    ByteBuilder b;
    b.u32(8 + 16 + 2).str("uuid");
    for (int i = 0; i < 16; ++i)
    {
        b.u8(0xF0 + i);
    }
    b.u8(1).u8(2);
    RawBox box;
    testsupport::parseBytes(box, b);
    EXPECT_EQ(box.getUserType()[15], 0xFF);
    EXPECT_EQ(box.payload, (Bytes{1, 2}));
    EXPECT_EQ(testsupport::writeBytes(box), b.bytes());

    ByteBuilder large;
    large.u32(1).str("uuid").u64(40);
    for (int i = 0; i < 16; ++i)
    {
        large.u8(i);
    }
    RawBox largeBox;
    testsupport::parseBytes(largeBox, large);
    EXPECT_TRUE(largeBox.payload.empty());
}

TEST(Box, UpdateSizePatchesAtStartPosition)
{
    RawBox box;
    box.payload.assign(92, 0x11);
    BitStream out;
    out.writeU32(0xDEADBEEF);  // something before the box
    box.writeBox(out);
    EXPECT_EQ(box.getSize(), 100u);
    EXPECT_EQ(out.getByte(4), 0);
    EXPECT_EQ(out.getByte(7), 100);
}

TEST(Box, ShortHeaderThrowsVector)
{
    RawBox box;
    try
    {
        testsupport::parseBytes(box, Bytes{0, 0, 0, 9, 't', 'e'});
        FAIL();
    }
    catch (const std::out_of_range& e)
    {
        EXPECT_STREQ(e.what(), "vector");
    }
    EXPECT_EQ(box.getSize(), 9u);
}
