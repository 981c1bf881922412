#include "TextReading.h"

#include <climits>

namespace pravix
{
namespace
{

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\v' || c == u'\f';
}

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// Position after the leading blanks and an optional sign; `negative` tells which sign it was.
qsizetype skipBlanksAndSign(QStringView text, bool& negative)
{
    qsizetype i = 0;
    while (i < text.size() && isBlank(text[i])) {
        ++i;
    }
    negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    return i;
}

}  // namespace

int readInteger(QStringView text)
{
    bool negative = false;
    qsizetype i = skipBlanksAndSign(text, negative);
    // Accumulate the magnitude in 64 bits and stop growing once it is past the 32-bit range.
    long long magnitude = 0;
    for (; i < text.size() && isDigit(text[i]); ++i) {
        if (magnitude <= static_cast<long long>(INT_MAX) + 1) {
            magnitude = magnitude * 10 + (text[i].unicode() - u'0');
        }
    }
    if (negative) {
        return magnitude > static_cast<long long>(INT_MAX) + 1 ? INT_MIN : static_cast<int>(-magnitude);
    }
    return magnitude > INT_MAX ? INT_MAX : static_cast<int>(magnitude);
}

bool readBoolean(QStringView text)
{
    bool negative = false;
    qsizetype i = skipBlanksAndSign(text, negative);
    while (i < text.size() && text[i] == u'0') {
        ++i;
    }
    if (i >= text.size()) {
        return false;
    }
    const QChar c = text[i];
    return c == u'Y' || c == u'y' || c == u'T' || c == u't' || (c >= u'1' && c <= u'9');
}

}  // namespace pravix
