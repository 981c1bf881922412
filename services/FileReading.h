#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace pravix
{

// The whole content of a file that is to be sent somewhere; none when it cannot be read or holds
// more than `limit` bytes.
std::optional<QByteArray> readWholeFile(const QString& path, qint64 limit);

}  // namespace pravix
