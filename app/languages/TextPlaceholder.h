#pragma once

#include <QString>
#include <QStringView>

namespace pravix
{

// Texts of the strings tables that take a value name it in braces: "{count}". The value is put in
// by plain text replacement, in one pass, so a value that itself holds braces or "%" signs is
// shown as it is and a translated text is never read as a format.
QString fillPlaceholder(const QString& text, QStringView name, const QString& value);

// How many times "{name}" stands in `text`.
qsizetype placeholderCount(const QString& text, QStringView name);

}  // namespace pravix
