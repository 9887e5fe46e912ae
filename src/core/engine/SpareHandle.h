#pragma once

#include <functional>

// A few file handles held in reserve. When connections have taken every other handle the process
// may open, the log file and the error log can still be written, and the error program started
// (it needs pipes), with them: without them, a server out of handles loses the data of the
// clients it already has and cannot even report why.
namespace SpareHandle {

// Takes the spare handles that are not held.
void keep();

// Runs `write` with the spare handles given back, then takes them again.
void lend(const std::function<void()> &write);

} // namespace SpareHandle
