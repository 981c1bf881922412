#include <gtest/gtest.h>

#include "BoxBuilder.h"
#include "FileTypeBox.h"
#include "HandlerBox.h"
#include "MediaDataBox.h"
#include "PrimaryItemBox.h"

using testsupport::ByteBuilder;
using testsupport::Bytes;
using testsupport::makeBox;
using testsupport::makeFullBox;

namespace
{
const Bytes kFtyp = makeBox("ftyp", ByteBuilder().str("heic").u32(0).str("mif1").str("heic"));
const Bytes kHdlr = makeFullBox("hdlr", 0, 0, ByteBuilder().u32(0).str("pict").u32(0).u32(0).u32(0).zstr("HEIF"));
const Bytes kPitm0 = makeFullBox("pitm", 0, 0, Bytes{0, 1});
const Bytes kPitm1 = makeFullBox("pitm", 1, 0, Bytes{0, 0, 0, 1});
}  // namespace

TEST(FileTypeBox, ParsesBrands)
{
    FileTypeBox box;
    testsupport::parseBytes(box, kFtyp);
    EXPECT_EQ(box.getMajorBrand(), "heic");
    EXPECT_EQ(box.getMinorVersion(), 0u);
    EXPECT_EQ(box.getCompatibleBrands(), (std::vector<std::string>{"mif1", "heic"}));
    EXPECT_TRUE(box.checkCompatibleBrand("heic"));
    EXPECT_FALSE(box.checkCompatibleBrand("avif"));
    testsupport::expectRoundTrip<FileTypeBox>(kFtyp);
}

TEST(FileTypeBox, TrailingPartialBrandStaysUnread)
{
    BitStream s(makeBox("ftyp", ByteBuilder().str("mif1").u32(0).str("heic").u16(0)));
    FileTypeBox box;
    box.parseBox(s);
    EXPECT_EQ(box.getCompatibleBrands().size(), 1u);
    EXPECT_EQ(s.numBytesLeft(), 2u);
}

TEST(FileTypeBox, BuiltBoxWritesWhatItHolds)
{
    FileTypeBox box;
    box.setMajorBrand("heic");
    box.addCompatibleBrand("mif1");
    box.addCompatibleBrand("heic");
    EXPECT_EQ(testsupport::writeBytes(box), kFtyp);
}

TEST(HandlerBox, PictIsQuietOthersWarn)
{
    testing::internal::CaptureStdout();
    HandlerBox pict;
    testsupport::parseBytes(pict, kHdlr);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(pict.getHandlerType(), "pict");
    EXPECT_EQ(pict.getName(), "HEIF");
    testsupport::expectRoundTrip<HandlerBox>(kHdlr);

    testing::internal::CaptureStdout();
    HandlerBox vide;
    testsupport::parseBytes(vide,
                            makeFullBox("hdlr", 0, 0, ByteBuilder().u32(0).str("vide").u32(0).u32(0).u32(0).u8(0)));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Unknown media handler in track: vide\n");
    EXPECT_EQ(vide.getHandlerType(), "vide");
}

TEST(PrimaryItemBox, VersionDecidesWidth)
{
    PrimaryItemBox v0;
    testsupport::parseBytes(v0, kPitm0);
    EXPECT_EQ(v0.getItemId(), 1u);
    PrimaryItemBox v1;
    testsupport::parseBytes(v1, kPitm1);
    EXPECT_EQ(v1.getItemId(), 1u);
    testsupport::expectRoundTrip<PrimaryItemBox>(kPitm0);
    testsupport::expectRoundTrip<PrimaryItemBox>(kPitm1);
}

TEST(PrimaryItemBox, WideIdIsNotCut)
{
    PrimaryItemBox box;
    box.setItemId(0x12345);
    const Bytes written = testsupport::writeBytes(box);
    PrimaryItemBox back;
    testsupport::parseBytes(back, written);
    EXPECT_EQ(back.getItemId(), 0x12345u);
    EXPECT_EQ(back.getVersion(), 1);
}

TEST(MediaDataBox, EmptyAndData)
{
    MediaDataBox empty;
    EXPECT_EQ(testsupport::writeBytes(empty), (Bytes{0, 0, 0, 8, 'm', 'd', 'a', 't'}));

    MediaDataBox box;
    EXPECT_EQ(box.addData(Bytes{1, 2, 3}), 8u);
    EXPECT_EQ(box.addData(Bytes{4}), 11u);
    EXPECT_EQ(testsupport::writeBytes(box), makeBox("mdat", Bytes{1, 2, 3, 4}));
    EXPECT_EQ(box.getDataLengths(), (std::vector<std::uint32_t>{3, 1}));
}

TEST(MediaDataBox, NalDataGetsLengthPrefixes)
{
    MediaDataBox box;
    box.addNalData(Bytes{0, 0, 0, 1, 0x67, 0xAA, 0, 0, 1, 0x68, 0xBB});
    EXPECT_EQ(testsupport::writeBytes(box), makeBox("mdat", Bytes{0, 0, 0, 2, 0x67, 0xAA, 0, 0, 0, 2, 0x68, 0xBB}));
    EXPECT_EQ(box.getDataOffsets(), std::vector<std::uint32_t>{8});
    EXPECT_EQ(box.getDataLengths(), std::vector<std::uint32_t>{12});

    MediaDataBox several;
    several.addNalData(std::vector<Bytes>{Bytes{0, 0, 1, 0x40}, Bytes{0, 0, 0, 1, 0x42, 0x01}});
    EXPECT_EQ(several.getDataOffsets(), std::vector<std::uint32_t>{8});
    EXPECT_EQ(several.getDataLengths(), std::vector<std::uint32_t>{11});

    MediaDataBox noStartCode;
    noStartCode.addNalData(Bytes{1, 2, 3});
    EXPECT_EQ(noStartCode.getDataLengths(), std::vector<std::uint32_t>{0});
}

TEST(MediaDataBox, StartCodeSearch)
{
    EXPECT_EQ(findStartCode(Bytes{5, 0, 0, 1}, 0), (std::pair<std::size_t, std::size_t>{1, 3}));
    EXPECT_EQ(findStartCode(Bytes{0, 0, 0, 0, 1}, 0), (std::pair<std::size_t, std::size_t>{0, 5}));
    EXPECT_EQ(findStartCode(Bytes{0, 1, 0, 0}, 0), (std::pair<std::size_t, std::size_t>{4, 0}));
    EXPECT_EQ(findStartCode(Bytes{}, 0), (std::pair<std::size_t, std::size_t>{0, 0}));
}

TEST(FileBoxes, TruncationSweep)
{
    testsupport::expectTruncationSafe<FileTypeBox>(kFtyp);
    testsupport::expectTruncationSafe<HandlerBox>(kHdlr);
    testsupport::expectTruncationSafe<PrimaryItemBox>(kPitm1);
}
