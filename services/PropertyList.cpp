#include "PropertyList.h"

#include <QFile>
#include <QXmlStreamReader>

namespace pravix
{
namespace
{

// A configuration list is a few lines; anything this large is not one.
constexpr qint64 kMaxPropertyListBytes = 1 << 20;

bool fail(QString* error, const QString& reason)
{
    if (error) {
        *error = reason;
    }
    return false;
}

// Reads the value element the reader stands on; false when it is not a scalar we keep.
bool readScalar(QXmlStreamReader& xml, QString& value)
{
    const auto name = xml.name();
    if (name == u"string" || name == u"integer" || name == u"real") {
        value = xml.readElementText(QXmlStreamReader::ErrorOnUnexpectedElement);
        return !xml.hasError();
    }
    if (name == u"true" || name == u"false") {
        value = name == u"true" ? QStringLiteral("true") : QStringLiteral("false");
        xml.skipCurrentElement();
        return true;
    }
    xml.skipCurrentElement();
    return false;
}

bool readDictionary(QXmlStreamReader& xml, QHash<QString, QString>& out, QString* error)
{
    QString pendingKey;
    bool haveKey = false;
    while (xml.readNextStartElement()) {
        if (xml.name() == u"key") {
            if (haveKey) {
                return fail(error, QStringLiteral("a key without a value"));
            }
            pendingKey = xml.readElementText(QXmlStreamReader::ErrorOnUnexpectedElement);
            haveKey = true;
            continue;
        }
        if (!haveKey) {
            return fail(error, QStringLiteral("a value without a key"));
        }
        QString value;
        if (readScalar(xml, value)) {
            out.insert(pendingKey, value);
        }
        haveKey = false;
    }
    if (haveKey) {
        return fail(error, QStringLiteral("a key without a value"));
    }
    return true;
}

}  // namespace

QHash<QString, QString> readPropertyListTexts(const QByteArray& xml, QString* error)
{
    QHash<QString, QString> out;
    QXmlStreamReader reader(xml);
    if (!reader.readNextStartElement() || reader.name() != u"plist") {
        fail(error, QStringLiteral("not an XML property list"));
        return {};
    }
    if (!reader.readNextStartElement() || reader.name() != u"dict") {
        fail(error, QStringLiteral("the property list does not hold a dictionary"));
        return {};
    }
    if (!readDictionary(reader, out, error)) {
        return {};
    }
    // Whatever follows the dictionary must still be well-formed XML.
    while (!reader.atEnd()) {
        reader.readNext();
    }
    if (reader.hasError()) {
        fail(error, QStringLiteral("malformed XML: %1").arg(reader.errorString()));
        return {};
    }
    return out;
}

QHash<QString, QString> loadPropertyListTexts(const QString& path, QString* error)
{
    QFile file(path);
    if (!file.exists()) {
        return {};
    }
    if (!file.open(QIODevice::ReadOnly)) {
        fail(error, QStringLiteral("cannot read %1: %2").arg(path, file.errorString()));
        return {};
    }
    const QByteArray bytes = file.read(kMaxPropertyListBytes + 1);
    if (bytes.size() > kMaxPropertyListBytes) {
        fail(error, QStringLiteral("%1 is larger than a property list can be").arg(path));
        return {};
    }
    return readPropertyListTexts(bytes, error);
}

}  // namespace pravix
