#include "LaunchReports.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "HttpClient.h"
#include "IsolatedUserFolders.h"
#include "LocalHttpServer.h"
#include "NSUserAnalysis.h"
#include "QtPrinters.h"
#include "RecordBody.h"
#include "UserActionAnalysis.h"

namespace pravix
{
namespace
{
using testsupport::LocalHttpServer;
using testsupport::spinUntil;

const QByteArray kInstallPath = "/api/mac/installationQuantity";
const QByteArray kActivePath = "/api/mac/activityLog";
const QByteArray kInstallDataPath = "/api/quelvar/softInstallData";

class LaunchReportsTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(pingServer.isListening());
        ASSERT_TRUE(recordServer.isListening());
        test::IsolatedUserFolders::clearSettings();

        profileSources.sysfsNetRoot = dir.filePath("net");
        profileSources.configurationPlist = dir.filePath("Configuration.plist");
        profileSources.today = [this] { return today; };

        records.setLogSink([](const QString&) {});
        records.SetDomainName(recordServer.hostAndPort());
        recordServer.setDefaultReply(LocalHttpServer::Reply::answer(200, "1"));

        NSUserAnalysisSources sources;
        sources.server = pingServer.url().toString();
        sources.productId = "P42";
        sources.cpuinfoPath = dir.filePath("cpuinfo");
        pings = std::make_unique<NSUserAnalysis>(sources);
    }

    void TearDown() override
    {
        EXPECT_TRUE(spinUntil([] { return HttpClient::shareInstance().pendingCount() == 0; }));
    }

    LaunchReports reports()
    {
        return LaunchReports(ClientProfile(profileSources), records, [this]() -> NSUserAnalysis& {
            ++pingsAsked;
            return *pings;
        });
    }

    void acceptEverything()
    {
        pingServer.setReplyForPath(kInstallPath, LocalHttpServer::Reply::answer(200, "{\"code\":1}"));
        pingServer.setReplyForPath(kActivePath, LocalHttpServer::Reply::answer(200, "{\"code\":\"1\"}"));
        pingServer.setReplyForPath(kInstallDataPath, LocalHttpServer::Reply::answer(200, "1"));
    }

    // Waits until every exchange of the launch has ended.
    void settle()
    {
        ASSERT_TRUE(spinUntil([] { return HttpClient::shareInstance().pendingCount() == 0; }));
    }

    QByteArrayList pingPaths() const
    {
        QByteArrayList paths;
        for (const auto& request : pingServer.requests()) {
            paths << request.path() + "?" + (request.query().contains("type=1")   ? "1"
                                             : request.query().contains("type=3") ? "3"
                                                                                  : "");
        }
        std::sort(paths.begin(), paths.end());
        return paths;
    }

    ClientProfile profile() const { return ClientProfile(profileSources); }

    QTemporaryDir dir;
    QDate today = QDate(2024, 5, 2);
    ClientProfileSources profileSources;
    LocalHttpServer pingServer;
    LocalHttpServer recordServer;
    UserActionAnalysis records;
    std::unique_ptr<NSUserAnalysis> pings;
    int pingsAsked = 0;
};

TEST_F(LaunchReportsTest, FirstLaunchReportsInstallationAndSavesBothFlags)
{
    acceptEverything();
    reports().UpInstallation();
    settle();
    EXPECT_EQ(pingPaths(), QByteArrayList({kInstallPath + "?", kInstallDataPath + "?1"}));
    ASSERT_EQ(recordServer.requestCount(), 1);
    EXPECT_EQ(recordServer.requests()[0].path(), "/action.ashx");
    EXPECT_NE(test::openRecord(recordServer.requests()[0].body).find("\"TypeId\" : 1,"), std::string::npos);
    EXPECT_TRUE(profile().IsInstallationSent());
    EXPECT_TRUE(profile().IsSoftInstallationSent());
    EXPECT_FALSE(profile().IsActiveSentToday());
    EXPECT_FALSE(profile().IsSoftActiveSentToday());
}

TEST_F(LaunchReportsTest, ActivityReportSavesTodaysFlags)
{
    acceptEverything();
    reports().UpActive();
    settle();
    EXPECT_EQ(pingPaths(), QByteArrayList({kActivePath + "?", kInstallDataPath + "?3"}));
    ASSERT_EQ(recordServer.requestCount(), 1);
    EXPECT_NE(test::openRecord(recordServer.requests()[0].body).find("\"TypeId\" : 3,"), std::string::npos);
    EXPECT_TRUE(profile().IsActiveSentToday());
    EXPECT_TRUE(profile().IsSoftActiveSentToday());
    EXPECT_FALSE(profile().IsInstallationSent());
}

TEST_F(LaunchReportsTest, RefusedReportsSetNoFlagAndGoOutAgainNextLaunch)
{
    pingServer.setReplyForPath(kInstallPath, LocalHttpServer::Reply::answer(200, "{\"code\":2}"));
    pingServer.setReplyForPath(kActivePath, LocalHttpServer::Reply::answer(500, "{\"code\":1}"));
    pingServer.setReplyForPath(kInstallDataPath, LocalHttpServer::Reply::answer(200, "0"));
    reports().UpInstallation();
    reports().UpActive();
    settle();
    EXPECT_EQ(pingServer.requestCount(), 4);
    EXPECT_EQ(recordServer.requestCount(), 2);
    EXPECT_FALSE(profile().IsInstallationSent());
    EXPECT_FALSE(profile().IsSoftInstallationSent());
    EXPECT_FALSE(profile().IsActiveSentToday());
    EXPECT_FALSE(profile().IsSoftActiveSentToday());

    // The next launch sends everything again.
    acceptEverything();
    reports().UpInstallation();
    reports().UpActive();
    settle();
    EXPECT_EQ(pingServer.requestCount(), 8);
    EXPECT_TRUE(profile().IsInstallationSent());
    EXPECT_TRUE(profile().IsSoftActiveSentToday());
}

TEST_F(LaunchReportsTest, EachPingSetsOnlyItsOwnFlag)
{
    acceptEverything();
    pingServer.setReplyForPath(kInstallDataPath, LocalHttpServer::Reply::answer(200, "word"));
    pingServer.setReplyForPath(kActivePath, LocalHttpServer::Reply::answer(200, "[{\"code\":1}]"));
    reports().UpInstallation();
    reports().UpActive();
    settle();
    EXPECT_TRUE(profile().IsInstallationSent());
    EXPECT_FALSE(profile().IsSoftInstallationSent());
    EXPECT_FALSE(profile().IsActiveSentToday());
    EXPECT_FALSE(profile().IsSoftActiveSentToday());
}

TEST_F(LaunchReportsTest, WithEveryFlagSetNothingIsSentAndNoPingsObjectIsMade)
{
    const ClientProfile p = profile();
    p.SaveInstallationSent();
    p.SaveSoftInstallationSent();
    p.SaveActiveSentToday();
    p.SaveSoftActiveSentToday();
    reports().UpInstallation();
    reports().UpActive();
    EXPECT_EQ(HttpClient::shareInstance().pendingCount(), 0);
    EXPECT_EQ(pingsAsked, 0);
    settle();
    EXPECT_EQ(pingServer.requestCount(), 0);
    EXPECT_EQ(recordServer.requestCount(), 0);
}

TEST_F(LaunchReportsTest, ActivityGoesOutAgainOnTheNextDay)
{
    acceptEverything();
    const ClientProfile p = profile();
    p.SaveInstallationSent();
    p.SaveSoftInstallationSent();
    p.SaveActiveSentToday();
    p.SaveSoftActiveSentToday();

    today = today.addDays(1);
    reports().UpInstallation();
    reports().UpActive();
    settle();
    EXPECT_EQ(pingPaths(), QByteArrayList({kActivePath + "?", kInstallDataPath + "?3"}));
    EXPECT_EQ(recordServer.requestCount(), 1);
    EXPECT_TRUE(profile().IsActiveSentToday());
}

TEST_F(LaunchReportsTest, InstallDataGoesOutAloneWhenOnlyItIsMissing)
{
    acceptEverything();
    profile().SaveInstallationSent();
    reports().UpInstallation();
    settle();
    EXPECT_EQ(pingPaths(), QByteArrayList({kInstallDataPath + "?1"}));
    EXPECT_EQ(recordServer.requestCount(), 0);
    EXPECT_TRUE(profile().IsSoftInstallationSent());
}

}  // namespace
}  // namespace pravix
