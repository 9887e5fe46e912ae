#pragma once

#include <QAbstractSocket>
#include <QByteArray>
#include <QObject>
#include <QString>
#include <functional>

class Acceptor;
class QTcpServer;
class QTcpSocket;

// One TCP endpoint of a session's socket array: a client connection, an accepted connection or
// a listener. Its events reach the owner through queued delivery, one at a time and never from
// inside one of its own calls, so a handler is never re-entered by a call that it makes; an
// event still queued when the element is closed is dropped. Calls that fail at once return the
// failure; network failures carry WinSock error numbers (above 10000), failures of the object
// itself numbers of 10000 and below. An element becomes closed (state 0) only through Close(): a
// peer's close or a network error leaves it in state 8 or 9 until its owner closes it.
class Winsock final : public QObject {
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
    // Dotted address and port of the connected peer, kept from the moment the connection was
    // made until Close(), so that data read after the peer left still says where it came from.
    QString RemoteHostIP() const { return m_peerIP; }
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
    void adoptSocket(QTcpSocket *socket);
    void keepPeer(const QString &address, qint32 port);
    void onReadyRead();
    void onSocketError(QAbstractSocket::SocketError error);
    void onDisconnected();
    void onAccepted(QTcpSocket *socket);
    void deliverRequest(qint32 requestID);
    void releasePendingRequests();

    int m_index;
    QString m_remoteHost;
    qint32 m_remotePort = 0;
    qint32 m_localPort = 0;
    QString m_peerIP;
    qint32 m_peerPort = 0;
    QTcpSocket *m_socket = nullptr;
    QTcpServer *m_server = nullptr;
    Acceptor *m_acceptor = nullptr;
    bool m_listening = false;
    bool m_errorState = false;
    bool m_peerClosed = false;
    bool m_dataPending = false;
    quint64 m_generation = 0; // raised by Close(); queued events of an older generation are dropped
};
