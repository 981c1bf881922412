#pragma once

// The version record of the update server and what a check makes of it.

#include <QMetaType>
#include <QString>
#include <QUrl>

#include "HttpReply.h"

namespace pravix
{

// The ways a check ends. NoReply and NotARecord show the same network-failure text.
enum class UpdateOutcome
{
    NewerVersion,    // the record names a newer version
    CurrentVersion,  // the record's version is not newer, or it names none
    NoReply,         // no whole 2xx answer: no network, time-out, refused, error status
    NotARecord,      // an answer that is not a JSON object
    NoUpdateServer,  // nothing was asked: the build names no update server
};

struct UpdateCheckResult
{
    UpdateOutcome outcome = UpdateOutcome::NoReply;
    QString version;   // the record's "version" when it is a text
    QString notes;     // NewerVersion: "info" when it is a text, else empty. Plain text, never markup.
    QUrl download;     // NewerVersion: "download" when it is an absolute http or https address, else empty
    QString detail;    // NoReply, NotARecord and NoUpdateServer: why, for the log

    bool isNetworkFailure() const
    {
        return outcome == UpdateOutcome::NoReply || outcome == UpdateOutcome::NotARecord;
    }
};

// Reads the answer of the update server against the running version. A field that is not a text
// counts as missing; a record without a version counts as current.
UpdateCheckResult readVersionRecord(const HttpReply& reply, const QString& runningVersion);

// The address a download link may open: an absolute http or https address with a host, strictly
// parsed; empty for anything else (another scheme such as file:, a relative or malformed text).
QUrl downloadAddress(const QString& text);

}  // namespace pravix

Q_DECLARE_METATYPE(pravix::UpdateCheckResult)
