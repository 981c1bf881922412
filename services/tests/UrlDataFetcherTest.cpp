#include <gtest/gtest.h>

#include <QByteArray>

#include <optional>
#include <string>
#include <vector>

#include "LocalHttpServer.h"
#include "UrlDataFetcher.h"

namespace pravix
{
namespace
{
using testsupport::LocalHttpServer;
using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

Bytes bytesOf(const QByteArray& data)
{
    return Bytes(data.begin(), data.end());
}

// Bytes that no text handling would keep as they are: every value, NUL included.
QByteArray everyByte(int size)
{
    QByteArray data(size, '\0');
    for (int i = 0; i < size; ++i)
        data[i] = char(i * 7 % 256);
    return data;
}

class UrlDataFetcherTest : public ::testing::Test
{
protected:
    LocalHttpServer server;
    UrlDataFetcher fetcher{5s};

    void SetUp() override { ASSERT_TRUE(server.isListening()); }

    std::string url(const char* path) const { return server.url(QString::fromLatin1(path)).toString().toStdString(); }

    // The whole body gathered, or nothing.
    std::optional<Bytes> fetch(const std::string& address, uint64_t maxBytes, std::string* whyNot = nullptr) const
    {
        Bytes body;
        const bool whole = fetcher.fetchInto(
            address, maxBytes,
            [&body](const uint8_t* bytes, size_t count) {
                body.insert(body.end(), bytes, bytes + count);
                return true;
            },
            whyNot);
        return whole ? std::optional<Bytes>(std::move(body)) : std::nullopt;
    }
};

TEST_F(UrlDataFetcherTest, BodyOfAnAnswerComesWhole)
{
    const QByteArray body = everyByte(70000);  // past the services' 64 KiB cap for their own replies
    server.enqueue(LocalHttpServer::Reply::answer(200, body));
    std::string whyNot = "untouched";
    const std::optional<Bytes> data = fetch(url("/photo.jpg?size=2"), 1 << 20, &whyNot);
    ASSERT_TRUE(data) << whyNot;
    EXPECT_EQ(*data, bytesOf(body));
    EXPECT_EQ(whyNot, "untouched");
    ASSERT_EQ(server.requestCount(), 1);
    EXPECT_EQ(server.requests()[0].requestLine, "GET /photo.jpg?size=2 HTTP/1.1");
}

// The body arrives in pieces, each kept where the caller keeps it; a piece it cannot keep ends the
// transfer with nothing.
TEST_F(UrlDataFetcherTest, PiecesTheCallerCannotKeepEndTheTransfer)
{
    server.enqueue(LocalHttpServer::Reply::answer(200, everyByte(300000)));
    size_t pieces = 0;
    size_t kept = 0;
    std::string whyNot;
    EXPECT_FALSE(fetcher.fetchInto(
        url("/big.png"), 1 << 20,
        [&](const uint8_t*, size_t count) {
            ++pieces;
            kept += count;
            return kept < 100000;
        },
        &whyNot));
    EXPECT_EQ(whyNot, "the body cannot be kept");
    EXPECT_GE(kept, 100000u);
    EXPECT_LT(kept, 300000u);
    EXPECT_GT(pieces, 1u);
}

TEST_F(UrlDataFetcherTest, BodyOfExactlyTheLimitIsKept)
{
    server.enqueue(LocalHttpServer::Reply::answer(200, everyByte(1000)));
    server.enqueue(LocalHttpServer::Reply::answer(200, QByteArray()));
    EXPECT_TRUE(fetch(url("/a"), 1000));
    const std::optional<Bytes> empty = fetch(url("/b"), 1000);
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->empty());
}

// Told by Content-Length before the body, or counted as it arrives when the answer has no length.
TEST_F(UrlDataFetcherTest, LongerBodyIsRefused)
{
    server.enqueue(LocalHttpServer::Reply::answer(200, everyByte(1001)));
    server.enqueue(LocalHttpServer::Reply::raw("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + everyByte(300000)));
    for (const char* path : {"/length", "/streamed"})
    {
        SCOPED_TRACE(path);
        std::string whyNot;
        EXPECT_FALSE(fetch(url(path), 1000, &whyNot));
        EXPECT_NE(whyNot.find("longer than 1000 bytes"), std::string::npos) << whyNot;
    }
}

// A 404, a timeout and a load from the batch's thread are tested where the loader uses the fetcher
// (app/startup/tests/UrlDataReaderTest.cpp).
TEST_F(UrlDataFetcherTest, ErrorStatusGivesNothing)
{
    server.enqueue(LocalHttpServer::Reply::answer(403, "not yours"));
    std::string whyNot;
    EXPECT_FALSE(fetch(url("/private.png"), 1000, &whyNot));
    EXPECT_FALSE(whyNot.empty());
}

TEST_F(UrlDataFetcherTest, ClosedConnectionAndRefusedPortGiveNothing)
{
    server.enqueue(LocalHttpServer::Reply::close());
    server.enqueue(LocalHttpServer::Reply::close());
    std::string whyNot;
    EXPECT_FALSE(fetch(url("/closed"), 1000, &whyNot));
    EXPECT_FALSE(whyNot.empty());
    const std::string refused = url("/refused");
    server.stopListening();
    whyNot.clear();
    EXPECT_FALSE(fetch(refused, 1000, &whyNot));
    EXPECT_FALSE(whyNot.empty());
}

// Nothing is sent for an address that is not a web address.
TEST_F(UrlDataFetcherTest, OnlyHttpAndHttpsAreFetched)
{
    for (const std::string address : {"file:///etc/hostname", "ftp://127.0.0.1/a.png", "http://", "no address", ""})
    {
        SCOPED_TRACE(address);
        std::string whyNot;
        EXPECT_FALSE(fetch(address, 1000, &whyNot));
        EXPECT_EQ(whyNot, "not an http or https address");
    }
    EXPECT_EQ(server.requestCount(), 0);
}

} // namespace
} // namespace pravix
