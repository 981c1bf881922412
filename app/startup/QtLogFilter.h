#pragma once

#include <QString>
#include <QtGlobal>

namespace pravix
{

// Keeps Qt's lines out of the log that tell its reader nothing. Qt's table accessibility writes a
// warning whenever a screen reader asks the conversion list for a cell or a child that is not
// there (an empty list, or rows removed since the reader last looked); its answer, none, is right,
// and a reader may ask often. Every other message goes on to the handler that was in place.
//
// One filter at a time, made on the GUI thread at start-up; destroying it puts the earlier handler
// back.
class QtLogFilter
{
public:
    QtLogFilter();
    ~QtLogFilter();
    QtLogFilter(const QtLogFilter&) = delete;
    QtLogFilter& operator=(const QtLogFilter&) = delete;

    // Whether a message is such a line.
    static bool isNoise(QtMsgType type, const QString& message);

private:
    QtMessageHandler previous_;
};

}  // namespace pravix
