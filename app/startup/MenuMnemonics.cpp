#include "MenuMnemonics.h"

#include <QSet>

namespace pravix
{
namespace
{

bool hasCase(QChar c)
{
    return c.isLetter() && c.toUpper() != c.toLower();
}

}  // namespace

QStringList withMenuMnemonics(const QStringList& titles, const QString& fallbackLetters)
{
    QSet<QString> taken;
    QStringList marked;
    marked.reserve(titles.size());
    for (qsizetype i = 0; i < titles.size(); ++i) {
        QString title = titles[i];
        title.replace(u'&', QStringLiteral("&&"));
        qsizetype at = -1;
        for (qsizetype c = 0; c < title.size(); ++c) {
            if (title[c] == u'&') {
                ++c;  // the doubled "&" of a plain one
                continue;
            }
            if (hasCase(title[c]) && !taken.contains(title[c].toUpper())) {
                at = c;
                break;
            }
        }
        if (at >= 0) {
            taken.insert(title[at].toUpper());
            title.insert(at, u'&');
        } else if (i < fallbackLetters.size()) {
            const QChar letter = fallbackLetters[i].toUpper();
            taken.insert(letter);
            title += QStringLiteral("(&") + letter + u')';
        }
        marked.append(title);
    }
    return marked;
}

}  // namespace pravix
