#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "Box.h"
#include "BoxBuilder.h"

// The truncation check every box test leans on must itself catch a box that takes a cut box for
// the whole one; these boxes do it on purpose.

using testsupport::Bytes;
using testsupport::makeBox;

namespace
{
const Bytes kPayload = {1, 2, 3, 4, 5, 6};

// Reads the declared payload byte by byte, as an honest box does: a cut payload throws.
class HonestBox : public Box
{
public:
    HonestBox() : Box(FourCCInt("test")) {}
    void parseBox(BitStream& bitstr) override
    {
        parseBoxHeader(bitstr);
        mPayload.clear();
        for (std::uint32_t i = 8; i < getSize(); ++i)
        {
            mPayload.push_back(std::uint8_t(bitstr.readU8()));
        }
    }
    void writeBox(BitStream& bitstr) override
    {
        writeBoxHeader(bitstr);
        for (auto byte : mPayload)
        {
            bitstr.writeU8(byte);
        }
        updateSize(bitstr);
    }

protected:
    std::vector<std::uint8_t> mPayload;
};

// Makes up the bytes a cut payload lacks, so every prefix past the header comes back whole.
class PaddingBox : public HonestBox
{
public:
    void parseBox(BitStream& bitstr) override
    {
        parseBoxHeader(bitstr);
        mPayload.clear();
        for (std::uint32_t i = 8; i < getSize(); ++i)
        {
            mPayload.push_back(bitstr.numBytesLeft() > 0 ? std::uint8_t(bitstr.readU8()) : 0);
        }
    }
};

// Reads what is there and then jumps to the declared end, past the end of a cut payload.
class JumpingBox : public HonestBox
{
public:
    void parseBox(BitStream& bitstr) override
    {
        parseBoxHeader(bitstr);
        mPayload.clear();
        while (bitstr.numBytesLeft() > 0)
        {
            mPayload.push_back(std::uint8_t(bitstr.readU8()));
        }
        bitstr.setPosition(getSize());
    }
};
}  // namespace

// The messages of the failures the check reports for that box, caught rather than counted
// against this test.
template <typename BoxT>
std::vector<std::string> failuresOf(const Bytes& bytes)
{
    testing::TestPartResultArray results;
    {
        testing::ScopedFakeTestPartResultReporter reporter(
            testing::ScopedFakeTestPartResultReporter::INTERCEPT_ONLY_CURRENT_THREAD, &results);
        testsupport::expectTruncationSafe<BoxT>(bytes);
    }
    std::vector<std::string> messages;
    for (int i = 0; i < results.size(); ++i)
    {
        messages.push_back(results.GetTestPartResult(i).message());
    }
    return messages;
}

TEST(TruncationCheck, HonestBoxPasses)
{
    EXPECT_TRUE(failuresOf<HonestBox>(makeBox("test", kPayload)).empty());
}

// Each prefix from the whole header (8 bytes) to one byte short is taken for the whole box.
TEST(TruncationCheck, BoxThatMakesUpMissingBytesFails)
{
    const auto failures = failuresOf<PaddingBox>(makeBox("test", kPayload));
    ASSERT_EQ(failures.size(), 6u);
    for (const auto& message : failures)
    {
        EXPECT_NE(message.find("parsed as the whole box"), std::string::npos) << message;
    }
}

TEST(TruncationCheck, BoxThatReadsPastItsDataFails)
{
    const auto failures = failuresOf<JumpingBox>(makeBox("test", kPayload));
    ASSERT_EQ(failures.size(), 6u);
    for (const auto& message : failures)
    {
        EXPECT_NE(message.find("read past its end"), std::string::npos) << message;
    }
}
