#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstdlib>
#include <memory>

#include "AesBuffer.h"
#include "Base64.h"
#include "HttpClient.h"
#include "LocalHttpServer.h"
#include "QtPrinters.h"
#include "RecordBody.h"
#include "UserActionAnalysis.h"

namespace pravix
{
namespace
{
using testsupport::LocalHttpServer;
using testsupport::spinUntil;
using namespace std::chrono_literals;

using test::openRecord;

// Counts the accepted waiting sends, and can make encryption fail.
class ObservedClient : public UserActionAnalysis
{
public:
    std::vector<int32_t> requestEvents;
    bool failEncryption = false;

    void RequestEvent(int32_t actionType) override { requestEvents.push_back(actionType); }
    std::string EncryEncode(const std::string& text) const override
    {
        return failEncryption ? std::string() : UserActionAnalysis::EncryEncode(text);
    }
};

class UserActionAnalysisTest : public ::testing::Test
{
protected:
    LocalHttpServer server;
    ObservedClient client;
    std::shared_ptr<QStringList> lines = std::make_shared<QStringList>();

    void SetUp() override
    {
        ASSERT_TRUE(server.isListening());
        client.setLogSink([lines = lines](const QString& line) { lines->append(line); });
        client.SetDomainName(server.hostAndPort());
        client.SetAppId(16);
        client.SetOS("Mac-12.0");
        client.SetVersion("1.0.3");
        client.SetChannelCode("0");
        client.SetMachineCode("d12a91a7eebc7a84");
    }

    void TearDown() override
    {
        // Background sends end here, not in the middle of the next test or of the shut-down.
        EXPECT_TRUE(spinUntil([] { return HttpClient::shareInstance().pendingCount() == 0; }));
        HttpClient::shareInstance().setTimeoutLimit(0ms);
    }

    const LocalHttpServer::Request& onlyRequest()
    {
        EXPECT_EQ(server.requestCount(), 1);
        return server.requests().back();
    }
};

const char* kInstallRecord = "{\n"
                             "   \"AppId\" : 16,\n"
                             "   \"ChannelCode\" : \"0\",\n"
                             "   \"MachineCode\" : \"d12a91a7eebc7a84\",\n"
                             "   \"Os\" : \"Mac-12.0\",\n"
                             "   \"OsBit\" : 0,\n"
                             "   \"TypeId\" : 1,\n"
                             "   \"Version\" : \"1.0.3\"\n"
                             "}\n";

TEST(UserActionAnalysisRecordKey, EncryEncodeGivesTheServersBodies)
{
    UserActionAnalysis client;
    EXPECT_EQ(client.EncryEncode("abc"), "36OKYh46vatcwROYQ56lAQ==");
    EXPECT_EQ(client.EncryEncode(""), "vw3Axzod/NaGRMf2LDMl1Q==");
    EXPECT_EQ(openRecord(QByteArray::fromStdString(client.EncryEncode(kInstallRecord))), kInstallRecord);
}

TEST_F(UserActionAnalysisTest, InstallationRecordIsStyledEncryptedAndPosted)
{
    server.enqueue(LocalHttpServer::Reply::answer(200, "1"));
    EXPECT_TRUE(client.ProductAction(kUserActionInstallation, true));
    const LocalHttpServer::Request& request = onlyRequest();
    EXPECT_EQ(request.requestLine, "POST /action.ashx HTTP/1.1");
    EXPECT_EQ(request.header("Content-Length"), QByteArray::number(request.body.size()));
    EXPECT_EQ(request.header("Content-Type"), "application/x-www-form-urlencoded");
    EXPECT_EQ(openRecord(request.body), kInstallRecord);
    EXPECT_EQ(client.ActionType(), kUserActionInstallation);
    EXPECT_EQ(client.requestEvents, std::vector<int32_t>{kUserActionInstallation});
    EXPECT_TRUE(lines->isEmpty());
}

TEST_F(UserActionAnalysisTest, ActivityRecordCarriesItsTypeAndTheSetValues)
{
    client.SetOSBit(64);
    client.SetDomainName("http://" + server.hostAndPort()); // a host given with its scheme
    server.enqueue(LocalHttpServer::Reply::answer(200, "7"));
    EXPECT_TRUE(client.ProductAction(kUserActionActivity, true));
    const std::string record = openRecord(onlyRequest().body);
    EXPECT_NE(record.find("\"OsBit\" : 64,\n"), std::string::npos) << record;
    EXPECT_NE(record.find("\"TypeId\" : 3,\n"), std::string::npos) << record;
}

TEST_F(UserActionAnalysisTest, EventRecordSendsTheQueueAsLogsAndEmptiesIt)
{
    client.AddLog("convert", 3, true, "JPG");
    client.AddLog("preview", 1, false, "ignored?");
    client.AddLog(QString::fromUtf8("über"), 4294967295u, false, QString());
    ASSERT_EQ(client.Logs().size(), 3u);
    EXPECT_EQ(client.Logs()[0]->Mode, 2u);
    EXPECT_EQ(client.Logs()[1]->Mode, 1u);
    client.SetUserName("ann");

    server.enqueue(LocalHttpServer::Reply::answer(200, "1"));
    EXPECT_TRUE(client.EventAction(true));
    EXPECT_TRUE(client.Logs().empty());
    EXPECT_EQ(client.ActionType(), kUserActionEvents);
    EXPECT_EQ(onlyRequest().path(), "/event.ashx");
    EXPECT_EQ(openRecord(onlyRequest().body), "{\n"
                                              "   \"AppId\" : 16,\n"
                                              "   \"Logs\" : [\n"
                                              "      {\n"
                                              "         \"Code\" : \"convert\",\n"
                                              "         \"Mode\" : 2,\n"
                                              "         \"Times\" : 3,\n"
                                              "         \"Value\" : \"JPG\"\n"
                                              "      },\n"
                                              "      {\n"
                                              "         \"Code\" : \"preview\",\n"
                                              "         \"Mode\" : 1,\n"
                                              "         \"Times\" : 1,\n"
                                              "         \"Value\" : \"ignored?\"\n"
                                              "      },\n"
                                              "      {\n"
                                              "         \"Code\" : \"\\u00fcber\",\n"
                                              "         \"Mode\" : 1,\n"
                                              "         \"Times\" : 4294967295,\n"
                                              "         \"Value\" : \"\"\n"
                                              "      }\n"
                                              "   ],\n"
                                              "   \"MachineCode\" : \"d12a91a7eebc7a84\",\n"
                                              "   \"OsBit\" : 0,\n"
                                              "   \"Username\" : \"ann\",\n"
                                              "   \"Version\" : \"1.0.3\"\n"
                                              "}\n");
}

TEST_F(UserActionAnalysisTest, EventRecordWithAnEmptyQueueSendsNothing)
{
    EXPECT_FALSE(client.EventAction(true));
    EXPECT_FALSE(client.EventAction(false));
    spinUntil([] { return false; }, 50);
    EXPECT_EQ(server.requestCount(), 0);
}

TEST_F(UserActionAnalysisTest, EventQueueIsDroppedEvenWhenTheSendFails)
{
    client.AddLog("a", 1, false, "");
    client.AddLog("b", 1, false, "");
    server.enqueue(LocalHttpServer::Reply::answer(500, "0"));
    EXPECT_FALSE(client.EventAction(true));
    EXPECT_TRUE(client.Logs().empty());
    EXPECT_EQ(lines->value(0), "【日志】[EventAction]ProductAction - Error:0");

    client.AddLog("c", 1, false, "");
    client.SetDomainName("");
    EXPECT_FALSE(client.EventAction(true));
    EXPECT_TRUE(client.Logs().empty());
}

TEST_F(UserActionAnalysisTest, ErrorRecordEscapesNonAsciiText)
{
    server.enqueue(LocalHttpServer::Reply::answer(200, "1"));
    EXPECT_TRUE(client.ErrorAction(QString::fromUtf8("Fehler: \"Datei\" fehlt\n日志 ✓ 😀"), true));
    EXPECT_EQ(onlyRequest().path(), "/error.ashx");
    EXPECT_EQ(client.ActionType(), kUserActionError);
    EXPECT_EQ(openRecord(onlyRequest().body),
              "{\n"
              "   \"AppId\" : 16,\n"
              "   \"Content\" : \"Fehler: \\\"Datei\\\" fehlt\\n\\u65e5\\u5fd7 \\u2713 \\ud83d\\ude00\",\n"
              "   \"Os\" : \"Mac-12.0\",\n"
              "   \"OsBit\" : 0,\n"
              "   \"Version\" : \"1.0.3\"\n"
              "}\n");
}

TEST_F(UserActionAnalysisTest, FeedbackLeavesOutWhatIsNotGivenAndAlwaysWaits)
{
    server.enqueue(LocalHttpServer::Reply::answer(200, "1"));
    EXPECT_TRUE(client.Feedback("Nice tool", ""));
    EXPECT_EQ(client.ActionType(), kUserActionFeedback);
    EXPECT_EQ(server.requests()[0].path(), "/suggest.ashx");
    EXPECT_EQ(openRecord(server.requests()[0].body), "{\n"
                                                      "   \"AppId\" : 16,\n"
                                                      "   \"Content\" : \"Nice tool\",\n"
                                                      "   \"Version\" : \"1.0.3\"\n"
                                                      "}\n");

    server.enqueue(LocalHttpServer::Reply::answer(200, "0"));
    EXPECT_FALSE(client.Feedback("", "me@example.org"));
    EXPECT_EQ(openRecord(server.requests()[1].body), "{\n"
                                                      "   \"AppId\" : 16,\n"
                                                      "   \"Contact\" : \"me@example.org\",\n"
                                                      "   \"Version\" : \"1.0.3\"\n"
                                                      "}\n");
    EXPECT_EQ(lines->value(0), "【日志】[Feedback]ProductAction - Error:0");
    EXPECT_EQ(client.requestEvents, std::vector<int32_t>{kUserActionFeedback});
}

TEST_F(UserActionAnalysisTest, OnlyA2xxReplyOfOneOrMoreIsAccepted)
{
    struct Case
    {
        int status;
        QByteArray body;
        bool accepted;
    };
    const Case cases[] = {
        {200, "1", true},        {200, " 12\n", true},     {200, "1abc", true},  {201, "+3", true},
        {200, "0", false},       {200, "-3", false},       {200, "abc", false},  {200, "", false},
        {404, "404 Not Found", false}, {500, "1", false},  {200, "99999999999999999999999", true},
        {200, "-99999999999999999999999", false},
    };
    for (const Case& c : cases)
    {
        lines->clear();
        client.requestEvents.clear();
        server.enqueue(LocalHttpServer::Reply::answer(c.status, c.body));
        EXPECT_EQ(client.ProductAction(kUserActionActivity, true), c.accepted) << c.status << " " << c.body.data();
        EXPECT_EQ(client.requestEvents.size(), c.accepted ? 1u : 0u);
        if (c.accepted)
            EXPECT_TRUE(lines->isEmpty());
        else
            EXPECT_EQ(lines->value(0), "【日志】[ProductAction]ProductAction - Error:" +
                                           QString::fromUtf8(c.body).replace("\n", "\\n"));
    }
}

TEST_F(UserActionAnalysisTest, NoAnswerIsAnUnknownError)
{
    server.setDefaultReply(LocalHttpServer::Reply::close());
    EXPECT_FALSE(client.ErrorAction("x", true));
    EXPECT_EQ(*lines, QStringList{"【日志】[ErrorAction]ProductAction - unknownError"});
    EXPECT_TRUE(client.requestEvents.empty());
}

TEST_F(UserActionAnalysisTest, ASilentServerGivesNoWithinTheTimeout)
{
    HttpClient::shareInstance().setTimeoutLimit(300ms);
    server.enqueue(LocalHttpServer::Reply::neverAnswer());
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(client.ProductAction(kUserActionInstallation, true));
    EXPECT_LT(clock.elapsed(), 10000);
    EXPECT_EQ(*lines, QStringList{"【日志】[ProductAction]ProductAction - unknownError"});
}

TEST_F(UserActionAnalysisTest, LongRepliesAreLoggedShortAndEscaped)
{
    server.enqueue(LocalHttpServer::Reply::answer(200, "0\r\n" + QByteArray(1000, 'x')));
    EXPECT_FALSE(client.ErrorAction("x", true));
    ASSERT_EQ(lines->size(), 1);
    const QString prefix = "【日志】[ErrorAction]ProductAction - Error:0\\r\\n";
    EXPECT_EQ(lines->value(0), prefix + QString(197, 'x') + "...");
}

TEST_F(UserActionAnalysisTest, BackgroundSendsReturnYesAtOnceAndLogLater)
{
    server.enqueue(LocalHttpServer::Reply::answer(200, "0"));
    server.enqueue(LocalHttpServer::Reply::answer(200, "-1"));
    server.enqueue(LocalHttpServer::Reply::answer(200, "1"));
    EXPECT_TRUE(client.ProductAction(kUserActionInstallation, false));
    EXPECT_TRUE(client.ErrorAction("boom", false));
    EXPECT_TRUE(client.ProductAction(kUserActionActivity, false));
    EXPECT_EQ(server.requestCount(), 0);
    EXPECT_TRUE(lines->isEmpty());
    ASSERT_TRUE(spinUntil([&] { return lines->size() == 2 && server.requestCount() == 3; }));
    spinUntil([] { return false; }, 50);
    EXPECT_EQ(lines->size(), 2);
    EXPECT_TRUE(lines->contains("【日志】[ProductAction] ProductAction - Error:0")) << lines->join("|").toStdString();
    EXPECT_TRUE(lines->contains("【日志】[ErrorAction]ProductAction - Error:-1")) << lines->join("|").toStdString();
    EXPECT_TRUE(client.requestEvents.empty());
}

TEST_F(UserActionAnalysisTest, BackgroundSendWithoutNetworkStillReturnsYes)
{
    server.stopListening();
    EXPECT_TRUE(client.ProductAction(kUserActionInstallation, false));
    ASSERT_TRUE(spinUntil([&] { return !lines->isEmpty(); }));
    EXPECT_EQ(*lines, QStringList{"【日志】[ProductAction]ProductAction - unknownError"});
}

TEST_F(UserActionAnalysisTest, NoHostSendsNothing)
{
    client.SetDomainName("");
    EXPECT_FALSE(client.ProductAction(kUserActionInstallation, false));
    EXPECT_FALSE(client.ErrorAction("x", true));
    EXPECT_FALSE(client.DumpFileAction(QStringLiteral(PRAVIX_SOURCE_DIR "/README.md")));
    spinUntil([] { return false; }, 50);
    EXPECT_EQ(server.requestCount(), 0);
    EXPECT_EQ(lines->size(), 3);
    for (const QString& line : *lines)
        EXPECT_TRUE(line.contains("ProductAction - ")) << line.toStdString();
}

TEST_F(UserActionAnalysisTest, FailedEncryptionSendsNothing)
{
    client.failEncryption = true;
    EXPECT_FALSE(client.ProductAction(kUserActionInstallation, true));
    EXPECT_FALSE(client.ProductAction(kUserActionInstallation, false));
    spinUntil([] { return false; }, 50);
    EXPECT_EQ(server.requestCount(), 0);
    EXPECT_EQ(*lines, QStringList(2, "【日志】[ProductAction]ProductAction - encryption failed, record not sent"));
}

TEST_F(UserActionAnalysisTest, UnparsableHostIsAnUnknownError)
{
    client.SetDomainName("bad host:port:x");
    EXPECT_FALSE(client.ProductAction(kUserActionInstallation, true));
    EXPECT_EQ(*lines, QStringList{"【日志】[ProductAction]ProductAction - unknownError"});
}

TEST_F(UserActionAnalysisTest, DumpFileUploadsAMultipartForm)
{
    QTemporaryDir folder;
    const QString path = folder.filePath("crash.txt");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray("line 1\n\0binary\xff", 15));
    file.close();
    client.SetOS("Mac-12 3&x=#");

    EXPECT_TRUE(client.DumpFileAction(path));
    EXPECT_EQ(server.requestCount(), 0);
    ASSERT_TRUE(server.waitForRequests(1));
    const LocalHttpServer::Request& request = onlyRequest();
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.path(), "/errorfile.ashx");
    EXPECT_EQ(request.query(), "aid=16&v=1.0.3&os=Mac-12%203%26x%3D%23&b=64");
    const QByteArray boundary = "-RYEOL-FB3B405B7EAE495aB0C0295C54D4E096-";
    EXPECT_EQ(request.header("Content-Type"), "multipart/form-data; boundary=" + boundary);
    EXPECT_EQ(request.body, "\r\n--" + boundary +
                                "\r\n"
                                "Content-Disposition: form-data; name=\"File\"; filename=\"12312asdasd.tmp\"\r\n"
                                "Content-Type:text/plain \r\n"
                                "Content-Transfer-Encoding: binary\r\n\r\n" +
                                QByteArray("line 1\n\0binary\xff", 15) + "\r\n--" + boundary + "--\r\n");
    EXPECT_EQ(request.header("Content-Length"), QByteArray::number(request.body.size()));
}

TEST_F(UserActionAnalysisTest, DumpFileOfAnUnreadableFileSendsNothing)
{
    QTemporaryDir folder;
    EXPECT_FALSE(client.DumpFileAction(folder.filePath("missing.log")));
    EXPECT_FALSE(client.DumpFileAction(folder.path())); // a folder
    EXPECT_FALSE(client.requestWithURl(server.url("/x"), "f", folder.filePath("missing.log"), "b").has_value());
    spinUntil([] { return false; }, 50);
    EXPECT_EQ(server.requestCount(), 0);
    EXPECT_EQ(lines->size(), 2);
}

TEST_F(UserActionAnalysisTest, DumpFileRefusesAFileOverTheLimit)
{
    QTemporaryDir folder;
    QFile file(folder.filePath("big.log"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_TRUE(file.resize(kUserActionUploadLimit + 1));
    file.close();
    EXPECT_FALSE(client.DumpFileAction(file.fileName()));
    ASSERT_TRUE(file.resize(kUserActionUploadLimit));
    EXPECT_TRUE(client.requestWithURl(server.url("/x"), "f", file.fileName(), "b").has_value());
}

TEST_F(UserActionAnalysisTest, UploadLogSendsTheOtherProgramsLogAsAnErrorRecord)
{
    const QString dataFolder = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    ASSERT_TRUE(dataFolder.contains("qttest")) << "test mode keeps this away from the user's data";
    QDir(dataFolder + "/Dravel-Mac").removeRecursively();
    EXPECT_FALSE(client.UploadLogAction());

    ASSERT_TRUE(QDir().mkpath(dataFolder + "/Dravel-Mac"));
    QFile log(dataFolder + "/Dravel-Mac/Tamsel.log");
    ASSERT_TRUE(log.open(QIODevice::WriteOnly));
    log.close();
    EXPECT_FALSE(client.UploadLogAction()); // empty

    ASSERT_TRUE(log.open(QIODevice::WriteOnly));
    log.write("started\nstopped\n");
    log.close();
    EXPECT_TRUE(client.UploadLogAction());
    ASSERT_TRUE(server.waitForRequests(1));
    EXPECT_EQ(onlyRequest().path(), "/error.ashx");
    EXPECT_NE(openRecord(onlyRequest().body).find("\"Content\" : \"started\\nstopped\\n\""), std::string::npos);
    QDir(dataFolder + "/Dravel-Mac").removeRecursively();
}

TEST(UserActionAnalysisShared, OneInstanceAndAnEmptyStart)
{
    UserActionAnalysis& shared = UserActionAnalysis::shareInstance();
    EXPECT_EQ(&shared, &UserActionAnalysis::shareInstance());
    EXPECT_EQ(shared.ActionType(), 0);
    EXPECT_TRUE(shared.Logs().empty());
    shared.AddLog("x", 1, false, "");
    shared.ClearLogs();
    EXPECT_TRUE(shared.Logs().empty());
}

} // namespace
} // namespace pravix
