#pragma once

// Process-wide settings that a long-running Kestrel program needs on POSIX systems.
namespace ProcessSetup {

// Allows as many open files as the system lets the process have (a server may hold thousands of
// clients), and ignores SIGXFSZ and SIGPIPE, so that a log file that reaches the file-size limit,
// or an output stream whose reader went away, fails the write instead of ending the program.
void prepare();

} // namespace ProcessSetup
