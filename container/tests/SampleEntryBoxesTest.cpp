#include <gtest/gtest.h>

#include <stdexcept>

#include "BoxBuilder.h"
#include "CleanAperture.h"
#include "SampleDescriptionBox.h"
#include "VisualSampleEntryBox.h"

using testsupport::ByteBuilder;
using testsupport::Bytes;
using testsupport::concat;
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

template <typename Fn>
void expectRuntimeError(Fn fn, const std::string& message)
{
    try
    {
        fn();
        ADD_FAILURE() << "expected std::runtime_error \"" << message << "\"";
    }
    catch (const std::runtime_error& e)
    {
        EXPECT_EQ(std::string(e.what()), message);
    }
}
}  // namespace

TEST(VisualSampleEntryBox, WritesTheFixedLayout)
{
    VisualSampleEntryBox entry(FourCCInt("avc1"), "AVC Coding");
    entry.setDataReferenceIndex(1);
    entry.setWidth(320);
    entry.setHeight(240);
    EXPECT_EQ(writeBytes(entry), makeBox("avc1", visualFields(320, 240, 10, "AVC Coding")));
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
