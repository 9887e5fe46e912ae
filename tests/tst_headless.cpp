#include "TestSupport.h"
#include "core/config/ConfigFile.h"
#include "core/engine/Session.h"
#include "core/net/Winsock.h"
#include "core/text/LoadResource.h"

#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <memory>
#include <sys/stat.h>

#include <csignal>

using LoadResource::Language;
using TestSupport::readFile;
using Socket = std::unique_ptr<QTcpSocket>;

namespace {

// The real kestrel-headless, started from a copy in a temporary program folder, with no display
// and no platform plugin named in its environment: it holds only the locale.
struct Headless {
    explicit Headless(const QString &lang = QStringLiteral("C.UTF-8"))
    {
        QFile::copy(QStringLiteral(KESTREL_HEADLESS_EXE), file("kestrel-headless"));
        QProcessEnvironment environment;
        environment.insert(QStringLiteral("LANG"), lang);
        process.setProcessEnvironment(environment);
    }
    QString file(const QString &name) const { return dir.filePath(name); }
    void start(const QStringList &arguments) { process.start(file("kestrel-headless"), arguments); }
    void signal(int number) { ::kill(pid_t(process.processId()), number); }
    // Lines written to standard error so far, each without its timestamp, which must be there.
    QStringList lines()
    {
        errors += process.readAllStandardError();
        static const QRegularExpression stamp("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d ");
        QStringList texts = QString::fromUtf8(errors).split('\n', Qt::SkipEmptyParts);
        for (QString &line : texts)
            line = line.contains(stamp) ? line.remove(stamp) : "UNSTAMPED " + line;
        return texts;
    }
    bool saw(const QString &text) { return lines().contains(text); }
    // The status texts of session K, in the order in which they were written.
    QStringList statusesOf(int k)
    {
        const QString prefix = QStringLiteral("Session %1 ").arg(k);
        const QRegularExpression status("^" + prefix + "(?!could not)");
        return lines().filter(status).replaceInStrings(status, QString());
    }
    QString lastStatusOf(int k) { return statusesOf(k).value(statusesOf(k).size() - 1); }
    // The exit status after signal `number`; -1 when it did not end normally.
    int stop(int number)
    {
        signal(number);
        const bool ended = process.waitForFinished(10000);
        return ended && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }

    QTemporaryDir dir;
    QProcess process;
    QByteArray errors;
};

// A stored session: a server on 127.0.0.1 or a client of a peer there.
SessionSettings session(bool server, quint16 port, const QString &log, qint16 active = 1)
{
    SessionSettings s{log, "", "", "", QString::number(port), server, active};
    (server ? s.LocalIP : s.IPAddress) = QStringLiteral("127.0.0.1");
    return s;
}

Socket connectedTo(quint16 port)
{
    auto socket = std::make_unique<QTcpSocket>();
    socket->connectToHost(QHostAddress::LocalHost, port);
    socket->waitForConnected(5000);
    return socket;
}

// The next connection the peer `server` accepts; an unconnected socket when none comes.
Socket acceptedBy(QTcpServer &server)
{
    const bool came = QTest::qWaitFor([&] { return server.hasPendingConnections(); }, 5000);
    QTcpSocket *socket = came ? server.nextPendingConnection() : nullptr;
    return socket ? Socket(socket) : std::make_unique<QTcpSocket>();
}

} // namespace

// kestrel-headless as a service manager runs it: real processes, peers, files and signals.
class tst_Headless : public QObject {
    Q_OBJECT

private slots:
    void badInputIsOneLineAndAnExitStatus_data();
    void badInputIsOneLineAndAnExitStatus();
    void runsLikeTheEngineAndRereadsOnHangUp_data();
    void runsLikeTheEngineAndRereadsOnHangUp();
    void linksNoGuiLibrary();
};

void tst_Headless::badInputIsOneLineAndAnExitStatus_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QStringList>("arguments"); // %1 is the file's absolute path
    QTest::addColumn<int>("exitStatus");
    QTest::addColumn<QString>("message");
    const auto row = [](const char *tag, const char *setup, const QStringList &arguments,
                        int exitStatus, const QString &message) {
        QTest::newRow(tag) << QString(setup) << arguments << exitStatus << message;
    };
    const QString usage = "; usage: kestrel-headless [--all] FILE.ksf";
    row("no argument", "none", {}, 2, "no configuration file given" + usage);
    row("unknown option", "inactive", {"--verbose", "%1"}, 2, "unknown option --verbose" + usage);
    row("2 files", "inactive", {"%1", "%1"}, 2, "one configuration file expected, 2 given" + usage);
    row("missing", "none", {"%1"}, 1, "cannot read %1: No such file or directory");
    row("folder", "folder", {"%1"}, 1, "cannot read %1: it is a folder");
    row("named pipe", "pipe", {"%1"}, 1, "cannot read %1: it is not a regular file");
    row("empty", "empty", {"%1"}, 1, "%1 holds no session");
    row("none stored active", "inactive", {"%1"}, 1,
        "no session of %1 is stored as active (AutoActivate=1); --all activates every session");
    row("--all, in use", "inactive", {"--all", "%1"}, 1, "no session of %1 could be activated");
}

void tst_Headless::badInputIsOneLineAndAnExitStatus()
{
    QFETCH(QString, setup);
    QFETCH(QStringList, arguments);
    QFETCH(int, exitStatus);
    QFETCH(QString, message);
    Headless headless;
    const QString path = headless.file("set.ksf");
    QTcpServer blocker;
    QVERIFY(blocker.listen(QHostAddress::LocalHost));
    if (setup == "inactive")
        QVERIFY(ConfigFile::write(path, {0, {session(true, blocker.serverPort(), "", 0)}, {}}));
    else if (setup == "folder")
        QVERIFY(QDir().mkpath(path));
    else if (setup == "pipe")
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    else if (setup == "empty")
        QVERIFY(TestSupport::writeFile(path, ""));

    headless.start(arguments.replaceInStrings("%1", path));
    QVERIFY(headless.process.waitForFinished(10000));
    QCOMPARE(headless.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(headless.process.exitCode(), exitStatus);
    const QStringList errors =
        QString::fromUtf8(headless.process.readAllStandardError()).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(errors.last(), "kestrel-headless: " + message.replace("%1", path));
    // Only a session that was activated reports its failure first.
    const bool all = arguments.startsWith("--all");
    QCOMPARE(errors.size(), all ? 3 : 1);
    QVERIFY(!all || errors[0].contains(QRegularExpression(" Session 1 Status: Error  \\S")));
    QVERIFY(!all || errors[1].contains(" Session 1 could not be activated: Status: Error  "));
}

void tst_Headless::runsLikeTheEngineAndRereadsOnHangUp_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::addColumn<bool>("japanese");
    QTest::addColumn<qint16>("clientOptions");
    QTest::newRow("SIGTERM, English, every byte logged") << SIGTERM << false << qint16(0);
    QTest::newRow("SIGINT, Japanese, client not logging") << SIGINT << true << qint16(1);
}

void tst_Headless::runsLikeTheEngineAndRereadsOnHangUp()
{
    QFETCH(int, signalNumber);
    QFETCH(bool, japanese);
    QFETCH(qint16, clientOptions);
    LoadResource::setRunningLanguage(japanese ? Language::Japanese : Language::English);
    Headless headless(japanese ? "ja_JP.UTF-8" : "de_DE.UTF-8"); // any other locale is English
    QTemporaryDir reference;

    // Side 0 is kestrel-headless, side 1 the engine in this process. Each has a server on a port
    // of its own and a client of a peer; kestrel-headless has first a server whose port is taken.
    QTcpServer peer[2], blocker;
    QVERIFY(blocker.listen(QHostAddress::LocalHost));
    QVector<SessionSettings> settings[2];
    const quint16 port = TestSupport::freePort();
    for (int side = 0; side < 2; ++side) {
        QVERIFY(peer[side].listen(QHostAddress::LocalHost));
        const QString folder = (side == 0 ? headless.dir : reference).path();
        settings[side] = {session(true, side == 0 ? port : 0, folder + "/server.log"),
                          session(false, peer[side].serverPort(), folder + "/client.log")};
        settings[side][1].ClientOptions = clientOptions;
    }
    Configuration config = {0, {session(true, blocker.serverPort(), "blocked.log")}, {}};
    config.Sessions << settings[0];
    const QString ksf = headless.file("set.ksf");
    QVERIFY(ConfigFile::write(ksf, config));
    headless.start({ksf});
    QTRY_VERIFY_WITH_TIMEOUT(headless.saw("Running " + ksf + ": 3 sessions, 2 active"), 10000);
    const QStringList failure = headless.statusesOf(1);
    QVERIFY(failure.size() == 1 && failure[0].startsWith(Session::statusWith(2167) + "  "));
    QVERIFY(headless.saw("Session 1 could not be activated: " + failure.value(0)));

    QStringList engineStatuses[2];
    Session engine[2];
    for (int k = 0; k < 2; ++k) {
        QObject::connect(&engine[k], &Session::statusChanged,
                         [&, k](const QString &text) { engineStatuses[k] << text; });
        engine[k].setSettings(settings[1][k]);
        engine[k].Command1_Click();
    }
    const quint16 ports[2] = {port, quint16(engine[0].Winsock1(0)->LocalPort())};

    // Every byte value, often enough to come in several arrivals, from a client of each server
    // and from each client session's peer.
    QByteArray bytes;
    for (int i = 0; i < 72000; ++i)
        bytes += char(i);
    const QByteArray logged[2] = {bytes, clientOptions == 1 ? QByteArray() : bytes};
    Socket client[2], accepted[2];
    for (int side = 0; side < 2; ++side) {
        (client[side] = connectedTo(ports[side]))->write(bytes);
        (accepted[side] = acceptedBy(peer[side]))->write(bytes);
    }
    QTRY_COMPARE_WITH_TIMEOUT(headless.lastStatusOf(3), LoadResource::LoadResString(2161), 10000);
    for (int side = 0; side < 2; ++side)
        for (int k = 0; k < 2; ++k)
            QTRY_COMPARE_WITH_TIMEOUT(readFile(settings[side][k].LogFile), logged[k], 10000);
    // The same status texts in the same order as the engine's, in the running language.
    QTRY_COMPARE_WITH_TIMEOUT(headless.statusesOf(2), engineStatuses[0], 5000);
    QTRY_COMPARE_WITH_TIMEOUT(headless.statusesOf(3), engineStatuses[1], 5000);

    // SIGHUP with the client session changed: the server's client stays connected.
    config.Sessions[2].LogFile = "changed.log";
    config.Sessions[2].ClientOptions = 0;
    QVERIFY(ConfigFile::write(ksf, config));
    const QByteArray stored = readFile(ksf);
    headless.signal(SIGHUP);
    QTRY_VERIFY_WITH_TIMEOUT(
        headless.saw("Re-read " + ksf + ": 2 unchanged, 1 changed, 0 added, 0 removed"), 10000);
    client[0]->write("after");
    QTRY_COMPARE_WITH_TIMEOUT(readFile(settings[0][0].LogFile), bytes + "after", 5000);
    QVERIFY(!headless.statusesOf(2).contains(Session::statusWith(2162)));
    // The changed one was closed and started again with its new settings.
    QTRY_COMPARE_WITH_TIMEOUT(accepted[0]->state(), QAbstractSocket::UnconnectedState, 5000);
    const Socket renewed = acceptedBy(peer[0]);
    renewed->write("new settings");
    QTRY_COMPARE_WITH_TIMEOUT(readFile(headless.file("changed.log")), "new settings", 5000);

    QCOMPARE(headless.stop(signalNumber), 0);
    for (int k = 2; k <= 3; ++k)
        QCOMPARE(headless.lastStatusOf(k), Session::statusWith(2162));
    QTRY_COMPARE_WITH_TIMEOUT(client[0]->state(), QAbstractSocket::UnconnectedState, 5000);
    QCOMPARE(readFile(ksf), stored);
    QVERIFY(!QFile::exists(headless.file("default.ksf")));
}

void tst_Headless::linksNoGuiLibrary()
{
    QProcess ldd;
    ldd.start("ldd", {QStringLiteral(KESTREL_HEADLESS_EXE)});
    QVERIFY(ldd.waitForFinished(10000));
    const QByteArray libraries = ldd.readAllStandardOutput();
    QVERIFY(libraries.contains("libQt6Core") && libraries.contains("libQt6Network"));
    QVERIFY(!libraries.contains("libQt6Gui") && !libraries.contains("libQt6Widgets"));
}

QTEST_GUILESS_MAIN(tst_Headless)
#include "tst_headless.moc"
