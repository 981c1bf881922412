#include "FileReading.h"

#include <QFile>

namespace pravix
{

std::optional<QByteArray> readWholeFile(const QString& path, qint64 limit)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > limit) {
        return std::nullopt;
    }
    // Read one byte past the limit: a file that grows meanwhile (or reports no size) is still caught.
    QByteArray bytes = file.read(limit + 1);
    if (bytes.size() > limit || file.error() != QFileDevice::NoError) {
        return std::nullopt;
    }
    return bytes;
}

}  // namespace pravix
