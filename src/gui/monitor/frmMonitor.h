#pragma once

#include "gui/monitor/ArrivalRing.h"

#include <QWidget>

class ConnectionModel;
class QCheckBox;
class QLabel;
class QPlainTextEdit;
class QTableView;
class QTimer;
class RateGraph;
class Session;

// The live view of one session: its connections, the bytes per second it logs, the last bytes
// that arrived, and its totals. It only watches: the session runs and saves as it would without
// it. The view is brought up to date a few times a second, however fast the data comes.
class frmMonitor final : public QWidget {
    Q_OBJECT

public:
    // Bytes of recent arrivals kept for the data view.
    static constexpr qsizetype KeptBytes = 64 * 1024;

    // A top-level window on `session`, titled after `document`, its session window.
    frmMonitor(Session *session, QWidget *document);

    // Brings every part of the window up to date; the refresh timer calls it.
    void refresh();

    QLabel *Totals;
    QTableView *Connections;
    RateGraph *Graph;
    QCheckBox *Pause;
    QPlainTextEdit *Data;

private:
    void onArrival(int index, const QByteArray &data, bool logged);
    void showData();

    Session *m_session;
    ConnectionModel *m_model;
    QTimer *m_refresh;
    ArrivalRing m_ring{KeptBytes};
    bool m_newData = false;
    bool m_newCounts = false;
};
