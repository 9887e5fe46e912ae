#include "TestSupport.h"
#include "core/engine/Session.h"
#include "core/text/LoadResource.h"
#include "gui/main/frmMain.h"
#include "gui/monitor/frmMonitor.h"
#include "gui/session/frmDocument.h"

#include <QCheckBox>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>
#include <atomic>

using namespace TestSupport;

// Blocks of the size of a large arrival taken from the C library, where QByteArray takes its
// storage: the engine may take one for each arrival it reads, and none more for a monitor that
// is not open.
namespace {
std::atomic<int> largeBlocks{0};
constexpr size_t LargeBlock = 32 * 1024;
} // namespace
extern "C" void *__libc_malloc(size_t size);
extern "C" void *malloc(size_t size) noexcept
{
    if (size >= LargeBlock)
        ++largeBlocks;
    return __libc_malloc(size);
}

// The data monitor on real session windows, with clients on 127.0.0.1 and other loopback
// addresses.
class tst_Monitor : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    std::unique_ptr<frmDocument> serverWindow(const QString &log, qint16 tcpOptions = 0)
    {
        auto document = std::make_unique<frmDocument>();
        document->applySettings(serverSettings(log, 0, 1, tcpOptions));
        document->Command1_Click();
        return document;
    }

    // The connection list as "address:port bytes", sorted.
    static QStringList rows(frmMonitor &monitor)
    {
        monitor.refresh();
        const QAbstractItemModel *model = monitor.Connections->model();
        QStringList rows;
        for (int r = 0; r < model->rowCount(); ++r)
            rows << model->index(r, 0).data().toString() + ':' +
                        model->index(r, 1).data().toString() + ' ' +
                        model->index(r, 3).data().toString();
        rows.sort();
        return rows;
    }

    // The bytes the data view shows, in order, and its headings.
    static QByteArray shownBytes(const frmMonitor &monitor, QStringList *headings)
    {
        static const QRegularExpression line(QStringLiteral("^[0-9a-f]{8}  "));
        QByteArray bytes;
        for (const QString &text : monitor.Data->toPlainText().split('\n')) {
            if (!line.match(text).hasMatch()) {
                if (!text.isEmpty())
                    *headings << text;
                continue;
            }
            for (const QString &byte : text.mid(10, 49).simplified().split(' '))
                bytes += char(byte.toInt(nullptr, 16));
        }
        return bytes;
    }

private slots:
    void connectionListFollowsClients_data()
    {
        QTest::addColumn<QList<int>>("closing");
        QTest::newRow("first to last") << QList<int>{0, 1, 2};
        QTest::newRow("last to first") << QList<int>{2, 1, 0};
        QTest::newRow("middle first") << QList<int>{1, 2, 0};
    }

    // The first client is there before the monitor opens, with what it has sent so far.
    void connectionListFollowsClients()
    {
        QFETCH(QList<int>, closing);
        const QString log = m_dir.filePath(QTest::currentDataTag());
        auto document = serverWindow(log);
        const quint16 port = listeningPort(*document->session());
        std::vector<std::unique_ptr<QTcpSocket>> clients;
        QStringList expected;
        frmMonitor *monitor = nullptr;
        for (int k = 0; k < 3; ++k) {
            clients.push_back(connectTo(port, QStringLiteral("127.0.0.%1").arg(k + 2)));
            QVERIFY(sendAll(*clients.back(), QByteArray(100 * (k + 1), char('a' + k))));
            QTRY_COMPARE_WITH_TIMEOUT(readFile(log).size(), 100 * (k + 1) * (k + 2) / 2, 5000);
            expected << QStringLiteral("127.0.0.%1:%2 %3")
                            .arg(k + 2)
                            .arg(clients.back()->localPort())
                            .arg(100 * (k + 1));
            if (!monitor)
                monitor = document->showMonitor();
        }
        QTRY_COMPARE_WITH_TIMEOUT(rows(*monitor), expected, 5000);
        for (const int k : closing) {
            clients[size_t(k)]->disconnectFromHost();
            expected.removeOne(expected.filter(QStringLiteral("127.0.0.%1:").arg(k + 2)).first());
            QTRY_COMPARE_WITH_TIMEOUT(rows(*monitor), expected, 5000);
        }
        QVERIFY(monitor->Totals->text().contains(QStringLiteral("600")));
    }

    void dataViewShowsTheLastBytes_data()
    {
        QTest::addColumn<int>("tcpOptions");
        QTest::newRow("logged") << 0;
        QTest::newRow("dropped by the I/O options") << 1;
    }

    // Every byte value reaches the view; Pause holds it while the log keeps growing.
    void dataViewShowsTheLastBytes()
    {
        QFETCH(int, tcpOptions);
        const QString log = m_dir.filePath(QTest::currentDataTag());
        auto document = serverWindow(log, qint16(tcpOptions));
        frmMonitor *monitor = document->showMonitor();
        auto client = connectTo(listeningPort(*document->session()), QStringLiteral("127.0.0.5"));
        QByteArray sent(70 * 1024, Qt::Uninitialized);
        QRandomGenerator(5).fillRange(reinterpret_cast<quint32 *>(sent.data()), sent.size() / 4);
        const QByteArray last = QByteArray::fromHex("0080ff410a"); // NUL, 0x80, 0xFF, "A\n"
        QVERIFY(sendAll(*client, sent) && sendAll(*client, last));
        sent += last;
        QTRY_COMPARE_WITH_TIMEOUT(document->session()->totals().arrivals > 0 &&
                                      document->session()->activity(1).bytes == sent.size(),
                                  true, 5000);
        monitor->refresh();
        QStringList headings;
        QCOMPARE(shownBytes(*monitor, &headings), sent.right(frmMonitor::KeptBytes));
        const QString peer = QStringLiteral("127.0.0.5:%1").arg(client->localPort());
        for (const QString &heading : std::as_const(headings)) {
            QVERIFY2(heading.contains(peer), qPrintable(heading));
            QCOMPARE(heading.endsWith(LoadResource::LoadResString(9045)), tcpOptions != 0);
        }
        QVERIFY(monitor->Data->toPlainText().endsWith(QStringLiteral("...A.\n")));
        QCOMPARE(readFile(log), tcpOptions == 0 ? sent : QByteArray());

        monitor->Pause->setChecked(true);
        const QString frozen = monitor->Data->toPlainText();
        QVERIFY(sendAll(*client, "more"));
        QTRY_COMPARE_WITH_TIMEOUT(document->session()->activity(1).bytes, sent.size() + 4, 5000);
        QCOMPARE(readFile(log).size(), tcpOptions == 0 ? sent.size() + 4 : 0);
        monitor->refresh();
        QCOMPARE(monitor->Data->toPlainText(), frozen);
        monitor->Pause->setChecked(false);
        QCOMPARE(shownBytes(*monitor, &headings).right(4), QByteArray("more"));
    }

    // With no monitor open, an arrival costs one block of its size. A 40 KiB write is nearly
    // always one arrival on loopback; rounds that came in pieces prove nothing and are passed over.
    void noMonitorNoCopy()
    {
        auto document = serverWindow(m_dir.filePath(QStringLiteral("nocopy")));
        const Session &session = *document->session();
        auto client = connectTo(listeningPort(session));
        const QByteArray block(40 * 1024, 'x');
        // The first arrival of the process makes the shared read buffer.
        QVERIFY(sendAll(*client, "warm-up"));
        QTRY_COMPARE_WITH_TIMEOUT(session.totals().bytesLogged, 7, 5000);
        int whole = 0;
        for (int round = 1; round <= 5; ++round) {
            // Written straight to the system, out of the count: the client's buffer is its own.
            QVERIFY(client->write(block) == block.size() && client->flush());
            QCOMPARE(client->bytesToWrite(), 0);
            const int before = largeBlocks;
            const qint64 arrivals = session.totals().arrivals;
            QTRY_COMPARE_WITH_TIMEOUT(session.totals().bytesLogged, 7 + round * block.size(), 5000);
            if (session.totals().arrivals - arrivals == 1) {
                ++whole;
                QCOMPARE(largeBlocks - before, 1);
            }
        }
        QVERIFY(whole > 0);
    }

    // From the Window menu for the active session window; gone with it and at exit.
    void windowMenuAndClosing()
    {
        frmMain main;
        main.MDIForm_Load(QString());
        main.show();
        emit main.mnuWindow->aboutToShow();
        QVERIFY(main.mnuWindowMonitor->isEnabled());
        main.mnuWindowMonitor->trigger();
        const auto monitors = [] {
            QList<frmMonitor *> open;
            for (QWidget *window : QApplication::topLevelWidgets())
                if (auto *monitor = qobject_cast<frmMonitor *>(window))
                    open << monitor;
            return open;
        };
        QCOMPARE(monitors().size(), 1);
        QVERIFY(monitors().first()->windowTitle().endsWith(
            " - " + main.sessionWindows().first()->windowTitle()));
        main.mnuFileClose->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(monitors().size(), 0, 5000);
        emit main.mnuWindow->aboutToShow();
        QVERIFY(!main.mnuWindowMonitor->isEnabled());

        main.mnuFileNew->trigger();
        QTest::mouseDClick(main.sessionWindows().first()->StatusBar1, Qt::LeftButton);
        QCOMPARE(monitors().size(), 1);
        main.close();
        QTRY_COMPARE_WITH_TIMEOUT(monitors().size(), 0, 5000);
    }
};

QTEST_MAIN(tst_Monitor)
#include "tst_monitor.moc"
