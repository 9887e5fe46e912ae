#include "gui/monitor/ConnectionModel.h"

#include "core/engine/Session.h"
#include "core/net/Winsock.h"
#include "core/text/LoadResource.h"

#include <QDateTime>
#include <QHostAddress>

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
    readRows();
    const auto changed = [this] { m_connectionsChanged = true; };
    connect(session, &Session::elementConnected, this, changed);
    connect(session, &Session::elementClosed, this, changed);
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

void ConnectionModel::refresh(bool countsChanged)
{
    if (m_connectionsChanged) {
        m_connectionsChanged = false;
        beginResetModel();
        readRows();
        endResetModel();
    } else if (countsChanged && !m_rows.empty()) {
        emit dataChanged(index(0, Bytes), index(int(m_rows.size()) - 1, LastArrival));
    }
}

void ConnectionModel::readRows()
{
    m_rows.clear();
    for (const qint32 element : m_session->connectedElements()) {
        const Winsock *socket = m_session->Winsock1(element);
        m_rows.push_back({element, socket->RemoteHostIP(), socket->RemoteHostPort()});
    }
}
