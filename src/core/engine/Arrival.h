#pragma once

#include <QDateTime>
#include <QString>
#include <QtGlobal>

// One arrival of data: when it came and from which connection. The fields of a log-file name
// and the arrival index are taken from it.
struct Arrival {
    qint64 microseconds = 0; // since 1970-01-01T00:00:00Z
    QString peerIP;
    qint32 peerPort = 0;

    // The local time of the arrival, to the millisecond, with the offset from UTC of that moment.
    QDateTime localTime() const { return QDateTime::fromMSecsSinceEpoch(microseconds / 1000); }
};
