#pragma once

#include <QString>

namespace pravix
{

// Whether dotted version `a` is newer than `b`. Both are split at "." and each part is read as an
// integer (readInteger: leading digits, none gives 0, beyond the 32-bit range held at its end).
// The first differing part present in both decides; when all shared parts are equal, `a` is newer
// only when it has more parts and those extra parts add up to more than 0. So 1.10 is newer than
// 1.9, 1.2.1 newer than 1.2, and neither 1.2 nor 1.2.0 newer than 1.2.
bool isVersionBiggerThanVersion(const QString& a, const QString& b);

}  // namespace pravix
