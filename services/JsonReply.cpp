#include "JsonReply.h"

#include "TextReading.h"

#include <QJsonDocument>
#include <QJsonParseError>

#include <climits>
#include <cmath>

namespace pravix
{

std::optional<QJsonObject> jsonObjectOf(const QByteArray& body)
{
    // Servers on other systems often save their files with a byte-order mark first.
    static const QByteArray byteOrderMark = QByteArrayLiteral("\xEF\xBB\xBF");
    const QByteArray text = body.startsWith(byteOrderMark) ? body.mid(byteOrderMark.size()) : body;
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(text, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        return std::nullopt;
    }
    return document.object();
}

std::optional<int> integerValueOf(const QJsonValue& value)
{
    switch (value.type()) {
    case QJsonValue::Bool:
        return value.toBool() ? 1 : 0;
    case QJsonValue::Double: {
        const double number = std::trunc(value.toDouble());
        if (number >= static_cast<double>(INT_MAX)) {
            return INT_MAX;
        }
        if (number <= static_cast<double>(INT_MIN)) {
            return INT_MIN;
        }
        return static_cast<int>(number);
    }
    case QJsonValue::String:
        return readInteger(value.toString());
    default:
        return std::nullopt;
    }
}

bool booleanValueOf(const QJsonValue& value)
{
    switch (value.type()) {
    case QJsonValue::Bool:
        return value.toBool();
    case QJsonValue::Double:
        return value.toDouble() != 0.0;
    case QJsonValue::String:
        return readBoolean(value.toString());
    default:
        return false;
    }
}

}  // namespace pravix
