#pragma once

// The HTTP client of the services: a QNetworkAccessManager on the GUI thread, an explicit
// time limit per request, replies capped at kHttpReplyLimit and the HTTP status handed to callers.

#include <QObject>

#include <chrono>
#include <functional>

#include "HttpReply.h"
#include "HttpRequest.h"

class QNetworkAccessManager;

namespace pravix
{

class HttpClient : public QObject
{
    Q_OBJECT
public:
    using Completion = std::function<void(const HttpReply&)>;

    explicit HttpClient(QObject* parent = nullptr);
    ~HttpClient() override;

    // The client of the process, made on first use on the GUI thread and owned by the application
    // object.
    static HttpClient& shareInstance();

    // Starts the request and returns; `done` runs later on this object's thread with the reply,
    // unless `context` was given and has been destroyed by then. Call from this object's thread.
    void send(const HttpRequest& request, Completion done, const QObject* context = nullptr);

    // Sends and waits in a local event loop (other events keep being delivered meanwhile).
    HttpReply sendAndWait(const HttpRequest& request);

    // For tests: no request runs longer than `limit`, whatever it asks; zero lifts the limit.
    void setTimeoutLimit(std::chrono::milliseconds limit) { mTimeoutLimit = limit; }

    // Requests sent and not yet finished.
    int pendingCount() const { return mPending; }

private:
    std::chrono::milliseconds effectiveTimeout(std::chrono::milliseconds asked) const;

    QNetworkAccessManager* mManager;
    std::chrono::milliseconds mTimeoutLimit{0};
    int mPending = 0;
};

} // namespace pravix
