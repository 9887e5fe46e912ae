#include "Modes.h"

#include "Net.h"
#include "StreamTag.h"

#include <cerrno>
#include <ctime>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

bool waitFor(int fd, short events, double deadline)
{
    pollfd entry = {fd, events, 0};
    while (Net::now() < deadline) {
        if (::poll(&entry, 1, 100) > 0)
            return (entry.revents & (POLLERR | POLLHUP)) == 0 || (events & POLLOUT) == 0;
    }
    return false;
}

void sleepUntil(double when)
{
    const double wait = when - Net::now();
    if (wait <= 0)
        return;
    const timespec pause = {time_t(wait), long((wait - double(time_t(wait))) * 1e9)};
    ::nanosleep(&pause, nullptr);
}

} // namespace

LoadResult trickle(std::uint16_t port, std::uint32_t rate, std::uint32_t messageBytes,
                   double seconds, double deadline)
{
    LoadResult result;
    const int fd = Net::startConnect(port);
    if (fd < 0 || !waitFor(fd, POLLOUT, deadline) || Net::connectError(fd) != 0) {
        result.failed = 1;
        if (fd >= 0)
            ::close(fd);
        return result;
    }
    result.connected = 1;
    result.started = Net::now();
    const auto messages = std::uint64_t(rate * seconds);
    std::vector<unsigned char> message(messageBytes);
    for (std::uint64_t i = 0; i < messages && Net::now() < deadline; ++i) {
        sleepUntil(result.started + double(i) / rate);
        StreamTag::fill(0, result.sent, message.data(), message.size());
        std::size_t done = 0;
        while (done < message.size()) {
            const ssize_t n =
                ::send(fd, message.data() + done, message.size() - done, MSG_NOSIGNAL);
            if (n > 0) {
                done += std::size_t(n);
            } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
                result.failed = 1;
                ::close(fd);
                return result;
            } else if (!waitFor(fd, POLLOUT, deadline)) {
                break;
            }
        }
        result.sent += done;
    }
    ::close(fd);
    return result;
}
