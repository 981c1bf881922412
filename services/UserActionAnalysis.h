#pragma once

// The client of the action-analysis server: usage records as JSON, encrypted and Base64-encoded,
// POSTed to one page per record kind; and a multipart file upload.
//
// The `asynch` flag of the record operations keeps the sense the servers' other clients give it:
// true WAITS for the reply (and returns whether it was accepted), false sends in the background and
// returns true at once. Use from the GUI thread.

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "CUserActionLog.h"
#include "HttpRequest.h"

namespace Json
{
class Value;
}

namespace pravix
{

// The record kinds, the JSON "TypeId" and the last record's `ActionType()`.
enum UserActionType : int32_t
{
    kUserActionInstallation = 1,
    kUserActionActivity = 3,
    kUserActionEvents = 5,
    kUserActionError = 6,
    kUserActionFeedback = 8,
};

class UserActionAnalysis
{
public:
    // Receives every log line (without line end); the default writes it to standard error.
    using LogSink = std::function<void(const QString& line)>;

    UserActionAnalysis();
    virtual ~UserActionAnalysis();
    UserActionAnalysis(const UserActionAnalysis&) = delete;
    UserActionAnalysis& operator=(const UserActionAnalysis&) = delete;

    static UserActionAnalysis& shareInstance();

    // The host of the server ("host" or "host:port"; a value with its own scheme, such as
    // "https://host", is used as it stands). Empty: no record is sent.
    void SetDomainName(const QString& domainName) { m_strDomainName = domainName; }
    void SetAppId(int32_t appId) { m_uAppId = appId; }
    void SetChannelCode(const QString& channelCode) { m_strChannelCode = channelCode; }
    void SetVersion(const QString& version) { m_strVersion = version; }
    void SetMachineCode(const QString& machineCode) { m_strMachineCode = machineCode; }
    void SetOS(const QString& os) { m_strOS = os; }
    void SetOSBit(int32_t osBit) { m_uOSBit = osBit; }
    void SetUserName(const QString& userName) { m_strUserName = userName; }

    // Installation (1) or activity (3) record to "action.ashx".
    bool ProductAction(int32_t type, bool asynch);
    // The queued events to "event.ashx"; the queue is emptied whatever the outcome. Empty queue: false.
    bool EventAction(bool asynch);
    // An error text to "error.ashx".
    bool ErrorAction(const QString& text, bool asynch);
    // Feedback to "suggest.ashx", always waiting; an empty text leaves its member out.
    bool Feedback(const QString& content, const QString& contact);

    void AddLog(const QString& code, uint32_t times, bool hasValue, const QString& value);
    void ClearLogs();

    // The request body of a record: AES-128-ECB under the record key, then Base64; empty on failure.
    virtual std::string EncryEncode(const std::string& text) const;
    // Called with ActionType() after a waiting send whose reply was accepted.
    virtual void RequestEvent(int32_t actionType);

    // Sends the "Dravel-Mac/Tamsel.log" file under the user's data folder as an error record
    // (background); false when it is missing, empty or too large.
    bool UploadLogAction();
    // Uploads a file to "errorfile.ashx" as a multipart form (background, reply ignored); false when
    // the file cannot be read or is too large.
    bool DumpFileAction(const QString& path);
    // The upload request of DumpFileAction; none when the file cannot be read or is too large.
    std::optional<HttpRequest> requestWithURl(const QUrl& url, const QString& fileName, const QString& localFilePath,
                                              const QByteArray& boundary) const;

    // The configuration as set.
    const QString& DomainName() const { return m_strDomainName; }
    int32_t AppId() const { return m_uAppId; }
    const QString& ChannelCode() const { return m_strChannelCode; }
    const QString& Version() const { return m_strVersion; }
    const QString& MachineCode() const { return m_strMachineCode; }
    const QString& OS() const { return m_strOS; }

    int32_t ActionType() const { return m_ActionType; }
    const std::vector<std::unique_ptr<CUserActionLog>>& Logs() const { return m_UALogs; }
    void setLogSink(LogSink sink);

private:
    bool sendRecord(const QString& tag, const Json::Value& record, const QString& page, bool wait);
    QUrl pageUrl(const QString& pageAndQuery) const;
    void log(const QString& line) const;

    QString m_strDomainName;
    int32_t m_uAppId = 0;
    int32_t m_ActionType = 0;
    int32_t m_uOSBit = 0;
    QString m_strChannelCode;
    QString m_strVersion;
    QString m_strMachineCode;
    QString m_strOS;
    QString m_strUserName;
    std::vector<std::unique_ptr<CUserActionLog>> m_UALogs;
    LogSink mLogSink;
};

// Files above this size are neither uploaded nor sent as error records.
constexpr qint64 kUserActionUploadLimit = 16 * 1024 * 1024;

} // namespace pravix
