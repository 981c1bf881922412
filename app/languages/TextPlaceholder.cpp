#include "TextPlaceholder.h"

namespace pravix
{
namespace
{

QString token(QStringView name)
{
    return QLatin1Char('{') + name.toString() + QLatin1Char('}');
}

}  // namespace

QString fillPlaceholder(const QString& text, QStringView name, const QString& value)
{
    // QString::replace scans the text once and never looks into what it put in.
    return QString(text).replace(token(name), value);
}

qsizetype placeholderCount(const QString& text, QStringView name)
{
    return text.count(token(name));
}

}  // namespace pravix
