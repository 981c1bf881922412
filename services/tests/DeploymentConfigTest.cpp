#include "DeploymentConfig.h"

#include <gtest/gtest.h>

namespace pravix
{
namespace
{

TEST(DeploymentConfig, BuildDefaultsNameNoHostAndTheTwoAppIds)
{
    // The test build is configured without deployment values.
    const DeploymentConfig& config = DeploymentConfig::build();
    EXPECT_EQ(config.appId(true), 16);
    EXPECT_EQ(config.appId(false), 25);
    EXPECT_TRUE(config.statisticsServer(true).isEmpty());
    EXPECT_TRUE(config.statisticsServer(false).isEmpty());
    EXPECT_TRUE(config.actionServer(true).isEmpty());
    EXPECT_TRUE(config.actionServer(false).isEmpty());
    EXPECT_TRUE(config.updateServer.isEmpty());
    EXPECT_TRUE(config.chatPage(true).isEmpty());
    EXPECT_TRUE(config.websiteHost.isEmpty());
    EXPECT_TRUE(config.uploadKey.isEmpty());
}

TEST(DeploymentConfig, MarketSelectsItsOwnValues)
{
    DeploymentConfig config;
    config.statisticsServerInternational = "http://a";
    config.statisticsServerChina = "http://b";
    config.productIdInternational = "P1";
    config.productIdChina = "P2";
    config.actionServerInternational = "http://c";
    config.actionServerChina = "http://d";
    config.chatPageInternational = "http://e/chat";
    config.chatPageChina = "http://f/chat";
    EXPECT_EQ(config.statisticsServer(true), "http://a");
    EXPECT_EQ(config.statisticsServer(false), "http://b");
    EXPECT_EQ(config.productId(true), "P1");
    EXPECT_EQ(config.productId(false), "P2");
    EXPECT_EQ(config.actionServer(true), "http://c");
    EXPECT_EQ(config.actionServer(false), "http://d");
    EXPECT_EQ(config.chatPage(true), "http://e/chat");
    EXPECT_EQ(config.chatPage(false), "http://f/chat");
}

TEST(DeploymentConfig, PlainHostGetsHttpScheme)
{
    EXPECT_EQ(withDefaultScheme("stats.example.org"), "http://stats.example.org");
    EXPECT_EQ(withDefaultScheme(" stats.example.org:8080 "), "http://stats.example.org:8080");
    EXPECT_EQ(withDefaultScheme("http://stats.example.org"), "http://stats.example.org");
    EXPECT_EQ(withDefaultScheme("https://secure.example.org"), "https://secure.example.org");
    EXPECT_TRUE(withDefaultScheme("").isEmpty());
    EXPECT_TRUE(withDefaultScheme("   ").isEmpty());
}

TEST(DeploymentConfig, ServerAndPathJoinWithOneSlash)
{
    EXPECT_EQ(serverAddress("http://stats.example.org", "/api/x?a=1"), "http://stats.example.org/api/x?a=1");
    EXPECT_EQ(serverAddress("http://stats.example.org:8080/", "/api/x?"), "http://stats.example.org:8080/api/x?");
    EXPECT_EQ(serverAddress(" http://stats.example.org// ", "/p"), "http://stats.example.org/p");
    EXPECT_EQ(serverAddress("http://example.org/base", "/p"), "http://example.org/base/p");
}

TEST(DeploymentConfig, EmptyServerSkipsWithOneLogLine)
{
    testing::internal::CaptureStdout();
    EXPECT_FALSE(serverConfigured("", "Update check"));
    const std::string skipped = testing::internal::GetCapturedStdout();
    EXPECT_EQ(skipped, "【日志】Update check: no server configured, skipped\n");

    testing::internal::CaptureStdout();
    EXPECT_TRUE(serverConfigured("http://update.example.org", "Update check"));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

}  // namespace
}  // namespace pravix
