#include <gtest/gtest.h>

#include <stdexcept>

#include "BoxBuilder.h"
#include "ColourInformationBox.h"

using testsupport::ByteBuilder;
using testsupport::Bytes;
using testsupport::makeBox;

TEST(ColourInformationBox, NclxFieldsRoundTrip)
{
    // BT.709 primaries, sRGB transfer, BT.601 matrix, full range.
    const Bytes nclx = makeBox("colr", ByteBuilder().str("nclx").u16(1).u16(13).u16(6).u8(0x80));
    ColourInformationBox box;
    testsupport::parseBytes(box, nclx);
    EXPECT_TRUE(box.isNclx());
    EXPECT_FALSE(box.hasIccProfile());
    EXPECT_EQ(box.getColourPrimaries(), 1);
    EXPECT_EQ(box.getTransferCharacteristics(), 13);
    EXPECT_EQ(box.getMatrixCoefficients(), 6);
    EXPECT_TRUE(box.getFullRangeFlag());
    testsupport::expectRoundTrip<ColourInformationBox>(nclx);

    // Reserved bits after the flag are written as zeros; limited range.
    testsupport::parseBytes(box, makeBox("colr", ByteBuilder().str("nclx").u16(9).u16(16).u16(9).u8(0x7F)));
    EXPECT_FALSE(box.getFullRangeFlag());
    EXPECT_EQ(testsupport::writeBytes(box), makeBox("colr", ByteBuilder().str("nclx").u16(9).u16(16).u16(9).u8(0)));

    ColourInformationBox built;
    built.setMatrixCoefficients(1);
    built.setFullRangeFlag(true);
    EXPECT_EQ(testsupport::writeBytes(built), makeBox("colr", ByteBuilder().str("nclx").u16(2).u16(2).u16(1).u8(0x80)));
}

TEST(ColourInformationBox, ProfilesAndOtherTypesKeepTheirBytes)
{
    const Bytes icc{0, 0, 1, 2, 'a', 'c', 's', 'p', 0xFF};
    for (const char* type : {"prof", "rICC"})
    {
        SCOPED_TRACE(type);
        const Bytes bytes = makeBox("colr", ByteBuilder().str(type).raw(icc));
        ColourInformationBox box;
        testsupport::parseBytes(box, bytes);
        EXPECT_TRUE(box.hasIccProfile());
        EXPECT_EQ(box.getPayload(), icc);
        testsupport::expectRoundTrip<ColourInformationBox>(bytes);
    }
    const Bytes other = makeBox("colr", ByteBuilder().str("abcd").u8(7).u8(8));
    ColourInformationBox box;
    testsupport::parseBytes(box, other);
    EXPECT_FALSE(box.isNclx());
    EXPECT_FALSE(box.hasIccProfile());
    EXPECT_EQ(box.getColourType(), FourCCInt("abcd"));
    EXPECT_EQ(box.getPayload(), (Bytes{7, 8}));
    testsupport::expectRoundTrip<ColourInformationBox>(other);

    // A box parsed again holds only the second box's bytes.
    testsupport::parseBytes(box, makeBox("colr", ByteBuilder().str("prof")));
    EXPECT_TRUE(box.getPayload().empty());
}

TEST(ColourInformationBox, ShortBoxesThrow)
{
    ColourInformationBox box;
    EXPECT_THROW(testsupport::parseBytes(box, makeBox("colr", ByteBuilder().str("ncl"))), std::out_of_range);
    EXPECT_THROW(testsupport::parseBytes(box, makeBox("colr", ByteBuilder().str("nclx").u16(1).u16(1).u16(1))),
                 std::out_of_range);
    testsupport::expectTruncationSafe<ColourInformationBox>(
        makeBox("colr", ByteBuilder().str("nclx").u16(1).u16(13).u16(6).u8(0x80)));
    testsupport::expectTruncationSafe<ColourInformationBox>(makeBox("colr", ByteBuilder().str("prof").u32(5)));
}
