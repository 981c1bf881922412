#include "OptionMenus.h"

namespace pravix
{

QStringList outFileTypeTitles()
{
    return {QStringLiteral("JPG"), QStringLiteral("PNG"), QStringLiteral("BMP"), QStringLiteral("JPEG"),
            QStringLiteral("TIFF")};
}

QStringList percentTitles()
{
    QStringList titles;
    for (int percent = 10; percent <= 100; percent += 10) {
        titles << QStringLiteral("%1%").arg(percent);
    }
    return titles;
}

}  // namespace pravix
