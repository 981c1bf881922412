#include "StringExtensions.h"

#include <QCryptographicHash>
#include <QDate>
#include <QLocale>

namespace pravix
{

QString md5(const QString& text)
{
    QByteArray bytes = text.toUtf8();
    // The digest covers the bytes of a C string: a NUL ends it.
    const qsizetype nul = bytes.indexOf('\0');
    if (nul >= 0) {
        bytes.truncate(nul);
    }
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex());
}

QString TimeStamp()
{
    return TimeStamp(QDateTime::currentMSecsSinceEpoch());
}

QString TimeStamp(qint64 msecsSinceEpoch)
{
    // Seconds as a double first, then times 1000: the same arithmetic as the seconds text.
    const double seconds = static_cast<double>(msecsSinceEpoch) / 1000.0;
    return QString::asprintf("%.0f", seconds * 1000.0);
}

QString TimeStampSeconds()
{
    return TimeStampSeconds(QDateTime::currentMSecsSinceEpoch());
}

QString TimeStampSeconds(qint64 msecsSinceEpoch)
{
    return QString::asprintf("%.0f", static_cast<double>(msecsSinceEpoch) / 1000.0);
}

QString GetTimeYYYMMDDHHMM()
{
    return GetTimeYYYMMDDHHMM(QDateTime::currentDateTime());
}

QString GetTimeYYYMMDDHHMM(const QDateTime& moment)
{
    // Fixed digits, whatever the user's locale: the text names files.
    return QLocale::c().toString(moment.toLocalTime(), QStringLiteral("yyyy-MM-dd HH:mm"));
}

QString urlEncodeStr(const QString& text)
{
    static const QByteArray escaped = QByteArrayLiteral("?!@#$^&%*+,:;='\"`<>()[]{}/\\|");
    // An unpaired surrogate has no UTF-8 form; the text cannot be encoded at all.
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate()) {
            if (i + 1 >= text.size() || !text.at(i + 1).isLowSurrogate()) {
                return QString();
            }
            ++i;
        } else if (c.isLowSurrogate()) {
            return QString();
        }
    }
    static const char hex[] = "0123456789ABCDEF";
    QString out;
    const QByteArray utf8 = text.toUtf8();
    out.reserve(utf8.size() * 3);
    for (const char ch : utf8) {
        const auto byte = static_cast<unsigned char>(ch);
        if (byte < 0x80 && !escaped.contains(ch)) {
            out.append(QLatin1Char(ch));
        } else {
            out.append(QLatin1Char('%'));
            out.append(QLatin1Char(hex[byte >> 4]));
            out.append(QLatin1Char(hex[byte & 0x0F]));
        }
    }
    return out;
}

}  // namespace pravix
