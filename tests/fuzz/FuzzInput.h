#pragma once

#include <QString>
#include <cstddef>
#include <cstdint>

// The readers under test read files: each input is written to a file of the fuzzer's own
// (in memory where the system has /dev/shm) and read back from there.
namespace FuzzInput {

// Writes the input to this process's input file and returns its name.
QString file(const uint8_t *data, size_t size);

// A second file of this process, for what a reader writes.
QString outputFile();

} // namespace FuzzInput
