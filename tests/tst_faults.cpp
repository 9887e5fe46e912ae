#include "KestrelProcess.h"
#include "StreamSender.h"
#include "StreamTag.h"
#include "TestSupport.h"
#include "Verifier.h"
#include "core/app/Module1.h"
#include "core/app/ProgramFolder.h"
#include "core/config/IniProfile.h"
#include "core/engine/ErrorLog.h"
#include "core/engine/Session.h"
#include "core/net/Winsock.h"
#include "core/text/LoadResource.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <arpa/inet.h>
#include <csignal>
#include <memory>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr quint64 KiB = 1024;
constexpr quint64 MiB = 1024 * KiB;

QByteArray serverSessionFile(quint16 port, const QString &log, int sessions = 1)
{
    QByteArray file =
        "[Kestrel]\r\nNumSessions=" + QByteArray::number(sessions) + "\r\nWindowState=0\r\n";
    for (int k = 1; k <= sessions; ++k) {
        // Only the first session listens; the others are there to give a save some work.
        file += QStringLiteral("[Session%1]\r\nLogFile=%2\r\nOutputFile=\r\nLocalIP=127.0.0.1\r\n"
                               "IPAddress=\r\nPortNumber=%3\r\nTCPOption=1\r\nAutoActivate=%4\r\n"
                               "AllowMultiConnect=1\r\nServerSerialOptions=0\r\n"
                               "ServerTCPOptions=0\r\nClientOptions=0\r\n")
                    .arg(k)
                    .arg(log)
                    .arg(k == 1 ? int(port) : int(port) + k)
                    .arg(k == 1 ? 1 : 0)
                    .toUtf8();
    }
    return file + "OnErrorRunApp=\r\nLogErrors=1\r\nPacketSize=2000\r\n";
}

QByteArray stream(quint32 client, quint64 offset, quint64 length)
{
    QByteArray bytes(qsizetype(length), Qt::Uninitialized);
    StreamTag::fill(client, offset, reinterpret_cast<unsigned char *>(bytes.data()),
                    size_t(length));
    return bytes;
}

qint64 sizeOf(const QString &path)
{
    return QFileInfo(path).size();
}

// Waits until the program's server session accepts connections.
bool listening(quint16 port)
{
    QElapsedTimer waited;
    waited.start();
    while (!waited.hasExpired(10000)) {
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, port);
        if (probe.waitForConnected(1000))
            return true;
        QTest::qWait(20);
    }
    return false;
}

// A client that connects with a blocking socket and sends its whole stream at once.
int connectAndSend(quint16 port, quint32 client, quint64 bytes)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    const QByteArray data = stream(client, 0, bytes);
    if (::send(fd, data.constData(), size_t(data.size()), MSG_NOSIGNAL) != data.size()) {
        ::close(fd);
        return -1;
    }
    return fd;
}

void resetByPeer(QTcpSocket &socket)
{
    const linger abortive = {1, 0};
    ::setsockopt(int(socket.socketDescriptor()), SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
    socket.abort();
}

// Puts back the process's file-size limit when a test ends, however it ends.
class FileSizeLimit final {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &m_saved);
        const rlimit limited = {bytes, m_saved.rlim_max};
        ::setrlimit(RLIMIT_FSIZE, &limited);
    }
    ~FileSizeLimit() { lift(); }
    void lift() { ::setrlimit(RLIMIT_FSIZE, &m_saved); }

private:
    rlimit m_saved = {};
};

} // namespace

// What the logger does on its worst days: files pulled away under it, a full disk, no file
// handles left, peers that reset, signals in the middle of work, hostile option texts.
class tst_Faults : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void logFileMovedAwayWhileStreaming_data();
    void logFileMovedAwayWhileStreaming();
    void writeFailureShowsAndLoggingResumes();
    void fileSizeLimitOfTheProgram();
    void outOfFileHandlesKeepsListening();
    void peerResetCountsAsClosed_data();
    void peerResetCountsAsClosed();
    void sigtermDuringHeavyTrafficExitsPromptly();
    void sigkillDuringSaveLeavesOldOrNewFile();
    void errorProgramIsNotGivenToAShell_data();
    void errorProgramIsNotGivenToAShell();

private:
    std::unique_ptr<Session> serverSession(const QString &logFile);
    QString path(const QString &name) const { return m_dir->filePath(name); }

    std::unique_ptr<QTemporaryDir> m_dir;
};

void tst_Faults::initTestCase()
{
    // As the program does: a write beyond the file-size limit fails instead of ending us.
    ::signal(SIGXFSZ, SIG_IGN);
}

void tst_Faults::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    ProgramFolder::setPath(m_dir->path());
    LoadResource::setRunningLanguage(LoadResource::Language::English);
    Module1::LogErrors = 1;
    Module1::OnErrorRunApp.clear();
}

void tst_Faults::cleanup()
{
    ProgramFolder::setPath(QString());
    Module1::LogErrors = 0;
    Module1::OnErrorRunApp.clear();
}

std::unique_ptr<Session> tst_Faults::serverSession(const QString &logFile)
{
    auto session = std::make_unique<Session>();
    SessionSettings settings;
    settings.TCPOption = 1;
    settings.LocalIP = QStringLiteral("127.0.0.1");
    settings.PortNumber = QStringLiteral("0");
    settings.LogFile = logFile;
    session->setSettings(settings);
    session->Command1_Click();
    return session;
}

void tst_Faults::logFileMovedAwayWhileStreaming_data()
{
    QTest::addColumn<bool>("deleted");
    QTest::newRow("renamed") << false;
    QTest::newRow("deleted") << true;
}

void tst_Faults::logFileMovedAwayWhileStreaming()
{
    QFETCH(bool, deleted);
    constexpr quint64 Bytes = 256 * MiB;
    KestrelProcess kestrel;
    const quint16 port = TestSupport::freePort();
    const QString log = kestrel.file(QStringLiteral("stream.log"));
    const QString ksf = kestrel.file(QStringLiteral("stream.ksf"));
    QVERIFY(TestSupport::writeFile(ksf, serverSessionFile(port, log)));
    QVERIFY(kestrel.start({ksf}));
    QVERIFY(listening(port));
    StreamSender sender(port, 0, Bytes);
    QTRY_VERIFY_WITH_TIMEOUT(sizeOf(log) >= qint64(8 * MiB), 20000);

    // The program writes on while the file goes; a deleted file is still read through a handle
    // opened before it went.
    QFile old(log);
    if (deleted) {
        QVERIFY(old.open(QIODevice::ReadOnly));
        QVERIFY(QFile::remove(log));
    } else {
        QVERIFY(QFile::rename(log, log + QStringLiteral(".1")));
        old.setFileName(log + QStringLiteral(".1"));
        QVERIFY(old.open(QIODevice::ReadOnly));
    }
    QTRY_VERIFY_WITH_TIMEOUT(sender.finished(), 60000);
    QVERIFY(!sender.failed());
    QTRY_COMPARE_WITH_TIMEOUT(quint64(old.size() + sizeOf(log)), Bytes, 20000);
    QVERIFY(sizeOf(log) > 0);

    QFile again(log);
    QVERIFY(again.open(QIODevice::ReadOnly));
    quint64 offset = 0;
    for (QFile *part : {&old, &again}) {
        while (!part->atEnd()) {
            const QByteArray chunk = part->read(qint64(4 * MiB));
            QVERIFY2(chunk == stream(0, offset, quint64(chunk.size())),
                     qPrintable(QStringLiteral("bytes differ after %1").arg(offset)));
            offset += quint64(chunk.size());
        }
    }
    QCOMPARE(offset, Bytes);
    QVERIFY(kestrel.stop(SIGTERM));
}

void tst_Faults::writeFailureShowsAndLoggingResumes()
{
    constexpr quint64 Limit = 64 * KiB;
    const QString log = path(QStringLiteral("full.log"));
    auto session = serverSession(log);
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, quint16(session->Winsock1(0)->LocalPort()));
    QTRY_COMPARE_WITH_TIMEOUT(session->NumConnected(), 1, 5000);
    {
        FileSizeLimit full(Limit);
        client.write(stream(0, 0, 2 * Limit));
        QTRY_COMPARE_WITH_TIMEOUT(session->statusText(), QStringLiteral("Status: File too large"),
                                  10000);
        QTRY_VERIFY_WITH_TIMEOUT(client.bytesToWrite() == 0, 5000);
        QVERIFY(session->isActive());
        QCOMPARE(session->NumConnected(), 1);
        QCOMPARE(TestSupport::readFile(log), stream(0, 0, Limit));
        full.lift();
        QVERIFY(TestSupport::readFile(path(QStringLiteral("errorlog.txt")))
                    .startsWith("Kestrel Error: File too large, "));
    }
    // Writing works again: the next arrival is appended, the status no longer shows the error.
    // Bytes of the stream that came after the limit went may have been written too, in order.
    client.write("resumed");
    QTRY_VERIFY_WITH_TIMEOUT(TestSupport::readFile(log).endsWith("resumed"), 5000);
    const QByteArray logged = TestSupport::readFile(log);
    const qsizetype late = logged.size() - qsizetype(Limit) - 7;
    QCOMPARE(logged.left(qsizetype(Limit)), stream(0, 0, Limit));
    QCOMPARE(logged.mid(qsizetype(Limit), late),
             stream(0, 2 * Limit - quint64(late), quint64(late)));
    QCOMPARE(session->statusText(), QStringLiteral("Status:"));
}

void tst_Faults::fileSizeLimitOfTheProgram()
{
    constexpr quint64 Limit = 256 * KiB;
    KestrelProcess kestrel;
    kestrel.setResourceLimit(RLIMIT_FSIZE, Limit, RLIM_INFINITY);
    const quint16 port = TestSupport::freePort();
    const QString log = kestrel.file(QStringLiteral("limited.log"));
    const QString ksf = kestrel.file(QStringLiteral("limited.ksf"));
    QVERIFY(TestSupport::writeFile(ksf, serverSessionFile(port, log)));
    QVERIFY(kestrel.start({ksf}));
    QVERIFY(listening(port));

    StreamSender first(port, 0, 4 * Limit);
    QTRY_VERIFY_WITH_TIMEOUT(TestSupport::readFile(kestrel.file(QStringLiteral("errorlog.txt")))
                                 .contains("Kestrel Error: File too large, "),
                             20000);
    QTRY_VERIFY_WITH_TIMEOUT(first.finished(), 20000);
    QCOMPARE(kestrel.process().state(), QProcess::Running);
    QCOMPARE(TestSupport::readFile(log), stream(0, 0, Limit));

    const rlimit unlimited = {RLIM_INFINITY, RLIM_INFINITY};
    QCOMPARE(::prlimit(pid_t(kestrel.pid()), RLIMIT_FSIZE, &unlimited, nullptr), 0);
    StreamSender second(port, 1, 64 * KiB);
    QTRY_COMPARE_WITH_TIMEOUT(sizeOf(log), qint64(Limit + 64 * KiB), 20000);
    QCOMPARE(TestSupport::readFile(log).mid(qsizetype(Limit)), stream(1, 0, 64 * KiB));
    QVERIFY(kestrel.stop(SIGTERM));
}

void tst_Faults::outOfFileHandlesKeepsListening()
{
    constexpr int Clients = 300;
    constexpr quint64 Bytes = KiB;
    KestrelProcess kestrel;
    kestrel.setResourceLimit(RLIMIT_NOFILE, 128, 128);
    const quint16 port = TestSupport::freePort();
    const QString log = kestrel.file(QStringLiteral("handles.log"));
    const QString ksf = kestrel.file(QStringLiteral("handles.ksf"));
    QVERIFY(TestSupport::writeFile(ksf, serverSessionFile(port, log)));
    QVERIFY(kestrel.start({ksf}));
    QVERIFY(listening(port));

    // The kernel completes every handshake (the backlog holds them); the program can take
    // only as many as it has handles for.
    std::vector<int> clients;
    for (quint32 c = 0; c < Clients; ++c) {
        clients.push_back(connectAndSend(port, c, Bytes));
        QVERIFY(clients.back() >= 0);
    }
    const QString errorLog = kestrel.file(QStringLiteral("errorlog.txt"));
    QTRY_VERIFY_WITH_TIMEOUT(
        TestSupport::readFile(errorLog).contains("Kestrel Error: Too many open files, "), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(sizeOf(log) >= qint64(50 * Bytes), 10000);
    QVERIFY(sizeOf(log) < qint64(Clients * Bytes));
    QCOMPARE(kestrel.process().state(), QProcess::Running);

    // The clients leave; the waiting ones are taken as handles come free.
    for (const int fd : clients)
        ::close(fd);
    QTRY_COMPARE_WITH_TIMEOUT(sizeOf(log), qint64(Clients * Bytes), 30000);
    // Still listening for the next one.
    const int late = connectAndSend(port, Clients, Bytes);
    QVERIFY(late >= 0);
    QTRY_COMPARE_WITH_TIMEOUT(sizeOf(log), qint64((Clients + 1) * Bytes), 10000);
    ::close(late);

    const QByteArray logged = TestSupport::readFile(log);
    Verifier verifier(reinterpret_cast<const unsigned char *>(logged.constData()),
                      size_t(logged.size()), Clients + 1, Bytes);
    QVERIFY2(verifier.run(), verifier.report().c_str());
    QVERIFY(kestrel.stop(SIGTERM));
}

void tst_Faults::peerResetCountsAsClosed_data()
{
    QTest::addColumn<bool>("server");
    QTest::newRow("server counts the client gone") << true;
    QTest::newRow("client session reconnects") << false;
}

void tst_Faults::peerResetCountsAsClosed()
{
    QFETCH(bool, server);
    const QString log = path(QStringLiteral("reset.log"));
    if (server) {
        auto session = serverSession(log);
        const quint16 port = quint16(session->Winsock1(0)->LocalPort());
        QTcpSocket client;
        client.connectToHost(QHostAddress::LocalHost, port);
        QTRY_COMPARE_WITH_TIMEOUT(session->NumConnected(), 1, 5000);
        resetByPeer(client);
        QTRY_COMPARE_WITH_TIMEOUT(session->NumConnected(), 0, 5000);
        QCOMPARE(session->statusText(), QStringLiteral("Status: Listening..."));
        QCOMPARE(session->Winsock1(1)->State(), int(Winsock::sckClosed));
        QTcpSocket next;
        next.connectToHost(QHostAddress::LocalHost, port);
        QTRY_COMPARE_WITH_TIMEOUT(session->NumConnected(), 1, 5000);
        QCOMPARE(session->Winsock1(1)->State(), int(Winsock::sckConnected));
        return;
    }
    QTcpServer peer;
    QVERIFY(peer.listen(QHostAddress::LocalHost, 0));
    Session session;
    SessionSettings settings;
    settings.IPAddress = QStringLiteral("127.0.0.1");
    settings.PortNumber = QString::number(peer.serverPort());
    settings.LogFile = log;
    session.setSettings(settings);
    session.Command1_Click();
    QTRY_VERIFY_WITH_TIMEOUT(peer.hasPendingConnections(), 5000);
    std::unique_ptr<QTcpSocket> first(peer.nextPendingConnection());
    QTRY_COMPARE_WITH_TIMEOUT(session.statusText(), QStringLiteral("Status: Connected"), 5000);
    resetByPeer(*first);
    QTRY_VERIFY_WITH_TIMEOUT(session.reconnectPending(), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(peer.hasPendingConnections(), 12000);
    QTRY_COMPARE_WITH_TIMEOUT(session.statusText(), QStringLiteral("Status: Connected"), 5000);
    std::unique_ptr<QTcpSocket> second(peer.nextPendingConnection());
    second->write("after the reset");
    QTRY_COMPARE_WITH_TIMEOUT(TestSupport::readFile(log), QByteArray("after the reset"), 5000);
}

void tst_Faults::sigtermDuringHeavyTrafficExitsPromptly()
{
    constexpr quint32 Senders = 4;
    constexpr quint64 Bytes = 1024 * MiB; // more than they get to send
    KestrelProcess kestrel;
    const quint16 port = TestSupport::freePort();
    const QString log = kestrel.file(QStringLiteral("heavy.log"));
    const QString ksf = kestrel.file(QStringLiteral("heavy.ksf"));
    QVERIFY(TestSupport::writeFile(ksf, serverSessionFile(port, log)));
    QVERIFY(kestrel.start({ksf}));
    QVERIFY(listening(port));
    std::vector<std::unique_ptr<StreamSender>> senders;
    for (quint32 c = 0; c < Senders; ++c)
        senders.push_back(std::make_unique<StreamSender>(port, c, Bytes));
    QTRY_VERIFY_WITH_TIMEOUT(sizeOf(log) >= qint64(64 * MiB), 20000);

    QElapsedTimer shutdown;
    shutdown.start();
    QVERIFY(kestrel.stop(SIGTERM, 5000));
    QVERIFY(shutdown.elapsed() < 5000);
    for (auto &sender : senders)
        sender->stop();

    IniProfile saved(kestrel.file(QStringLiteral("default.ksf")));
    QCOMPARE(saved.readInt("Kestrel", "NumSessions", -1), 1);
    QCOMPARE(saved.readString("Session1", "PortNumber", "?"), QString::number(port));
    QCOMPARE(saved.readString("Session1", "LogFile", "?"), log);
    QCOMPARE(saved.readInt("Session1", "AutoActivate", -1), 1);
    QCOMPARE(saved.readInt("Session1", "PacketSize", -1), 2000);
    // What was logged is sound: every client's bytes in order, only the ends missing.
    const QByteArray logged = TestSupport::readFile(log);
    Verifier verifier(reinterpret_cast<const unsigned char *>(logged.constData()),
                      size_t(logged.size()), Senders, Bytes);
    verifier.run();
    QVERIFY2(verifier.consistent(), verifier.report().c_str());
}

void tst_Faults::sigkillDuringSaveLeavesOldOrNewFile()
{
    constexpr int Attempts = 20;
    KestrelProcess kestrel;
    const quint16 port = TestSupport::freePort();
    const QString ksf = kestrel.file(QStringLiteral("many.ksf"));
    const QString saved = kestrel.file(QStringLiteral("default.ksf"));
    const QByteArray old = serverSessionFile(1, QStringLiteral("old.log"));
    QVERIFY(TestSupport::writeFile(
        ksf, serverSessionFile(port, kestrel.file(QStringLiteral("m.log")), 40)));
    QVERIFY(TestSupport::writeFile(saved, old));
    QVERIFY(kestrel.start({ksf}));
    QVERIFY(kestrel.stop(SIGTERM));
    const QByteArray written = TestSupport::readFile(saved);
    QVERIFY(written != old);

    // Killed in the middle of writing the new file: the old one stays, whole.
    KestrelProcess dying;
    QVERIFY(TestSupport::writeFile(dying.file(QStringLiteral("default.ksf")), old));
    dying.setEnvironment(QStringLiteral("LD_PRELOAD"), QStringLiteral(KILL_ON_WRITE_LIBRARY));
    dying.setEnvironment(QStringLiteral("KESTREL_KILL_ON_WRITE"), dying.folder());
    QVERIFY(dying.start({ksf}));
    QVERIFY(listening(port));
    QVERIFY(!dying.stop(SIGTERM));
    QCOMPARE(dying.process().exitStatus(), QProcess::CrashExit);
    QCOMPARE(TestSupport::readFile(dying.file(QStringLiteral("default.ksf"))), old);

    // Killed at any moment of the shutdown: the file is the old one or the new one.
    for (int attempt = 0; attempt < Attempts; ++attempt) {
        QVERIFY(TestSupport::writeFile(saved, old));
        QVERIFY(kestrel.start({ksf}));
        QVERIFY(listening(port));
        ::kill(pid_t(kestrel.pid()), SIGTERM);
        QElapsedTimer shutdown;
        shutdown.start();
        while (!shutdown.hasExpired(attempt))
            ;
        ::kill(pid_t(kestrel.pid()), SIGKILL);
        QVERIFY(kestrel.process().waitForFinished(5000));
        const QByteArray content = TestSupport::readFile(saved);
        QVERIFY2(content == old || content == written,
                 qPrintable(QStringLiteral("attempt %1: a broken default.ksf").arg(attempt)));
    }
}

void tst_Faults::errorProgramIsNotGivenToAShell_data()
{
    QTest::addColumn<QString>("arguments");
    QTest::newRow("command separator") << "; touch %1";
    QTest::newRow("command substitution") << "$(touch %1)";
    QTest::newRow("backquotes") << "`touch %1`";
    QTest::newRow("pipe and redirection") << "| tee %1 > %1";
    QTest::newRow("and-list in quotes") << "\"x && touch %1\"";
}

void tst_Faults::errorProgramIsNotGivenToAShell()
{
    QFETCH(QString, arguments);
    const QString target = path(QStringLiteral("injected"));
    const QString marker = path(QStringLiteral("arguments.txt"));
    const QString script = path(QStringLiteral("record arguments.sh"));
    QVERIFY(TestSupport::writeFile(
        script, "#!/bin/sh\nout=\"$1\"\nshift\nfor a in \"$@\"; do printf '%s\\n' \"$a\" >> "
                "\"$out\"; done\n"));
    QFile(script).setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QString tail = arguments.arg(target);
    Module1::OnErrorRunApp = QStringLiteral("\"%1\" \"%2\" %3").arg(script, marker, tail);

    Session session;
    SessionSettings settings;
    settings.IPAddress = QStringLiteral("127.0.0.1");
    settings.PortNumber = QString::number(TestSupport::freePort());
    session.setSettings(settings);
    session.Command1_Click();
    QTRY_VERIFY_WITH_TIMEOUT(session.reconnectPending(), 5000);
    session.Command1_Click();

    QByteArray expected;
    for (const QString &word : QProcess::splitCommand(tail))
        expected += word.toUtf8() + '\n';
    QTRY_COMPARE_WITH_TIMEOUT(TestSupport::readFile(marker), expected, 5000);
    QVERIFY(!QFile::exists(target));
}

QTEST_GUILESS_MAIN(tst_Faults)
#include "tst_faults.moc"
