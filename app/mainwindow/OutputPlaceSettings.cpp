#include "OutputPlaceSettings.h"

#include "TextReading.h"
#include "UserDefaults.h"

#include <QDir>
#include <QStandardPaths>

namespace pravix
{
namespace
{

const QString kSaveHEICPathKey = QStringLiteral("SaveHEICPathKey");
const QString kSavePathKey = QStringLiteral("SavePathKey");

// The folder of a standard location, made with its parents when missing; empty when unknown.
QString standardFolder(QStandardPaths::StandardLocation location, const QString& child = QString())
{
    const QString base = QStandardPaths::writableLocation(location);
    if (base.isEmpty()) {
        return QString();
    }
    const QString folder = child.isEmpty() ? base : base + QLatin1Char('/') + child;
    QDir().mkpath(folder);
    return folder;
}

}  // namespace

bool OutputPlaceSettings::saveBesideSource()
{
    const QVariant stored = userDefaults().value(kSaveHEICPathKey);
    return stored.isValid() ? readBoolean(stored.toString()) : true;
}

void OutputPlaceSettings::setSaveBesideSource(bool beside)
{
    userDefaults().setValue(kSaveHEICPathKey, beside ? QStringLiteral("1") : QStringLiteral("0"));
}

QString OutputPlaceSettings::customFolder()
{
    return userDefaults().value(kSavePathKey).toString();
}

void OutputPlaceSettings::setCustomFolder(const QString& folder)
{
    userDefaults().setValue(kSavePathKey, folder);
}

QString OutputPlaceSettings::initialCustomFolder()
{
    const QString stored = customFolder();
    return stored.isEmpty() ? standardFolder(QStandardPaths::DownloadLocation) : stored;
}

QString OutputPlaceSettings::cachePath()
{
    return standardFolder(QStandardPaths::GenericCacheLocation, QStringLiteral(".Pravix"));
}

}  // namespace pravix
