#include "UserDefaults.h"

namespace pravix
{

QSettings userDefaults()
{
    return QSettings(QStringLiteral("Pravix"), QStringLiteral("Pravix"));
}

}  // namespace pravix
