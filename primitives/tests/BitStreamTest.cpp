#include <gtest/gtest.h>

#include <random>
#include <stdexcept>

#include "BitStream.h"
#include "BoxBuilder.h"

using testsupport::ByteBuilder;
using testsupport::Bytes;

namespace
{
void expectVectorOutOfRange(const std::function<void()>& action)
{
    try
    {
        action();
        FAIL() << "expected std::out_of_range";
    }
    catch (const std::out_of_range& e)
    {
        EXPECT_STREQ(e.what(), "vector");
    }
}
}  // namespace

TEST(BitStream, ReadBitsAcrossByteBoundaries)
{
    BitStream s(Bytes{0xA5, 0x3C, 0xF0, 0x12, 0x34, 0x56, 0x78});
    EXPECT_EQ(s.readBits(0), 0u);
    EXPECT_EQ(s.getPos(), 0u);
    EXPECT_TRUE(s.isByteAligned());
    EXPECT_EQ(s.readBits(3), 5u);
    EXPECT_EQ(s.readBits(5), 5u);
    EXPECT_EQ(s.getPos(), 1u);
    EXPECT_TRUE(s.isByteAligned());

    // 12 bits from bit offset 4: low nibble of 0x3C, then all of 0xF0.
    EXPECT_EQ(s.readBits(4), 0x3u);
    EXPECT_EQ(s.readBits(12), 0xCF0u);
    EXPECT_EQ(s.getPos(), 3u);
    EXPECT_TRUE(s.isByteAligned());
    EXPECT_EQ(s.readBits(32), 0x12345678u);
    EXPECT_EQ(s.numBytesLeft(), 0u);
}

TEST(BitStream, ReadBitsEndingMidByteKeepsOffset)
{
    BitStream s(Bytes{0xFF, 0x80, 0x00});
    EXPECT_EQ(s.readBits(9), 0x1FFu);
    EXPECT_FALSE(s.isByteAligned());
    EXPECT_EQ(s.getPos(), 1u);
    EXPECT_EQ(s.readBits(7), 0u);
    EXPECT_TRUE(s.isByteAligned());
    EXPECT_EQ(s.getPos(), 2u);
}

TEST(BitStream, WholeByteReadsAndWrites)
{
    BitStream w;
    w.writeU8(0x01);
    w.writeU16(0x0203);
    w.writeU24(0x040506);
    w.writeU32(0x0708090A);
    w.writeU64(0x0B0C0D0E0F101112ull);
    EXPECT_EQ(w.getStorage(), (Bytes{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18}));
    BitStream r(w.getStorage());
    EXPECT_EQ(r.readU8(), 0x01u);
    EXPECT_EQ(r.readU16(), 0x0203u);
    EXPECT_EQ(r.readU24(), 0x040506u);
    EXPECT_EQ(r.readU32(), 0x0708090Au);
    EXPECT_EQ(r.readU64(), 0x0B0C0D0E0F101112ull);
}

TEST(BitStream, ShortReadThrowsVectorAndKeepsConsumedBytes)
{
    BitStream s(Bytes{1, 2, 3});
    expectVectorOutOfRange([&] { s.readU32(); });
    EXPECT_EQ(s.getPos(), 3u);
    EXPECT_EQ(s.numBytesLeft(), 0u);
    expectVectorOutOfRange([&] { s.readBits(1); });
    expectVectorOutOfRange([&] { s.getByte(3); });
    expectVectorOutOfRange([&] { s.setByte(3, 0); });
}

TEST(BitStream, NumBytesLeftNeverUnderflows)
{
    BitStream s(Bytes{1, 2, 3});
    s.setPosition(10);
    EXPECT_EQ(s.numBytesLeft(), 0u);
    s.skipBytes(-9);
    EXPECT_EQ(s.numBytesLeft(), 2u);
    expectVectorOutOfRange([&] { s.skipBytes(-5); });
}

TEST(BitStream, WriteBitsPacksMsbFirst)
{
    BitStream w;
    w.writeBits(5, 3);
    w.writeBits(5, 5);
    EXPECT_EQ(w.getStorage(), Bytes{0xA5});
    w.writeBits(0x1, 1);
    w.writeBits(0x7FFFFFFF, 31);
    EXPECT_EQ(w.getStorage(), (Bytes{0xA5, 0xFF, 0xFF, 0xFF, 0xFF}));
}

TEST(BitStream, RandomBitFieldsRoundTrip)
{
    std::mt19937 rng(1234);
    for (int round = 0; round < 200; ++round)
    {
        std::vector<std::pair<std::uint32_t, std::uint32_t>> fields;
        BitStream w;
        std::uint32_t totalBits = 0;
        for (int i = 0; i < 40; ++i)
        {
            const std::uint32_t width = 1 + rng() % 32;
            std::uint32_t value = rng();
            if (width < 32)
            {
                value &= (1u << width) - 1;
            }
            fields.emplace_back(value, width);
            w.writeBits(value, width);
            totalBits += width;
        }
        w.writeBits(0, (8 - totalBits % 8) % 8);
        ASSERT_TRUE(w.isByteAligned());
        BitStream r(w.getStorage());
        for (const auto& field : fields)
        {
            ASSERT_EQ(r.readBits(field.second), field.first) << "width " << field.second;
        }
    }
}

TEST(BitStream, ExpGolombCodes)
{
    // 1 | 010 | 011 | 00100 | padding -> 1010 0110 0100 0000
    BitStream u(Bytes{0xA6, 0x40});
    EXPECT_EQ(u.readUnsignedExpGolomb(), 0u);
    EXPECT_EQ(u.readUnsignedExpGolomb(), 1u);
    EXPECT_EQ(u.readUnsignedExpGolomb(), 2u);
    EXPECT_EQ(u.readUnsignedExpGolomb(), 3u);
    BitStream s(Bytes{0xA6, 0x40});
    EXPECT_EQ(s.readSignedExpGolomb(), 0);
    EXPECT_EQ(s.readSignedExpGolomb(), 1);
    EXPECT_EQ(s.readSignedExpGolomb(), -1);
    EXPECT_EQ(s.readSignedExpGolomb(), 2);

    // 31 leading zeros is the longest code: 2^32 - 2 at most.
    BitStream longest(Bytes{0x00, 0x00, 0x00, 0x01, 0xFF, 0xFF, 0xFF, 0xFE});
    EXPECT_EQ(longest.readUnsignedExpGolomb(), 0xFFFFFFFEu);
}

TEST(BitStream, ExpGolombWithThirtyTwoZerosThrows)
{
    BitStream s(Bytes{0, 0, 0, 0, 0x80, 0, 0, 0, 0});
    EXPECT_THROW(s.readUnsignedExpGolomb(), std::runtime_error);
    BitStream empty(Bytes{0, 0});
    expectVectorOutOfRange([&] { empty.readUnsignedExpGolomb(); });
}

TEST(BitStream, Strings)
{
    BitStream s(Bytes{0x61, 0x62, 0x00, 0x63, 0x64});
    std::string text;
    s.readZeroTerminatedString(text);
    EXPECT_EQ(text, "ab");
    EXPECT_EQ(s.getPos(), 3u);
    s.peekString(text, 0, 2);
    EXPECT_EQ(text, "ab");
    EXPECT_EQ(s.getPos(), 3u);
    s.readString(text, 2);
    EXPECT_EQ(text, "cd");
    expectVectorOutOfRange([&] { s.readString(text, 1); });
    expectVectorOutOfRange([&] { s.peekString(text, 4, 2); });

    BitStream unterminated(Bytes{0x61, 0x62});
    expectVectorOutOfRange([&] { unterminated.readZeroTerminatedString(text); });

    BitStream w;
    w.writeZeroTerminatedString("");
    w.writeZeroTerminatedString("hi");
    EXPECT_EQ(w.getStorage(), (Bytes{0, 'h', 'i', 0}));
}

TEST(BitStream, EmptyWriteStringWarns)
{
    testing::internal::CaptureStdout();
    BitStream w;
    w.writeString("");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "BitStream::writeString called for zero-length string.\n");
    EXPECT_EQ(w.getSize(), 0u);
}

TEST(BitStream, ReadBytesAndExtractAreBounded)
{
    BitStream s(Bytes{1, 2, 3, 4});
    Bytes dest{9};
    s.readBytes(dest, 2);
    EXPECT_EQ(dest, (Bytes{9, 1, 2}));
    expectVectorOutOfRange([&] { s.readBytes(dest, 3); });
    EXPECT_EQ(s.getPos(), 2u);
    // A length near 2^32 must fail before anything is allocated.
    expectVectorOutOfRange([&] { s.readBytes(dest, 0xFFFFFFF0u); });

    BitStream part;
    s.extract(1, 3, part);
    EXPECT_EQ(part.getStorage(), (Bytes{2, 3}));
    EXPECT_EQ(part.getPos(), 0u);
    expectVectorOutOfRange([&] { s.extract(3, 5, part); });
    expectVectorOutOfRange([&] { s.extract(3, 2, part); });

    BitStream w;
    expectVectorOutOfRange([&] { w.writeBytes(Bytes{1, 2}, 2, 1); });
}

TEST(BitStream, ReadChildBoxWalksBoxes)
{
    const Bytes first = testsupport::makeBox("free", Bytes{1, 2, 3});
    const Bytes second = ByteBuilder().u32(1).str("mdat").u64(24).u64(0x0102030405060708ull);
    BitStream s(testsupport::concat({first, second, Bytes{0xEE}}));
    FourCCInt type;
    BitStream child = s.readChildBox(type);
    EXPECT_EQ(type, FourCCInt("free"));
    EXPECT_EQ(child.getStorage(), first);
    EXPECT_EQ(child.getPos(), 0u);
    child = s.readChildBox(type);
    EXPECT_EQ(type, FourCCInt("mdat"));
    EXPECT_EQ(child.getSize(), 24u);
    EXPECT_EQ(s.getPos(), 11u + 24u);
}

TEST(BitStream, ReadChildBoxSizeZeroRunsToEnd)
{
    BitStream s(ByteBuilder().u32(0).str("mdat").u32(7).u8(1));
    FourCCInt type;
    BitStream child = s.readChildBox(type);
    EXPECT_EQ(child.getSize(), 13u);
    EXPECT_EQ(s.numBytesLeft(), 0u);
}

TEST(BitStream, ReadChildBoxRefusesBadSizes)
{
    FourCCInt type;
    for (const Bytes& bytes : {
             Bytes(ByteBuilder().u32(7).str("free").u32(0)),               // below the header
             Bytes(ByteBuilder().u32(20).str("free").u32(0)),              // beyond the data
             Bytes(ByteBuilder().u32(1).str("mdat").u64(12).u32(0)),       // largesize below its header
             Bytes(ByteBuilder().u32(1).str("mdat").u64(0x100000010ull)),  // largesize above 32 bits
             Bytes(ByteBuilder().u32(8).str("fre")),                       // cut header
         })
    {
        BitStream s(bytes);
        expectVectorOutOfRange([&] { s.readChildBox(type); });
    }
}

// Child boxes were copied out of their parent at every level, so a 50 MB meta box was held four or
// five times while its properties were read. A child is now a window on the parent's bytes; these
// check that windows read and write as copies did.
TEST(BitStream, ChildBoxesAreWindowsThatBehaveAsCopies)
{
    const Bytes inner = testsupport::makeBox("ispe", Bytes{1, 2, 3, 4});
    const Bytes outer = testsupport::makeBox("ipco", testsupport::concat({inner, testsupport::makeBox("free", {})}));
    BitStream file(testsupport::concat({Bytes{0xAA}, outer, Bytes{0xBB}}));
    file.setPosition(1);
    FourCCInt type;
    BitStream ipco = file.readChildBox(type);
    ipco.setPosition(8);
    BitStream ispe = ipco.readChildBox(type);
    EXPECT_EQ(type, FourCCInt("ispe"));
    EXPECT_EQ(ispe.getSize(), inner.size());
    EXPECT_EQ(ispe.getByte(8), 1u);
    ispe.setPosition(8);
    EXPECT_EQ(ispe.readU32(), 0x01020304u);
    expectVectorOutOfRange([&] { ispe.readU8(); });  // the window ends with the box
    expectVectorOutOfRange([&] { ispe.getByte(12); });
    std::string text;
    ispe.peekString(text, 4, 4);
    EXPECT_EQ(text, "ispe");

    // A window of a window, extracted in place, and its bytes as a vector.
    BitStream part;
    ispe.extract(8, 10, part);
    EXPECT_EQ(part.getStorage(), (Bytes{1, 2}));
    ispe.extract(9, 11, ispe);
    EXPECT_EQ(ispe.readU16(), 0x0203u);
    EXPECT_EQ(ipco.getStorage(), outer);

    // Writing to a window, or to a stream others share, changes no other stream.
    file.setPosition(1);
    BitStream window = file.readChildBox(type);
    window.setByte(0, 0x77);
    window.writeU8(0x99);
    EXPECT_EQ(window.getSize(), outer.size() + 1);
    EXPECT_EQ(window.getByte(0), 0x77u);
    EXPECT_EQ(window.getByte(std::uint32_t(outer.size())), 0x99u);
    EXPECT_EQ(file.getByte(1), outer[0]);
    EXPECT_EQ(file.getByte(1 + std::uint32_t(outer.size())), 0xBBu);
    EXPECT_EQ(ipco.getStorage(), outer);
    BitStream copy = file;
    copy.writeU8(0x55);
    EXPECT_EQ(file.getSize(), outer.size() + 2);
    EXPECT_EQ(copy.getSize(), outer.size() + 3);

    // A stream may append its own bytes to itself.
    BitStream self(Bytes{1, 2, 3});
    self.writeBytes(self.getStorage(), 3);
    EXPECT_EQ(self.getStorage(), (Bytes{1, 2, 3, 1, 2, 3}));
}
