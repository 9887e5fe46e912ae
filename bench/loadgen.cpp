// kestrel_loadgen: drives a logger on 127.0.0.1 with tagged streams (see StreamTag.h).
//   send    --port P --clients N --bytes M --log FILE [--timeout S] [--settle S]
//           N clients connect at once and send M bytes each; waits until FILE holds N*M bytes
//           (FILE may be a folder of per-client logs: their sizes are added up).
//   serve   --port P --bytes M --log FILE [--timeout S] [--settle S]
//           waits for one logger to connect (client role) and streams M bytes to it.
//   hold    --port P --clients N --seconds S
//           keeps N idle clients connected for S seconds.
//   trickle --port P --log FILE [--rate R] [--message B] [--seconds S] [--timeout S]
//           one client sends R messages of B bytes a second (default 2000 x 64) for S seconds.
//   startup --port P --runs R -- COMMAND...
//           times COMMAND from its start until the port accepts connections.
// send, serve and trickle print one line: connected, failed, sent and logged bytes, seconds, MB/s.
#include "Args.h"
#include "Modes.h"
#include "Net.h"
#include "Sender.h"

#include <cstdio>
#include <cstring>
#include <exception>
#include <stdexcept>

namespace {

int report(const LoadResult &load, const Args &args, std::uint64_t expected, double deadline)
{
    double at = 0;
    const std::uint64_t logged =
        Net::waitForFile(args.text("log"), expected, args.number("settle", 5), deadline, &at);
    const double seconds = at - load.started;
    std::printf("connected %u failed %u sent %llu logged %llu expected %llu seconds %.3f "
                "mbps %.1f\n",
                load.connected, load.failed, static_cast<unsigned long long>(load.sent),
                static_cast<unsigned long long>(logged), static_cast<unsigned long long>(expected),
                seconds, seconds > 0 ? double(logged) / seconds / 1e6 : 0.0);
    return logged == expected && load.failed == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    try {
        if (argc < 2)
            throw std::invalid_argument(
                "usage: kestrel_loadgen send|serve|trickle|hold|startup ...");
        const std::string mode = argv[1];
        const Args args(argc, argv, 2);
        const auto port = std::uint16_t(args.size("port", 0));
        const double timeout = args.number("timeout", 300);
        const double deadline = Net::now() + timeout;
        if (mode == "send") {
            const auto clients = std::uint32_t(args.size("clients", 1));
            const std::uint64_t bytes = args.size("bytes", 0);
            const LoadResult load = sendAll(port, clients, bytes, deadline);
            return report(load, args, bytes * clients, deadline);
        }
        if (mode == "serve") {
            const std::uint64_t bytes = args.size("bytes", 0);
            const LoadResult load = serveOne(port, bytes, deadline);
            return report(load, args, bytes, deadline);
        }
        if (mode == "trickle") {
            const LoadResult load = trickle(port, std::uint32_t(args.size("rate", 2000)),
                                            std::uint32_t(args.size("message", 64)),
                                            args.number("seconds", 5), deadline);
            return report(load, args, load.sent, deadline);
        }
        if (mode == "hold")
            return holdIdle(port, std::uint32_t(args.size("clients", 1)),
                            args.number("seconds", 10));
        if (mode == "startup")
            return timeStartup(port, int(args.size("runs", 5)), args.rest());
        throw std::invalid_argument("unknown mode " + mode);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "kestrel_loadgen: %s\n", e.what());
        return 2;
    }
}
