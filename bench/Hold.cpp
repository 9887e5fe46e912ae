#include "Modes.h"

#include "Net.h"

#include <csignal>
#include <cstdio>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {
volatile std::sig_atomic_t stopHolding = 0;
} // namespace

int holdIdle(std::uint16_t port, std::uint32_t clients, double seconds)
{
    const double start = Net::now();
    const double deadline = start + seconds;
    std::vector<pollfd> waiting;
    std::vector<int> open;
    std::uint32_t failed = 0;
    for (std::uint32_t i = 0; i < clients; ++i) {
        const int fd = Net::startConnect(port);
        if (fd < 0)
            ++failed;
        else
            waiting.push_back({fd, POLLOUT, 0});
    }
    while (!waiting.empty() && Net::now() < deadline) {
        if (::poll(waiting.data(), waiting.size(), 100) <= 0)
            continue;
        std::vector<pollfd> still;
        for (const pollfd &entry : waiting) {
            if (entry.revents == 0) {
                still.push_back(entry);
            } else if (Net::connectError(entry.fd) == 0) {
                open.push_back(entry.fd);
            } else {
                ::close(entry.fd);
                ++failed;
            }
        }
        waiting.swap(still);
    }
    std::printf("connected %zu failed %u\n", open.size(), failed + unsigned(waiting.size()));
    std::fflush(stdout);
    // SIGTERM ends the hold early, through the resets below.
    ::signal(SIGTERM, [](int) { stopHolding = 1; });
    while (Net::now() < deadline && !stopHolding) {
        const timespec pause = {0, 50000000};
        ::nanosleep(&pause, nullptr);
    }
    // A reset leaves no TIME_WAIT behind, so the next run finds its ephemeral ports free.
    const linger abortive = {1, 0};
    for (const int fd : open) {
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
        ::close(fd);
    }
    for (const pollfd &entry : waiting)
        ::close(entry.fd);
    return failed == 0 && waiting.empty() ? 0 : 1;
}
