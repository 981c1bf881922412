#pragma once

// What came back for one HttpRequest.

#include <QByteArray>
#include <QString>

namespace pravix
{

// No reply body is kept beyond this; a longer one fails the exchange.
constexpr qsizetype kHttpReplyLimit = 64 * 1024;

struct HttpReply
{
    int status = 0;      // the HTTP status, 0 when no complete answer came
    QByteArray body;     // at most kHttpReplyLimit bytes
    bool timedOut = false;
    bool tooLarge = false;
    QString errorText;   // why there is no answer, for the log

    // A whole answer arrived (any status): the server's text can be looked at.
    bool answered() const { return status > 0; }
    // A whole answer with a 2xx status.
    bool succeeded() const { return status >= 200 && status <= 299; }

    // The body as text for a log line: at most `maxCharacters` characters, control characters
    // escaped, and "..." when cut.
    QString bodyExcerpt(int maxCharacters = 200) const;
};

} // namespace pravix
