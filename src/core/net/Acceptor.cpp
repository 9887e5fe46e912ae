#include "core/net/Acceptor.h"

#include "core/net/Winsock.h"

#include <QSocketNotifier>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace {
// After a failed accept the listener waits this long before trying again.
constexpr int RetryMs = 500;
} // namespace

Acceptor::Acceptor(QTcpServer *server, QObject *parent)
    : QObject(parent), m_server(server), m_retry(new QTimer(this))
{
    m_retry->setSingleShot(true);
    m_retry->setInterval(RetryMs);
    connect(m_retry, &QTimer::timeout, this, [this] { setEnabled(m_enabled); });
#ifdef Q_OS_UNIX
    // Qt's own accepting keeps calling accept() while the process is out of handles; take the
    // connections here instead.
    server->pauseAccepting();
    m_notifier = new QSocketNotifier(server->socketDescriptor(), QSocketNotifier::Read, this);
    m_notifier->setEnabled(false);
    connect(m_notifier, &QSocketNotifier::activated, this, &Acceptor::acceptWaiting);
#else
    server->pauseAccepting();
    connect(server, &QTcpServer::newConnection, this, &Acceptor::acceptWaiting);
    connect(server, &QTcpServer::acceptError, this, [this](QAbstractSocket::SocketError error) {
        const Winsock::Result failure = Winsock::errorFor(error);
        fail(failure.Number, failure.Description);
    });
#endif
}

void Acceptor::setEnabled(bool enabled)
{
    m_enabled = enabled;
    if (!enabled)
        m_retry->stop();
    const bool accepting = enabled && !m_retry->isActive();
#ifdef Q_OS_UNIX
    m_notifier->setEnabled(accepting);
#else
    if (accepting) {
        m_server->resumeAccepting();
        acceptWaiting();
    } else {
        m_server->pauseAccepting();
    }
#endif
}

void Acceptor::fail(qint32 number, const QString &description)
{
    m_retry->start();
    setEnabled(m_enabled); // no accepting until the retry
    if (m_failing)
        return;
    m_failing = true;
    emit failed(number, description);
}

#ifdef Q_OS_UNIX

void Acceptor::acceptWaiting()
{
    const int listener = int(m_server->socketDescriptor());
    while (m_enabled && !m_retry->isActive()) {
        const int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED)
                continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK)
                return;
            const int error = errno;
            if (error == EMFILE || error == ENFILE) {
                const Winsock::Result failure =
                    Winsock::errorFor(QAbstractSocket::SocketResourceError);
                fail(failure.Number, failure.Description);
            } else if (error == ENOBUFS || error == ENOMEM) {
                fail(10055, QStringLiteral("No buffer space is available"));
            } else {
                fail(10050, QStringLiteral("Network subsystem failed"));
            }
            return;
        }
        m_failing = false;
        auto *socket = new QTcpSocket;
        if (!socket->setSocketDescriptor(fd)) {
            ::close(fd);
            delete socket;
            continue;
        }
        emit accepted(socket);
    }
}

#else

void Acceptor::acceptWaiting()
{
    while (m_server->hasPendingConnections()) {
        QTcpSocket *socket = m_server->nextPendingConnection();
        if (!socket)
            return;
        socket->setParent(nullptr);
        m_failing = false;
        emit accepted(socket);
    }
}

#endif
