#include "NSUserAnalysis.h"

#include <QCryptographicHash>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <optional>

#include "HttpClient.h"
#include "LocalHttpServer.h"
#include "QtPrinters.h"
#include "TestFiles.h"

namespace pravix
{
namespace
{
using testsupport::LocalHttpServer;
using testsupport::spinUntil;
using namespace std::chrono_literals;

constexpr qint64 kNow = 1700000000400;  // 2023-11-14 22:13:20.4 UTC
const char* kCpuinfo = "processor\t: 0\nmodel name\t: Intel(R) Core(TM) i5-8250U CPU @ 1.60GHz\n";

QByteArray expectedSign(const QByteArray& productId, const QByteArray& t)
{
    return QCryptographicHash::hash(productId + t, QCryptographicHash::Md5).toHex();
}

class NSUserAnalysisTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.isListening());
        sources.server = server.url().toString();
        sources.productId = "P42";
        sources.machineCode = "d12a91a7eebc7a84";
        sources.partner = "0";
        sources.version = "1.0.3";
        sources.uploadKey = "abcdefghijklm";
        sources.cpuinfoPath = write("cpuinfo", kCpuinfo);
        sources.osReleasePaths = {write("os-release", "ID=debian\nVERSION_ID=\"12\"\n")};
        sources.now = [] { return kNow; };
    }

    void TearDown() override
    {
        EXPECT_TRUE(spinUntil([] { return HttpClient::shareInstance().pendingCount() == 0; }));
        HttpClient::shareInstance().setTimeoutLimit(0ms);
    }

    QString write(const QString& name, const QByteArray& bytes) { return test::writeTestFile(dir, name, bytes); }

    // Runs one report against the next reply and gives what its handler received.
    template <typename Report>
    std::optional<bool> resultOf(const LocalHttpServer::Reply& reply, Report report)
    {
        server.enqueue(reply);
        auto result = std::make_shared<std::optional<bool>>();
        report([result](bool success) { *result = success; });
        EXPECT_FALSE(result->has_value()) << "answered within the call";
        spinUntil([result] { return result->has_value(); });
        return *result;
    }

    QTemporaryDir dir;
    LocalHttpServer server;
    NSUserAnalysisSources sources;
};

TEST_F(NSUserAnalysisTest, CreationReadsTheProcessorBrand)
{
    const NSUserAnalysis pings(sources);
    EXPECT_EQ(pings.strCPUModel(), "Intel(R) Core(TM) i5-8250U CPU @ 1.60GHz");
    EXPECT_EQ(pings.CpuModel(), pings.strCPUModel());
    EXPECT_EQ(pings.GetSysVersion(), "Mac-12");

    sources.cpuinfoPath = dir.filePath("missing");
    EXPECT_EQ(NSUserAnalysis(sources).strCPUModel(), "");
}

TEST_F(NSUserAnalysisTest, ActivityReportQueryInOrderAndSigned)
{
    const NSUserAnalysis pings(sources);
    EXPECT_EQ(resultOf(LocalHttpServer::Reply::answer(200, "{\"code\":1}"),
                       [&](auto done) { pings.AppActive(done); }),
              true);
    ASSERT_EQ(server.requestCount(), 1);
    const LocalHttpServer::Request& request = server.requests()[0];
    EXPECT_EQ(request.method, "GET");
    EXPECT_EQ(request.path(), "/api/mac/activityLog");
    // The time stamp is whole seconds, rounded; the sign is md5 of product id and time stamp, no key.
    EXPECT_EQ(request.query(), "t=1700000000&product_id=P42&uid=d12a91a7eebc7a84&winver=Mac-12"
                               "&cpu=Intel%28R%29Core%28TM%29i5-8250UCPU%401.60GHz&version=1.0.3&partner_id=0"
                               "&downurl=&sign=" +
                                   expectedSign("P42", "1700000000"));
}

TEST_F(NSUserAnalysisTest, InstallationAndExitReportsUseTheirOwnPaths)
{
    const NSUserAnalysis pings(sources);
    EXPECT_EQ(resultOf(LocalHttpServer::Reply::answer(200, "{\"code\":1}"),
                       [&](auto done) { pings.AppInstalled(done); }),
              true);
    EXPECT_EQ(resultOf(LocalHttpServer::Reply::answer(200, "{\"code\":1}"), [&](auto done) { pings.AppCrash(done); }),
              true);
    ASSERT_EQ(server.requestCount(), 2);
    EXPECT_EQ(server.requests()[0].path(), "/api/mac/installationQuantity");
    EXPECT_EQ(server.requests()[1].path(), "/api/mac/exitLog");
    EXPECT_EQ(server.requests()[0].query(), server.requests()[1].query());
    EXPECT_EQ(server.requests()[0].query(), pings.reportQuery(kNow).toUtf8());
}

TEST_F(NSUserAnalysisTest, InstallDataQueryInOrderAndSigned)
{
    const NSUserAnalysis pings(sources);
    for (const int type : {1, 3}) {
        EXPECT_EQ(resultOf(LocalHttpServer::Reply::answer(200, "1"),
                           [&](auto done) { pings.SoftInstallData(type, done); }),
                  true);
    }
    ASSERT_EQ(server.requestCount(), 2);
    const QByteArray sign = expectedSign("P42", "1700000000");
    EXPECT_EQ(server.requests()[0].path(), "/api/quelvar/softInstallData");
    EXPECT_EQ(server.requests()[0].query(), "adid=0&t=1700000000&type=1&partner_id=0&product_id=P42&os=Mac-12"
                                            "&os_bit=1&uid=d12a91a7eebc7a84&version=1.0.3&sign=" +
                                                sign);
    EXPECT_EQ(server.requests()[1].query(), "adid=0&t=1700000000&type=3&partner_id=0&product_id=P42&os=Mac-12"
                                            "&os_bit=1&uid=d12a91a7eebc7a84&version=1.0.3&sign=" +
                                                sign);
}

TEST_F(NSUserAnalysisTest, EveryValueIsEscaped)
{
    // A channel code from the user's settings and texts from files cannot add parameters, end the
    // query or break the address.
    sources.partner = "a&b#c";
    sources.version = "1.0 beta";
    sources.osReleasePaths = {write("hostile", "VERSION_ID=\"12&x=1\tz\"\n")};
    sources.machineCode = QString::fromUtf8("m\xc3\xa4=");
    const NSUserAnalysis pings(sources);
    EXPECT_EQ(resultOf(LocalHttpServer::Reply::answer(200, "{\"code\":1}"),
                       [&](auto done) { pings.AppInstalled(done); }),
              true);
    ASSERT_EQ(server.requestCount(), 1);
    const QByteArray query = server.requests()[0].query();
    EXPECT_TRUE(query.contains("&partner_id=a%26b%23c&")) << query.constData();
    EXPECT_TRUE(query.contains("&version=1.0%20beta&")) << query.constData();
    EXPECT_TRUE(query.contains("&winver=Mac-12%26x%3D1%09z&")) << query.constData();
    EXPECT_TRUE(query.contains("&uid=m%C3%A4%3D&")) << query.constData();
    EXPECT_EQ(query.count('&'), 8);
}

TEST_F(NSUserAnalysisTest, ReportReplyReadings)
{
    const NSUserAnalysis pings(sources);
    const struct
    {
        LocalHttpServer::Reply reply;
        bool accepted;
    } cases[] = {
        {LocalHttpServer::Reply::answer(200, "{\"code\":1}"), true},
        {LocalHttpServer::Reply::answer(200, "{\"code\":\"1\",\"msg\":\"ok\"}"), true},  // integer reading of text
        {LocalHttpServer::Reply::answer(200, "\xEF\xBB\xBF {\"code\":1}\n"), true},      // byte-order mark
        {LocalHttpServer::Reply::answer(201, "{\"code\":1}"), true},
        {LocalHttpServer::Reply::answer(200, "{\"code\":2}"), false},
        {LocalHttpServer::Reply::answer(200, "{\"code\":0}"), false},
        {LocalHttpServer::Reply::answer(200, "{\"code\":\"one\"}"), false},
        {LocalHttpServer::Reply::answer(200, "{\"code\":null}"), false},
        {LocalHttpServer::Reply::answer(200, "{\"code\":[1]}"), false},
        {LocalHttpServer::Reply::answer(200, "{\"msg\":\"ok\"}"), false},
        {LocalHttpServer::Reply::answer(200, "[{\"code\":1}]"), false},
        {LocalHttpServer::Reply::answer(200, "1"), false},
        {LocalHttpServer::Reply::answer(200, "<html>code 1</html>"), false},
        {LocalHttpServer::Reply::answer(200, ""), false},
        {LocalHttpServer::Reply::answer(500, "{\"code\":1}"), false},
        {LocalHttpServer::Reply::answer(302, "{\"code\":1}"), false},
        {LocalHttpServer::Reply::raw("garbage\r\n\r\n"), false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(resultOf(c.reply, [&](auto done) { pings.AppActive(done); }), c.accepted)
            << c.reply.status << " " << c.reply.body.constData();
    }
}

TEST_F(NSUserAnalysisTest, InstallDataReplyReadings)
{
    const NSUserAnalysis pings(sources);
    const struct
    {
        LocalHttpServer::Reply reply;
        bool accepted;
    } cases[] = {
        {LocalHttpServer::Reply::answer(200, "1"), true},
        {LocalHttpServer::Reply::answer(200, " 1\r\n"), true},
        {LocalHttpServer::Reply::answer(200, "0"), false},
        {LocalHttpServer::Reply::answer(200, "2"), false},
        {LocalHttpServer::Reply::answer(200, ""), false},
        {LocalHttpServer::Reply::answer(200, "word"), false},
        {LocalHttpServer::Reply::answer(200, "{\"code\":1}"), false},
        {LocalHttpServer::Reply::answer(500, "1"), false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(resultOf(c.reply, [&](auto done) { pings.SoftInstallData(1, done); }), c.accepted)
            << c.reply.status << " " << c.reply.body.constData();
    }
}

TEST_F(NSUserAnalysisTest, ReplyBeyondTheLimitIsRefused)
{
    const NSUserAnalysis pings(sources);
    const QByteArray padded = "{\"code\":1,\"pad\":\"" + QByteArray(kHttpReplyLimit, 'x') + "\"}";
    EXPECT_EQ(resultOf(LocalHttpServer::Reply::answer(200, padded), [&](auto done) { pings.AppActive(done); }),
              false);
}

TEST_F(NSUserAnalysisTest, SilentServerGivesNoWithinTheTimeLimit)
{
    HttpClient::shareInstance().setTimeoutLimit(200ms);
    const NSUserAnalysis pings(sources);
    EXPECT_EQ(resultOf(LocalHttpServer::Reply::neverAnswer(), [&](auto done) { pings.AppInstalled(done); }), false);
    EXPECT_EQ(resultOf(LocalHttpServer::Reply::neverAnswer(), [&](auto done) { pings.SoftInstallData(3, done); }),
              false);
}

TEST_F(NSUserAnalysisTest, RefusedConnectionGivesNo)
{
    server.stopListening();
    const NSUserAnalysis pings(sources);
    auto result = std::make_shared<std::optional<bool>>();
    pings.AppActive([result](bool success) { *result = success; });
    ASSERT_TRUE(spinUntil([result] { return result->has_value(); }));
    EXPECT_FALSE(**result);
}

TEST_F(NSUserAnalysisTest, NoServerConfiguredSendsNothingAndGivesNo)
{
    sources.server.clear();
    const NSUserAnalysis pings(sources);
    auto results = std::make_shared<QList<bool>>();
    pings.AppInstalled([results](bool success) { results->append(success); });
    pings.SoftInstallData(1, [results](bool success) { results->append(success); });
    pings.AppCrashFile("crash.log", dir.filePath("missing"), [results](bool success) { results->append(success); });
    EXPECT_TRUE(results->isEmpty());
    ASSERT_TRUE(spinUntil([results] { return results->size() == 3; }));
    EXPECT_EQ(*results, QList<bool>({false, false, false}));
    EXPECT_EQ(server.requestCount(), 0);
}

TEST_F(NSUserAnalysisTest, GetHttpUrlHandsOverTheRawReply)
{
    const NSUserAnalysis pings(sources);
    server.enqueue(LocalHttpServer::Reply::answer(404, "nope"));
    server.enqueue(LocalHttpServer::Reply::answer(200, "yes"));
    auto replies = std::make_shared<QList<HttpReply>>();
    pings.GetHttpURL(server.url("/x?a=1").toString(), [replies](const HttpReply& r) { replies->append(r); });
    ASSERT_TRUE(spinUntil([replies] { return replies->size() == 1; }));
    pings.PostHttpFileUrl(server.url("/y").toString(), [replies](const HttpReply& r) { replies->append(r); });
    ASSERT_TRUE(spinUntil([replies] { return replies->size() == 2; }));
    EXPECT_EQ((*replies)[0].status, 404);
    EXPECT_EQ((*replies)[0].body, "nope");
    EXPECT_EQ((*replies)[1].status, 200);
    ASSERT_EQ(server.requestCount(), 2);
    EXPECT_EQ(server.requests()[0].requestLine, "GET /x?a=1 HTTP/1.1");
    EXPECT_EQ(server.requests()[1].requestLine, "GET /y HTTP/1.1");  // a GET, whatever its name says
}

TEST_F(NSUserAnalysisTest, AddressTextThatDoesNotParseFailsWithoutSending)
{
    const NSUserAnalysis pings(sources);
    auto replies = std::make_shared<QList<HttpReply>>();
    for (const QString& text : {server.url().toString() + "a b", QString("not an address"), QString("ftp://h/x"),
                                QString()}) {
        pings.GetHttpURL(text, [replies](const HttpReply& r) { replies->append(r); });
    }
    ASSERT_TRUE(spinUntil([replies] { return replies->size() == 4; }));
    for (const HttpReply& reply : *replies) {
        EXPECT_FALSE(reply.answered());
        EXPECT_FALSE(reply.errorText.isEmpty());
    }
    EXPECT_EQ(server.requestCount(), 0);
}

TEST_F(NSUserAnalysisTest, CrashUploadIsAMultipartFormWithTheFile)
{
    const NSUserAnalysis pings(sources);
    const QString path = write("crash.log", QByteArray("line 1\r\n\0bytes", 15));
    EXPECT_EQ(resultOf(LocalHttpServer::Reply::answer(200, "{\"code\":1}"),
                       [&](auto done) { pings.AppCrashFile("report \"7\".log", path, done); }),
              true);
    ASSERT_EQ(server.requestCount(), 1);
    const LocalHttpServer::Request& request = server.requests()[0];
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.path(), "/api/mac/uploadQiniu");
    EXPECT_EQ(request.query(), "t=1700000000&product_id=P42&uid=d12a91a7eebc7a84&sign=" +
                                   expectedSign("P42", "1700000000"));
    EXPECT_EQ(request.header("Content-Type"), "multipart/form-data; boundary=unique-consistent-string");
    EXPECT_EQ(request.header("Content-Length"), QByteArray::number(request.body.size()));
    EXPECT_EQ(request.body, QByteArray("--unique-consistent-string\r\n"
                                       "Content-Disposition: form-data; name=UPLOADCARE_PUB_KEY\r\n\r\n"
                                       "abcdefghijklm\r\n"
                                       "--unique-consistent-string\r\n"
                                       "Content-Disposition: form-data; name=UPLOADCARE_STORE\r\n\r\n"
                                       "1\r\n"
                                       "--unique-consistent-string\r\n"
                                       "Content-Disposition: form-data; name=file; filename=\"report %227%22.log\"\r\n"
                                       "Content-Type: text/html\r\n\r\n") +
                                QByteArray("line 1\r\n\0bytes", 15) + "\r\n--unique-consistent-string--\r\n");
}

TEST_F(NSUserAnalysisTest, CrashUploadWithoutReadableFileSendsTheFieldsOnly)
{
    const NSUserAnalysis pings(sources);
    const std::optional<HttpRequest> request = pings.crashFileRequest("crash.log", dir.filePath("missing"));
    ASSERT_TRUE(request.has_value());
    EXPECT_FALSE(request->body.contains("filename="));
    EXPECT_TRUE(request->body.endsWith("1\r\n--unique-consistent-string--\r\n"));
}

TEST_F(NSUserAnalysisTest, CrashUploadRefusesANameThatWouldBreakTheHeader)
{
    const NSUserAnalysis pings(sources);
    const QString path = write("crash.log", "x");
    for (const QString& name : {QString("a\r\nX-Injected: 1"), QString("a\nb"), QString("a\rb"),
                                QString::fromUtf8(QByteArray("a\0b", 3))}) {
        EXPECT_FALSE(pings.crashFileRequest(name, path).has_value());
        EXPECT_EQ(resultOf(LocalHttpServer::Reply::answer(200, "{\"code\":1}"),
                           [&](auto done) { pings.AppCrashFile(name, path, done); }),
                  false);
    }
    EXPECT_EQ(server.requestCount(), 0);
}

TEST_F(NSUserAnalysisTest, CrashUploadReplyReadings)
{
    const NSUserAnalysis pings(sources);
    const QString path = write("crash.log", "x");
    const struct
    {
        LocalHttpServer::Reply reply;
        bool accepted;
    } cases[] = {
        {LocalHttpServer::Reply::answer(200, "{\"code\":1}"), true},
        {LocalHttpServer::Reply::answer(200, "{\"code\":\"yes\"}"), true},  // boolean reading
        {LocalHttpServer::Reply::answer(200, "{\"code\":0}"), false},
        {LocalHttpServer::Reply::answer(200, "{}"), false},
        {LocalHttpServer::Reply::answer(200, "[1]"), false},
        // The handler is called when nothing usable comes back too.
        {LocalHttpServer::Reply::answer(200, "not json"), false},
        {LocalHttpServer::Reply::answer(503, ""), false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(resultOf(c.reply, [&](auto done) { pings.AppCrashFile("crash.log", path, done); }), c.accepted)
            << c.reply.status << " " << c.reply.body.constData();
    }
}

}  // namespace
}  // namespace pravix
