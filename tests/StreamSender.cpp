#include "StreamSender.h"

#include "StreamTag.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

StreamSender::StreamSender(quint16 port, quint32 client, quint64 bytes)
    : m_thread([=] { run(port, client, bytes); })
{
}

StreamSender::~StreamSender()
{
    stop();
}

void StreamSender::stop()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
}

void StreamSender::run(quint16 port, quint32 client, quint64 bytes)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        m_failed = true;
        m_finished = true;
        if (fd >= 0)
            ::close(fd);
        return;
    }
    std::vector<unsigned char> chunk(64 * 1024);
    while (m_sent < bytes && !m_stop) {
        // Wait in short steps, so that stop() is seen while the peer holds the sender back.
        pollfd writable = {fd, POLLOUT, 0};
        if (::poll(&writable, 1, 100) <= 0)
            continue;
        const size_t n = size_t(qMin<quint64>(chunk.size(), bytes - m_sent));
        StreamTag::fill(client, m_sent, chunk.data(), n);
        const ssize_t written = ::send(fd, chunk.data(), n, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (written < 0 && (errno == EAGAIN || errno == EINTR))
            continue;
        if (written < 0) {
            m_failed = true;
            break;
        }
        m_sent += quint64(written);
    }
    ::close(fd);
    m_finished = true;
}
