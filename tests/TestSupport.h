#pragma once

#include "core/engine/SessionSettings.h"

#include <QByteArray>
#include <QString>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtGlobal>
#include <memory>

class Session;

// Helpers shared by the test programs.
namespace TestSupport {

// Holds a port on 127.0.0.1 for as long as it lives: the port is bound (not listening) with
// SO_REUSEADDR, so no other process can take it, while the program under test, whose listeners
// also set SO_REUSEADDR, can listen on it.
class PortReservation final {
public:
    PortReservation() { m_socket.bind(QHostAddress::LocalHost, 0, QTcpSocket::ReuseAddressHint); }
    quint16 port() const { return m_socket.localPort(); }

private:
    QTcpSocket m_socket;
};

// A listening peer on 127.0.0.1 that hands out the connections it receives.
class Peer final {
public:
    explicit Peer(quint16 port = 0) { m_server.listen(QHostAddress::LocalHost, port); }
    bool isListening() const { return m_server.isListening(); }
    quint16 port() const { return m_server.serverPort(); }
    // The next connection, waiting up to `timeoutMs` with the event loop running; null when
    // none came.
    std::unique_ptr<QTcpSocket> next(int timeoutMs = 5000);

private:
    QTcpServer m_server;
};

// A socket connecting to 127.0.0.1:port (from `source`, another loopback address, when given).
std::unique_ptr<QTcpSocket> connectTo(quint16 port, const QString &source = QString());
// Writes every byte and waits until the system has taken them.
bool sendAll(QTcpSocket &socket, const QByteArray &data);

// The whole content of a file; empty when it does not exist.
QByteArray readFile(const QString &path);
// Writes `data` to `path`, replacing it.
bool writeFile(const QString &path, const QByteArray &data);

// An executable script `folder`/record.sh that appends each of its arguments, one a line, to
// `folder`/record.txt (the second returned path), and returns at once. Stands in for the error
// program.
QString recordingScript(const QString &folder, QString *recordFile = nullptr);

// Settings of a server session on 127.0.0.1 (port 0: the system chooses) and of a client
// session of 127.0.0.1:port.
SessionSettings serverSettings(const QString &logFile, quint16 port = 0, qint16 allowMulti = 1,
                               qint16 tcpOptions = 0);
SessionSettings clientSettings(const QString &logFile, quint16 port);
// A session with these settings, activated.
std::unique_ptr<Session> startSession(const SessionSettings &settings);
// The port a server session listens on.
quint16 listeningPort(const Session &session);

} // namespace TestSupport
