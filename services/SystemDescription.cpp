#include "SystemDescription.h"

#include <QFile>

namespace pravix
{
namespace
{

// Both files are a few kilobytes; the first processor's lines come first even on large machines.
constexpr qint64 kReadLimit = 256 * 1024;

bool readHead(const QString& path, QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return false;
    }
    // Files under /proc report size 0, so read until the end or the limit.
    bytes = file.read(kReadLimit);
    return file.error() == QFileDevice::NoError;
}

// A shell-style value: bare, 'single quoted' (as it stands) or "double quoted" (\ escapes the next
// character). Whatever follows the closing quote is ignored.
QByteArray unquote(const QByteArray& raw)
{
    if (raw.startsWith('\'')) {
        const qsizetype end = raw.indexOf('\'', 1);
        return raw.mid(1, end < 0 ? -1 : end - 1);
    }
    if (raw.startsWith('"')) {
        QByteArray out;
        for (qsizetype i = 1; i < raw.size(); ++i) {
            const char c = raw.at(i);
            if (c == '"') {
                break;
            }
            if (c == '\\' && i + 1 < raw.size()) {
                out += raw.at(++i);
            } else {
                out += c;
            }
        }
        return out;
    }
    return raw;
}

}  // namespace

QString cpuModelOf(const QString& cpuinfoPath)
{
    QByteArray bytes;
    if (!readHead(cpuinfoPath, bytes)) {
        return {};
    }
    for (const QByteArray& line : bytes.split('\n')) {
        const qsizetype colon = line.indexOf(':');
        if (colon < 0 || line.left(colon).trimmed() != "model name") {
            continue;
        }
        return QString::fromUtf8(line.mid(colon + 1)).trimmed();
    }
    return {};
}

QStringList defaultOsReleasePaths()
{
    return {QStringLiteral("/etc/os-release"), QStringLiteral("/usr/lib/os-release")};
}

QString osReleaseValue(const QByteArray& text, const QByteArray& key)
{
    const QByteArray prefix = key + '=';
    for (const QByteArray& rawLine : text.split('\n')) {
        const QByteArray line = rawLine.trimmed();
        if (line.startsWith(prefix)) {
            return QString::fromUtf8(unquote(line.mid(prefix.size())));
        }
    }
    return {};
}

QString sysVersionOf(const QStringList& osReleasePaths)
{
    for (const QString& path : osReleasePaths) {
        QByteArray bytes;
        if (!readHead(path, bytes)) {
            continue;
        }
        // The first file that exists is the system's description, whether or not it names a version.
        const QString version = osReleaseValue(bytes, "VERSION_ID");
        return version.isEmpty() ? QStringLiteral("Mac") : QStringLiteral("Mac-") + version;
    }
    return QStringLiteral("Mac");
}

}  // namespace pravix
