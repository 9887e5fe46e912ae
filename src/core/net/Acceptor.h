#pragma once

#include <QObject>

class QSocketNotifier;
class QTcpServer;
class QTimer;

// Takes the connections that reach a listening QTcpServer, as many as wait, while enabled. When
// taking one fails (the process is out of file handles, the system out of buffers) it reports
// the failure once, leaves the waiting connections to the system's backlog and tries again
// after a pause, until taking one succeeds: a listener out of handles must neither spin on a
// connection it cannot take nor stop listening.
class Acceptor final : public QObject {
    Q_OBJECT

public:
    // `server` listens already; the acceptor takes its connections from now on.
    Acceptor(QTcpServer *server, QObject *parent);
    void setEnabled(bool enabled);

signals:
    // A connection taken: a connected, non-blocking socket that the receiver now owns.
    void accepted(int descriptor);
    // The first failure of a run of failed attempts.
    void failed(qint32 number, const QString &description);

private:
    void acceptWaiting();
    void fail(qint32 number, const QString &description);

    QTcpServer *m_server;
    QSocketNotifier *m_notifier = nullptr;
    QTimer *m_retry;
    bool m_enabled = false;
    bool m_failing = false;
};
