#pragma once

#include "Sender.h"

#include <cstdint>
#include <string>
#include <vector>

// The other roles of the load generator, besides many clients sending at once (Sender.h).

// Listens on 127.0.0.1:port, takes the first connection (a logger in the client role) and
// streams `bytes` bytes of client 0's tagged stream to it. The load starts at the accept.
LoadResult serveOne(std::uint16_t port, std::uint64_t bytes, double deadline);

// Connects `clients` idle clients, prints "connected N failed F" once all are settled, and keeps
// them open for `seconds`.
int holdIdle(std::uint16_t port, std::uint32_t clients, double seconds);

// Connects one client and sends `rate` messages of `messageBytes` bytes of client 0's tagged
// stream a second, each on its own, for `seconds`.
LoadResult trickle(std::uint16_t port, std::uint32_t rate, std::uint32_t messageBytes,
                   double seconds, double deadline);

// Starts `command` `runs` times and prints the median, fastest and slowest time in milliseconds
// from the start until 127.0.0.1:port accepts a connection; each start is ended with SIGTERM.
int timeStartup(std::uint16_t port, int runs, const std::vector<std::string> &command);
