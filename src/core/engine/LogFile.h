#pragma once

#include <QByteArray>
#include <QString>

// Appends inbound bytes to a session's log file. The file is opened, written and closed within
// one call, so other programs can read, move or delete it between arrivals, and nothing is held
// open while the session waits.
namespace LogFile {

// Where an append put its bytes: the offset of the first byte in the file and how many bytes were
// written (fewer than asked when a write failed part of the way).
struct Placement {
    qint64 offset = 0;
    qint64 length = 0;
};

// Appends every byte of `data`, creating the file when it does not exist. Returns false and a
// description of the failure when the file cannot be opened or a write fails; a short write is
// continued until every byte is written or an error is known. `placed`, when given, learns where
// the bytes went.
bool append(const QString &path, const QByteArray &data, QString *error,
            Placement *placed = nullptr);

// As append(), but a file that is empty when opened gets `header` before `data`, in one write.
bool appendWithHeader(const QString &path, const QByteArray &header, const QByteArray &data,
                      QString *error);

} // namespace LogFile
