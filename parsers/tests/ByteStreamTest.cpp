#include <gtest/gtest.h>

#include <deque>
#include <sstream>
#include <stdexcept>
#include <string>

#include "ParserInterface.h"
#include "ParserTestUtil.h"

using parsertest::Bytes;
using parsertest::splitUnits;

namespace
{
void expectNoDataError(const Bytes& stream)
{
    try
    {
        splitUnits(stream);
        FAIL() << "expected std::runtime_error";
    }
    catch (const std::runtime_error& e)
    {
        EXPECT_STREQ(e.what(), "No data in NAL unit after start code?");
    }
}

Bytes rbspOf(const Bytes& in)
{
    Bytes out;
    convertByteStreamToRBSP(in, out);
    return out;
}

// Hands out scripted pictures, for the pre-scan.
class ScriptedParser : public ParserInterface
{
public:
    struct Step
    {
        bool idr;
        std::int32_t poc;
    };
    explicit ScriptedParser(std::deque<Step> steps) : mSteps(std::move(steps)) {}
    using ParserInterface::openFile;
    bool openFile(const char*) override { return true; }
    bool parseNextPicture(PictureData& picture) override
    {
        picture.clear();
        if (mSteps.empty())
        {
            return false;
        }
        picture.mDecodeIndex = mIndex++;
        picture.mIsIdr = mSteps.front().idr;
        picture.mPoc = mSteps.front().poc;
        mSteps.pop_front();
        return true;
    }
    unsigned int getPictureCount() override { return 0; }

private:
    std::deque<Step> mSteps;
    std::int32_t mIndex = 0;
};
}  // namespace

TEST(ByteStream, SplitsAtThreeAndFourByteStartCodes)
{
    const Bytes stream{0, 0, 0, 1, 0x67, 0xAA, 0, 0, 1, 0x68, 0xBB, 0xCC, 0, 0, 0, 1, 0x65, 0x01, 0x02};
    const auto units = splitUnits(stream);
    ASSERT_EQ(units.size(), 3u);
    EXPECT_EQ(units[0], (Bytes{0, 0, 0, 1, 0x67, 0xAA}));
    EXPECT_EQ(units[1], (Bytes{0, 0, 1, 0x68, 0xBB, 0xCC}));
    EXPECT_EQ(units[2], (Bytes{0, 0, 0, 1, 0x65, 0x01, 0x02}));
}

TEST(ByteStream, TrailingZerosGoToTheNextStartCodeOrStayAtTheEnd)
{
    // trailing_zero_8bits between units come back as the next unit's longer start code; zeros at
    // the very end of the stream stay in the last unit.
    const Bytes stream{0, 0, 1, 0x09, 0x10, 0, 0, 0, 0, 0, 1, 0x67, 0x42, 0, 0};
    const auto units = splitUnits(stream);
    ASSERT_EQ(units.size(), 2u);
    EXPECT_EQ(units[0], (Bytes{0, 0, 1, 0x09, 0x10}));
    EXPECT_EQ(units[1], (Bytes{0, 0, 0, 0, 0, 1, 0x67, 0x42, 0, 0}));

    // 00 00 02 and 00 00 03 are not start codes.
    EXPECT_EQ(splitUnits(Bytes{0, 0, 1, 0x41, 0, 0, 2, 0, 0, 3, 1}).size(), 1u);
}

TEST(ByteStream, EmptyStartCodesAreErrors)
{
    EXPECT_TRUE(splitUnits(Bytes{}).empty());
    expectNoDataError(Bytes{0, 0, 0, 0});
    expectNoDataError(Bytes{0, 0, 1});
    expectNoDataError(Bytes{0, 0, 1, 0, 0, 1, 0x65});
    expectNoDataError(Bytes{0, 0, 1, 0x65, 0, 0, 0, 1});
}

TEST(ByteStream, NalHeaderLookUp)
{
    EXPECT_EQ(findNalUnitHeader(Bytes{0, 0, 0, 1, 0x67}, 1), 4u);
    EXPECT_EQ(findNalUnitHeader(Bytes{0, 0, 1, 0x40, 0x01}, 2), 3u);
    EXPECT_THROW(findNalUnitHeader(Bytes{0, 0, 1, 0x40}, 2), std::runtime_error);
    EXPECT_THROW(findNalUnitHeader(Bytes{0x47, 0, 0, 1, 0x67}, 1), std::runtime_error);
    EXPECT_THROW(findNalUnitHeader(Bytes{0, 0, 0}, 1), std::runtime_error);
    EXPECT_THROW(findNalUnitHeader(Bytes{}, 1), std::runtime_error);
}

TEST(RbspConversion, RemovesEmulationPreventionBytes)
{
    EXPECT_EQ(rbspOf(Bytes{0, 0, 1, 0x41, 0x9A, 0, 0, 3, 0, 0, 3, 1}), (Bytes{0x41, 0x9A, 0, 0, 0, 0, 1}));
    // The run stays at two zeros: a third zero does not reset it.
    EXPECT_EQ(rbspOf(Bytes{0, 0, 1, 0x41, 0x9A, 0, 0, 0, 3}), (Bytes{0x41, 0x9A, 0, 0, 0}));
    // 00 00 03 in the two header positions is never dropped; zeros there do not start a run.
    EXPECT_EQ(rbspOf(Bytes{0, 0, 1, 0, 0, 3, 7}), (Bytes{0, 0, 3, 7}));
    EXPECT_EQ(rbspOf(Bytes{0, 0, 1, 0x40, 0, 0, 3}), (Bytes{0x40, 0, 0, 3}));
    // Emulation prevention as the very last byte.
    EXPECT_EQ(rbspOf(Bytes{0, 0, 0, 1, 0x06, 5, 0, 0, 3}), (Bytes{0x06, 5, 0, 0}));
    // Only the first start code counts; the output is appended to.
    Bytes out{0xEE};
    convertByteStreamToRBSP(Bytes{0xFF, 0, 0, 1, 0x68, 0xCE, 0x3C, 0x80}, out);
    EXPECT_EQ(out, (Bytes{0xEE, 0x68, 0xCE, 0x3C, 0x80}));
}

TEST(RbspConversion, EveryPositionOfAnEmulationPreventionByte)
{
    for (std::size_t pos = 0; pos < 8; ++pos)
    {
        Bytes payload(8, 0x55);
        Bytes stream{0, 0, 1, 0x41, 0x22};
        Bytes expected{0x41, 0x22};
        for (std::size_t i = 0; i < payload.size(); ++i)
        {
            if (i == pos)
            {
                stream.insert(stream.end(), {0, 0, 3});
                expected.insert(expected.end(), {0, 0});
            }
            stream.push_back(payload[i]);
            expected.push_back(payload[i]);
        }
        EXPECT_EQ(rbspOf(stream), expected) << "at " << pos;
    }
}

TEST(RbspConversion, ShortInputsAndMissingStartCodesThrow)
{
    for (std::size_t size = 0; size <= 5; ++size)
    {
        for (unsigned fill : {0x00u, 0x01u, 0x03u})
        {
            Bytes in(size, std::uint8_t(fill));
            if (size == 5 && fill == 0)
            {
                continue;  // no 0x01 at all
            }
            Bytes out;
            EXPECT_THROW(convertByteStreamToRBSP(in, out), std::runtime_error) << size << " x " << fill;
        }
    }
    EXPECT_EQ(rbspOf(Bytes{0, 0, 1, 0x41, 0x42}), (Bytes{0x41, 0x42}));
    // A start code at the last possible place, without room for the header bytes.
    EXPECT_THROW(rbspOf(Bytes{0, 0, 0, 1, 0x09}), std::runtime_error);
    EXPECT_THROW(rbspOf(Bytes{0, 0, 1, 0x41}), std::runtime_error);
    EXPECT_THROW(rbspOf(Bytes{0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC}), std::runtime_error);
}

TEST(DisplayOrder, RunsStartAtIdrPictures)
{
    // IDR, P(4), B(2), IDR, P(2), B(1)
    ScriptedParser scanner({{true, 0}, {false, 4}, {false, 2}, {true, 0}, {false, 2}, {false, 1}});
    std::vector<std::uint32_t> order{};
    ParserInterface::buildDisplayOrder(scanner, order);
    EXPECT_EQ(order, (std::vector<std::uint32_t>{0, 2, 1, 3, 5, 4}));
    EXPECT_EQ(ParserInterface::lookUpDisplayIndex(order, 4), 5);
    EXPECT_EQ(ParserInterface::lookUpDisplayIndex(order, 6), 0);
    EXPECT_EQ(ParserInterface::lookUpDisplayIndex(order, -1), 0);

    // A stream that starts without an IDR picture, and equal counts keep their decoding order.
    ScriptedParser noIdr({{false, 6}, {false, 2}, {false, 2}, {true, 0}});
    order.clear();
    ParserInterface::buildDisplayOrder(noIdr, order);
    EXPECT_EQ(order, (std::vector<std::uint32_t>{2, 0, 1, 3}));

    ScriptedParser empty({});
    order.clear();
    ParserInterface::buildDisplayOrder(empty, order);
    EXPECT_TRUE(order.empty());
}
