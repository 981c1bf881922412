#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

namespace pravix
{

// The top-level dictionary of an XML property list, as texts: <string>, <integer> and <real> give
// their text, <true/> and <false/> give "true" and "false"; nested dictionaries, arrays, data and
// dates are passed over. Anything that is not a well-formed XML property list with a dictionary at
// its root gives an empty dictionary and, when `error` is given, a one-line reason.
QHash<QString, QString> readPropertyListTexts(const QByteArray& xml, QString* error = nullptr);

// The same for a file (a Qt resource path such as ":/Configuration.plist" included). A missing file
// gives an empty dictionary without a reason; an unreadable, oversized or malformed one with one.
QHash<QString, QString> loadPropertyListTexts(const QString& path, QString* error = nullptr);

}  // namespace pravix
