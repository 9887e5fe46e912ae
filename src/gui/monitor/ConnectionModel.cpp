#include "gui/monitor/ConnectionModel.h"

#include "core/engine/Session.h"
#include "core/net/Winsock.h"
#include "core/text/LoadResource.h"

#include <QDateTime>
#include <QHostAddress>
#include <algorithm>

using LoadResource::LoadResString;

namespace {
QString timeText(qint64 ms)
{
    return ms == 0 ? QString() : QDateTime::fromMSecsSinceEpoch(ms).toString(u"HH:mm:ss");
}
} // namespace

ConnectionModel::ConnectionModel(const Session *session, QObject *parent)
    : QAbstractTableModel(parent), m_session(session)
{
    for (const qint32 element : session->connectedElements())
        add(element);
    connect(session, &Session::elementConnected, this, &ConnectionModel::add);
    connect(session, &Session::elementClosed, this, &ConnectionModel::remove);
}

int ConnectionModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int ConnectionModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant ConnectionModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || (role != Qt::DisplayRole && role != SortRole))
        return {};
    const Row &row = m_rows[size_t(index.row())];
    const ElementActivity &activity = m_session->activity(row.element);
    const bool display = role == Qt::DisplayRole;
    switch (index.column()) {
    case Address:
        if (display)
            return row.address;
        return QHostAddress(row.address).toIPv4Address();
    case Port:
        return row.port;
    case ConnectedAt:
        return display ? QVariant(timeText(activity.connectedAt)) : activity.connectedAt;
    case Bytes:
        return activity.bytes;
    case Arrivals:
        return activity.arrivals;
    default:
        return display ? QVariant(timeText(activity.lastArrival)) : activity.lastArrival;
    }
}

QVariant ConnectionModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    return LoadResString(9038 + section);
}

void ConnectionModel::refresh()
{
    if (!m_rows.empty())
        emit dataChanged(index(0, Bytes), index(int(m_rows.size()) - 1, LastArrival));
}

void ConnectionModel::add(int element)
{
    const Winsock *socket = m_session->Winsock1(element);
    beginInsertRows({}, int(m_rows.size()), int(m_rows.size()));
    m_rows.push_back({element, socket->RemoteHostIP(), socket->RemoteHostPort()});
    endInsertRows();
}

void ConnectionModel::remove(int element)
{
    const auto found = std::find_if(m_rows.begin(), m_rows.end(),
                                    [element](const Row &row) { return row.element == element; });
    if (found == m_rows.end())
        return;
    const int row = int(found - m_rows.begin());
    beginRemoveRows({}, row, row);
    m_rows.erase(found);
    endRemoveRows();
}
