#include "UserActionAnalysis.h"

#include <QStandardPaths>

#include <json/value.h>

#include <cstdio>
#include <cstdlib>

#include "AesBuffer.h"
#include "Base64.h"
#include "FileReading.h"
#include "HttpClient.h"
#include "StyledJson.h"
#include "TextReading.h"

namespace pravix
{
namespace
{

// The servers decrypt the records with this key; it obfuscates the body, it does not protect it.
constexpr char kRecordKey[] = "Kvl@Rp#555#NORTH";
static_assert(sizeof(kRecordKey) == 17, "the record key is 16 bytes");

constexpr std::chrono::milliseconds kRecordTimeout{60000};
constexpr std::chrono::milliseconds kUploadTimeout{15000};

const QByteArray kUploadBoundary = QByteArrayLiteral("-RYEOL-FB3B405B7EAE495aB0C0295C54D4E096-");
const QString kUploadFileName = QStringLiteral("12312asdasd.tmp");

std::string utf8(const QString& text)
{
    return text.toStdString();
}

// Reads a whole file for an upload; none when it cannot be read or is over the limit.
std::optional<QByteArray> readUpload(const QString& path)
{
    return readWholeFile(path, kUserActionUploadLimit);
}

QString lineFor(const QString& tag, const QString& text, bool blankAfterTag = false)
{
    return QStringLiteral("【日志】[%1]%2ProductAction - %3").arg(tag, blankAfterTag ? QStringLiteral(" ") : QString(), text);
}

// Whether a reply accepts the record: a 2xx answer whose text reads as an integer of 1 or more.
bool accepted(const HttpReply& reply)
{
    return reply.succeeded() && readInteger(QString::fromUtf8(reply.body)) >= 1;
}

} // namespace

UserActionAnalysis::UserActionAnalysis()
    : mLogSink([](const QString& line) {
          std::fputs(line.toUtf8().append('\n').constData(), stderr);
          std::fflush(stderr);
      })
{
}

UserActionAnalysis::~UserActionAnalysis()
{
    ClearLogs();
}

UserActionAnalysis& UserActionAnalysis::shareInstance()
{
    static UserActionAnalysis instance;
    return instance;
}

void UserActionAnalysis::setLogSink(LogSink sink)
{
    mLogSink = std::move(sink);
}

void UserActionAnalysis::log(const QString& line) const
{
    if (mLogSink)
        mLogSink(line);
}

void UserActionAnalysis::AddLog(const QString& code, uint32_t times, bool hasValue, const QString& value)
{
    auto entry = std::make_unique<CUserActionLog>();
    entry->Code = utf8(code);
    entry->Value = utf8(value);
    entry->Times = times;
    entry->Mode = 1 + (hasValue ? 1 : 0);
    m_UALogs.push_back(std::move(entry));
}

void UserActionAnalysis::ClearLogs()
{
    m_UALogs.clear();
}

std::string UserActionAnalysis::EncryEncode(const std::string& text) const
{
    uint8_t* cipher = nullptr;
    std::size_t cipherLength = 0;
    if (AesEncryptBuffer(reinterpret_cast<const uint8_t*>(text.data()), text.size(), &cipher, &cipherLength,
                         reinterpret_cast<const uint8_t*>(kRecordKey)) != 0)
        return {};
    std::string encoded = Base64Encode(cipher, cipherLength);
    std::free(cipher);
    return encoded;
}

void UserActionAnalysis::RequestEvent(int32_t)
{
}

QUrl UserActionAnalysis::pageUrl(const QString& pageAndQuery) const
{
    const QString base = m_strDomainName.contains(QLatin1String("://")) ? m_strDomainName
                                                                        : QStringLiteral("http://") + m_strDomainName;
    // Tolerant parsing escapes what a URL may not hold as it stands, such as blanks.
    return QUrl(base + QLatin1Char('/') + pageAndQuery, QUrl::TolerantMode);
}

bool UserActionAnalysis::sendRecord(const QString& tag, const Json::Value& record, const QString& page, bool wait)
{
    const std::string body = EncryEncode(StyledJsonText(record));
    if (body.empty())
    {
        log(lineFor(tag, QStringLiteral("encryption failed, record not sent")));
        return false;
    }
    if (m_strDomainName.isEmpty())
    {
        log(lineFor(tag, QStringLiteral("no server set, record not sent")));
        return false;
    }

    HttpRequest request = HttpRequest::post(pageUrl(page), QByteArray::fromStdString(body), kRecordTimeout);
    if (wait)
    {
        const HttpReply reply = HttpClient::shareInstance().sendAndWait(request);
        if (!reply.answered())
        {
            log(lineFor(tag, QStringLiteral("unknownError")));
            return false;
        }
        if (!accepted(reply))
        {
            log(lineFor(tag, QStringLiteral("Error:") + reply.bodyExcerpt()));
            return false;
        }
        RequestEvent(m_ActionType);
        return true;
    }

    // The completion only logs; it holds nothing of this object, which may be gone by then.
    const bool blankAfterTag = tag == QLatin1String("ProductAction");
    HttpClient::shareInstance().send(request, [sink = mLogSink, tag, blankAfterTag](const HttpReply& reply) {
        if (!sink)
            return;
        if (!reply.answered())
            sink(lineFor(tag, QStringLiteral("unknownError")));
        else if (!accepted(reply))
            sink(lineFor(tag, QStringLiteral("Error:") + reply.bodyExcerpt(), blankAfterTag));
    });
    return true;
}

bool UserActionAnalysis::ProductAction(int32_t type, bool asynch)
{
    m_ActionType = type;
    Json::Value root;
    root["AppId"] = Json::Int(m_uAppId);
    root["ChannelCode"] = utf8(m_strChannelCode);
    root["MachineCode"] = utf8(m_strMachineCode);
    root["Os"] = utf8(m_strOS);
    root["OsBit"] = Json::Int(m_uOSBit);
    root["TypeId"] = Json::Int(type);
    root["Version"] = utf8(m_strVersion);
    return sendRecord(QStringLiteral("ProductAction"), root, QStringLiteral("action.ashx"), asynch);
}

bool UserActionAnalysis::EventAction(bool asynch)
{
    if (m_UALogs.empty())
        return false;
    m_ActionType = kUserActionEvents;
    Json::Value root;
    root["AppId"] = Json::Int(m_uAppId);
    Json::Value& logs = root["Logs"];
    for (const auto& entry : m_UALogs)
    {
        Json::Value item;
        item["Code"] = entry->Code;
        item["Mode"] = Json::UInt(entry->Mode);
        item["Times"] = Json::UInt(entry->Times);
        item["Value"] = entry->Value;
        logs.append(item);
    }
    root["MachineCode"] = utf8(m_strMachineCode);
    root["OsBit"] = Json::Int(m_uOSBit);
    root["Username"] = utf8(m_strUserName);
    root["Version"] = utf8(m_strVersion);
    // The events are dropped before the send, whatever its outcome.
    ClearLogs();
    return sendRecord(QStringLiteral("EventAction"), root, QStringLiteral("event.ashx"), asynch);
}

bool UserActionAnalysis::ErrorAction(const QString& text, bool asynch)
{
    m_ActionType = kUserActionError;
    Json::Value root;
    root["AppId"] = Json::Int(m_uAppId);
    root["Content"] = utf8(text);
    root["Os"] = utf8(m_strOS);
    root["OsBit"] = Json::Int(m_uOSBit);
    root["Version"] = utf8(m_strVersion);
    return sendRecord(QStringLiteral("ErrorAction"), root, QStringLiteral("error.ashx"), asynch);
}

bool UserActionAnalysis::Feedback(const QString& content, const QString& contact)
{
    m_ActionType = kUserActionFeedback;
    Json::Value root;
    root["AppId"] = Json::Int(m_uAppId);
    if (!contact.isEmpty())
        root["Contact"] = utf8(contact);
    if (!content.isEmpty())
        root["Content"] = utf8(content);
    root["Version"] = utf8(m_strVersion);
    return sendRecord(QStringLiteral("Feedback"), root, QStringLiteral("suggest.ashx"), true);
}

bool UserActionAnalysis::UploadLogAction()
{
    const QStringList folders = QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation);
    if (folders.isEmpty())
        return false;
    const std::optional<QByteArray> text = readUpload(folders.first() + QStringLiteral("/Dravel-Mac/Tamsel.log"));
    if (!text || text->isEmpty())
        return false;
    return ErrorAction(QString::fromUtf8(*text), false);
}

std::optional<HttpRequest> UserActionAnalysis::requestWithURl(const QUrl& url, const QString& fileName,
                                                              const QString& localFilePath,
                                                              const QByteArray& boundary) const
{
    const std::optional<QByteArray> bytes = readUpload(localFilePath);
    if (!bytes)
        return std::nullopt;
    QByteArray body = "\r\n--" + boundary + "\r\n";
    body += "Content-Disposition: form-data; name=\"File\"; filename=\"" + fileName.toUtf8() + "\"\r\n";
    body += "Content-Type:text/plain \r\n";
    body += "Content-Transfer-Encoding: binary\r\n\r\n";
    body += *bytes;
    body += "\r\n--" + boundary + "--\r\n";
    // No response cache is installed, so every request goes to the network.
    HttpRequest request = HttpRequest::post(url, body, kUploadTimeout);
    request.headers.append({QByteArrayLiteral("Content-Type"), "multipart/form-data; boundary=" + boundary});
    return request;
}

bool UserActionAnalysis::DumpFileAction(const QString& path)
{
    const QString tag = QStringLiteral("DumpFileAction");
    if (m_strDomainName.isEmpty())
    {
        log(lineFor(tag, QStringLiteral("no server set, file not sent")));
        return false;
    }
    const QString query = QStringLiteral("errorfile.ashx?aid=%1&v=%2&os=%3&b=64")
                              .arg(m_uAppId)
                              .arg(QString::fromLatin1(QUrl::toPercentEncoding(m_strVersion)),
                                   QString::fromLatin1(QUrl::toPercentEncoding(m_strOS)));
    const std::optional<HttpRequest> request = requestWithURl(pageUrl(query), kUploadFileName, path, kUploadBoundary);
    if (!request)
    {
        log(lineFor(tag, QStringLiteral("file cannot be read or is too large, nothing sent")));
        return false;
    }
    HttpClient::shareInstance().send(*request, nullptr);
    return true;
}

} // namespace pravix
