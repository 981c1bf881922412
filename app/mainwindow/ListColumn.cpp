#include "ListColumn.h"

namespace pravix
{

QString columnIdentifier(int column)
{
    switch (column) {
    case SelectColumn:
        return QStringLiteral("select");
    case NameColumn:
        return QStringLiteral("name");
    case SizeColumn:
        return QStringLiteral("size");
    case StateColumn:
        return QStringLiteral("state");
    case PreviewColumn:
        return QStringLiteral("prview");
    case DeleteColumn:
        return QStringLiteral("delete");
    default:
        return QString();
    }
}

}  // namespace pravix
