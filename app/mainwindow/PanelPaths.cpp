#include "PanelPaths.h"

#include <QDir>
#include <QFileInfo>

namespace pravix
{

QStringList pathsFromPanel(const QStringList& chosen)
{
    QStringList paths;
    for (const QString& path : chosen) {
        const QFileInfo info(path);
        if (!info.exists()) {
            continue;
        }
        if (!info.isDir()) {
            paths << path;
            continue;
        }
        const QDir folder(path);
        const QStringList names = folder.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                                   QDir::Name);
        // One "/" between folder and name, also for "/" itself, so a file keeps one spelling of
        // its path (the list tells duplicates by the exact text).
        const QString prefix = path.endsWith(QLatin1Char('/')) ? path : path + QLatin1Char('/');
        for (const QString& name : names) {
            paths << prefix + name;
        }
    }
    return paths;
}

}  // namespace pravix
