#include <gtest/gtest.h>

#include <stdexcept>

#include "AvcSampleEntry.h"
#include "BoxBuilder.h"
#include "CleanAperture.h"
#include "ExpectRuntimeError.h"
#include "HevcSampleEntry.h"
#include "SampleDescriptionBox.h"
#include "VisualSampleEntryBox.h"

using testsupport::ByteBuilder;
using testsupport::Bytes;
using testsupport::concat;
using testsupport::expectRuntimeError;
using testsupport::makeBox;
using testsupport::makeFullBox;
using testsupport::parseBytes;
using testsupport::writeBytes;

namespace
{
/// The fixed fields of a visual sample entry with the given stored name length and bytes.
Bytes visualFields(std::uint16_t width, std::uint16_t height, std::uint8_t nameLength, const std::string& name)
{
    ByteBuilder b;
    b.u32(0).u16(0).u16(1);                // reserved, data_reference_index
    b.u16(0).u16(0).u32(0).u32(0).u32(0);  // pre_defined, reserved, pre_defined
    b.u16(width).u16(height).u32(0x00480000).u32(0x00480000).u32(0).u16(1);
    b.u8(nameLength).str(name);
    for (std::size_t i = name.size(); i < 31; ++i)
    {
        b.u8(0);
    }
    b.u16(0x0018).u16(0xFFFF);
    return b;
}

const Bytes kClap = makeBox("clap", ByteBuilder().u32(300).u32(1).u32(200).u32(1).u32(0).u32(1).u32(0).u32(1));
}  // namespace

TEST(VisualSampleEntryBox, WritesTheFixedLayout)
{
    VisualSampleEntryBox entry(FourCCInt("avc1"), "AVC Coding");
    entry.setDataReferenceIndex(1);
    entry.setWidth(320);
    entry.setHeight(240);
    EXPECT_EQ(writeBytes(entry), makeBox("avc1", visualFields(320, 240, 10, "AVC Coding")));
}

TEST(SampleEntryBox, WritesItsOwnSize)
{
    SampleEntryBox entry(FourCCInt("mp4a"));
    entry.setDataReferenceIndex(2);
    EXPECT_EQ(writeBytes(entry), makeBox("mp4a", ByteBuilder().u32(0).u16(0).u16(2)));
}

TEST(VisualSampleEntryBox, NameLengthIsChecked)
{
    VisualSampleEntryBox full(FourCCInt("hvc1"), "HEVC Coding");
    parseBytes(full, makeBox("hvc1", visualFields(64, 48, 31, std::string(31, 'n'))));
    EXPECT_EQ(full.getWidth(), 64);
    EXPECT_EQ(full.getHeight(), 48);
    EXPECT_EQ(full.getCompressorName(), "HEVC Coding");  // the stored name is not taken

    VisualSampleEntryBox tooLong(FourCCInt("hvc1"), "HEVC Coding");
    Bytes fields = visualFields(64, 48, 32, std::string(31, 'n'));
    expectRuntimeError([&] { parseBytes(tooLong, makeBox("hvc1", fields)); },
                       "Too long compressorname string length read from VisualSampleEntry (>31 bytes).");

    // A name that does not fit the 31-byte field is refused, not written past it.
    EXPECT_THROW(VisualSampleEntryBox(FourCCInt("hvc1"), std::string(32, 'x')), std::runtime_error);
    EXPECT_THROW(full.setCompressorName(std::string(32, 'x')), std::runtime_error);
    EXPECT_EQ(full.getCompressorName(), "HEVC Coding");
    full.setCompressorName(std::string(31, 'x'));
    EXPECT_NO_THROW(writeBytes(full));
}

TEST(VisualSampleEntryBox, TakesOnlyALeadingCleanAperture)
{
    VisualSampleEntryBox first(FourCCInt("hvc1"), "HEVC Coding");
    BitStream stream(makeBox("hvc1", concat({visualFields(8, 8, 0, ""), kClap})));
    first.parseBox(stream);
    ASSERT_NE(first.getClap(), nullptr);
    EXPECT_EQ(first.getClap()->getWidth().numerator, 300u);

    const Bytes other = makeBox("free", Bytes{1});
    VisualSampleEntryBox later(FourCCInt("hvc1"), "HEVC Coding");
    BitStream laterStream(makeBox("hvc1", concat({visualFields(8, 8, 0, ""), other, kClap})));
    later.parseBox(laterStream);
    EXPECT_EQ(later.getClap(), nullptr);
    EXPECT_EQ(laterStream.numBytesLeft(), other.size() + kClap.size());  // left for the subclass
    EXPECT_EQ(later.getCodingConstraintsBox(), nullptr);
}

TEST(SampleDescriptionBox, UnknownEntriesKeepTheirIndex)
{
    const Bytes bytes =
        makeFullBox("stsd", 0, 0, concat({ByteBuilder().u32(1), makeBox("mp4v", visualFields(8, 8, 0, ""))}));
    testing::internal::CaptureStdout();
    SampleDescriptionBox box;
    parseBytes(box, bytes);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Skipping unknown SampleDescriptionBox entry of type 'mp4v'\n");
    ASSERT_EQ(box.getSampleEntryCount(), 1u);
    EXPECT_EQ(box.getSampleEntries()[0], nullptr);
    expectRuntimeError([&] { box.getSampleEntry(1); }, "SampleDescriptionBox::getSampleEntry invalid entry type.");
    expectRuntimeError([&] { box.getSampleEntry(0); },
                       "SampleDescriptionBox::getSampleEntry invalid sample entry index.");
    expectRuntimeError([&] { box.getSampleEntry(2); },
                       "SampleDescriptionBox::getSampleEntry invalid sample entry index.");
    expectRuntimeError([&] { writeBytes(box); },
                       "SampleDescriptionBox::writeBox can not write file because an unknown sample entry type was "
                       "present when the file was read.");

    SampleDescriptionBox built;
    built.addSampleEntry(std::make_unique<VisualSampleEntryBox>(FourCCInt("avc1"), "AVC Coding"));
    EXPECT_EQ(built.getSampleEntry(1)->getType(), FourCCInt("avc1"));

    // Exactly entry_count children are read; a count beyond them is short data.
    SampleDescriptionBox shortBox;
    EXPECT_THROW(parseBytes(shortBox, makeFullBox("stsd", 0, 0, ByteBuilder().u32(0xFFFFFFFF))), std::out_of_range);
}

namespace
{
const Bytes kHvcC = makeBox("hvcC", ByteBuilder()
                                        .u8(1)
                                        .u8(0x01)
                                        .u32(0x60000000)
                                        .u32(0x90000000)
                                        .u16(0)
                                        .u8(90)
                                        .u16(0xF000)
                                        .u8(0xFC)
                                        .u8(0xFD)
                                        .u8(0xF8)
                                        .u8(0xF8)
                                        .u16(0)
                                        .u8(0x0F)
                                        .u8(0));
const Bytes kAvcC = makeBox("avcC", ByteBuilder().u8(1).u8(66).u8(0).u8(30).u8(0xFF).u8(0xE0).u8(0));
const Bytes kCcst = makeFullBox("ccst", 0, 0, ByteBuilder().u32(0x80000000 | 0x40000000 | (3u << 26)));
}  // namespace

TEST(HevcSampleEntry, ConfigurationConstraintsAndCleanAperture)
{
    const Bytes withCcst = makeBox("hvc1", concat({visualFields(64, 48, 11, "HEVC Coding"), kHvcC, kCcst}));
    HevcSampleEntry entry;
    parseBytes(entry, withCcst);
    ASSERT_NE(entry.getCodingConstraintsBox(), nullptr);
    EXPECT_TRUE(entry.getCodingConstraintsBox()->getAllRefPicsIntra());
    EXPECT_EQ(entry.getHevcConfigurationBox().getConfiguration().getLengthSizeMinus1(), 3);
    EXPECT_EQ(writeBytes(entry), withCcst);

    // 'hev1' keeps its type; a clap after the configuration is not the entry's clean aperture.
    testing::internal::CaptureStdout();
    HevcSampleEntry late;
    parseBytes(late, makeBox("hev1", concat({visualFields(64, 48, 0, ""), kHvcC, kClap})));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Skipping unknown box of type 'clap' inside HevcSampleEntry\n");
    EXPECT_EQ(late.getType(), FourCCInt("hev1"));
    EXPECT_EQ(late.getClap(), nullptr);
    EXPECT_EQ(late.getCodingConstraintsBox(), nullptr);

    HevcSampleEntry early;
    parseBytes(early, makeBox("hvc1", concat({visualFields(64, 48, 0, ""), kClap, kHvcC})));
    EXPECT_NE(early.getClap(), nullptr);
}

TEST(AvcSampleEntry, DefaultLayoutAndConstraints)
{
    AvcSampleEntry entry;
    EXPECT_EQ(entry.getCodingConstraintsBox(), nullptr);
    parseBytes(entry, makeBox("avc1", concat({visualFields(32, 32, 0, ""), kAvcC})));
    EXPECT_EQ(entry.getCodingConstraintsBox(), nullptr);
    EXPECT_EQ(entry.getAvcConfigurationBox().getConfiguration().getAvcProfileIndication(), 66);

    // Written with its own name, not the stored one: length 10, "AVC Coding", 21 zero bytes.
    const Bytes written = writeBytes(entry);
    const Bytes expected = makeBox("avc1", concat({visualFields(32, 32, 10, "AVC Coding"), kAvcC}));
    EXPECT_EQ(written, expected);

    CodingConstraintsBox constraints;
    entry.setCodingConstraintsBox(constraints);
    EXPECT_NE(entry.getCodingConstraintsBox(), nullptr);
}

TEST(SampleDescriptionBox, FindsEntriesByIndexPastUnknownOnes)
{
    const Bytes hvc1 = makeBox("hvc1", concat({visualFields(64, 48, 11, "HEVC Coding"), kHvcC}));
    const Bytes bytes =
        makeFullBox("stsd", 0, 0, concat({ByteBuilder().u32(2), makeBox("mp4v", visualFields(8, 8, 0, "")), hvc1}));
    testing::internal::CaptureStdout();
    SampleDescriptionBox box;
    parseBytes(box, bytes);
    testing::internal::GetCapturedStdout();
    expectRuntimeError([&] { box.getSampleEntry(1); }, "SampleDescriptionBox::getSampleEntry invalid entry type.");
    EXPECT_EQ(box.getSampleEntry(2)->getType(), FourCCInt("hvc1"));
    EXPECT_NE(dynamic_cast<HevcSampleEntry*>(box.getSampleEntry(2)), nullptr);
    EXPECT_EQ(box.getSampleEntry(2)->getWidth(), 64);
    expectRuntimeError([&] { box.getSampleEntry(3); },
                       "SampleDescriptionBox::getSampleEntry invalid sample entry index.");

    const Bytes known = makeFullBox("stsd", 0, 0, concat({ByteBuilder().u32(1), hvc1}));
    testsupport::expectRoundTrip<SampleDescriptionBox>(known);
    testsupport::expectTruncationSafe<SampleDescriptionBox>(known);
}
