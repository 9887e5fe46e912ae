#include "Sender.h"

#include "Net.h"
#include "StreamTag.h"

#include <algorithm>
#include <cerrno>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

struct Client {
    int fd = -1;
    bool connected = false;
    std::uint64_t sent = 0;
    std::vector<unsigned char> buffer;
    std::size_t next = 0; // first byte of the buffer not yet sent
};

// Refills the client's buffer when it is empty; false when the whole stream has been sent.
bool refill(Client &client, std::uint32_t id, std::uint64_t bytes, std::size_t chunk)
{
    if (client.next < client.buffer.size())
        return true;
    if (client.sent >= bytes)
        return false;
    const std::size_t n = std::size_t(std::min<std::uint64_t>(chunk, bytes - client.sent));
    client.buffer.resize(n);
    StreamTag::fill(id, client.sent, client.buffer.data(), n);
    client.next = 0;
    return true;
}

} // namespace

LoadResult sendAll(std::uint16_t port, std::uint32_t clients, std::uint64_t bytes, double deadline)
{
    LoadResult result;
    result.started = Net::now();
    // Few clients get big buffers, many clients small ones.
    const std::size_t chunk = clients <= 16 ? (std::size_t(1) << 20) : (std::size_t(64) << 10);
    const int poller = ::epoll_create1(EPOLL_CLOEXEC);
    std::vector<Client> all(clients);
    std::uint32_t open = 0;
    for (std::uint32_t id = 0; id < clients; ++id) {
        Client &client = all[id];
        client.fd = Net::startConnect(port);
        if (client.fd < 0) {
            ++result.failed;
            continue;
        }
        epoll_event event = {};
        event.events = EPOLLOUT;
        event.data.u32 = id;
        ::epoll_ctl(poller, EPOLL_CTL_ADD, client.fd, &event);
        ++open;
    }
    auto finish = [&](std::uint32_t id, bool failed) {
        Client &client = all[id];
        ::epoll_ctl(poller, EPOLL_CTL_DEL, client.fd, nullptr);
        ::close(client.fd);
        client.fd = -1;
        client.buffer = {};
        result.failed += failed ? 1 : 0;
        --open;
    };

    std::vector<epoll_event> events(1024);
    while (open > 0 && Net::now() < deadline) {
        const int ready = ::epoll_wait(poller, events.data(), int(events.size()), 100);
        for (int i = 0; i < ready; ++i) {
            const std::uint32_t id = events[std::size_t(i)].data.u32;
            Client &client = all[id];
            if (client.fd < 0)
                continue;
            if (!client.connected) {
                if (Net::connectError(client.fd) != 0) {
                    finish(id, true);
                    continue;
                }
                client.connected = true;
                ++result.connected;
            }
            bool broken = false;
            while (refill(client, id, bytes, chunk)) {
                const ssize_t n = ::send(client.fd, client.buffer.data() + client.next,
                                         client.buffer.size() - client.next, MSG_NOSIGNAL);
                if (n < 0) {
                    broken = errno != EAGAIN && errno != EINTR;
                    break;
                }
                client.next += std::size_t(n);
                client.sent += std::uint64_t(n);
                result.sent += std::uint64_t(n);
            }
            if (broken || client.sent >= bytes)
                finish(id, broken);
        }
    }
    for (std::uint32_t id = 0; id < clients; ++id) {
        if (all[id].fd >= 0)
            finish(id, true);
    }
    ::close(poller);
    return result;
}
