#include "KestrelProcess.h"
#include "Net.h"
#include "Sender.h"
#include "StreamTag.h"
#include "TestSupport.h"
#include "Verifier.h"
#include "core/app/Module1.h"
#include "core/app/ProcessSetup.h"
#include "core/app/ProgramFolder.h"
#include "core/engine/Session.h"

#include <QtTest>

#include <csignal>
#include <future>
#include <sys/resource.h>
#include <sys/socket.h>

using namespace TestSupport;

constexpr quint64 MiB = 1024 * 1024;

static QByteArray stream(quint32 client, quint64 offset, quint64 length)
{
    QByteArray bytes(qsizetype(length), Qt::Uninitialized);
    StreamTag::fill(client, offset, reinterpret_cast<unsigned char *>(bytes.data()), length);
    return bytes;
}

// Whether a log holds every client's stream whole and in order (or, `partial`, short at the end).
static bool sound(const QByteArray &log, quint32 clients, quint64 bytes, bool partial = false)
{
    Verifier verifier(reinterpret_cast<const unsigned char *>(log.constData()), size_t(log.size()),
                      clients, bytes);
    if (verifier.run() || (partial && verifier.consistent()))
        return true;
    qWarning("%s", verifier.report().c_str());
    return false;
}

// Starts the program with one active server session of 127.0.0.1:port; waits until it listens.
static bool startServer(KestrelProcess &kestrel, quint16 port, const QString &log)
{
    const QString ksf = kestrel.file("server.ksf");
    const QString file = QStringLiteral("[Kestrel]\r\nNumSessions=1\r\n[Session1]\r\nLogFile=%1\r\n"
                                        "LocalIP=127.0.0.1\r\nPortNumber=%2\r\nTCPOption=1\r\n"
                                        "AutoActivate=1\r\nLogErrors=1\r\n");
    if (!writeFile(ksf, file.arg(log).arg(port).toUtf8()) || !kestrel.start({ksf}))
        return false;
    // Read from the system's table: a probe connection would leave the program a handle to free.
    const QByteArray listening =
        ':' + QByteArray::number(port, 16).toUpper().rightJustified(4, '0') + " 00000000:0000 0A";
    return QTest::qWaitFor([&] { return readFile("/proc/net/tcp").contains(listening); }, 10000);
}

static void resetByPeer(QTcpSocket &socket)
{
    const linger abortive = {1, 0};
    ::setsockopt(int(socket.socketDescriptor()), SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
    socket.abort();
}

// The logger on its worst days: files pulled away, a full disk, no handles, resets, signals.
class tst_Faults : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        ProcessSetup::prepare(); // as the program does: no SIGXFSZ, more open files
        ProgramFolder::setPath(m_dir.path());
        Module1::LogErrors = 1;
    }
    void serverSessionLivesThroughFaults()
    {
        constexpr quint64 Limit = 64 * 1024;
        const QString log = m_dir.filePath("server.log");
        auto session = startSession(serverSettings(log));
        auto client = connectTo(listeningPort(*session));
        QTRY_COMPARE_WITH_TIMEOUT(session->NumConnected(), 1, 5000);
        {
            // At the file-size limit writing fails: status and error log tell; the client stays.
            rlimit saved = {};
            ::getrlimit(RLIMIT_FSIZE, &saved);
            const auto lift = qScopeGuard([&saved] { ::setrlimit(RLIMIT_FSIZE, &saved); });
            const rlimit full = {Limit, saved.rlim_max};
            QVERIFY(::setrlimit(RLIMIT_FSIZE, &full) == 0);
            client->write(stream(0, 0, 2 * Limit));
            QTRY_VERIFY_WITH_TIMEOUT(session->statusText().contains("File too large"), 10000);
            QTRY_VERIFY_WITH_TIMEOUT(client->bytesToWrite() == 0, 5000);
            QCOMPARE(readFile(log), stream(0, 0, Limit));
            QVERIFY(readFile(m_dir.filePath("errorlog.txt")).contains("File too large"));
        }
        // The same client's next arrival is appended (a tail of the stream may be written first).
        client->write("resumed");
        QTRY_VERIFY_WITH_TIMEOUT(readFile(log).endsWith("resumed"), 5000);
        const quint64 late = quint64(readFile(log).size()) - Limit - 7;
        QCOMPARE(readFile(log),
                 stream(0, 0, Limit) + stream(0, 2 * Limit - late, late) + "resumed");
        QVERIFY(!session->statusText().contains("File too large"));

        // A client that resets is counted gone, and the next one is taken.
        resetByPeer(*client);
        QTRY_COMPARE_WITH_TIMEOUT(session->NumConnected(), 0, 5000);
        QVERIFY(sendAll(*connectTo(listeningPort(*session)), "next client"));
        QTRY_VERIFY_WITH_TIMEOUT(readFile(log).endsWith("resumednext client"), 5000);
    }

    void outOfFileHandlesKeepsListening()
    {
        constexpr quint32 Clients = 300;
        constexpr quint64 Bytes = 1024;
        if (rlimit files = {};
            ::getrlimit(RLIMIT_NOFILE, &files) != 0 || files.rlim_cur < Clients + 100)
            QSKIP("this process may not open the 400 files it needs to hold 300 clients at once");
        KestrelProcess kestrel;
        kestrel.setResourceLimit(RLIMIT_NOFILE, 128, 128);
        PortReservation port;
        const QString log = kestrel.file("handles.log");
        QVERIFY(startServer(kestrel, port.port(), log));

        // The backlog holds every handshake; the program takes as many as it has handles for.
        std::vector<std::unique_ptr<QTcpSocket>> clients;
        for (quint32 i = 0; i < Clients; ++i)
            QVERIFY(sendAll(*clients.emplace_back(connectTo(port.port())), stream(i, 0, Bytes)));
        const auto reports = [&] {
            return readFile(kestrel.file("errorlog.txt")).count("Too many");
        };
        QTRY_COMPARE_WITH_TIMEOUT(reports(), qsizetype(1), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(log).size() >= qint64(50 * Bytes), 10000);
        // It tries again every half second while it is full, without reporting again.
        QVERIFY(!QTest::qWaitFor([&] { return reports() > 1; }, 2000));
        QVERIFY(QFileInfo(log).size() < qint64(Clients * Bytes));

        // The clients leave; the waiting ones are taken as handles come free.
        clients.clear();
        QTRY_COMPARE_WITH_TIMEOUT(QFileInfo(log).size(), qint64(Clients * Bytes), 30000);
        QVERIFY(sound(readFile(log), Clients, Bytes));
    }

    void clientSessionReconnectsAndReportsSafely()
    {
        // A peer that resets is counted closed: the session connects again.
        PortReservation port;
        auto peer = std::make_unique<Peer>(port.port());
        const QString log = m_dir.filePath("client.log");
        auto session = startSession(clientSettings(log, port.port()));
        auto connection = peer->next();
        QVERIFY(connection);
        resetByPeer(*connection);
        QTRY_VERIFY_WITH_TIMEOUT(session->reconnectPending(), 5000);
        connection = peer->next(12000);
        QVERIFY(connection && sendAll(*connection, "after the reset"));
        QTRY_COMPARE_WITH_TIMEOUT(readFile(log), QByteArray("after the reset"), 5000);

        // The peer goes: the refused retry starts the error program, where a shell would `touch`.
        QString record;
        const QString target = m_dir.filePath("injected");
        Module1::OnErrorRunApp =
            QStringLiteral(
                "\"%1\" ; touch %2 $(touch %2) `touch %2` | tee %2 > %2 \"x && touch %2\"")
                .arg(recordingScript(m_dir.path(), &record), target);
        connection.reset();
        peer.reset();
        const QString words = QStringLiteral(
            ";\ntouch\n%1\n$(touch\n%1)\n`touch\n%1`\n|\ntee\n%1\n>\n%1\nx && touch %1\n");
        QTRY_COMPARE_WITH_TIMEOUT(readFile(record), words.arg(target).toUtf8(), 12000);
        QVERIFY(!QFile::exists(target));
    }

    void programLivesThroughMovedFilesAndSignals()
    {
        KestrelProcess kestrel;
        PortReservation port;
        const QString log = kestrel.file("stream.log");
        const QString saved = kestrel.file("default.ksf");
        const QByteArray old = "[Kestrel]\r\nNumSessions=0\r\n";
        // Renamed, then deleted under a stream: the next arrival creates the log again each time.
        constexpr quint64 Bytes = 512 * MiB;
        QVERIFY(writeFile(saved, old) && startServer(kestrel, port.port(), log));
        auto sending = std::async(std::launch::async,
                                  [&] { return sendAll(port.port(), 1, Bytes, Net::now() + 120); });
        const auto grown = [&] { return QFileInfo(log).size() >= qint64(8 * MiB); };
        QFile renamed(log + ".1");
        QVERIFY(QTest::qWaitFor(grown, 20000) && QFile::rename(log, renamed.fileName()));
        QFile deleted(log);
        QVERIFY(QTest::qWaitFor(grown, 20000) && deleted.open(QIODevice::ReadOnly));
        QVERIFY(QFile::remove(log) && renamed.open(QIODevice::ReadOnly));
        QCOMPARE(sending.get().sent, Bytes);
        QTRY_COMPARE_WITH_TIMEOUT(quint64(renamed.size() + deleted.size() + QFileInfo(log).size()),
                                  Bytes, 20000);
        QVERIFY(QFileInfo(log).size() > 0); // the last part, after both went
        QVERIFY(sound(renamed.readAll() + deleted.readAll() + readFile(log), 1, Bytes));

        // SIGTERM under heavy traffic: the program ends by itself and writes the whole file.
        QVERIFY(QFile::remove(log));
        sending = std::async(std::launch::async,
                             [&] { return sendAll(port.port(), 4, 1024 * MiB, Net::now() + 120); });
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(log).size() >= qint64(64 * MiB), 20000);
        QVERIFY(kestrel.stop(SIGTERM, 60000));
        QVERIFY(sending.get().sent < 4 * 1024 * MiB); // still sending when the signal came
        const QByteArray written = readFile(saved);
        QVERIFY(written.contains("AutoActivate=1\r\n") && written.endsWith("PacketSize=2000\r\n"));
        QVERIFY(sound(readFile(log), 4, 1024 * MiB, true));

        // SIGKILL halfway through writing the new content: the old file stays, whole.
        kestrel.setEnvironment("LD_PRELOAD", KILL_ON_WRITE_LIBRARY);
        kestrel.setEnvironment("KESTREL_KILL_ON_WRITE", saved);
        QVERIFY(writeFile(saved, old) && startServer(kestrel, port.port(), log));
        QVERIFY(!kestrel.stop(SIGTERM) && kestrel.process().exitStatus() == QProcess::CrashExit);
        const QByteArray half = readFile(saved + ".killed");
        QVERIFY(!half.isEmpty() && half.size() < written.size() && written.startsWith(half));
        QCOMPARE(readFile(saved), old);
    }

private:
    QTemporaryDir m_dir;
};

QTEST_GUILESS_MAIN(tst_Faults)
#include "tst_faults.moc"
