#pragma once

// The body of one network reply gathered within a time limit and a byte limit. Past either the reply
// is aborted and the verdict kept, so no more than the limit is ever held, whatever the server sends.

#include <QByteArray>

#include <chrono>
#include <functional>
#include <memory>

class QNetworkReply;

namespace pravix
{

class BoundedReply
{
public:
    // Takes the body's pieces as they arrive, when they are not gathered here; false when it cannot
    // keep them (the transfer is then aborted).
    using BodySink = std::function<bool(const char* bytes, qint64 count)>;

    // Starts watching `reply` on its thread: the time limit runs from now; a Content-Length over the
    // limit (a redirect's own excepted) or a body growing past it aborts the transfer. The body is
    // gathered in body(), or handed piece by piece to `sink` when one is given. The watcher lives as
    // long as the reply's connections or the caller's pointer.
    static std::shared_ptr<BoundedReply> watch(QNetworkReply* reply, qint64 maxBytes,
                                               std::chrono::milliseconds timeout, BodySink sink = {});

    // Reads what has arrived; called on every readyRead, and once more by the caller at the end.
    void drain();

    const QByteArray& body() const { return mBody; }
    bool timedOut() const { return mTimedOut; }
    bool tooLarge() const { return mTooLarge; }
    // The sink could not keep a piece.
    bool notKept() const { return mNotKept; }

private:
    BoundedReply(QNetworkReply* reply, qint64 maxBytes, BodySink sink)
        : mReply(reply), mMaxBytes(maxBytes), mSink(std::move(sink))
    {
    }
    void refuseLonger();

    QNetworkReply* mReply;
    qint64 mMaxBytes;
    BodySink mSink;
    QByteArray mBody;
    qint64 mReceived = 0;
    bool mTimedOut = false;
    bool mNotKept = false;
    bool mTooLarge = false;
};

} // namespace pravix
