#pragma once

#include <cstdint>

// What one load run did.
struct LoadResult {
    std::uint32_t connected = 0; // connections that were established
    std::uint32_t failed = 0;    // connections refused, reset or timed out
    std::uint64_t sent = 0;      // bytes handed to the kernel
    double started = 0;          // monotonic seconds when the load began
};

// Opens `clients` connections to 127.0.0.1:port at once and streams `bytes` bytes of each
// client's tagged stream on it, then closes it. Gives up at `deadline` (monotonic seconds).
LoadResult sendAll(std::uint16_t port, std::uint32_t clients, std::uint64_t bytes, double deadline);
