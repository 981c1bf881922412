#pragma once

#include <QObject>

class QSocketNotifier;

namespace pravix
{

// Ends the program the ordinary way (the event loop returns, the windows are destroyed, a running
// batch stops after the file being written) when the desktop session ends or the process is asked
// to stop: SIGTERM, SIGINT and SIGHUP quit the application instead of killing it. One object at a
// time; the signals' earlier handling returns when it is destroyed.
class TerminationSignals : public QObject
{
    Q_OBJECT

public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

    // Whether the handlers are in place (a pipe could be made).
    bool isActive() const { return notifier_ != nullptr; }

signals:
    // The signal's number, on the GUI thread; QCoreApplication::quit follows.
    void received(int signalNumber);

private:
    void readSignal();

    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace pravix
