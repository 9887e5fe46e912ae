#include "Modes.h"

#include "Net.h"
#include "StreamTag.h"

#include <algorithm>
#include <cerrno>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

LoadResult serveOne(std::uint16_t port, std::uint64_t bytes, double deadline)
{
    LoadResult result;
    const int listener = Net::listenOn(port);
    if (listener < 0) {
        result.failed = 1;
        return result;
    }
    int fd = -1;
    while (fd < 0 && Net::now() < deadline) {
        pollfd wait = {listener, POLLIN, 0};
        if (::poll(&wait, 1, 100) > 0)
            fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    }
    ::close(listener);
    if (fd < 0) {
        result.failed = 1;
        return result;
    }
    result.connected = 1;
    result.started = Net::now();
    std::vector<unsigned char> buffer(std::size_t(1) << 20);
    while (result.sent < bytes && Net::now() < deadline) {
        const std::size_t n =
            std::size_t(std::min<std::uint64_t>(buffer.size(), bytes - result.sent));
        StreamTag::fill(0, result.sent, buffer.data(), n);
        std::size_t done = 0;
        while (done < n) {
            const ssize_t w = ::send(fd, buffer.data() + done, n - done, MSG_NOSIGNAL);
            if (w < 0 && errno == EINTR)
                continue;
            if (w < 0)
                break;
            done += std::size_t(w);
        }
        result.sent += done;
        if (done < n) {
            result.failed = 1;
            break;
        }
    }
    ::close(fd);
    return result;
}
