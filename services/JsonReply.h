#pragma once

// Readings of the JSON texts that the servers answer.

#include <QByteArray>
#include <QJsonObject>
#include <QJsonValue>

#include <optional>

namespace pravix
{

// The object that a reply body holds: UTF-8 JSON, a leading byte-order mark and blanks allowed,
// whose top level is an object. None for anything else (an array, a bare value, broken text).
std::optional<QJsonObject> jsonObjectOf(const QByteArray& body);

// The integer reading of a member: a number cut toward zero and held to the 32-bit range, true 1
// and false 0, a text by its leading digits (readInteger). None for null, arrays, objects and a
// missing member.
std::optional<int> integerValueOf(const QJsonValue& value);

// The boolean reading of a member: a number is YES when not zero, true is YES, a text reads as
// readBoolean says. Null, arrays, objects and a missing member read NO.
bool booleanValueOf(const QJsonValue& value);

}  // namespace pravix
