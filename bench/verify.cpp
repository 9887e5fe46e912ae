// kestrel_verify LOG --clients N --bytes M
// Checks that LOG holds the tagged streams of N benchmark clients of M bytes each, every
// client's bytes complete and in order; exit status 0 when it does.
// kestrel_verify LOG --one-of N --bytes M
// Checks that LOG holds the whole stream of one of N clients and nothing else (a log per client).
#include "Args.h"
#include "Verifier.h"

#include <cstdio>
#include <exception>
#include <fcntl.h>
#include <stdexcept>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int oneOf(const unsigned char *log, std::size_t size, std::uint32_t clients, std::uint64_t bytes)
{
    Verifier verifier(log, size, clients, bytes);
    verifier.run();
    std::uint32_t whole = 0;
    std::uint32_t client = 0;
    for (std::uint32_t c = 0; c < clients; ++c) {
        if (verifier.found(c) == bytes) {
            ++whole;
            client = c;
        }
    }
    const bool ok = verifier.consistent() && whole == 1 && size == bytes;
    if (ok)
        std::printf("complete: client %u, %llu bytes\n", client,
                    static_cast<unsigned long long>(bytes));
    else
        std::printf("LOSS: %s\n", verifier.report().c_str());
    return ok ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    try {
        if (argc < 2)
            throw std::invalid_argument("usage: kestrel_verify LOG --clients N --bytes M");
        const Args args(argc, argv, 2);
        const auto clients = std::uint32_t(args.size("clients", 1));
        const std::uint64_t bytes = args.size("bytes", 0);
        const int fd = ::open(argv[1], O_RDONLY | O_CLOEXEC);
        struct stat info = {};
        if (fd >= 0 && ::fstat(fd, &info) != 0)
            info.st_size = 0;
        const std::size_t size = fd >= 0 ? std::size_t(info.st_size) : 0;
        const unsigned char *log = nullptr;
        if (size > 0) {
            void *mapped = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
            if (mapped == MAP_FAILED)
                throw std::runtime_error("cannot map the log");
            ::madvise(mapped, size, MADV_SEQUENTIAL);
            log = static_cast<const unsigned char *>(mapped);
        }
        if (args.has("one-of"))
            return oneOf(log, size, std::uint32_t(args.size("one-of", 1)), bytes);
        Verifier verifier(log, size, clients, bytes);
        const bool ok = verifier.run();
        std::printf("%s: %s\n", ok ? "complete" : "LOSS", verifier.report().c_str());
        return ok ? 0 : 1;
    } catch (const std::exception &e) {
        std::fprintf(stderr, "kestrel_verify: %s\n", e.what());
        return 2;
    }
}
