#pragma once

#include <QStringView>

namespace pravix
{

// The two readings of a text that settings, replies and version parts rely on.

// Integer reading: leading blanks (spaces, tabs, line ends), an optional "+" or "-", then the
// leading decimal digits; anything after them is ignored. No digits give 0; a value beyond the
// 32-bit range gives INT_MAX or INT_MIN.
int readInteger(QStringView text);

// Boolean reading: after leading blanks, an optional sign and leading zeros, YES when the next
// character is "Y", "y", "T", "t" or a digit 1-9; NO otherwise (so "NO", "false", "0", "" read NO).
bool readBoolean(QStringView text);

}  // namespace pravix
