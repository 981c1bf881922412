#include "QtLogFilter.h"

#include <QStringView>

namespace pravix
{
namespace
{

QtMessageHandler passOn = nullptr;

void filterMessage(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (QtLogFilter::isNoise(type, message)) {
        return;
    }
    if (passOn != nullptr) {
        passOn(type, context, message);
    }
}

}  // namespace

QtLogFilter::QtLogFilter()
{
    previous_ = qInstallMessageHandler(filterMessage);
    passOn = previous_;
}

QtLogFilter::~QtLogFilter()
{
    qInstallMessageHandler(previous_);
    passOn = nullptr;
}

bool QtLogFilter::isNoise(QtMsgType type, const QString& message)
{
    // The two questions about cells past the list's end; other table warnings (a broken tree)
    // stay in the log.
    return type == QtWarningMsg && (message.startsWith(u"QAccessibleTable::child: Invalid index") ||
                                    message.startsWith(u"QAccessibleTable::cellAt: invalid index"));
}

}  // namespace pravix
