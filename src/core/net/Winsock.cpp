#include "core/net/Winsock.h"

#include "core/net/Acceptor.h"
#include "core/net/LocalAddresses.h"

#include <QHash>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <climits>

#ifdef Q_OS_UNIX
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#endif

namespace {

// The kernel caps the backlog at its own maximum (somaxconn).
constexpr int ListenBacklog = 4096;
// Keep-alive: a peer that vanished without closing is noticed after about 90 s.
constexpr int KeepAliveIdleSeconds = 60;
constexpr int KeepAliveIntervalSeconds = 10;
constexpr int KeepAliveProbes = 3;

// Connections that a listener has taken from the system and reported, but that no element has
// accepted yet. Request ids are unique in the process, so any element can accept any request.
struct PendingRequest {
    QTcpSocket *socket = nullptr;
    Winsock *listener = nullptr;
    // Taken while the socket is surely connected: Qt forgets the peer once it has closed.
    QString peerIP;
    qint32 peerPort = 0;
};

QHash<qint32, PendingRequest> &pendingRequests()
{
    static QHash<qint32, PendingRequest> requests;
    return requests;
}

qint32 nextRequestID()
{
    static qint32 last = 0;
    do {
        last = last == INT_MAX ? 1 : last + 1;
    } while (pendingRequests().contains(last));
    return last;
}

void enableKeepAlive(QTcpSocket *socket)
{
    socket->setSocketOption(QAbstractSocket::KeepAliveOption, 1);
#if defined(Q_OS_LINUX)
    const int fd = int(socket->socketDescriptor());
    if (fd < 0)
        return;
    const int idle = KeepAliveIdleSeconds;
    const int interval = KeepAliveIntervalSeconds;
    const int probes = KeepAliveProbes;
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &probes, sizeof probes);
#endif
}

Winsock::Result ownError(qint32 number)
{
    switch (number) {
    case Winsock::sckInvalidArgument:
        return {number, QStringLiteral("Invalid argument")};
    case Winsock::sckWrongState:
        return {number, QStringLiteral("Wrong protocol or connection state for the requested "
                                       "transaction or request")};
    default:
        return {number, QStringLiteral("The request identifier is not pending")};
    }
}

QString dotted(const QHostAddress &address)
{
    bool isV4 = false;
    const quint32 v4 = address.toIPv4Address(&isV4);
    return isV4 ? QHostAddress(v4).toString() : address.toString();
}

} // namespace

Winsock::Result Winsock::errorFor(QAbstractSocket::SocketError error)
{
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        return {10061, QStringLiteral("Connection is forcefully rejected")};
    case QAbstractSocket::RemoteHostClosedError:
        return {10054, QStringLiteral("Connection is reset by remote side")};
    case QAbstractSocket::HostNotFoundError:
        return {11001, QStringLiteral("Authoritative answer: Host not found")};
    case QAbstractSocket::SocketAccessError:
        return {10013, QStringLiteral("Permission denied")};
    case QAbstractSocket::SocketResourceError:
        return {10024, QStringLiteral("Too many open files")};
    case QAbstractSocket::SocketTimeoutError:
        return {10060, QStringLiteral("Connection timed out")};
    case QAbstractSocket::AddressInUseError:
        return {10048, QStringLiteral("Address in use")};
    case QAbstractSocket::SocketAddressNotAvailableError:
        return {10049, QStringLiteral("Address not available from the local machine")};
    case QAbstractSocket::UnsupportedSocketOperationError:
        return {10045, QStringLiteral("Operation not supported")};
    case QAbstractSocket::NetworkError:
        return {10065, QStringLiteral("Host is unreachable")};
    case QAbstractSocket::TemporaryError:
        return {10035, QStringLiteral("Socket is non-blocking and the specified operation will "
                                      "block")};
    case QAbstractSocket::UnfinishedSocketOperationError:
        return {10036, QStringLiteral("Operation is now in progress")};
    default:
        return {10050, QStringLiteral("Network subsystem failed")};
    }
}

Winsock::Winsock(int index, QObject *parent) : QObject(parent), m_index(index) {}

Winsock::~Winsock()
{
    Close();
}

qint32 Winsock::LocalPort() const
{
    if (m_server && m_server->isListening())
        return m_server->serverPort();
    return m_localPort;
}

QString Winsock::LocalIP() const
{
    return LocalAddresses::primary();
}

int Winsock::State() const
{
    if (m_errorState)
        return sckError;
    if (m_server)
        return m_listening ? sckListening : sckOpen;
    if (!m_socket)
        return sckClosed;
    switch (m_socket->state()) {
    case QAbstractSocket::HostLookupState:
        return sckResolvingHost;
    case QAbstractSocket::ConnectingState:
        return sckConnecting;
    case QAbstractSocket::ConnectedState:
        return sckConnected;
    case QAbstractSocket::BoundState:
        return sckOpen;
    case QAbstractSocket::ClosingState:
        return sckClosing;
    default:
        return m_peerClosed ? sckClosing : sckClosed;
    }
}

Winsock::Result Winsock::Connect()
{
    if (State() != sckClosed)
        return ownError(sckWrongState);
    if (m_remoteHost.trimmed().isEmpty() || m_remotePort < 0 || m_remotePort > 65535)
        return ownError(sckInvalidArgument);
    auto *socket = new QTcpSocket(this);
    adoptSocket(socket);
    connect(socket, &QTcpSocket::connected, this, [this] {
        keepPeer(dotted(m_socket->peerAddress()), m_socket->peerPort());
        enableKeepAlive(m_socket);
        post([this] { emit Connected(m_index); });
    });
    socket->connectToHost(m_remoteHost.trimmed(), quint16(m_remotePort));
    return {};
}

Winsock::Result Winsock::Bind(qint32 port, const QString &address)
{
    if (State() != sckClosed)
        return ownError(sckWrongState);
    if (port < 0 || port > 65535)
        return ownError(sckInvalidArgument);
    QHostAddress host(QHostAddress::AnyIPv4);
    if (!address.isEmpty() && !host.setAddress(address.trimmed()))
        return errorFor(QAbstractSocket::SocketAddressNotAvailableError);

    auto *server = new QTcpServer(this);
    server->setListenBacklogSize(ListenBacklog);
    server->setMaxPendingConnections(INT_MAX);
    if (!server->listen(host, quint16(port))) {
        const Result failure = errorFor(server->serverError());
        delete server;
        return failure;
    }
    m_server = server;
    m_localPort = server->serverPort();
    // Connections that come before Listen() wait in the system's backlog.
    m_acceptor = new Acceptor(server, this);
    connect(m_acceptor, &Acceptor::accepted, this, &Winsock::onAccepted);
    connect(m_acceptor, &Acceptor::failed, this, [this](qint32 number, const QString &text) {
        post([this, number, text] { emit Error(m_index, qint16(number), text); });
    });
    return {};
}

Winsock::Result Winsock::Listen()
{
    if (!m_server || m_listening)
        return ownError(sckWrongState);
    m_listening = true;
    m_acceptor->setEnabled(true);
    return {};
}

Winsock::Result Winsock::Accept(qint32 requestID)
{
    if (State() != sckClosed)
        return ownError(sckWrongState);
    const auto found = pendingRequests().find(requestID);
    if (found == pendingRequests().end())
        return ownError(sckBadRequestID);
    QTcpSocket *socket = found->socket;
    const QString peerIP = found->peerIP;
    const qint32 peerPort = found->peerPort;
    pendingRequests().erase(found);

    socket->setParent(this);
    adoptSocket(socket);
    keepPeer(peerIP, peerPort);
    enableKeepAlive(socket);
    // Bytes or a close that came while the request waited raised no event yet.
    if (socket->bytesAvailable() > 0)
        onReadyRead();
    if (socket->state() != QAbstractSocket::ConnectedState)
        onDisconnected();
    return {};
}

QByteArray Winsock::GetData()
{
    return m_socket ? m_socket->readAll() : QByteArray();
}

void Winsock::Close()
{
    ++m_generation;
    m_dataPending = false;
    m_errorState = false;
    m_peerClosed = false;
    m_listening = false;
    keepPeer(QString(), 0);
    delete m_acceptor;
    m_acceptor = nullptr;
    if (m_socket) {
        QTcpSocket *socket = m_socket;
        m_socket = nullptr;
        socket->disconnect(this);
        socket->abort();
        socket->deleteLater();
    }
    if (m_server) {
        QTcpServer *server = m_server;
        m_server = nullptr;
        server->disconnect(this);
        server->close();
        server->deleteLater();
        releasePendingRequests();
    }
}

void Winsock::post(std::function<void()> event)
{
    const quint64 generation = m_generation;
    QMetaObject::invokeMethod(
        this,
        [this, generation, event = std::move(event)] {
            if (generation == m_generation)
                event();
        },
        Qt::QueuedConnection);
}

void Winsock::adoptSocket(QTcpSocket *socket)
{
    m_socket = socket;
    m_errorState = false;
    m_peerClosed = false;
    connect(socket, &QTcpSocket::readyRead, this, &Winsock::onReadyRead);
    connect(socket, &QTcpSocket::errorOccurred, this, &Winsock::onSocketError);
    connect(socket, &QTcpSocket::disconnected, this, &Winsock::onDisconnected);
}

void Winsock::keepPeer(const QString &address, qint32 port)
{
    m_peerIP = address;
    m_peerPort = port;
}

void Winsock::onReadyRead()
{
    if (m_dataPending)
        return;
    m_dataPending = true;
    post([this] {
        m_dataPending = false;
        const qint64 available = m_socket ? m_socket->bytesAvailable() : 0;
        if (available > 0)
            emit DataArrival(m_index, available);
    });
}

void Winsock::onSocketError(QAbstractSocket::SocketError error)
{
    // The peer's orderly close is a close, reported by onDisconnected().
    if (error == QAbstractSocket::RemoteHostClosedError)
        return;
    m_errorState = true;
    const Result failure = errorFor(error);
    post([this, failure] { emit Error(m_index, qint16(failure.Number), failure.Description); });
}

void Winsock::onDisconnected()
{
    m_peerClosed = true;
    // Data that came with the close is delivered before it.
    if (m_socket && m_socket->bytesAvailable() > 0)
        onReadyRead();
    post([this] { emit Closed(m_index); });
}

void Winsock::onAccepted(QTcpSocket *socket)
{
    const qint32 id = nextRequestID();
    pendingRequests().insert(id, {socket, this, dotted(socket->peerAddress()), socket->peerPort()});
    post([this, id] { deliverRequest(id); });
}

void Winsock::deliverRequest(qint32 requestID)
{
    emit ConnectionRequest(m_index, requestID);
    // A request that no handler accepted is refused.
    const auto found = pendingRequests().find(requestID);
    if (found == pendingRequests().end())
        return;
    QTcpSocket *socket = found->socket;
    pendingRequests().erase(found);
    socket->abort();
    socket->deleteLater();
}

void Winsock::releasePendingRequests()
{
    auto &requests = pendingRequests();
    for (auto it = requests.begin(); it != requests.end();) {
        if (it->listener == this) {
            it->socket->abort();
            it->socket->deleteLater();
            it = requests.erase(it);
        } else {
            ++it;
        }
    }
}
