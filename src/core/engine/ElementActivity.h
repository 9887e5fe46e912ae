#pragma once

#include <QtGlobal>

// What a session has seen of one connection since it connected; times in ms since the epoch.
struct ElementActivity {
    qint64 connectedAt = 0;
    qint64 bytes = 0; // received, logged or not
    qint64 arrivals = 0;
    qint64 lastArrival = 0; // 0 before the first
};

// A session's counts since it was created.
struct SessionTotals {
    qint64 bytesLogged = 0;
    qint64 arrivals = 0;
    qint64 logErrors = 0;
};
