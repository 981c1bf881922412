#include <gtest/gtest.h>

#include <QElapsedTimer>

#include <memory>
#include <optional>

#include "HttpClient.h"
#include "LocalHttpServer.h"
#include "QtPrinters.h"

namespace pravix
{
namespace
{
using testsupport::LocalHttpServer;
using namespace std::chrono_literals;

class HttpClientTest : public ::testing::Test
{
protected:
    LocalHttpServer server;
    HttpClient client;

    void SetUp() override { ASSERT_TRUE(server.isListening()); }
    void TearDown() override { EXPECT_TRUE(testsupport::spinUntil([this] { return client.pendingCount() == 0; })); }

    HttpRequest post(const QByteArray& body, std::chrono::milliseconds timeout = 5s)
    {
        return HttpRequest::post(server.url("/page.ashx?x=1"), body, timeout);
    }
};

TEST_F(HttpClientTest, PostSendsBodyLengthAndFormContentType)
{
    server.enqueue(LocalHttpServer::Reply::answer(200, "1"));
    const HttpReply reply = client.sendAndWait(post("abc=="));
    ASSERT_EQ(server.requestCount(), 1);
    const LocalHttpServer::Request& request = server.requests()[0];
    EXPECT_EQ(request.requestLine, "POST /page.ashx?x=1 HTTP/1.1");
    EXPECT_EQ(request.path(), "/page.ashx");
    EXPECT_EQ(request.query(), "x=1");
    EXPECT_EQ(request.header("content-length"), "5");
    EXPECT_EQ(request.header("Content-Type"), "application/x-www-form-urlencoded");
    EXPECT_EQ(request.body, "abc==");
    EXPECT_TRUE(reply.answered());
    EXPECT_TRUE(reply.succeeded());
    EXPECT_EQ(reply.status, 200);
    EXPECT_EQ(reply.body, "1");
}

TEST_F(HttpClientTest, GivenContentTypeAndHeadersAreKept)
{
    HttpRequest request = post("--b--");
    request.headers.emplaceBack("Content-Type", "multipart/form-data; boundary=b");
    request.headers.emplaceBack("X-Pravix", "yes");
    request.headers.emplaceBack("Content-Length", "999"); // follows the body whatever is asked
    client.sendAndWait(request);
    ASSERT_EQ(server.requestCount(), 1);
    EXPECT_EQ(server.requests()[0].header("Content-Type"), "multipart/form-data; boundary=b");
    EXPECT_EQ(server.requests()[0].header("X-Pravix"), "yes");
    EXPECT_EQ(server.requests()[0].header("Content-Length"), "5");
}

TEST_F(HttpClientTest, EmptyPostStillSaysItsLength)
{
    client.sendAndWait(post(""));
    ASSERT_EQ(server.requestCount(), 1);
    EXPECT_EQ(server.requests()[0].header("Content-Length"), "0");
}

TEST_F(HttpClientTest, GetSendsNoBody)
{
    server.enqueue(LocalHttpServer::Reply::answer(200, "{\"code\":1}"));
    const HttpReply reply = client.sendAndWait(HttpRequest::get(server.url("/api/x?t=1&a=b"), 5s));
    ASSERT_EQ(server.requestCount(), 1);
    EXPECT_EQ(server.requests()[0].method, "GET");
    EXPECT_EQ(server.requests()[0].target, "/api/x?t=1&a=b");
    EXPECT_FALSE(server.requests()[0].hasHeader("Content-Type"));
    EXPECT_TRUE(server.requests()[0].body.isEmpty());
    EXPECT_EQ(reply.body, "{\"code\":1}");
}

TEST_F(HttpClientTest, AnErrorStatusIsAnAnswerButNoSuccess)
{
    for (int status : {404, 500, 301, 204})
    {
        server.enqueue(LocalHttpServer::Reply::answer(status, status == 204 ? "" : "404 Not Found"));
        const HttpReply reply = client.sendAndWait(post("x"));
        EXPECT_EQ(reply.status, status);
        EXPECT_TRUE(reply.answered());
        EXPECT_EQ(reply.succeeded(), status == 204) << status;
        if (status == 404 || status == 500)
        {
            EXPECT_EQ(reply.body, "404 Not Found");
        }
    }
}

TEST_F(HttpClientTest, RepliesAreCappedAt64KiB)
{
    server.enqueue(LocalHttpServer::Reply::answer(200, QByteArray(kHttpReplyLimit, 'a')));
    const HttpReply whole = client.sendAndWait(post("x"));
    EXPECT_TRUE(whole.succeeded());
    EXPECT_EQ(whole.body.size(), kHttpReplyLimit);

    server.enqueue(LocalHttpServer::Reply::answer(200, QByteArray(kHttpReplyLimit + 1, 'a')));
    const HttpReply over = client.sendAndWait(post("x"));
    EXPECT_TRUE(over.tooLarge);
    EXPECT_FALSE(over.answered());
    EXPECT_TRUE(over.body.isEmpty());

    // No length announced: the cap is found while reading.
    server.enqueue(LocalHttpServer::Reply::raw("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" +
                                               QByteArray(3 * kHttpReplyLimit, 'b')));
    const HttpReply unannounced = client.sendAndWait(post("x"));
    EXPECT_TRUE(unannounced.tooLarge);
    EXPECT_FALSE(unannounced.answered());
}

TEST_F(HttpClientTest, ASilentServerTimesOut)
{
    server.enqueue(LocalHttpServer::Reply::neverAnswer());
    QElapsedTimer clock;
    clock.start();
    const HttpReply reply = client.sendAndWait(post("x", 300ms));
    EXPECT_TRUE(reply.timedOut);
    EXPECT_FALSE(reply.answered());
    EXPECT_FALSE(reply.errorText.isEmpty());
    EXPECT_GE(clock.elapsed(), 250);
    EXPECT_EQ(server.requestCount(), 1);
}

TEST_F(HttpClientTest, TheTimeoutLimitCutsLongerRequests)
{
    client.setTimeoutLimit(200ms);
    server.enqueue(LocalHttpServer::Reply::neverAnswer());
    const HttpReply reply = client.sendAndWait(post("x", 60s));
    EXPECT_TRUE(reply.timedOut);
}

TEST_F(HttpClientTest, AClosedConnectionIsNoAnswer)
{
    // Qt sends a request once more on a fresh connection when the first closes unanswered.
    server.setDefaultReply(LocalHttpServer::Reply::close());
    const HttpReply reply = client.sendAndWait(post("x"));
    EXPECT_GE(server.requestCount(), 1);
    EXPECT_FALSE(reply.answered());
    EXPECT_FALSE(reply.timedOut);
    EXPECT_EQ(reply.status, 0);
    EXPECT_FALSE(reply.errorText.isEmpty());
}

TEST_F(HttpClientTest, ARefusedConnectionIsNoAnswer)
{
    const QUrl url = server.url("/x");
    server.stopListening();
    const HttpReply reply = client.sendAndWait(HttpRequest::post(url, "x", 5s));
    EXPECT_FALSE(reply.answered());
    EXPECT_FALSE(reply.timedOut);
}

TEST_F(HttpClientTest, OnlyHttpAddressesAreSent)
{
    for (const QUrl& url : {QUrl(), QUrl("file:///etc/passwd"), QUrl("ftp://127.0.0.1/x"), QUrl("http:///nohost"),
                            QUrl("not a url")})
    {
        std::optional<HttpReply> got;
        client.send(HttpRequest::get(url, 5s), [&](const HttpReply& reply) { got = reply; });
        EXPECT_FALSE(got.has_value()) << "the completion runs later, never inside send";
        ASSERT_TRUE(testsupport::spinUntil([&] { return got.has_value(); })) << url.toString().toStdString();
        EXPECT_FALSE(got->answered());
        EXPECT_FALSE(got->errorText.isEmpty());
    }
    EXPECT_EQ(server.requestCount(), 0);
}

TEST_F(HttpClientTest, BackgroundSendsCompleteInTheEventLoop)
{
    server.enqueue(LocalHttpServer::Reply::answer(200, "first"));
    server.enqueue(LocalHttpServer::Reply::answer(500, "second"));
    std::vector<HttpReply> replies;
    client.send(post("a"), [&](const HttpReply& reply) { replies.push_back(reply); });
    client.send(post("b"), [&](const HttpReply& reply) { replies.push_back(reply); });
    EXPECT_TRUE(replies.empty());
    EXPECT_EQ(client.pendingCount(), 2);
    ASSERT_TRUE(testsupport::spinUntil([&] { return replies.size() == 2; }));
    EXPECT_EQ(server.requestCount(), 2);
    EXPECT_EQ(client.pendingCount(), 0);
}

TEST_F(HttpClientTest, NoCompletionForAGoneContext)
{
    server.enqueue(LocalHttpServer::Reply::answer(200, "1"));
    bool called = false;
    auto context = std::make_unique<QObject>();
    client.send(post("a"), [&](const HttpReply&) { called = true; }, context.get());
    context.reset();
    ASSERT_TRUE(server.waitForRequests(1));
    // One more exchange after it, so the first has certainly been delivered by then.
    bool later = false;
    client.send(post("b"), [&](const HttpReply&) { later = true; });
    ASSERT_TRUE(testsupport::spinUntil([&] { return later; }));
    EXPECT_FALSE(called);
}

TEST(HttpReply, ExcerptIsShortAndEscaped)
{
    HttpReply reply;
    reply.body = "0\r\nbad\tthing\x01\x7f";
    EXPECT_EQ(reply.bodyExcerpt(), "0\\r\\nbad\\tthing\\u0001\\u007f");

    reply.body = QByteArray(500, 'x');
    EXPECT_EQ(reply.bodyExcerpt(), QString(200, 'x') + "...");
    EXPECT_EQ(reply.bodyExcerpt(3), "xxx...");

    reply.body = QString(300, QChar(0x4E2D)).toUtf8(); // three bytes each in UTF-8
    EXPECT_EQ(reply.bodyExcerpt(), QString(200, QChar(0x4E2D)) + "...");

    reply.body = QString(200, 'y').toUtf8();
    EXPECT_EQ(reply.bodyExcerpt(), QString(200, 'y'));

    reply.body = "\xF0\x9F\x98\x80z"; // a character outside the basic plane stays whole
    EXPECT_EQ(reply.bodyExcerpt(1), QString::fromUtf8("\xF0\x9F\x98\x80") + "...");
}

} // namespace
} // namespace pravix
