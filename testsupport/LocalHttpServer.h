#pragma once

// A small HTTP/1.1 server on 127.0.0.1 (a free port) for tests of network code. It records every
// request (request line, headers, body) and answers each with the next scripted reply: a status
// and body, no answer at all, or a closed connection. Runs on the thread that made it; its sockets
// are served while that thread's event loop runs (a waiting send's local loop included).

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <QUrl>

#include <deque>
#include <functional>

class QTcpServer;
class QTcpSocket;

namespace testsupport
{

class LocalHttpServer : public QObject
{
    Q_OBJECT
public:
    struct Request
    {
        QByteArray requestLine; // "POST /action.ashx HTTP/1.1"
        QByteArray method;
        QByteArray target;      // path and query as sent
        QList<QPair<QByteArray, QByteArray>> headers;
        QByteArray body;

        QByteArray path() const;  // the target up to "?"
        QByteArray query() const; // after "?", empty when none
        // The first header of that name (any letter case); empty when absent.
        QByteArray header(const QByteArray& name) const;
        bool hasHeader(const QByteArray& name) const;
    };

    enum class Action
    {
        Answer,      // status line, headers, body, then close
        NeverAnswer, // keep the connection open and say nothing
        Close,       // close the connection without a word (Qt then tries once more: script both)
        Raw,         // write `body` as the whole response, then close
    };

    struct Reply
    {
        Action action = Action::Answer;
        int status = 200;
        QByteArray body;
        QList<QPair<QByteArray, QByteArray>> headers; // Content-Length and Connection are added
        int delayMs = 0;                              // Answer and Raw: written this much later

        static Reply answer(int status, const QByteArray& body);
        // An answer that leaves only after `delayMs`: a reply that overtakes or is overtaken.
        static Reply answerAfter(int delayMs, int status, const QByteArray& body);
        static Reply neverAnswer();
        static Reply close();
        static Reply raw(const QByteArray& bytes);
    };

    explicit LocalHttpServer(QObject* parent = nullptr);
    ~LocalHttpServer() override;

    bool isListening() const;
    // Stops accepting: later connections to the port are refused.
    void stopListening();
    quint16 port() const;
    // "127.0.0.1:<port>", the form of a configured host.
    QString hostAndPort() const;
    // "http://127.0.0.1:<port>" + pathAndQuery (which starts with "/").
    QUrl url(const QString& pathAndQuery = QStringLiteral("/")) const;

    // Replies are used in order, one per request; when none is queued the default one answers
    // (200 with an empty body unless changed).
    void enqueue(const Reply& reply);
    void setDefaultReply(const Reply& reply);
    // Every request for `path` (the target up to "?") gets this reply, before the script or the
    // default: for code that sends to several pages at once, in no fixed order.
    void setReplyForPath(const QByteArray& path, const Reply& reply);

    const QList<Request>& requests() const { return mRequests; }
    int requestCount() const { return int(mRequests.size()); }
    void clearRequests() { mRequests.clear(); }

    // Runs the event loop until `count` requests have come or `timeoutMs` has passed.
    bool waitForRequests(int count, int timeoutMs = 5000);

signals:
    void requestReceived();

private:
    void onNewConnection();
    void onReadyRead(QTcpSocket* socket);
    void respond(QTcpSocket* socket, const Reply& reply);

    QTcpServer* mServer;
    std::deque<Reply> mScript;
    Reply mDefault;
    QList<QPair<QByteArray, Reply>> mPathReplies;
    QList<Request> mRequests;
};

// Runs the event loop until `condition` holds or `timeoutMs` has passed; returns the condition.
bool spinUntil(const std::function<bool()>& condition, int timeoutMs = 5000);

} // namespace testsupport
