// Preloaded into the program by a fault test: the first write of more than one byte to a file
// whose path contains $KESTREL_KILL_ON_WRITE writes half of its bytes, then the process dies by
// SIGKILL, as it would when the machine loses power in the middle of saving.
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <unistd.h>

extern "C" ssize_t write(int fd, const void *buffer, size_t count)
{
    using Write = ssize_t (*)(int, const void *, size_t);
    static const auto next = reinterpret_cast<Write>(dlsym(RTLD_NEXT, "write"));
    static const char *marker = std::getenv("KESTREL_KILL_ON_WRITE");
    if (marker && *marker && count > 1) {
        char link[64];
        char target[PATH_MAX];
        std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
        const ssize_t length = readlink(link, target, sizeof target - 1);
        if (length > 0) {
            target[length] = '\0';
            if (std::strstr(target, marker)) {
                next(fd, buffer, count / 2);
                raise(SIGKILL);
            }
        }
    }
    return next(fd, buffer, count);
}
