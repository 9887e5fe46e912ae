#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <vector>

class Session;

// The connected elements of a session, a row each, with what each has received. The rows and
// counts are read from the session at each refresh(), so a storm of connections or arrivals
// costs the view one update per refresh, not one per event.
class ConnectionModel final : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { Address, Port, ConnectedAt, Bytes, Arrivals, LastArrival, ColumnCount };
    // Numbers and times as numbers, for sorting.
    static constexpr int SortRole = Qt::UserRole;

    explicit ConnectionModel(const Session *session, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // The rows anew when connections came or went since the last refresh; the counts anew when
    // `countsChanged`.
    void refresh(bool countsChanged);

private:
    struct Row {
        int element;
        QString address;
        qint32 port;
    };
    void readRows();

    const Session *m_session;
    std::vector<Row> m_rows;
    bool m_connectionsChanged = false;
};
