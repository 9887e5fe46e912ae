#pragma once

#include <functional>

// One file handle held in reserve. When connections have taken every other handle the process
// may open, the log file and the error log can still be written with it: without it, a server
// out of handles loses the data of the clients it already has and cannot even report why.
namespace SpareHandle {

// Takes the spare handle when none is held.
void keep();

// Runs `write` with the spare handle given back, then takes it again.
void lend(const std::function<void()> &write);

} // namespace SpareHandle
