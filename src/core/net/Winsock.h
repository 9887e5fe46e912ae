#pragma once

#include "core/net/EpollSet.h"

#include <QAbstractSocket>
#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QString>
#include <functional>

class Acceptor;
class QTcpServer;
class QTcpSocket;

// One TCP endpoint of a session's socket array: a client connection, an accepted connection or
// a listener. Its events reach the owner from the event loop (queued, or straight from the epoll
// set's report), one at a time and never from inside one of its own calls, so a handler is never
// re-entered by a call that it makes; an event still due when the element is closed is dropped.
// Calls that fail at once return the failure; network failures carry WinSock error numbers (above
// 10000), failures of the object itself numbers of 10000 and below. An element becomes closed
// (state 0) only through Close(): a peer's close or a network error leaves it in state 8 or 9 until
// its owner closes it. A connected element's socket is on the process's epoll set; its bytes stay
// in the system until GetData() reads them.
class Winsock final : public QObject, private EpollSet::Watcher {
    Q_OBJECT

public:
    enum State {
        sckClosed = 0,
        sckOpen = 1,
        sckListening = 2,
        sckConnectionPending = 3,
        sckResolvingHost = 4,
        sckHostResolved = 5,
        sckConnecting = 6,
        sckConnected = 7,
        sckClosing = 8,
        sckError = 9,
    };

    // Failures of the object itself; network failures carry WinSock numbers (see errorFor()).
    enum OwnError : qint32 {
        sckInvalidArgument = 5,
        sckWrongState = 6,
        sckBadRequestID = 7,
    };

    struct Result {
        qint32 Number = 0;
        QString Description;
        bool ok() const { return Number == 0; }
    };

    // The WinSock number and an English description for a failure reported by Qt.
    static Result errorFor(QAbstractSocket::SocketError error);
    // The same for a system error number (errno).
    static Result errorForSystem(int error);
    // Readies what every connection needs; sessions call it before they activate.
    static Result Startup();

    explicit Winsock(int index, QObject *parent = nullptr);
    ~Winsock() override;

    int Index() const { return m_index; }

    QString RemoteHost() const { return m_remoteHost; }
    void setRemoteHost(const QString &host) { m_remoteHost = host; }
    qint32 RemotePort() const { return m_remotePort; }
    void setRemotePort(qint32 port) { m_remotePort = port; }
    // The listening port while bound; otherwise the value last set.
    qint32 LocalPort() const;
    void setLocalPort(qint32 port) { m_localPort = port; }
    // The machine's primary local IPv4 address; empty when it has none.
    QString LocalIP() const;
    // Dotted address of the connected peer.
    QString RemoteHostIP() const;
    qint32 RemoteHostPort() const { return m_peerPort; }
    int State() const;

    Result Connect();
    Result Bind(qint32 port, const QString &address);
    Result Listen();
    // Adopts the pending connection `requestID` on this closed element.
    Result Accept(qint32 requestID);
    // Every byte received and not yet read.
    QByteArray GetData();
    // Closes the connection or stops listening, in every state; raises no close event.
    void Close();

signals:
    void Connected(int Index);
    void ConnectionRequest(int Index, qint32 requestID);
    void DataArrival(int Index, qint64 bytesTotal);
    void Closed(int Index);
    void Error(int Index, qint16 Number, const QString &Description);

private:
    void post(std::function<void()> event);
    void ready() override;
    void finish(int error);
    Result adoptDescriptor(int descriptor);
    void onConnected();
    void onSocketError(QAbstractSocket::SocketError error);
    void dropSocket();
    void onAccepted(int descriptor);
    void deliverRequest(qint32 requestID);
    void releasePendingRequests();

    int m_index;
    QString m_remoteHost;
    qint32 m_remotePort = 0;
    qint32 m_localPort = 0;
    QTcpSocket *m_socket = nullptr; // only while a client connects
    int m_descriptor = -1;          // the connected socket, on the epoll set
    int m_readError = 0;            // met by GetData(), reported after the data
    bool m_reported = false;        // an arrival announced, off the set until read
    QHostAddress m_peer;
    qint32 m_peerPort = 0;
    QTcpServer *m_server = nullptr;
    Acceptor *m_acceptor = nullptr;
    bool m_listening = false;
    bool m_errorState = false;
    bool m_peerClosed = false;
    quint64 m_generation = 0; // raised by Close(); queued events of an older generation are dropped
};
