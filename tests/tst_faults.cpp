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
#include "core/net/Winsock.h"

#include <QtTest>

#include <csignal>
#include <future>
#include <sys/resource.h>
#include <sys/socket.h>

using namespace TestSupport;

namespace {

constexpr quint64 MiB = 1024 * 1024;

QByteArray stream(quint32 client, quint64 offset, quint64 length)
{
    QByteArray bytes(qsizetype(length), Qt::Uninitialized);
    StreamTag::fill(client, offset, reinterpret_cast<unsigned char *>(bytes.data()), length);
    return bytes;
}

// Whether a log holds every client's stream whole and in order (or, `partial`, short at the end).
bool sound(const QByteArray &log, quint32 clients, quint64 bytes, bool partial = false)
{
    Verifier verifier(reinterpret_cast<const unsigned char *>(log.constData()), size_t(log.size()),
                      clients, bytes);
    if (verifier.run() || (partial && verifier.consistent()))
        return true;
    qWarning("%s", verifier.report().c_str());
    return false;
}

// Starts the program with one active server session of 127.0.0.1:port; waits until it listens.
bool startServer(KestrelProcess &kestrel, quint16 port, const QString &log)
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

void resetByPeer(QTcpSocket &socket)
{
    const linger abortive = {1, 0};
    ::setsockopt(int(socket.socketDescriptor()), SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
    socket.abort();
}

} // namespace

// The logger on its worst days: files pulled away, a full disk, no handles, resets, signals.
class tst_Faults : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // As in the program: no SIGXFSZ (a write past the limit fails), open-file limit raised.
        ProcessSetup::prepare();
        ProgramFolder::setPath(m_dir.path());
        Module1::LogErrors = 1;
    }
    void serverSessionLivesThroughFaults();
    void outOfFileHandlesKeepsListening();
    void clientSessionReconnectsAndReportsSafely();
    void programLivesThroughMovedFilesAndSignals();

private:
    QTemporaryDir m_dir;
};

void tst_Faults::serverSessionLivesThroughFaults()
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
        QVERIFY(session->isActive() && session->NumConnected() == 1);
        QCOMPARE(readFile(log), stream(0, 0, Limit));
        QVERIFY(readFile(m_dir.filePath("errorlog.txt")).contains("File too large"));
    }
    // Writing works again: the next arrival is appended and the error no longer shows. Bytes of
    // the stream that arrived after the limit went may have been written too, in order.
    client->write("resumed");
    QTRY_VERIFY_WITH_TIMEOUT(readFile(log).endsWith("resumed"), 5000);
    const quint64 late = quint64(readFile(log).size()) - Limit - 7;
    QCOMPARE(readFile(log), stream(0, 0, Limit) + stream(0, 2 * Limit - late, late) + "resumed");
    QVERIFY(!session->statusText().contains("File too large"));

    // A client that resets is counted gone, and the next one is taken.
    resetByPeer(*client);
    QTRY_COMPARE_WITH_TIMEOUT(session->NumConnected(), 0, 5000);
    client = connectTo(listeningPort(*session));
    QVERIFY(sendAll(*client, "next client"));
    QTRY_VERIFY_WITH_TIMEOUT(readFile(log).endsWith("resumednext client"), 5000);
}

void tst_Faults::outOfFileHandlesKeepsListening()
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

    // The system completes every handshake (the backlog holds them); the program can take
    // only as many as it has handles for.
    std::vector<std::unique_ptr<QTcpSocket>> clients;
    for (quint32 i = 0; i < Clients; ++i) {
        const auto &client = clients.emplace_back(connectTo(port.port()));
        QVERIFY(client->waitForConnected(5000) && sendAll(*client, stream(i, 0, Bytes)));
    }
    const auto reports = [&] { return readFile(kestrel.file("errorlog.txt")).count("Too many"); };
    QTRY_COMPARE_WITH_TIMEOUT(reports(), qsizetype(1), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(log).size() >= qint64(50 * Bytes), 10000);
    // It tries again every half second while it is full, without reporting again.
    QVERIFY(!QTest::qWaitFor([&] { return reports() > 1; }, 2000));
    QVERIFY(QFileInfo(log).size() < qint64(Clients * Bytes));

    // The clients leave; the waiting ones are taken as handles come free, and a late one too.
    clients.clear();
    QTRY_COMPARE_WITH_TIMEOUT(QFileInfo(log).size(), qint64(Clients * Bytes), 30000);
    QVERIFY(sendAll(*connectTo(port.port()), stream(Clients, 0, Bytes)));
    QTRY_COMPARE_WITH_TIMEOUT(QFileInfo(log).size(), qint64((Clients + 1) * Bytes), 10000);
    QVERIFY(sound(readFile(log), Clients + 1, Bytes));
}

void tst_Faults::clientSessionReconnectsAndReportsSafely()
{
    // A peer that resets is counted closed: the session connects again.
    PortReservation port;
    auto peer = std::make_unique<Peer>(port.port());
    const QString log = m_dir.filePath("client.log");
    auto session = startSession(clientSettings(log, port.port()));
    auto connection = peer->next();
    QVERIFY(connection);
    QTRY_COMPARE_WITH_TIMEOUT(session->Winsock1(0)->State(), int(Winsock::sckConnected), 5000);
    resetByPeer(*connection);
    QTRY_VERIFY_WITH_TIMEOUT(session->reconnectPending(), 5000);
    connection = peer->next(12000);
    QVERIFY(connection && sendAll(*connection, "after the reset"));
    QTRY_COMPARE_WITH_TIMEOUT(readFile(log), QByteArray("after the reset"), 5000);

    // The peer goes; the next attempt is refused (the port is held, nothing listens), an error
    // that starts the error program. A shell would run `touch` for each of these words.
    QString record;
    const QString target = m_dir.filePath("injected");
    Module1::OnErrorRunApp =
        QStringLiteral("\"%1\" ; touch %2 $(touch %2) `touch %2` | tee %2 > %2 \"x && touch %2\"")
            .arg(recordingScript(m_dir.path(), &record), target);
    connection.reset();
    peer.reset();
    const QString words = QStringLiteral(
        ";\ntouch\n%1\n$(touch\n%1)\n`touch\n%1`\n|\ntee\n%1\n>\n%1\nx && touch %1\n");
    QTRY_COMPARE_WITH_TIMEOUT(readFile(record), words.arg(target).toUtf8(), 12000);
    QVERIFY(!QFile::exists(target));
}

void tst_Faults::programLivesThroughMovedFilesAndSignals()
{
    KestrelProcess kestrel;
    PortReservation port;
    const QString log = kestrel.file("stream.log");
    const QString saved = kestrel.file("default.ksf");
    const QByteArray old = "[Kestrel]\r\nNumSessions=0\r\n";
    // The log file is renamed, then deleted while a client streams: each time the next arrival
    // creates it again. A deleted file is still read through a handle opened before it went.
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

QTEST_GUILESS_MAIN(tst_Faults)
#include "tst_faults.moc"
