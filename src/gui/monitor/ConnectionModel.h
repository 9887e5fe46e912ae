#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <vector>

class Session;

// The connected elements of a session, a row each, with what each has received. Rows come and
// go with the session's connections; the counts are read from the session when refresh() says
// they changed, so a storm of arrivals costs the view one update per refresh.
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

    void refresh();

private:
    struct Row {
        int element;
        QString address;
        qint32 port;
    };
    void add(int element);
    void remove(int element);

    const Session *m_session;
    std::vector<Row> m_rows;
};
