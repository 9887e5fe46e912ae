#pragma once

#include <QByteArray>
#include <QString>

// Appends inbound bytes to a session's log file. The file is opened, written and closed within
// one call, so other programs can read, move or delete it between arrivals, and nothing is held
// open while the session waits.
namespace LogFile {

// Appends every byte of `data`, creating the file when it does not exist. Returns false and a
// description of the failure when the file cannot be opened or a write fails; a short write is
// continued until every byte is written or an error is known.
bool append(const QString &path, const QByteArray &data, QString *error);

} // namespace LogFile
