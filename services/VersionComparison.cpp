#include "VersionComparison.h"

#include "TextReading.h"

#include <QStringList>

#include <algorithm>

namespace pravix
{

bool isVersionBiggerThanVersion(const QString& a, const QString& b)
{
    const QStringList partsA = a.split(u'.');
    const QStringList partsB = b.split(u'.');
    const qsizetype shared = std::min(partsA.size(), partsB.size());
    for (qsizetype i = 0; i < shared; ++i) {
        const int partA = readInteger(partsA[i]);
        const int partB = readInteger(partsB[i]);
        if (partA != partB) {
            return partA > partB;
        }
    }
    // A record is at most 64 KiB, so 64 bits hold any sum of its parts.
    qint64 extra = 0;
    for (qsizetype i = shared; i < partsA.size(); ++i) {
        extra += readInteger(partsA[i]);
    }
    return extra > 0;
}

}  // namespace pravix
