#pragma once

#include <QObject>
#include <initializer_list>

class QSocketNotifier;

// Turns POSIX signals into a Qt signal on the event loop (through a self-pipe), so that a
// signal such as SIGTERM or SIGHUP is handled between the program's other events, like any of
// them.
class SignalHandler final : public QObject {
    Q_OBJECT

public:
    // Holds the signals back until a handler is installed for them, so that one that comes
    // early in start-up is not lost.
    static void block(std::initializer_list<int> signalNumbers);

    explicit SignalHandler(std::initializer_list<int> signalNumbers, QObject *parent = nullptr);
    ~SignalHandler() override;

signals:
    void received(int signalNumber);

private:
    void readPipe();

    QSocketNotifier *m_notifier = nullptr;
};
