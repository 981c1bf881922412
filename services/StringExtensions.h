#pragma once

#include <QDateTime>
#include <QString>

namespace pravix
{

// The text helpers that the services and the windows share: digests, time stamps, escaping.

// Lower-case hexadecimal MD5 of the text's UTF-8 bytes up to the first NUL character (32 digits).
QString md5(const QString& text);

// Milliseconds / seconds since 1970-01-01 00:00 UTC, printed "%.0f" (rounded, no decimal point).
QString TimeStamp();
QString TimeStamp(qint64 msecsSinceEpoch);
QString TimeStampSeconds();
QString TimeStampSeconds(qint64 msecsSinceEpoch);

// The moment as "yyyy-MM-dd HH:mm" in local time, with the calendar year: a log named with the
// week-based year would, on the first or last days of a year, carry the name of a log written a year
// before or after, and start-up would delete that log.
QString GetTimeYYYMMDDHHMM();
QString GetTimeYYYMMDDHHMM(const QDateTime& moment);

// Percent-escapes the 28 characters ?!@#$^&%*+,:;='"`<>()[]{}/\| and everything outside 7-bit
// ASCII (each UTF-8 byte as %XX, upper-case); other ASCII characters, the blank included, stay.
// A null QString when the text holds an unpaired UTF-16 surrogate.
QString urlEncodeStr(const QString& text);

}  // namespace pravix
