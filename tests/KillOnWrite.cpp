// Preloaded into the program by a fault test to cut the power in the middle of a save: the first
// write to the temporary file of a save of $KESTREL_KILL_ON_WRITE (unnamed in its folder, "#inode")
// writes half of its bytes, copies them to $KESTREL_KILL_ON_WRITE.killed and dies by SIGKILL.
#include <csignal>
#include <cstdlib>
#include <dlfcn.h>
#include <fcntl.h>
#include <string>
#include <unistd.h>

extern "C" ssize_t write(int fd, const void *buffer, size_t count)
{
    using Write = ssize_t (*)(int, const void *, size_t);
    static const auto next = reinterpret_cast<Write>(dlsym(RTLD_NEXT, "write"));
    static const char *const set = std::getenv("KESTREL_KILL_ON_WRITE");
    static const std::string file = set ? set : "";
    char target[4096] = {};
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    if (file.empty() || count < 2 || readlink(link.c_str(), target, sizeof target - 1) <= 0 ||
        std::string(target).rfind(file.substr(0, file.rfind('/') + 1) + '#', 0) != 0)
        return next(fd, buffer, count);
    const ssize_t half = next(fd, buffer, count / 2);
    next(::open((file + ".killed").c_str(), O_WRONLY | O_CREAT, 0600), buffer, size_t(half));
    raise(SIGKILL);
    return -1;
}
