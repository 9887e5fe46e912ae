#pragma once

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>

class QTcpServer;
class QTcpSocket;

// One TCP endpoint of a session's socket array: a client connection, an accepted connection or
// a listener. Its events reach the owner through queued delivery, one at a time and never from
// inside one of its own calls, so a handler is never re-entered by a call that it makes. Calls
// that fail at once return the failure; network failures carry WinSock error numbers (above
// 10000), failures of the object itself numbers of 10000 and below.
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

    // Numbers used for failures; the network ones are the WinSock numbers.
    enum ErrorNumber : qint32 {
        sckInvalidOp = 40020,   // placeholder never returned; see errorFor()
        sckBadState = 40006,    // placeholder never returned; see errorFor()
    };

    struct Result {
        qint32 Number = 0;
        QString Description;
        bool ok() const { return Number == 0; }
    };

    explicit Winsock(int index, QObject *parent = nullptr);
    ~Winsock() override;

    int Index() const { return m_index; }

    QString RemoteHost() const { return m_remoteHost; }
    void setRemoteHost(const QString &host) { m_remoteHost = host; }
    qint32 RemotePort() const { return m_remotePort; }
    void setRemotePort(qint32 port) { m_remotePort = port; }
    qint32 LocalPort() const;
    void setLocalPort(qint32 port) { m_localPort = port; }
    // The machine's primary local IPv4 address; empty when it has none.
    QString LocalIP() const;
    // Dotted address of the connected peer.
    QString RemoteHostIP() const;
    int State() const;

    Result Connect();
    Result Bind(qint32 port, const QString &address);
    Result Listen();
    // Adopts the pending connection `requestID` on this closed element.
    Result Accept(qint32 requestID);
    QByteArray GetData();
    // Closes the connection or stops listening; raises no close event.
    void Close();

    // Bytes received and not yet read.
    qint64 BytesReceived() const;

signals:
    void Connected(int Index);
    void ConnectionRequest(int Index, qint32 requestID);
    void DataArrival(int Index, qint64 bytesTotal);
    void Closed(int Index);
    void Error(int Index, qint16 Number, const QString &Description);

private:
    void adoptSocket(QTcpSocket *socket);
    void onReadyRead();
    void onSocketError();
    void onDisconnected();
    void onNewConnection();
    void deliverRequest(qint32 requestID);
    void deliverData();
    void deliverError(qint32 number, const QString &description);
    void deliverClose();

    int m_index;
    QString m_remoteHost;
    qint32 m_remotePort = 0;
    qint32 m_localPort = 0;
    QTcpSocket *m_socket = nullptr;
    QTcpServer *m_server = nullptr;
    bool m_bound = false;
    QString m_bindAddress;
    bool m_errorState = false;
    bool m_dataPending = false;
    bool m_closePending = false;
};
