#include "StateTextFit.h"

#include "WidgetExtensions.h"

#include <QFontMetricsF>
#include <QTextLayout>

#include <algorithm>
#include <cmath>

namespace pravix
{
namespace
{

struct WrappedLine
{
    int start = 0;
    int length = 0;
    qreal height = 0;
};

std::vector<WrappedLine> wrap(const QString& text, qreal fontSize, qreal width)
{
    QTextLayout layout(text, SystemFont(fontSize));
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    std::vector<WrappedLine> lines;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLeadingIncluded(true);
        line.setLineWidth(std::max<qreal>(width, 1.0));
        lines.push_back({line.textStart(), line.textLength(), line.height()});
    }
    layout.endLayout();
    return lines;
}

qreal heightOf(const std::vector<WrappedLine>& lines)
{
    qreal height = 0;
    for (const WrappedLine& line : lines) {
        height += line.height;
    }
    return height;
}

QStringList textsOf(const QString& text, const std::vector<WrappedLine>& lines, size_t count)
{
    QStringList texts;
    for (size_t i = 0; i < count && i < lines.size(); ++i) {
        texts << text.mid(lines[i].start, lines[i].length).trimmed();
    }
    return texts;
}

// How many lines of `lineHeight` the height holds: at least one (it ends in the ellipsis), at most
// `count`; a height that is negative or not a number holds one.
size_t linesThatFit(qreal height, qreal lineHeight, size_t count)
{
    const qreal room = std::floor(height / lineHeight);
    if (count == 0 || !(room >= 1.0)) {
        return 1;
    }
    return room >= static_cast<qreal>(count) ? count : static_cast<size_t>(room);
}

}  // namespace

qreal wrappedTextHeight(const QString& text, qreal fontSize, qreal width)
{
    return heightOf(wrap(text, fontSize, width));
}

StateTextFit fitStateText(const QString& text, const QSizeF& box, qreal startSize, qreal smallestSize)
{
    StateTextFit fit;
    fit.fontSize = startSize;
    if (text.isEmpty()) {
        return fit;
    }
    std::vector<WrappedLine> lines = wrap(text, fit.fontSize, box.width());
    // Without the floor a text that never fits would shrink without end.
    while (heightOf(lines) > box.height() && fit.fontSize - 1.0 >= smallestSize) {
        fit.fontSize -= 1.0;
        lines = wrap(text, fit.fontSize, box.width());
    }
    fit.lineHeight = lines.empty() ? 0 : lines.front().height;
    if (heightOf(lines) <= box.height() || lines.empty()) {
        fit.lines = textsOf(text, lines, lines.size());
        return fit;
    }
    // Still too high at the smallest size: keep the lines that fit (at least one) and end the
    // last of them with an ellipsis standing for the rest.
    const size_t fitting = linesThatFit(box.height(), fit.lineHeight, lines.size());
    fit.lines = textsOf(text, lines, fitting - 1);
    const QString rest = text.mid(lines[fitting - 1].start).simplified();
    const QFontMetricsF metrics(SystemFont(fit.fontSize));
    fit.lines << metrics.elidedText(rest, Qt::ElideRight, box.width());
    fit.elided = true;
    return fit;
}

}  // namespace pravix
