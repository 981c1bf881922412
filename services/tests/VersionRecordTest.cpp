#include "VersionRecord.h"

#include <gtest/gtest.h>

#include "QtPrinters.h"

namespace pravix
{
namespace
{

HttpReply answer(const QByteArray& body, int status = 200)
{
    HttpReply reply;
    reply.status = status;
    reply.body = body;
    return reply;
}

UpdateCheckResult read(const QByteArray& body, const QString& running = "1.2")
{
    return readVersionRecord(answer(body), running);
}

TEST(VersionRecordTest, NewerRecordGivesNotesAndDownload)
{
    const UpdateCheckResult result =
        read(R"({"version":"1.3","info":"Faster.\n<b>Fixed</b> a crash.","download":"https://example.org/Pravix-1.3.deb"})");
    EXPECT_EQ(result.outcome, UpdateOutcome::NewerVersion);
    EXPECT_FALSE(result.isNetworkFailure());
    EXPECT_EQ(result.version, "1.3");
    EXPECT_EQ(result.notes, "Faster.\n<b>Fixed</b> a crash.");  // as plain text, markup and all
    EXPECT_EQ(result.download, QUrl("https://example.org/Pravix-1.3.deb"));
}

TEST(VersionRecordTest, SameOrOlderVersionIsCurrent)
{
    for (const char* version : {"1.2", "1.2.0", "1.1.9", "0.9"}) {
        const UpdateCheckResult result =
            read(QByteArray(R"({"version":")") + version + R"(","info":"x","download":"http://example.org/x"})");
        EXPECT_EQ(result.outcome, UpdateOutcome::CurrentVersion) << version;
        EXPECT_EQ(result.version, version);
        EXPECT_TRUE(result.notes.isEmpty());
        EXPECT_TRUE(result.download.isEmpty());
    }
}

TEST(VersionRecordTest, MissingFieldsAreEmptyAndMissingVersionIsCurrent)
{
    EXPECT_EQ(read("{}").outcome, UpdateOutcome::CurrentVersion);
    EXPECT_EQ(read(R"({"info":"x","download":"http://example.org/x"})").outcome, UpdateOutcome::CurrentVersion);
    const UpdateCheckResult bare = read(R"({"version":"2.0"})");
    EXPECT_EQ(bare.outcome, UpdateOutcome::NewerVersion);
    EXPECT_TRUE(bare.notes.isEmpty());
    EXPECT_TRUE(bare.download.isEmpty());
}

TEST(VersionRecordTest, FieldsThatAreNotTextsCountAsMissing)
{
    EXPECT_EQ(read(R"({"version":2.0})").outcome, UpdateOutcome::CurrentVersion);
    EXPECT_EQ(read(R"({"version":["9"]})").outcome, UpdateOutcome::CurrentVersion);
    EXPECT_EQ(read(R"({"version":null})").outcome, UpdateOutcome::CurrentVersion);
    const UpdateCheckResult odd = read(R"({"version":"9","info":{"text":"x"},"download":["http://example.org/x"]})");
    EXPECT_EQ(odd.outcome, UpdateOutcome::NewerVersion);
    EXPECT_TRUE(odd.notes.isEmpty());
    EXPECT_TRUE(odd.download.isEmpty());
    EXPECT_TRUE(read(R"({"version":"9","info":5,"download":true})").notes.isEmpty());
}

TEST(VersionRecordTest, OnlyAbsoluteWebAddressesAreDownloads)
{
    for (const char* refused : {"file:///etc/passwd", "javascript:alert(1)", "ftp://example.org/x", "/Pravix.deb",
                                "example.org/Pravix.deb", "http://", "http:///x", "https://exa mple.org/x",
                                "smb://server/share", ""}) {
        EXPECT_TRUE(downloadAddress(refused).isEmpty()) << refused;
        const UpdateCheckResult result =
            read(QByteArray(R"({"version":"9","download":")") + refused + R"("})");
        EXPECT_EQ(result.outcome, UpdateOutcome::NewerVersion);
        EXPECT_TRUE(result.download.isEmpty()) << refused;
    }
    EXPECT_EQ(downloadAddress("http://example.org:8080/a?b=1"), QUrl("http://example.org:8080/a?b=1"));
    EXPECT_EQ(downloadAddress("HTTPS://Example.org/x").scheme(), "https");
}

TEST(VersionRecordTest, AnswerThatIsNotAnObjectIsNotARecord)
{
    for (const char* body : {"", "[]", "[{\"version\":\"9\"}]", "\"9.0\"", "9", "null", "<html>9.0</html>",
                             "{\"version\":\"9\"", "{\"version\":\"9\"} trailing"}) {
        const UpdateCheckResult result = read(body);
        EXPECT_EQ(result.outcome, UpdateOutcome::NotARecord) << body;
        EXPECT_TRUE(result.isNetworkFailure());
        EXPECT_FALSE(result.detail.isEmpty());
    }
    // A byte-order mark in front does not spoil the record.
    EXPECT_EQ(read("\xEF\xBB\xBF{\"version\":\"9\"}").outcome, UpdateOutcome::NewerVersion);
}

TEST(VersionRecordTest, NoWholeSuccessfulAnswerIsNoReply)
{
    HttpReply silent;
    silent.timedOut = true;
    silent.errorText = "no answer within the time limit";
    const UpdateCheckResult timedOut = readVersionRecord(silent, "1.2");
    EXPECT_EQ(timedOut.outcome, UpdateOutcome::NoReply);
    EXPECT_TRUE(timedOut.isNetworkFailure());
    EXPECT_EQ(timedOut.detail, "no answer within the time limit");

    const UpdateCheckResult serverError = readVersionRecord(answer(R"({"version":"9"})", 500), "1.2");
    EXPECT_EQ(serverError.outcome, UpdateOutcome::NoReply);
    EXPECT_EQ(serverError.detail, "status 500");
}

}  // namespace
}  // namespace pravix
