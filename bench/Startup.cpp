#include "Modes.h"

#include "Net.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

bool accepts(std::uint16_t port)
{
    const int fd = Net::startConnect(port);
    if (fd < 0)
        return false;
    pollfd wait = {fd, POLLOUT, 0};
    const bool ok = ::poll(&wait, 1, 1000) > 0 && Net::connectError(fd) == 0;
    ::close(fd);
    return ok;
}

void stop(pid_t child)
{
    ::kill(child, SIGTERM);
    for (int i = 0; i < 200; ++i) {
        if (::waitpid(child, nullptr, WNOHANG) == child)
            return;
        const timespec pause = {0, 50000000};
        ::nanosleep(&pause, nullptr);
    }
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
}

} // namespace

int timeStartup(std::uint16_t port, int runs, const std::vector<std::string> &command)
{
    std::vector<char *> argv;
    for (const std::string &word : command)
        argv.push_back(const_cast<char *>(word.c_str()));
    argv.push_back(nullptr);
    std::vector<double> times;
    for (int run = 0; run < runs; ++run) {
        const double start = Net::now();
        const pid_t child = ::fork();
        if (child == 0) {
            ::execvp(argv[0], argv.data());
            ::_exit(127);
        }
        bool up = false;
        while (!up && Net::now() - start < 30) {
            up = accepts(port);
            if (!up) {
                const timespec pause = {0, 1000000};
                ::nanosleep(&pause, nullptr);
            }
        }
        const double elapsed = Net::now() - start;
        stop(child);
        if (!up) {
            std::printf("startup: no listener on port %u within 30 s\n", unsigned(port));
            return 1;
        }
        times.push_back(elapsed * 1000);
    }
    std::sort(times.begin(), times.end());
    std::printf("startup_ms median %.1f min %.1f max %.1f runs %d\n", times[times.size() / 2],
                times.front(), times.back(), runs);
    return 0;
}
