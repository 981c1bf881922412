#pragma once

#include <QString>
#include <QStringList>

namespace pravix
{

// The titles of a menu bar, each with a keyboard mnemonic ("&") for Alt+letter. A title takes its
// first letter that has an upper and a lower case (one that a keyboard of its script types) and
// that no earlier title took, compared without case. A title with none, such as a Chinese, Korean or
// Arabic one, gets its fallback Latin letter (fallbackLetters[i]) appended as "(&L)", the way menus
// in those languages show it. An "&" that is part of a title stays a plain "&".
QStringList withMenuMnemonics(const QStringList& titles, const QString& fallbackLetters);

}  // namespace pravix
