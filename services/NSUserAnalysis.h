#pragma once

// The statistics pings: short GET reports of the installation and of the day's activity to the
// statistics server of the copy's market, their query signed with an MD5 of the product id and the
// time. Also an exit report and a multipart crash-file upload, which the program does not send.
//
// Every report answers exactly once, later, on the GUI thread: true when the server accepted it,
// false for anything else (no server configured, no network, time-out, an error status, a reply
// that does not read as acceptance). Use from the GUI thread.

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

#include "HttpReply.h"
#include "HttpRequest.h"
#include "SystemDescription.h"

namespace pravix
{

// What the pings send and where; tests point these at a local server, fake files and a fixed clock.
struct NSUserAnalysisSources
{
    QString server;       // the market's statistics server with its scheme; empty: nothing is sent
    QString productId;    // the market's product id
    QString machineCode;  // ClientProfile::MachineCode
    QString partner;      // ClientProfile::Partner
    QString version;      // the running version
    QString uploadKey;    // public key of the crash-file upload service
    QString cpuinfoPath = QStringLiteral("/proc/cpuinfo");
    QStringList osReleasePaths = defaultOsReleasePaths();
    std::function<qint64()> now = [] { return QDateTime::currentMSecsSinceEpoch(); };

    // This copy's values: the shared ClientProfile with the build's deployment values for its
    // market, and the application object's version.
    static NSUserAnalysisSources thisCopy();
};

class NSUserAnalysis
{
public:
    using ResultHandler = std::function<void(bool success)>;
    using ReplyHandler = std::function<void(const HttpReply& reply)>;

    // Reads the processor brand at once (CheckCPU).
    explicit NSUserAnalysis(NSUserAnalysisSources sources);
    NSUserAnalysis(const NSUserAnalysis&) = delete;
    NSUserAnalysis& operator=(const NSUserAnalysis&) = delete;

    // The instance of the process, made on first use with NSUserAnalysisSources::thisCopy().
    static NSUserAnalysis& shareInstance();

    // GET "/api/mac/installationQuantity?", "/api/mac/activityLog?", "/api/mac/exitLog?" with the
    // report query; accepted when reportAccepted says so.
    void AppInstalled(ResultHandler handler) const;
    void AppActive(ResultHandler handler) const;
    void AppCrash(ResultHandler handler) const;
    // GET "/api/quelvar/softInstallData?" with the install-data query of `type` (1 installation,
    // 3 activity); accepted when installDataAccepted says so.
    void SoftInstallData(int type, ResultHandler handler) const;
    // POST of a multipart form to "/api/mac/uploadQiniu?": the upload key, the store flag and, when
    // `filePath` can be read, the file under the name `fileName`. A name holding a line break or a
    // NUL is refused (false, nothing sent). Accepted when crashUploadAccepted says so.
    void AppCrashFile(const QString& fileName, const QString& filePath, ResultHandler handler) const;

    // A GET of the address text with a 10-second limit, the reply handed over as it came. A text
    // that is not a valid http address gives a reply without an answer.
    void GetHttpURL(const QString& url, ReplyHandler handler) const;
    // The same GET (the servers take the file report as one).
    void PostHttpFileUrl(const QString& url, ReplyHandler handler) const;

    // Reads the processor brand from the cpuinfo file into strCPUModel; empty when there is none.
    void CheckCPU();
    const QString& strCPUModel() const { return mCpuModel; }
    const QString& CpuModel() const { return mCpuModel; }
    // "Mac-<VERSION_ID>" of this system, "Mac" when unknown.
    QString GetSysVersion() const;

    // The queries as sent, with the time stamp of `msecsSinceEpoch`. Every value is escaped
    // (urlEncodeStr, and blanks and control characters as %XX); the processor brand loses its blanks.
    QString reportQuery(qint64 msecsSinceEpoch) const;
    QString installDataQuery(int type, qint64 msecsSinceEpoch) const;
    QString crashFileQuery(qint64 msecsSinceEpoch) const;
    // The upload of AppCrashFile; none when the file name cannot go into the form's header.
    std::optional<HttpRequest> crashFileRequest(const QString& fileName, const QString& filePath) const;

    // The success readings of the replies, each requiring a whole 2xx answer:
    // a JSON object whose "code" has the integer value 1 (the number 1, or a text reading as 1);
    static bool reportAccepted(const HttpReply& reply);
    // a text whose integer reading is 1;
    static bool installDataAccepted(const HttpReply& reply);
    // a JSON object whose "code" reads as YES.
    static bool crashUploadAccepted(const HttpReply& reply);

private:
    void sendReport(const QString& pathAndQuery, bool (*accepts)(const HttpReply&), ResultHandler handler) const;
    QString timeStamp(qint64 msecsSinceEpoch) const;
    QString sign(const QString& timeStamp) const;

    NSUserAnalysisSources mSources;
    QString mCpuModel;
};

}  // namespace pravix
