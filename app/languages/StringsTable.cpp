#include "StringsTable.h"

#include "AppResources.h"

#include <QFile>
#include <QRegularExpression>
#include <QStringDecoder>

#include <iostream>

namespace pravix
{
namespace
{

// A table is a few kilobytes; a larger resource is not one of ours.
constexpr qint64 kMaxTableBytes = 1 << 20;

class Scanner
{
public:
    explicit Scanner(const QString& text)
        : text_(text)
    {
    }

    // Skips blanks and comments; false on an unterminated comment.
    bool skipSpace()
    {
        while (pos_ < text_.size()) {
            const QChar c = text_[pos_];
            if (c.isSpace()) {
                ++pos_;
            } else if (text_.mid(pos_, 2) == QLatin1String("/*")) {
                const qsizetype end = text_.indexOf(QLatin1String("*/"), pos_ + 2);
                if (end < 0) {
                    return fail(QStringLiteral("unterminated comment"));
                }
                pos_ = end + 2;
            } else if (text_.mid(pos_, 2) == QLatin1String("//")) {
                const qsizetype end = text_.indexOf(u'\n', pos_);
                pos_ = end < 0 ? text_.size() : end + 1;
            } else {
                break;
            }
        }
        return true;
    }

    bool atEnd() const { return pos_ >= text_.size(); }

    bool expect(QChar c)
    {
        if (pos_ < text_.size() && text_[pos_] == c) {
            ++pos_;
            return true;
        }
        return fail(QStringLiteral("expected '%1'").arg(c));
    }

    bool quoted(QString& out)
    {
        out.clear();
        if (!expect(u'"')) {
            return false;
        }
        while (pos_ < text_.size()) {
            const QChar c = text_[pos_++];
            if (c == u'"') {
                return true;
            }
            if (c != u'\\') {
                out.append(c);
                continue;
            }
            if (pos_ >= text_.size()) {
                break;
            }
            const QChar e = text_[pos_++];
            switch (e.unicode()) {
            case u'"': out.append(u'"'); break;
            case u'\\': out.append(u'\\'); break;
            case u'n': out.append(u'\n'); break;
            case u't': out.append(u'\t'); break;
            case u'r': out.append(u'\r'); break;
            case u'u': {
                bool ok = false;
                const uint code = text_.mid(pos_, 4).toUInt(&ok, 16);
                if (!ok || text_.mid(pos_, 4).size() != 4 || code == 0) {
                    return fail(QStringLiteral("bad \\u escape"));
                }
                out.append(QChar(static_cast<char16_t>(code)));
                pos_ += 4;
                break;
            }
            default:
                return fail(QStringLiteral("unknown escape \\%1").arg(e));
            }
        }
        return fail(QStringLiteral("unterminated text"));
    }

    bool fail(const QString& what)
    {
        if (error_.isEmpty()) {
            const qsizetype line = text_.left(pos_).count(u'\n') + 1;
            error_ = QStringLiteral("line %1: %2").arg(line).arg(what);
        }
        return false;
    }

    const QString& error() const { return error_; }

private:
    const QString& text_;
    qsizetype pos_ = 0;
    QString error_;
};

}  // namespace

std::optional<StringsTable> StringsTable::parse(const QByteArray& utf8, QString* error)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder(utf8);
    if (decoder.hasError()) {
        if (error) {
            *error = QStringLiteral("not valid UTF-8");
        }
        return std::nullopt;
    }
    StringsTable table;
    Scanner scanner(text);
    QString key;
    QString value;
    while (scanner.skipSpace() && !scanner.atEnd()) {
        if (!scanner.quoted(key) || !scanner.skipSpace() || !scanner.expect(u'=') || !scanner.skipSpace() ||
            !scanner.quoted(value) || !scanner.skipSpace() || !scanner.expect(u';')) {
            break;
        }
        if (key.isEmpty()) {
            scanner.fail(QStringLiteral("empty key"));
            break;
        }
        if (table.entries_.contains(key)) {
            scanner.fail(QStringLiteral("key \"%1\" given twice").arg(key));
            break;
        }
        table.entries_.insert(key, value);
    }
    if (!scanner.error().isEmpty()) {
        if (error) {
            *error = scanner.error();
        }
        return std::nullopt;
    }
    return table;
}

QString StringsTable::resourcePath(const QString& name)
{
    static const QRegularExpression tableName(QStringLiteral("^[a-z]{2}$"));
    if (!tableName.match(name).hasMatch()) {
        return {};
    }
    return QStringLiteral(":/strings/%1.strings").arg(name);
}

StringsTable StringsTable::load(const QString& name)
{
    initAppResources();
    const QString path = resourcePath(name);
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly)) {
        return {};
    }
    const QByteArray bytes = file.read(kMaxTableBytes + 1);
    QString error = bytes.size() > kMaxTableBytes ? QStringLiteral("too large") : QString();
    std::optional<StringsTable> table;
    if (error.isEmpty()) {
        table = parse(bytes, &error);
    }
    if (!table) {
        std::cout << "【日志】Strings table " << name.toUtf8().constData() << ": " << error.toUtf8().constData()
                  << std::endl;
        return {};
    }
    return *table;
}

}  // namespace pravix
