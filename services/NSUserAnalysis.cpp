#include "NSUserAnalysis.h"

#include <QCoreApplication>
#include <QUrl>

#include <chrono>

#include "ClientProfile.h"
#include "DeploymentConfig.h"
#include "FileReading.h"
#include "HttpClient.h"
#include "JsonReply.h"
#include "StringExtensions.h"
#include "TextReading.h"

namespace pravix
{
namespace
{

constexpr std::chrono::milliseconds kPingTimeout{10000};
constexpr std::chrono::milliseconds kUploadTimeout{60000};
// A crash report is a small text file; anything larger is sent without its file part.
constexpr qint64 kCrashFileLimit = 16 * 1024 * 1024;
const QByteArray kUploadBoundary = QByteArrayLiteral("unique-consistent-string");
const QString kExchange = QStringLiteral("Statistics ping");

// One value of a query: urlEncodeStr, then what that leaves and an address may not hold as it
// stands (blanks, control characters) as %XX too. Partner comes from the user's settings and the
// version texts from files, so none of them is trusted to be free of "&", "#" or blanks.
QString queryValue(const QString& text, bool dropBlanks = false)
{
    QString escaped = urlEncodeStr(text);
    if (dropBlanks) {
        escaped.remove(u' ');
    }
    QString out;
    out.reserve(escaped.size());
    for (const QChar c : escaped) {
        if (c.unicode() <= 0x20 || c.unicode() == 0x7F) {
            out += QString::asprintf("%%%02X", unsigned(c.unicode()));
        } else {
            out += c;
        }
    }
    return out;
}

// Answers `handler` with false from the event loop, as a failed exchange would.
void failLater(const NSUserAnalysis::ResultHandler& handler)
{
    if (!handler) {
        return;
    }
    QMetaObject::invokeMethod(
        &HttpClient::shareInstance(), [handler] { handler(false); }, Qt::QueuedConnection);
}

// A form field's file name goes between double quotes in a header: a line break or NUL would end
// the header, so such a name is refused; a double quote is written %22, as browsers do.
std::optional<QByteArray> quotedFileName(const QString& fileName)
{
    QByteArray name = fileName.toUtf8();
    if (name.contains('\r') || name.contains('\n') || name.contains('\0')) {
        return std::nullopt;
    }
    name.replace('"', "%22");
    return '"' + name + '"';
}

}  // namespace

NSUserAnalysisSources NSUserAnalysisSources::thisCopy()
{
    const ClientProfile& profile = ClientProfile::shared();
    const DeploymentConfig& config = DeploymentConfig::build();
    NSUserAnalysisSources sources;
    sources.server = config.statisticsServer(profile.International());
    sources.productId = config.productId(profile.International());
    sources.machineCode = profile.MachineCode();
    sources.partner = profile.Partner();
    sources.version = QCoreApplication::applicationVersion();
    sources.uploadKey = config.uploadKey;
    return sources;
}

NSUserAnalysis::NSUserAnalysis(NSUserAnalysisSources sources)
    : mSources(std::move(sources))
{
    CheckCPU();
}

NSUserAnalysis& NSUserAnalysis::shareInstance()
{
    static NSUserAnalysis instance(NSUserAnalysisSources::thisCopy());
    return instance;
}

void NSUserAnalysis::CheckCPU()
{
    mCpuModel = cpuModelOf(mSources.cpuinfoPath);
}

QString NSUserAnalysis::GetSysVersion() const
{
    return sysVersionOf(mSources.osReleasePaths);
}

QString NSUserAnalysis::timeStamp(qint64 msecsSinceEpoch) const
{
    return TimeStampSeconds(msecsSinceEpoch);
}

QString NSUserAnalysis::sign(const QString& timeStamp) const
{
    return md5(mSources.productId + timeStamp);
}

QString NSUserAnalysis::reportQuery(qint64 msecsSinceEpoch) const
{
    const QString t = timeStamp(msecsSinceEpoch);
    const QString os = queryValue(GetSysVersion());
    return QStringLiteral("t=%1&product_id=%2&uid=%3&winver=%4&cpu=%5&version=%6&partner_id=%7&downurl=%8&sign=%9")
        .arg(queryValue(t), queryValue(mSources.productId), queryValue(mSources.machineCode), os,
             queryValue(mCpuModel, true), queryValue(mSources.version), queryValue(mSources.partner), QString(),
             sign(t));
}

QString NSUserAnalysis::installDataQuery(int type, qint64 msecsSinceEpoch) const
{
    const QString t = timeStamp(msecsSinceEpoch);
    return QStringLiteral("adid=0&t=%1&type=%2&partner_id=%3&product_id=%4&os=%5&os_bit=1&uid=%6&version=%7&sign=%8")
        .arg(queryValue(t), QString::number(type), queryValue(mSources.partner), queryValue(mSources.productId),
             queryValue(GetSysVersion()), queryValue(mSources.machineCode), queryValue(mSources.version), sign(t));
}

QString NSUserAnalysis::crashFileQuery(qint64 msecsSinceEpoch) const
{
    const QString t = timeStamp(msecsSinceEpoch);
    return QStringLiteral("t=%1&product_id=%2&uid=%3&sign=%4")
        .arg(queryValue(t), queryValue(mSources.productId), queryValue(mSources.machineCode), sign(t));
}

bool NSUserAnalysis::reportAccepted(const HttpReply& reply)
{
    if (!reply.succeeded()) {
        return false;
    }
    const std::optional<QJsonObject> object = jsonObjectOf(reply.body);
    return object && integerValueOf(object->value(QStringLiteral("code"))) == 1;
}

bool NSUserAnalysis::installDataAccepted(const HttpReply& reply)
{
    return reply.succeeded() && readInteger(QString::fromUtf8(reply.body)) == 1;
}

bool NSUserAnalysis::crashUploadAccepted(const HttpReply& reply)
{
    if (!reply.succeeded()) {
        return false;
    }
    const std::optional<QJsonObject> object = jsonObjectOf(reply.body);
    return object && booleanValueOf(object->value(QStringLiteral("code")));
}

void NSUserAnalysis::GetHttpURL(const QString& url, ReplyHandler handler) const
{
    // Strict parsing: a text with blanks or stray characters is not sent in some repaired form.
    HttpClient::shareInstance().send(HttpRequest::get(QUrl(url, QUrl::StrictMode), kPingTimeout), std::move(handler));
}

void NSUserAnalysis::PostHttpFileUrl(const QString& url, ReplyHandler handler) const
{
    GetHttpURL(url, std::move(handler));
}

void NSUserAnalysis::sendReport(const QString& pathAndQuery, bool (*accepts)(const HttpReply&),
                                ResultHandler handler) const
{
    if (!serverConfigured(mSources.server, kExchange)) {
        failLater(handler);
        return;
    }
    GetHttpURL(serverAddress(mSources.server, pathAndQuery), [handler, accepts](const HttpReply& reply) {
        if (handler) {
            handler(accepts(reply));
        }
    });
}

void NSUserAnalysis::AppInstalled(ResultHandler handler) const
{
    sendReport(QStringLiteral("/api/mac/installationQuantity?") + reportQuery(mSources.now()), reportAccepted,
               std::move(handler));
}

void NSUserAnalysis::AppActive(ResultHandler handler) const
{
    sendReport(QStringLiteral("/api/mac/activityLog?") + reportQuery(mSources.now()), reportAccepted,
               std::move(handler));
}

void NSUserAnalysis::AppCrash(ResultHandler handler) const
{
    sendReport(QStringLiteral("/api/mac/exitLog?") + reportQuery(mSources.now()), reportAccepted, std::move(handler));
}

void NSUserAnalysis::SoftInstallData(int type, ResultHandler handler) const
{
    sendReport(QStringLiteral("/api/quelvar/softInstallData?") + installDataQuery(type, mSources.now()),
               installDataAccepted, std::move(handler));
}

std::optional<HttpRequest> NSUserAnalysis::crashFileRequest(const QString& fileName, const QString& filePath) const
{
    const std::optional<QByteArray> quotedName = quotedFileName(fileName);
    if (!quotedName) {
        return std::nullopt;
    }
    const QByteArray dash = "--" + kUploadBoundary + "\r\n";
    QByteArray body = dash;
    body += "Content-Disposition: form-data; name=UPLOADCARE_PUB_KEY\r\n\r\n";
    body += mSources.uploadKey.toUtf8() + "\r\n";
    body += dash;
    body += "Content-Disposition: form-data; name=UPLOADCARE_STORE\r\n\r\n";
    body += "1\r\n";
    if (const std::optional<QByteArray> bytes = readWholeFile(filePath, kCrashFileLimit)) {
        body += dash;
        body += "Content-Disposition: form-data; name=file; filename=" + *quotedName + "\r\n";
        body += "Content-Type: text/html\r\n\r\n";
        body += *bytes + "\r\n";
    }
    body += "--" + kUploadBoundary + "--\r\n";

    const QString address =
        serverAddress(mSources.server, QStringLiteral("/api/mac/uploadQiniu?") + crashFileQuery(mSources.now()));
    HttpRequest request = HttpRequest::post(QUrl(address, QUrl::StrictMode), body, kUploadTimeout);
    request.headers.append({QByteArrayLiteral("Content-Type"), "multipart/form-data; boundary=" + kUploadBoundary});
    return request;
}

void NSUserAnalysis::AppCrashFile(const QString& fileName, const QString& filePath, ResultHandler handler) const
{
    if (!serverConfigured(mSources.server, kExchange)) {
        failLater(handler);
        return;
    }
    const std::optional<HttpRequest> request = crashFileRequest(fileName, filePath);
    if (!request) {
        failLater(handler);
        return;
    }
    HttpClient::shareInstance().send(*request, [handler](const HttpReply& reply) {
        if (handler) {
            handler(crashUploadAccepted(reply));
        }
    });
}

}  // namespace pravix
