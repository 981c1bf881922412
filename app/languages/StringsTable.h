#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <optional>

namespace pravix
{

// One interface-language table: key to text. Tables are UTF-8 files of lines
//     "Key" = "Text";
// with /* ... */ and // comments; inside the quotes \" \\ \n \t \r and \uXXXX are escapes.
// Texts that take a number hold a named placeholder such as {count} (see TextPlaceholder.h); no
// text is ever used as a printf format.
class StringsTable
{
public:
    StringsTable() = default;

    // Nothing when the bytes are not valid UTF-8 or break the syntax, or a key is empty or
    // repeated; `error` then says where.
    static std::optional<StringsTable> parse(const QByteArray& utf8, QString* error = nullptr);

    // The table of that name from the application's resources; an unknown name gives an empty
    // table (every key is then shown as itself), a damaged table one as well, with a log line.
    static StringsTable load(const QString& name);

    // ":/strings/<name>.strings" for a name of two lower-case letters; empty for anything else.
    static QString resourcePath(const QString& name);

    bool contains(const QString& key) const { return entries_.contains(key); }
    QString value(const QString& key) const { return entries_.value(key); }
    QStringList keys() const { return entries_.keys(); }
    qsizetype size() const { return entries_.size(); }

private:
    QHash<QString, QString> entries_;
};

}  // namespace pravix
