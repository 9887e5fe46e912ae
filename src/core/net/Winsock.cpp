#include "core/net/Winsock.h"

#include "core/net/Acceptor.h"
#include "core/net/LocalAddresses.h"

#include <QHash>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <cerrno>
#include <climits>
#include <vector>

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <tuple>
#include <unistd.h>

namespace {

// The kernel caps the backlog at its own maximum (somaxconn).
constexpr int ListenBacklog = 4096;
// Keep-alive: a peer that vanished without closing is noticed after about 90 s.
constexpr int KeepAliveIdleSeconds = 60;
constexpr int KeepAliveIntervalSeconds = 10;
constexpr int KeepAliveProbes = 3;
// GetData() reads into one buffer shared by every element: large enough for a large arrival,
// doubled while a read fills it, up to a bound beyond which the rest waits for the next event.
constexpr size_t ReadBufferBytes = 256 * 1024;
constexpr size_t ReadBufferMaxBytes = 16 * 1024 * 1024;

// Connections that a listener has taken from the system and reported, but that no element has
// accepted yet. Request ids are unique in the process, so any element can accept any request.
struct PendingRequest {
    int descriptor = -1;
    Winsock *listener = nullptr;
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

void enableKeepAlive(int fd)
{
    const int on = 1;
    const int idle = KeepAliveIdleSeconds;
    const int interval = KeepAliveIntervalSeconds;
    const int probes = KeepAliveProbes;
    ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &probes, sizeof probes);
}

// The address and port of a connected socket's peer.
std::pair<QHostAddress, qint32> peerOf(int fd)
{
    sockaddr_storage address = {};
    socklen_t length = sizeof address;
    if (::getpeername(fd, reinterpret_cast<sockaddr *>(&address), &length) != 0)
        return {};
    const quint16 port = address.ss_family == AF_INET6
                             ? reinterpret_cast<const sockaddr_in6 *>(&address)->sin6_port
                             : reinterpret_cast<const sockaddr_in *>(&address)->sin_port;
    return {QHostAddress(reinterpret_cast<const sockaddr *>(&address)), ntohs(port)};
}

void closeDescriptor(int fd)
{
    if (fd >= 0)
        ::close(fd);
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

Winsock::Result Winsock::errorForSystem(int error)
{
    switch (error) {
    case ETIMEDOUT:
        return errorFor(QAbstractSocket::SocketTimeoutError);
    case EHOSTUNREACH:
    case ENETUNREACH:
        return errorFor(QAbstractSocket::NetworkError);
    case EMFILE:
    case ENFILE:
        return errorFor(QAbstractSocket::SocketResourceError);
    case ENOBUFS:
    case ENOMEM:
    case ENOSPC:
        return {10055, QStringLiteral("No buffer space is available")};
    default:
        return errorFor(QAbstractSocket::UnknownSocketError);
    }
}

Winsock::Result Winsock::Startup()
{
    int error = 0;
    return EpollSet::instance(&error) ? Result() : errorForSystem(error);
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

QString Winsock::RemoteHostIP() const
{
    return m_peer.isNull() ? QString() : dotted(m_peer);
}

int Winsock::State() const
{
    if (m_errorState)
        return sckError;
    if (m_server)
        return m_listening ? sckListening : sckOpen;
    if (m_descriptor >= 0)
        return m_peerClosed ? sckClosing : sckConnected;
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
    const Result started = Startup();
    if (!started.ok())
        return started;
    // Qt resolves the name and connects; the connected socket then moves to the epoll set.
    auto *socket = new QTcpSocket(this);
    m_socket = socket;
    m_errorState = false;
    m_peerClosed = false;
    connect(socket, &QTcpSocket::connected, this, &Winsock::onConnected);
    connect(socket, &QTcpSocket::errorOccurred, this, &Winsock::onSocketError);
    socket->connectToHost(m_remoteHost.trimmed(), quint16(m_remotePort));
    return {};
}

Winsock::Result Winsock::Bind(qint32 port, const QString &address)
{
    if (State() != sckClosed)
        return ownError(sckWrongState);
    if (port < 0 || port > 65535)
        return ownError(sckInvalidArgument);
    const Result started = Startup();
    if (!started.ok())
        return started;
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
    const int descriptor = found->descriptor;
    pendingRequests().erase(found);
    // Bytes or a close that came while the request waited make the socket ready at once.
    return adoptDescriptor(descriptor);
}

QByteArray Winsock::GetData()
{
    // Bytes count as received once an arrival has announced them, as a buffered socket's would.
    if (m_descriptor < 0 || !m_reported)
        return {};
    static std::vector<char> buffer(ReadBufferBytes);
    size_t filled = 0;
    for (;;) {
        if (filled == buffer.size()) {
            if (buffer.size() >= ReadBufferMaxBytes)
                break;
            buffer.resize(buffer.size() * 2);
        }
        const ssize_t got = ::recv(m_descriptor, buffer.data() + filled, buffer.size() - filled, 0);
        if (got > 0) {
            filled += size_t(got);
            if (filled < buffer.size())
                break;
        } else if (got < 0 && errno == EINTR) {
            continue;
        } else {
            // The end or an error is reported once the bytes before it are taken.
            if (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
                m_readError = errno;
            break;
        }
    }
    m_reported = false;
    EpollSet::current()->arm(m_descriptor, this);
    return QByteArray(buffer.data(), qsizetype(filled));
}

void Winsock::Close()
{
    ++m_generation;
    m_errorState = false;
    m_peerClosed = false;
    m_listening = false;
    m_readError = 0;
    m_reported = false;
    m_peer.clear();
    m_peerPort = 0;
    delete m_acceptor;
    m_acceptor = nullptr;
    dropSocket();
    if (m_descriptor >= 0) {
        if (EpollSet *set = EpollSet::current())
            set->remove(m_descriptor, this);
        ::close(m_descriptor);
        m_descriptor = -1;
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

void Winsock::dropSocket()
{
    if (!m_socket)
        return;
    QTcpSocket *socket = m_socket;
    m_socket = nullptr;
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
}

Winsock::Result Winsock::adoptDescriptor(int descriptor)
{
    int error = 0;
    EpollSet *set = EpollSet::instance(&error);
    if (set && !set->add(descriptor, this))
        error = errno;
    if (error != 0) {
        ::close(descriptor);
        return errorForSystem(error);
    }
    m_descriptor = descriptor;
    m_errorState = false;
    m_peerClosed = false;
    std::tie(m_peer, m_peerPort) = peerOf(descriptor);
    enableKeepAlive(descriptor);
    return {};
}

void Winsock::onConnected()
{
    // The socket outlives Qt's object as a duplicate; Qt has read nothing from it yet.
    const int descriptor = ::fcntl(int(m_socket->socketDescriptor()), F_DUPFD_CLOEXEC, 0);
    const int dupError = errno;
    dropSocket();
    const Result adopted = descriptor >= 0 ? adoptDescriptor(descriptor) : errorForSystem(dupError);
    if (!adopted.ok()) {
        m_errorState = true;
        post([this, adopted] { emit Error(m_index, qint16(adopted.Number), adopted.Description); });
        return;
    }
    post([this] { emit Connected(m_index); });
}

void Winsock::onSocketError(QAbstractSocket::SocketError error)
{
    m_errorState = true;
    const Result failure = errorFor(error);
    post([this, failure] { emit Error(m_index, qint16(failure.Number), failure.Description); });
}

void Winsock::ready()
{
    if (m_peerClosed || m_errorState) // reported already, from an earlier report of the set
        return;
    // Until GetData() reads, the socket is watched for the peer's close only: bytes left unread
    // are announced once more before that close, as a buffered socket does.
    int available = 0;
    if (::ioctl(m_descriptor, FIONREAD, &available) == 0 && available > 0) {
        const bool announcedBefore = m_reported;
        m_reported = true;
        const QPointer<Winsock> self(this);
        const quint64 generation = m_generation;
        emit DataArrival(m_index, available);
        if (self && generation == m_generation && m_reported && !announcedBefore)
            EpollSet::current()->arm(m_descriptor, this, true);
        return;
    }
    int error = m_readError;
    if (error == 0) {
        char byte = 0;
        const ssize_t got = ::recv(m_descriptor, &byte, 1, MSG_PEEK);
        if (got > 0 || (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))) {
            EpollSet::current()->arm(m_descriptor, this);
            return;
        }
        error = got < 0 ? errno : 0;
    }
    finish(error);
}

void Winsock::finish(int error)
{
    // A reset after the data is the peer's close, as an orderly one is.
    if (error == 0 || error == ECONNRESET || error == EPIPE) {
        m_peerClosed = true;
        emit Closed(m_index);
        return;
    }
    m_errorState = true;
    const Result failure = errorForSystem(error);
    emit Error(m_index, qint16(failure.Number), failure.Description);
}

void Winsock::onAccepted(int descriptor)
{
    const qint32 id = nextRequestID();
    pendingRequests().insert(id, {descriptor, this});
    post([this, id] { deliverRequest(id); });
}

void Winsock::deliverRequest(qint32 requestID)
{
    emit ConnectionRequest(m_index, requestID);
    // A request that no handler accepted is refused.
    const auto found = pendingRequests().find(requestID);
    if (found == pendingRequests().end())
        return;
    closeDescriptor(found->descriptor);
    pendingRequests().erase(found);
}

void Winsock::releasePendingRequests()
{
    auto &requests = pendingRequests();
    for (auto it = requests.begin(); it != requests.end();) {
        if (it->listener == this) {
            closeDescriptor(it->descriptor);
            it = requests.erase(it);
        } else {
            ++it;
        }
    }
}
