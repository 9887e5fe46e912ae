#include "TestSupport.h"
#include "config/ConfigFile.h"
#include "session/Session.h"
#include "session/Winsock.h"
#include "support/LoadResource.h"

#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include <csignal>
#include <unistd.h>

using LoadResource::Language;

namespace {

// The real kestrel-headless, started from a copy in a temporary program folder, with no display
// and no platform plugin named in its environment.
struct Headless {
    Headless()
    {
        QFile::copy(QStringLiteral(KESTREL_HEADLESS_EXE), file(QStringLiteral("kestrel-headless")));
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const QString &name : environment.keys()) {
            if (name.startsWith(QStringLiteral("LC_")))
                environment.remove(name);
        }
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "LANGUAGE"})
            environment.remove(QString::fromLatin1(name));
        environment.insert(QStringLiteral("LANG"), QStringLiteral("C.UTF-8"));
        process.setProcessEnvironment(environment);
    }
    ~Headless()
    {
        process.kill();
        process.waitForFinished(5000);
    }
    QString file(const QString &name) const { return dir.filePath(name); }
    void setLanguage(const QString &lang)
    {
        QProcessEnvironment environment = process.processEnvironment();
        environment.insert(QStringLiteral("LANG"), lang);
        process.setProcessEnvironment(environment);
    }
    void start(const QStringList &arguments)
    {
        process.setWorkingDirectory(QDir::tempPath());
        process.start(file(QStringLiteral("kestrel-headless")), arguments);
    }
    // Lines written to standard error so far, each without its timestamp, which must be there.
    QStringList lines()
    {
        errors += process.readAllStandardError();
        QStringList texts;
        static const QRegularExpression stamped(
            QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d (.*)$"));
        for (const QString &line : QString::fromUtf8(errors).split('\n', Qt::SkipEmptyParts)) {
            const QRegularExpressionMatch match = stamped.match(line);
            texts << (match.hasMatch() ? match.captured(1) : QStringLiteral("UNSTAMPED ") + line);
        }
        return texts;
    }
    bool saw(const QString &text) { return lines().contains(text); }
    // Sends `signalNumber` and returns the exit status, -1 when it did not end normally.
    int stop(int signalNumber)
    {
        ::kill(pid_t(process.processId()), signalNumber);
        if (!process.waitForFinished(10000) || process.exitStatus() != QProcess::NormalExit)
            return -1;
        return process.exitCode();
    }

    QTemporaryDir dir;
    QProcess process;
    QByteArray errors;
};

SessionSettings server(quint16 port, const QString &log)
{
    SessionSettings s;
    s.LogFile = log;
    s.LocalIP = QStringLiteral("127.0.0.1");
    s.PortNumber = QString::number(port);
    s.TCPOption = 1;
    s.AutoActivate = 1;
    return s;
}

SessionSettings client(quint16 port, const QString &log)
{
    SessionSettings s;
    s.LogFile = log;
    s.IPAddress = QStringLiteral("127.0.0.1");
    s.PortNumber = QString::number(port);
    s.AutoActivate = 1;
    return s;
}

bool writeConfig(const QString &path, const QVector<SessionSettings> &sessions, int logErrors = 0)
{
    Configuration config;
    config.Sessions = sessions;
    config.Globals.LogErrors = logErrors;
    return ConfigFile::write(path, config);
}

std::unique_ptr<QTcpSocket> peerOf(quint16 port)
{
    auto socket = std::make_unique<QTcpSocket>();
    socket->connectToHost(QHostAddress::LocalHost, port);
    socket->waitForConnected(5000);
    return socket;
}

void send(QTcpSocket &socket, const QByteArray &bytes)
{
    socket.write(bytes);
    socket.flush();
}

// The status texts of one session, in the order in which they were written.
QStringList statusesOf(const QStringList &lines, int k)
{
    QStringList statuses;
    const QString prefix = QStringLiteral("Session %1 ").arg(k);
    for (const QString &line : lines) {
        if (line.startsWith(prefix) && !line.contains(QStringLiteral(" could not ")))
            statuses << line.mid(prefix.size());
    }
    return statuses;
}

QString lastStatusOf(const QStringList &lines, int k)
{
    const QStringList statuses = statusesOf(lines, k);
    return statuses.isEmpty() ? QString() : statuses.last();
}

} // namespace

// kestrel-headless as a service manager runs it: real processes, real peers on 127.0.0.1, real
// files, signals.
class tst_Headless : public QObject {
    Q_OBJECT

private slots:
    void badInputIsOneLineAndAnExitStatus_data();
    void badInputIsOneLineAndAnExitStatus();
    void sessionsLogAndReportLikeTheEngine_data();
    void sessionsLogAndReportLikeTheEngine();
    void hangUpRestartsOnlyChangedSessions_data();
    void hangUpRestartsOnlyChangedSessions();
    void aSessionThatCannotStartLeavesTheOthersRunning();
    void linksNoGuiLibrary();
};

void tst_Headless::badInputIsOneLineAndAnExitStatus_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitStatus");
    QTest::addColumn<QString>("message"); // %1 is the file's absolute path

    const QString usage = QStringLiteral("; usage: kestrel-headless [--all] FILE.ksf");
    QTest::newRow("no argument") << "" << QStringList{} << 2
                                 << "kestrel-headless: no configuration file given" + usage;
    QTest::newRow("unknown option") << "sessions" << QStringList{"--verbose", "%1"} << 2
                                    << "kestrel-headless: unknown option --verbose" + usage;
    QTest::newRow("two files") << "sessions" << QStringList{"%1", "%1"} << 2
                               << "kestrel-headless: one configuration file expected, 2 given" +
                                      usage;
    QTest::newRow("missing file") << "" << QStringList{"%1"} << 1
                                  << "kestrel-headless: cannot read %1: No such file or directory";
    QTest::newRow("folder") << "folder" << QStringList{"%1"} << 1
                            << "kestrel-headless: cannot read %1: it is a folder";
    QTest::newRow("unreadable") << "unreadable" << QStringList{"%1"} << 1
                                << "kestrel-headless: cannot read %1: Permission denied";
    QTest::newRow("empty file") << "empty" << QStringList{"%1"} << 1
                                << "kestrel-headless: %1 holds no session";
    QTest::newRow("no session stored active")
        << "inactive" << QStringList{"%1"} << 1
        << "kestrel-headless: no session of %1 is stored as active (AutoActivate=1); --all "
           "activates every session";
    QTest::newRow("only session's port in use") << "port in use" << QStringList{"%1"} << 1
                                                << "kestrel-headless: no session of %1 could be "
                                                   "activated";
    QTest::newRow("client without host, --all") << "no host" << QStringList{"--all", "%1"} << 1
                                                << "kestrel-headless: no session of %1 could be "
                                                   "activated";
}

void tst_Headless::badInputIsOneLineAndAnExitStatus()
{
    QFETCH(QString, setup);
    QFETCH(QStringList, arguments);
    QFETCH(int, exitStatus);
    QFETCH(QString, message);
    Headless headless;
    const QString path = headless.file(QStringLiteral("set.ksf"));
    QTcpServer blocker;
    QVERIFY(blocker.listen(QHostAddress::LocalHost));
    SessionSettings stored = server(TestSupport::freePort(), headless.file("s.log"));
    if (setup == "sessions" || setup == "port in use" || setup == "inactive") {
        stored.PortNumber = QString::number(setup == "port in use" ? blocker.serverPort() : 0);
        stored.AutoActivate = setup == "inactive" ? 0 : 1;
        QVERIFY(writeConfig(path, {stored}));
    } else if (setup == "no host") {
        stored = client(1000, headless.file("c.log"));
        stored.IPAddress.clear();
        stored.AutoActivate = 0;
        QVERIFY(writeConfig(path, {stored}));
    } else if (setup == "folder") {
        QVERIFY(QDir().mkpath(path));
    } else if (setup == "empty" || setup == "unreadable") {
        QVERIFY(TestSupport::writeFile(path, setup == "empty" ? "" : "[Kestrel]\nNumSessions=1\n"));
    }
    if (setup == "unreadable") {
        QVERIFY(QFile::setPermissions(path, {}));
        // Root reads every file: run as "nobody", who may enter the folder but not read the file.
        if (::geteuid() == 0) {
            QVERIFY(QFile::setPermissions(headless.dir.path(), QFileDevice::Permissions(0x7755)));
            headless.process.setChildProcessModifier([] {
                if (::setgid(65534) != 0 || ::setuid(65534) != 0)
                    ::_exit(126);
            });
        }
    }
    for (QString &argument : arguments)
        argument.replace(QStringLiteral("%1"), path);

    headless.start(arguments);
    QVERIFY(headless.process.waitForFinished(10000));
    QCOMPARE(headless.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(headless.process.exitCode(), exitStatus);
    const QStringList errors =
        QString::fromUtf8(headless.process.readAllStandardError()).split('\n', Qt::SkipEmptyParts);
    QVERIFY(!errors.isEmpty());
    QCOMPARE(errors.last(), message.replace(QStringLiteral("%1"), path));
    if (setup == "port in use") {
        QCOMPARE(errors.size(), 3);
        QVERIFY(errors[0].contains(QRegularExpression(" Session 1 Status: Error  \\S")));
        QVERIFY(errors[1].contains(" Session 1 could not be activated: Status: Error  "));
    } else if (setup == "no host") {
        QVERIFY(errors[0].endsWith(" Session 1 Status: Error - Invalid IP Address"));
    } else {
        QCOMPARE(errors.size(), 1);
    }
}

void tst_Headless::sessionsLogAndReportLikeTheEngine_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::addColumn<int>("language");
    QTest::addColumn<qint16>("serverTCPOptions");
    QTest::addColumn<qint16>("clientOptions");
    QTest::newRow("SIGTERM, English, every byte logged")
        << int(SIGTERM) << int(Language::English) << qint16(0) << qint16(0);
    QTest::newRow("SIGINT, Japanese, first client only, client not logging")
        << int(SIGINT) << int(Language::Japanese) << qint16(2) << qint16(1);
}

void tst_Headless::sessionsLogAndReportLikeTheEngine()
{
    QFETCH(int, signalNumber);
    QFETCH(int, language);
    QFETCH(qint16, serverTCPOptions);
    QFETCH(qint16, clientOptions);
    const bool japanese = Language(language) == Language::Japanese;
    LoadResource::setRunningLanguage(Language(language));
    Headless headless;
    headless.setLanguage(japanese ? "ja_JP.UTF-8" : "en_US.UTF-8");
    QTemporaryDir reference;

    // Both programs get the same sessions: a server on a port of its own, a client of a peer.
    QTcpServer peer[2];
    for (QTcpServer &listener : peer)
        QVERIFY(listener.listen(QHostAddress::LocalHost));
    const quint16 port = TestSupport::freePort();
    QVector<SessionSettings> settings[2];
    for (int side = 0; side < 2; ++side) {
        const QString folder = side == 0 ? headless.dir.path() : reference.path();
        settings[side] = {server(side == 0 ? port : 0, folder + "/server.log"),
                          client(peer[side].serverPort(), folder + "/client.log")};
        settings[side][0].ServerTCPOptions = serverTCPOptions;
        settings[side][1].ClientOptions = clientOptions;
    }
    const QString ksf = headless.file(QStringLiteral("set.ksf"));
    QVERIFY(writeConfig(ksf, settings[0]));
    const QByteArray stored = TestSupport::readFile(ksf);
    headless.start({ksf});
    QTRY_VERIFY_WITH_TIMEOUT(
        headless.saw(QStringLiteral("Running %1: 2 sessions, 2 active").arg(ksf)), 10000);

    std::unique_ptr<Session> engine[2];
    std::unique_ptr<QSignalSpy> engineStatus[2];
    for (int k = 0; k < 2; ++k) {
        engine[k] = std::make_unique<Session>();
        engineStatus[k] = std::make_unique<QSignalSpy>(engine[k].get(), &Session::statusChanged);
        engine[k]->setSettings(settings[1][k]);
        engine[k]->Command1_Click();
    }
    const quint16 ports[2] = {port, quint16(engine[0]->Winsock1(0)->LocalPort())};

    // Two clients of each server, then the peers accept the client sessions.
    std::unique_ptr<QTcpSocket> clients[2][2];
    std::unique_ptr<QTcpSocket> accepted[2];
    for (int n = 0; n < 2; ++n) {
        for (int side = 0; side < 2; ++side)
            clients[side][n] = peerOf(ports[side]);
        QTRY_COMPARE_WITH_TIMEOUT(engine[0]->NumConnected(), n + 1, 5000);
        QTRY_COMPARE_WITH_TIMEOUT(lastStatusOf(headless.lines(), 1), Session::statusCount(n + 1),
                                  5000);
    }
    for (int side = 0; side < 2; ++side) {
        QTRY_VERIFY_WITH_TIMEOUT(peer[side].hasPendingConnections(), 5000);
        accepted[side].reset(peer[side].nextPendingConnection());
    }
    QTRY_COMPARE_WITH_TIMEOUT(lastStatusOf(headless.lines(), 2), Session::statusWith(2169), 5000);

    // Every byte value, and a block large enough to come in several arrivals.
    QByteArray first;
    for (int i = 0; i < 256; ++i)
        first.append(char(i));
    const QByteArray second = QByteArray("second client\r\n").repeated(5000);
    const QByteArray third = QByteArray("\x00 first client again \xff", 22);
    const QByteArray inbound = QByteArray("from the client's peer\0\n", 24).repeated(3000);
    QByteArray expectedServer;
    const std::pair<int, QByteArray> chunks[] = {{0, first}, {1, second}, {0, third}};
    for (const auto &[n, bytes] : chunks) {
        for (int side = 0; side < 2; ++side)
            send(*clients[side][n], bytes);
        if (serverTCPOptions == 0 || n == 0) {
            expectedServer += bytes;
            for (int side = 0; side < 2; ++side)
                QTRY_COMPARE_WITH_TIMEOUT(TestSupport::readFile(settings[side][0].LogFile),
                                          expectedServer, 10000);
        }
    }
    for (int side = 0; side < 2; ++side)
        send(*accepted[side], inbound);
    QTRY_COMPARE_WITH_TIMEOUT(lastStatusOf(headless.lines(), 2), LoadResource::LoadResString(2161),
                              10000);
    const QByteArray expectedClient = clientOptions == 1 ? QByteArray() : inbound;
    for (int side = 0; side < 2; ++side)
        QTRY_COMPARE_WITH_TIMEOUT(TestSupport::readFile(settings[side][1].LogFile), expectedClient,
                                  10000);
    QCOMPARE(QFile::exists(settings[0][1].LogFile), clientOptions != 1);

    // The same status texts in the same order as the engine's, in the running language.
    for (int k = 0; k < 2; ++k) {
        QStringList engineTexts;
        for (const QList<QVariant> &emitted : qAsConst(*engineStatus[k]))
            engineTexts << emitted.at(0).toString();
        QCOMPARE(statusesOf(headless.lines(), k + 1), engineTexts);
    }
    QCOMPARE(statusesOf(headless.lines(), 1).first(), japanese
                                                          ? QStringLiteral("ステータス: 受信中...")
                                                          : QStringLiteral("Status: Listening..."));

    QCOMPARE(headless.stop(signalNumber), 0);
    for (int k = 1; k <= 2; ++k)
        QCOMPARE(lastStatusOf(headless.lines(), k), Session::statusWith(2162));
    for (const auto &connection : {clients[0][0].get(), clients[0][1].get(), accepted[0].get()})
        QTRY_COMPARE_WITH_TIMEOUT(connection->state(), QAbstractSocket::UnconnectedState, 5000);
    QCOMPARE(TestSupport::readFile(ksf), stored);
    QVERIFY(!QFile::exists(headless.file(QStringLiteral("default.ksf"))));
    LoadResource::setRunningLanguage(Language::English);
}

void tst_Headless::hangUpRestartsOnlyChangedSessions_data()
{
    QTest::addColumn<int>("changed"); // the session that changes or goes
    QTest::addColumn<bool>("removed");
    QTest::addColumn<QString>("summary");
    QTest::newRow("server changed") << 1 << false << "1 unchanged, 1 changed, 0 added, 0 removed";
    QTest::newRow("client changed") << 2 << false << "1 unchanged, 1 changed, 0 added, 0 removed";
    QTest::newRow("client removed") << 2 << true << "1 unchanged, 0 changed, 0 added, 1 removed";
}

void tst_Headless::hangUpRestartsOnlyChangedSessions()
{
    QFETCH(int, changed);
    QFETCH(bool, removed);
    QFETCH(QString, summary);
    Headless headless;
    QTcpServer peer;
    QVERIFY(peer.listen(QHostAddress::LocalHost));
    const quint16 port = TestSupport::freePort();
    QVector<SessionSettings> sessions = {server(port, headless.file("server.log")),
                                         client(peer.serverPort(), headless.file("client.log"))};
    const QString ksf = headless.file(QStringLiteral("set.ksf"));
    QVERIFY(writeConfig(ksf, sessions));
    headless.start({ksf});
    QTRY_VERIFY_WITH_TIMEOUT(headless.saw(QStringLiteral("Session 1 Status: Listening...")), 10000);

    // One live connection per session: a client of the server, the peer's side of the client.
    std::unique_ptr<QTcpSocket> connection[2];
    connection[0] = peerOf(port);
    QTRY_VERIFY_WITH_TIMEOUT(peer.hasPendingConnections(), 5000);
    connection[1].reset(peer.nextPendingConnection());
    QTRY_VERIFY_WITH_TIMEOUT(headless.saw(QStringLiteral("Session 1 Status: (1)Connected")), 5000);
    for (int k = 0; k < 2; ++k) {
        send(*connection[k], "before ");
        QTRY_COMPARE_WITH_TIMEOUT(TestSupport::readFile(sessions[k].LogFile), QByteArray("before "),
                                  5000);
    }

    QVector<SessionSettings> edited = sessions;
    if (removed)
        edited.removeLast();
    else
        edited[changed - 1].LogFile = headless.file(QStringLiteral("changed.log"));
    QVERIFY(writeConfig(ksf, edited));
    const int linesBefore = int(headless.lines().size());
    ::kill(pid_t(headless.process.processId()), SIGHUP);
    QTRY_VERIFY_WITH_TIMEOUT(headless.saw(QStringLiteral("Re-read %1: %2").arg(ksf, summary)),
                             10000);

    // The unchanged session's connection is the same one, still carrying data, untouched.
    const int kept = 2 - changed;
    send(*connection[kept], "after");
    QTRY_COMPARE_WITH_TIMEOUT(TestSupport::readFile(sessions[kept].LogFile),
                              QByteArray("before after"), 5000);
    QVERIFY(!statusesOf(headless.lines().mid(linesBefore), kept + 1)
                 .contains(Session::statusWith(2162)));

    // The changed session was closed and, unless removed, started again with its new settings.
    QTRY_COMPARE_WITH_TIMEOUT(connection[changed - 1]->state(), QAbstractSocket::UnconnectedState,
                              5000);
    QVERIFY(
        statusesOf(headless.lines().mid(linesBefore), changed).contains(Session::statusWith(2162)));
    if (!removed) {
        std::unique_ptr<QTcpSocket> renewed;
        if (changed == 1) {
            renewed = peerOf(port);
        } else {
            QTRY_VERIFY_WITH_TIMEOUT(peer.hasPendingConnections(), 10000);
            renewed.reset(peer.nextPendingConnection());
        }
        send(*renewed, "new settings");
        QTRY_COMPARE_WITH_TIMEOUT(TestSupport::readFile(headless.file("changed.log")),
                                  QByteArray("new settings"), 5000);
    }
    QCOMPARE(TestSupport::readFile(sessions[changed - 1].LogFile), QByteArray("before "));
    QCOMPARE(headless.stop(SIGTERM), 0);
}

void tst_Headless::aSessionThatCannotStartLeavesTheOthersRunning()
{
    Headless headless;
    QTcpServer blocker;
    QVERIFY(blocker.listen(QHostAddress::LocalHost));
    const quint16 blocked = blocker.serverPort();
    const quint16 port = TestSupport::freePort();
    const quint16 nobody = TestSupport::freePort();
    // An empty stored address listens on every IPv4 address, as in a session window.
    SessionSettings free = server(port, headless.file("free.log"));
    free.LocalIP.clear();
    const QString ksf = headless.file(QStringLiteral("set.ksf"));
    QVERIFY(writeConfig(ksf,
                        {server(blocked, headless.file("blocked.log")), free,
                         client(nobody, QStringLiteral("refused.log"))},
                        1));
    headless.start({ksf});
    QTRY_VERIFY_WITH_TIMEOUT(
        headless.saw(QStringLiteral("Running %1: 3 sessions, 2 active").arg(ksf)), 10000);
    const QStringList failed = statusesOf(headless.lines(), 1);
    QCOMPARE(failed.size(), 1);
    QVERIFY(failed[0].startsWith(Session::statusWith(2167) + QStringLiteral("  ")));
    QVERIFY(headless.saw(QStringLiteral("Session 1 could not be activated: ") + failed[0]));

    // The error log sits in the program folder, next to the executable.
    QTRY_VERIFY_WITH_TIMEOUT(
        TestSupport::readFile(headless.file(QStringLiteral("errorlog.txt")))
            .contains(QStringLiteral("Client Mode, Remote Host: 127.0.0.1, RemotePort: %1, Log "
                                     "File: refused.log\r\n")
                          .arg(nobody)
                          .toUtf8()),
        10000);

    std::unique_ptr<QTcpSocket> other = peerOf(port);
    send(*other, "still logging");
    QTRY_COMPARE_WITH_TIMEOUT(TestSupport::readFile(headless.file("free.log")),
                              QByteArray("still logging"), 5000);

    // Once the port is free, re-reading the file starts the session that could not start.
    blocker.close();
    ::kill(pid_t(headless.process.processId()), SIGHUP);
    QTRY_VERIFY_WITH_TIMEOUT(headless.saw(QStringLiteral("Session 1 Status: Listening...")), 10000);
    std::unique_ptr<QTcpSocket> late = peerOf(blocked);
    send(*late, "late");
    QTRY_COMPARE_WITH_TIMEOUT(TestSupport::readFile(headless.file("blocked.log")),
                              QByteArray("late"), 5000);
    QCOMPARE(other->state(), QAbstractSocket::ConnectedState);
    QCOMPARE(headless.stop(SIGTERM), 0);
}

void tst_Headless::linksNoGuiLibrary()
{
    QProcess ldd;
    ldd.start(QStringLiteral("ldd"), {QStringLiteral(KESTREL_HEADLESS_EXE)});
    QVERIFY(ldd.waitForFinished(10000));
    const QByteArray libraries = ldd.readAllStandardOutput();
    QVERIFY(libraries.contains("libQt6Core"));
    QVERIFY(libraries.contains("libQt6Network"));
    QVERIFY(!libraries.contains("libQt6Gui"));
    QVERIFY(!libraries.contains("libQt6Widgets"));
}

QTEST_GUILESS_MAIN(tst_Headless)
#include "tst_headless.moc"
