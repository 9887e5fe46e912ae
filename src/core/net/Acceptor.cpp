#include "core/net/Acceptor.h"

#include "core/net/Winsock.h"

#include <QSocketNotifier>
#include <QTcpServer>
#include <QTimer>

#include <cerrno>
#include <sys/socket.h>

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
    // Qt's own accepting keeps calling accept() while the process is out of handles; take the
    // connections here instead.
    server->pauseAccepting();
    m_notifier = new QSocketNotifier(server->socketDescriptor(), QSocketNotifier::Read, this);
    m_notifier->setEnabled(false);
    connect(m_notifier, &QSocketNotifier::activated, this, &Acceptor::acceptWaiting);
}

void Acceptor::setEnabled(bool enabled)
{
    m_enabled = enabled;
    if (!enabled)
        m_retry->stop();
    m_notifier->setEnabled(enabled && !m_retry->isActive());
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

void Acceptor::acceptWaiting()
{
    const int listener = int(m_server->socketDescriptor());
    while (m_enabled && !m_retry->isActive()) {
        const int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED)
                continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK)
                return;
            const Winsock::Result failure = Winsock::errorForSystem(errno);
            fail(failure.Number, failure.Description);
            return;
        }
        m_failing = false;
        emit accepted(fd);
    }
}
