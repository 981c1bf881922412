#include "DecoderProtocol.h"

#include <gtest/gtest.h>

using namespace pravix;
using namespace pravix::helper;

TEST(DecoderProtocolTest, RequestsGoThroughArgumentsAndOddOnesAreRefused)
{
    Request request;
    request.format = PictureFormat::Jpeg2000;
    request.memoryBytes = 480000000;
    request.cpuSeconds = 20;
    request.threads = 8;
    request.parent = 1234;
    const std::optional<Request> back = requestOf(argumentsOf(request));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->format, request.format);
    EXPECT_EQ(back->memoryBytes, request.memoryBytes);
    EXPECT_EQ(back->cpuSeconds, 20u);
    EXPECT_EQ(back->threads, 8u);
    EXPECT_EQ(back->parent, 1234);

    std::vector<std::string> arguments = argumentsOf(request);
    for (size_t i = 0; i < arguments.size(); ++i)
    {
        std::vector<std::string> odd = arguments;
        odd[i] = i == 0 ? "heif" : "-1";
        EXPECT_FALSE(requestOf(odd)) << i;
    }
    arguments.pop_back();
    EXPECT_FALSE(requestOf(arguments));
    request.cpuSeconds = 0;
    EXPECT_FALSE(requestOf(argumentsOf(request)));

    // The decode asked once the header is known.
    const std::vector<uint8_t> decode = decodeMessage(DecodeRequest{true, 8192, true});
    MessageReader reader;
    ASSERT_TRUE(reader.add(decode.data(), decode.size()));
    const std::optional<MessageReader::Message> m = reader.next();
    ASSERT_TRUE(m);
    EXPECT_EQ(m->kind, MessageKind::Decode);
    const std::optional<DecodeRequest> asked = decodeRequestOf(m->payload);
    ASSERT_TRUE(asked);
    EXPECT_TRUE(asked->upright);
    EXPECT_EQ(asked->maxPixelSize, 8192u);
    EXPECT_TRUE(asked->keepAlpha);
    std::vector<uint8_t> odd(m->payload);
    odd[0] = 2;
    EXPECT_FALSE(decodeRequestOf(odd));
}

// Messages arrive in pieces of any size and come out whole; a header keeps every field; a message of
// an unknown kind or too long a payload breaks the stream.
TEST(DecoderProtocolTest, MessagesComeOutWholeFromAnyPieces)
{
    PictureHeader header;
    header.width = 4000;
    header.height = 3000;
    header.orientation = 6;
    header.bottomUp = true;
    header.iccProfile.assign(5000, 7);
    header.exifBlock = {'E', 'x', 'i', 'f', 0, 0, 1, 2};
    std::vector<uint8_t> stream = headerMessage(header);
    const std::vector<uint8_t> picture = pictureMessage({4000, 3000, 4});
    stream.insert(stream.end(), picture.begin(), picture.end());
    for (size_t piece : {size_t(1), size_t(3), size_t(4096), stream.size()})
    {
        MessageReader reader;
        std::vector<MessageReader::Message> got;
        for (size_t at = 0; at < stream.size(); at += piece)
        {
            ASSERT_TRUE(reader.add(stream.data() + at, std::min(piece, stream.size() - at)));
            while (std::optional<MessageReader::Message> m = reader.next())
            {
                got.push_back(std::move(*m));
            }
        }
        ASSERT_EQ(got.size(), 2u) << piece;
        EXPECT_FALSE(reader.pending());
        const std::optional<PictureHeader> back = headerOf(got[0].payload);
        ASSERT_TRUE(back);
        EXPECT_EQ(back->width, 4000u);
        EXPECT_EQ(back->orientation, 6u);
        EXPECT_TRUE(back->bottomUp);
        EXPECT_EQ(back->iccProfile, header.iccProfile);
        EXPECT_EQ(back->exifBlock, header.exifBlock);
        const std::optional<PictureSize> size = pictureSizeOf(got[1].payload);
        ASSERT_TRUE(size);
        EXPECT_EQ(size->channels, 4u);
    }

    MessageReader unknown;
    const uint8_t odd[8] = {9, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_FALSE(unknown.add(odd, sizeof odd));
    EXPECT_TRUE(unknown.broken());
    MessageReader huge;
    const uint8_t long_[8] = {1, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0x7F};
    EXPECT_FALSE(huge.add(long_, sizeof long_));
}

TEST(DecoderProtocolTest, PayloadsThatDoNotHoldWhatTheySayAreRefused)
{
    PictureHeader header;
    header.width = 10;
    header.height = 10;
    const std::vector<uint8_t> whole = headerMessage(header);
    std::vector<uint8_t> payload(whole.begin() + 8, whole.end());
    ASSERT_TRUE(headerOf(payload));
    for (size_t cut = 0; cut < payload.size(); ++cut)
    {
        EXPECT_FALSE(headerOf(std::vector<uint8_t>(payload.begin(), payload.begin() + cut))) << cut;
    }
    std::vector<uint8_t> longer = payload;
    longer.push_back(0);
    EXPECT_FALSE(headerOf(longer));
    // A profile length beyond what follows.
    std::vector<uint8_t> lying = payload;
    lying[16] = 0xFF;
    EXPECT_FALSE(headerOf(lying));
    // An orientation outside 1 to 8, a picture of no pixels, a channel count other than 3 or 4.
    std::vector<uint8_t> turned = payload;
    turned[8] = 9;
    EXPECT_FALSE(headerOf(turned));
    const std::vector<uint8_t> empty = pictureMessage({0, 10, 3});
    EXPECT_FALSE(pictureSizeOf(std::vector<uint8_t>(empty.begin() + 8, empty.end())));
    const std::vector<uint8_t> two = pictureMessage({10, 10, 2});
    EXPECT_FALSE(pictureSizeOf(std::vector<uint8_t>(two.begin() + 8, two.end())));
    const std::vector<uint8_t> failure = failureMessage({FailureKind::OutOfMemory, std::string(5000, 'x')});
    const std::optional<Failure> back = failureOf(std::vector<uint8_t>(failure.begin() + 8, failure.end()));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->kind, FailureKind::OutOfMemory);
    EXPECT_EQ(back->text.size(), kMaxFailureText);
}
