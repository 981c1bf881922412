#pragma once

// The body of one network reply gathered within a time limit and a byte limit. Past either the reply
// is aborted and the verdict kept, so no more than the limit is ever held, whatever the server sends.

#include <QByteArray>

#include <chrono>
#include <memory>

class QNetworkReply;

namespace pravix
{

class BoundedReply
{
public:
    // Starts watching `reply` on its thread: the time limit runs from now; a Content-Length over the
    // limit (a redirect's own excepted) or a body growing past it aborts the transfer. The watcher
    // lives as long as the reply's connections or the caller's pointer.
    static std::shared_ptr<BoundedReply> watch(QNetworkReply* reply, qint64 maxBytes,
                                               std::chrono::milliseconds timeout);

    // Reads what has arrived; called on every readyRead, and once more by the caller at the end.
    void drain();

    const QByteArray& body() const { return mBody; }
    bool timedOut() const { return mTimedOut; }
    bool tooLarge() const { return mTooLarge; }

private:
    BoundedReply(QNetworkReply* reply, qint64 maxBytes) : mReply(reply), mMaxBytes(maxBytes) {}
    void refuseLonger();

    QNetworkReply* mReply;
    qint64 mMaxBytes;
    QByteArray mBody;
    bool mTimedOut = false;
    bool mTooLarge = false;
};

} // namespace pravix
