#include "gui/monitor/frmMonitor.h"

#include "core/engine/Session.h"
#include "core/net/Winsock.h"
#include "core/text/LoadResource.h"
#include "gui/monitor/ConnectionModel.h"
#include "gui/monitor/HexDump.h"
#include "gui/monitor/RateGraph.h"
#include "gui/widgets/LoadResStrings.h"

#include <QCheckBox>
#include <QDateTime>
#include <QFontDatabase>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPlainTextEdit>
#include <QSortFilterProxyModel>
#include <QSplitter>
#include <QTableView>
#include <QTextCursor>
#include <QTimer>
#include <QVBoxLayout>

using LoadResource::LoadResString;

namespace {
constexpr int RefreshIntervalMs = 250;
} // namespace

frmMonitor::frmMonitor(Session *session, QWidget *document)
    : Totals(new QLabel), Connections(new QTableView), Graph(new RateGraph),
      Pause(new QCheckBox(LoadResString(9044))), Data(new QPlainTextEdit), m_session(session),
      m_model(new ConnectionModel(session, this)), m_refresh(new QTimer(this))
{
    setAttribute(Qt::WA_DeleteOnClose);
    setFont(LoadResource::tableFont());
    const auto title = [this, document] {
        setWindowTitle(LoadResString(9037) + QStringLiteral(" - ") + document->windowTitle());
    };
    title();
    connect(document, &QWidget::windowTitleChanged, this, title);

    auto *sorted = new QSortFilterProxyModel(this);
    sorted->setSourceModel(m_model);
    sorted->setSortRole(ConnectionModel::SortRole);
    Connections->setModel(sorted);
    Connections->setSortingEnabled(true);
    Connections->sortByColumn(ConnectionModel::Address, Qt::AscendingOrder);
    Connections->setSelectionBehavior(QAbstractItemView::SelectRows);
    Connections->verticalHeader()->hide();
    Connections->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    // Widths fitted once, to the headings and the widest values: fitting them to the rows at
    // every change would measure every row each time thousands connect.
    const QStringList widest = {QStringLiteral("255.255.255.255"), QStringLiteral("65535"),
                                QStringLiteral("00:00:00"),        QStringLiteral("0,000,000,000"),
                                QStringLiteral("0,000,000"),       QStringLiteral("00:00:00")};
    QHeaderView *header = Connections->horizontalHeader();
    for (int column = 0; column < widest.size(); ++column) {
        const QString heading =
            m_model->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
        header->resizeSection(column, qMax(header->fontMetrics().horizontalAdvance(heading) + 28,
                                           fontMetrics().horizontalAdvance(widest[column]) + 16));
    }
    header->setStretchLastSection(true);

    Data->setReadOnly(true);
    Data->setLineWrapMode(QPlainTextEdit::NoWrap);
    Data->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));

    auto *dataPane = new QWidget;
    auto *dataLayout = new QVBoxLayout(dataPane);
    dataLayout->setContentsMargins(0, 0, 0, 0);
    dataLayout->addWidget(Pause);
    dataLayout->addWidget(Data);
    auto *splitter = new QSplitter(Qt::Vertical);
    splitter->addWidget(Connections);
    splitter->addWidget(Graph);
    splitter->addWidget(dataPane);
    splitter->setStretchFactor(2, 1);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(Totals);
    layout->addWidget(splitter);
    resize(760, 640);

    connect(session, &Session::dataArrived, this, &frmMonitor::onArrival);
    connect(Pause, &QCheckBox::toggled, this, [this](bool paused) {
        if (!paused)
            showData();
    });
    connect(m_refresh, &QTimer::timeout, this, &frmMonitor::refresh);
    m_refresh->start(RefreshIntervalMs);
    refresh();
}

void frmMonitor::onArrival(int index, const QByteArray &data, bool logged)
{
    const Winsock *element = m_session->Winsock1(index);
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    m_ring.add({now, element->RemoteHostIP(), element->RemoteHostPort(), data, 0, logged});
    if (logged)
        Graph->add(data.size(), now);
    m_newData = true;
    m_newCounts = true;
}

void frmMonitor::refresh()
{
    // The graph changes when a second passes or bytes came.
    if (Graph->advance(QDateTime::currentMSecsSinceEpoch()) || m_newCounts)
        Graph->update();
    m_model->refresh(m_newCounts);
    m_newCounts = false;
    const SessionTotals &totals = m_session->totals();
    const QLocale locale;
    Totals->setText(LoadResString(9046)
                        .arg(locale.toString(totals.bytesLogged))
                        .arg(locale.toString(totals.arrivals))
                        .arg(m_model->rowCount())
                        .arg(locale.toString(totals.logErrors)));
    if (m_newData && !Pause->isChecked())
        showData();
}

void frmMonitor::showData()
{
    m_newData = false;
    QTextCharFormat bytes;
    QTextCharFormat notLogged;
    notLogged.setForeground(palette().color(QPalette::Disabled, QPalette::Text));
    Data->clear();
    QTextCursor cursor(Data->document());
    for (const MonitoredArrival &arrival : m_ring.arrivals()) {
        QTextCharFormat format = arrival.logged ? bytes : notLogged;
        format.setFontWeight(QFont::Bold);
        cursor.insertText(HexDump::heading(arrival) + QLatin1Char('\n'), format);
        format.setFontWeight(QFont::Normal);
        cursor.insertText(HexDump::lines(arrival), format);
    }
    Data->moveCursor(QTextCursor::End);
    Data->ensureCursorVisible();
}
