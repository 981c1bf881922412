#include "HttpReply.h"

namespace pravix
{

QString HttpReply::bodyExcerpt(int maxCharacters) const
{
    // Decode a little more than needed: a cut inside a UTF-8 sequence then never shows.
    const QString text = QString::fromUtf8(body.left(qsizetype(maxCharacters) * 4 + 4));
    QString out;
    int count = 0;
    for (qsizetype i = 0; i < text.size(); ++i)
    {
        if (count == maxCharacters)
        {
            out += QStringLiteral("...");
            break;
        }
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size())
        {
            out += c;
            out += text.at(++i);
        }
        else if (c == u'\n')
            out += QStringLiteral("\\n");
        else if (c == u'\r')
            out += QStringLiteral("\\r");
        else if (c == u'\t')
            out += QStringLiteral("\\t");
        else if (c.unicode() < 0x20 || c.unicode() == 0x7F || (c.unicode() >= 0x80 && c.unicode() < 0xA0) ||
                 c.unicode() == 0x2028 || c.unicode() == 0x2029)
            out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
        else
            out += c;
        ++count;
    }
    return out;
}

} // namespace pravix
