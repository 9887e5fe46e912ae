#pragma once

#include "core/engine/Arrival.h"
#include "core/engine/LogFile.h"

#include <QByteArray>
#include <QString>

// The arrival index beside a log file ("<log file>.idx"): one line per logged arrival with its
// local time (microseconds, offset from UTC), the peer's address and port, and where its bytes
// lie in the log file, so that the streams of several clients can be told apart and timed again.
// Columns are separated by tabs, lines end in CRLF; a new index starts with a header line.
namespace ArrivalIndex {

QString fileFor(const QString &logPath);

QByteArray header();
QByteArray line(const Arrival &arrival, const LogFile::Placement &placed);

// Appends the line for `arrival` to the index of `logPath`, opened and closed like the log.
// Returns false with a description naming the index when it cannot be written.
bool append(const QString &logPath, const Arrival &arrival, const LogFile::Placement &placed,
            QString *error);

} // namespace ArrivalIndex
