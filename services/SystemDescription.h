#pragma once

// What the statistics reports say about the computer: the processor's brand text and the system's
// version text. Both read small text files whose paths are given, so tests use fake ones.

#include <QString>
#include <QStringList>

namespace pravix
{

// The processor brand of the first "model name" line of a cpuinfo file ("model name : Intel(R)
// Core(TM) i5 ..." gives "Intel(R) Core(TM) i5 ..."); empty when the file or the line is missing,
// as on many ARM machines.
QString cpuModelOf(const QString& cpuinfoPath = QStringLiteral("/proc/cpuinfo"));

// The os-release files in the order they are consulted: the first one that can be read counts.
QStringList defaultOsReleasePaths();

// "Mac-" followed by VERSION_ID of the first readable os-release file ("Mac-12" on Debian 12); the
// servers parse this form. "Mac" when no file can be read or it holds no VERSION_ID.
QString sysVersionOf(const QStringList& osReleasePaths = defaultOsReleasePaths());

// The value of `key` in os-release text (KEY=value lines, the value bare or in single or double
// quotes, backslash escapes inside double quotes); empty when absent.
QString osReleaseValue(const QByteArray& text, const QByteArray& key);

}  // namespace pravix
