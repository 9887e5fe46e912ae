#include "Net.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Net {

double now()
{
    timespec t = {};
    ::clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

namespace {
sockaddr_in loopback(std::uint16_t port)
{
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}
} // namespace

int startConnect(std::uint16_t port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    const sockaddr_in address = loopback(port);
    if (::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0 &&
        errno != EINPROGRESS) {
        ::close(fd);
        return -1;
    }
    return fd;
}

int listenOn(std::uint16_t port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    const int yes = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    const sockaddr_in address = loopback(port);
    if (::bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0 ||
        ::listen(fd, 16) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

int connectError(int fd)
{
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
        return errno;
    return error;
}

std::uint64_t fileSize(const std::string &path)
{
    struct stat info = {};
    if (::stat(path.c_str(), &info) != 0)
        return 0;
    if (!S_ISDIR(info.st_mode))
        return std::uint64_t(info.st_size);
    DIR *folder = ::opendir(path.c_str());
    if (!folder)
        return 0;
    std::uint64_t total = 0;
    while (const dirent *entry = ::readdir(folder)) {
        const std::size_t length = std::strlen(entry->d_name);
        if (length >= 4 && std::strcmp(entry->d_name + length - 4, ".idx") == 0)
            continue;
        if (::fstatat(::dirfd(folder), entry->d_name, &info, 0) == 0 && S_ISREG(info.st_mode))
            total += std::uint64_t(info.st_size);
    }
    ::closedir(folder);
    return total;
}

std::uint64_t waitForFile(const std::string &path, std::uint64_t expected, double settle,
                          double deadline, double *at)
{
    std::uint64_t size = fileSize(path);
    *at = now();
    // A folder of a thousand logs costs a thousand calls to look at: fewer looks.
    struct stat info = {};
    const bool folder = ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
    while (size < expected) {
        const double t = now();
        if (t >= deadline || t - *at >= settle)
            break;
        const timespec pause = {0, folder ? 10000000 : 500000};
        ::nanosleep(&pause, nullptr);
        const std::uint64_t next = fileSize(path);
        if (next != size) {
            size = next;
            *at = now();
        }
    }
    return size;
}

} // namespace Net
