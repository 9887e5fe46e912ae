#pragma once

#include <chrono>
#include <cstdint>
#include <string>

// Small POSIX helpers of the load generator. All traffic goes to 127.0.0.1.
namespace Net {

double now(); // seconds on the monotonic clock

// A non-blocking socket whose connection to 127.0.0.1:port has been started; -1 on failure.
int startConnect(std::uint16_t port);
// A socket listening on 127.0.0.1:port; -1 on failure.
int listenOn(std::uint16_t port);
// The error of a finished non-blocking connect (0 when it succeeded).
int connectError(int fd);

// Size of the file at `path`, 0 when it does not exist. Of a folder: the total of the files in
// it, index files (*.idx) left out.
std::uint64_t fileSize(const std::string &path);

// Waits until the file (or folder) at `path` holds `expected` bytes, stops growing for `settle`
// seconds, or `deadline` passes. Returns the size, and in *at the moment it was last seen to grow
// (or to reach the expected size).
std::uint64_t waitForFile(const std::string &path, std::uint64_t expected, double settle,
                          double deadline, double *at);

} // namespace Net
