#include "UpdateChecker.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

#include <memory>

#include "HttpClient.h"
#include "LocalHttpServer.h"
#include "QtPrinters.h"

namespace pravix
{
namespace
{
using testsupport::LocalHttpServer;
using testsupport::spinUntil;
using namespace std::chrono_literals;

const QByteArray kNewer = R"({"version":"1.3","info":"Notes","download":"https://example.org/Pravix-1.3.deb"})";
const QByteArray kCurrent = R"({"version":"1.2","info":"Old","download":"https://example.org/old.deb"})";

class UpdateCheckerTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.isListening());
        sources.server = server.url().toString();
        sources.runningVersion = "1.2";
        sources.timeout = 5s;
    }

    void TearDown() override
    {
        EXPECT_TRUE(spinUntil([] { return HttpClient::shareInstance().pendingCount() == 0; }));
    }

    LocalHttpServer server;
    UpdateCheckerSources sources;
};

TEST_F(UpdateCheckerTest, FetchesTheRecordAndFindsANewerVersion)
{
    UpdateChecker checker(sources);
    QSignalSpy started(&checker, &UpdateChecker::checkStarted);
    QSignalSpy finished(&checker, &UpdateChecker::checkFinished);
    server.enqueue(LocalHttpServer::Reply::answer(200, kNewer));

    EXPECT_EQ(checker.currentTag(), 0u);
    const quint64 tag = checker.check();
    EXPECT_EQ(tag, 1u);
    EXPECT_TRUE(checker.isChecking());
    EXPECT_EQ(started.count(), 1);
    EXPECT_EQ(finished.count(), 0);  // never from within the call
    ASSERT_TRUE(spinUntil([&] { return finished.count() == 1; }));

    ASSERT_EQ(server.requestCount(), 1);
    EXPECT_EQ(server.requests()[0].requestLine, "GET /heic/mac/newversionex.htm HTTP/1.1");
    EXPECT_FALSE(checker.isChecking());
    EXPECT_EQ(finished[0][0].value<quint64>(), tag);
    const auto result = finished[0][1].value<UpdateCheckResult>();
    EXPECT_EQ(result.outcome, UpdateOutcome::NewerVersion);
    EXPECT_EQ(result.notes, "Notes");
    ASSERT_TRUE(checker.lastResult().has_value());
    EXPECT_EQ(checker.lastResult()->outcome, UpdateOutcome::NewerVersion);
    EXPECT_EQ(checker.downloadUrl(), QUrl("https://example.org/Pravix-1.3.deb"));
}

TEST_F(UpdateCheckerTest, DownloadAddressOutlivesLaterChecksWithoutNewerVersion)
{
    UpdateChecker checker(sources);
    QSignalSpy finished(&checker, &UpdateChecker::checkFinished);
    server.enqueue(LocalHttpServer::Reply::answer(200, kNewer));
    server.enqueue(LocalHttpServer::Reply::answer(200, kCurrent));
    server.enqueue(LocalHttpServer::Reply::answer(503, ""));
    server.enqueue(LocalHttpServer::Reply::answer(200, R"({"version":"2.0","download":"file:///tmp/x"})"));
    const UpdateOutcome expected[] = {UpdateOutcome::NewerVersion, UpdateOutcome::CurrentVersion,
                                      UpdateOutcome::NoReply, UpdateOutcome::NewerVersion};
    const QUrl kept("https://example.org/Pravix-1.3.deb");
    const QUrl afterEach[] = {kept, kept, kept, QUrl()};
    for (int i = 0; i < 4; ++i) {
        checker.check();
        ASSERT_TRUE(spinUntil([&] { return finished.count() == i + 1; }));
        EXPECT_EQ(checker.lastResult()->outcome, expected[i]) << i;
        // A newer record with a refused address replaces the old address: its button opens nothing.
        EXPECT_EQ(checker.downloadUrl(), afterEach[i]) << i;
    }
}

TEST_F(UpdateCheckerTest, SupersededReplyIsIgnored)
{
    UpdateChecker checker(sources);
    QSignalSpy finished(&checker, &UpdateChecker::checkFinished);
    // The first check's answer (a newer version) comes only after the second check has ended.
    server.enqueue(LocalHttpServer::Reply::answerAfter(300, 200, kNewer));
    server.enqueue(LocalHttpServer::Reply::answer(200, kCurrent));

    const quint64 first = checker.check();
    ASSERT_TRUE(server.waitForRequests(1));
    const quint64 second = checker.check();
    EXPECT_GT(second, first);
    EXPECT_EQ(checker.currentTag(), second);
    ASSERT_TRUE(spinUntil([&] { return finished.count() == 1; }));
    ASSERT_TRUE(spinUntil([] { return HttpClient::shareInstance().pendingCount() == 0; }));

    EXPECT_EQ(server.requestCount(), 2);
    ASSERT_EQ(finished.count(), 1);
    EXPECT_EQ(finished[0][0].value<quint64>(), second);
    EXPECT_EQ(checker.lastResult()->outcome, UpdateOutcome::CurrentVersion);
    EXPECT_TRUE(checker.downloadUrl().isEmpty());
    EXPECT_FALSE(checker.isChecking());
}

TEST_F(UpdateCheckerTest, SilentServerEndsInNoReplyAfterTheTimeLimit)
{
    sources.timeout = 200ms;
    UpdateChecker checker(sources);
    QSignalSpy finished(&checker, &UpdateChecker::checkFinished);
    server.enqueue(LocalHttpServer::Reply::neverAnswer());
    checker.check();
    ASSERT_TRUE(spinUntil([&] { return finished.count() == 1; }));
    EXPECT_EQ(checker.lastResult()->outcome, UpdateOutcome::NoReply);
    EXPECT_TRUE(checker.lastResult()->isNetworkFailure());
}

// Without a server nothing is asked, and nothing is claimed to have failed.
TEST_F(UpdateCheckerTest, NoServerConfiguredEndsWithoutARequestOrAFailure)
{
    sources.server.clear();
    UpdateChecker checker(sources);
    QSignalSpy finished(&checker, &UpdateChecker::checkFinished);
    checker.check();
    EXPECT_EQ(finished.count(), 0);
    ASSERT_TRUE(spinUntil([&] { return finished.count() == 1; }));
    EXPECT_EQ(checker.lastResult()->outcome, UpdateOutcome::NoUpdateServer);
    EXPECT_FALSE(checker.lastResult()->isNetworkFailure());
    EXPECT_FALSE(checker.isChecking());
    EXPECT_EQ(server.requestCount(), 0);
}

TEST_F(UpdateCheckerTest, CheckerGoneBeforeTheReplyIsHarmless)
{
    server.enqueue(LocalHttpServer::Reply::answerAfter(100, 200, kNewer));
    auto checker = std::make_unique<UpdateChecker>(sources);
    checker->check();
    ASSERT_TRUE(server.waitForRequests(1));
    checker.reset();
    EXPECT_TRUE(spinUntil([] { return HttpClient::shareInstance().pendingCount() == 0; }));
}

TEST(UpdateCheckerAddress, RecordPathOnTheServer)
{
    EXPECT_EQ(UpdateChecker::recordAddress("http://updates.example.org"),
              "http://updates.example.org/heic/mac/newversionex.htm");
    EXPECT_EQ(UpdateChecker::recordAddress("http://updates.example.org/"),
              "http://updates.example.org/heic/mac/newversionex.htm");
}

}  // namespace
}  // namespace pravix
