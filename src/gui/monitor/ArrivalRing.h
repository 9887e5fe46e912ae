#pragma once

#include <QByteArray>
#include <QString>
#include <deque>

// One arrival as the monitor keeps it: `bytes` are its last bytes, which start `offset` bytes
// into what arrived.
struct MonitoredArrival {
    qint64 time = 0; // ms since the epoch
    QString peer;
    qint32 port = 0;
    QByteArray bytes;
    qint64 offset = 0;
    bool logged = true;
};

// The last bytes that arrived, with the arrival each belongs to, bounded to a capacity: the
// oldest arrivals give up their first bytes, then leave. Adding an arrival that fits shares its
// bytes with the caller instead of copying them.
class ArrivalRing {
public:
    explicit ArrivalRing(qsizetype capacity) : m_capacity(capacity) {}

    void add(MonitoredArrival arrival);
    const std::deque<MonitoredArrival> &arrivals() const { return m_arrivals; }

private:
    qsizetype m_capacity;
    qsizetype m_size = 0;
    std::deque<MonitoredArrival> m_arrivals;
};
