#include "KestrelProcess.h"
#include "TestSupport.h"
#include "core/config/ConfigFile.h"
#include "core/config/IniProfile.h"
#include "core/engine/Session.h"

#include <QRegularExpression>
#include <QSettings>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace TestSupport;

// Standard error so far (gathered in `seen`), "\n* " where a line starts with its timestamp.
static QString linesOf(QProcess &process, QByteArray &seen)
{
    static const QRegularExpression stamp("\n\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d ");
    QString lines = '\n' + QString::fromUtf8(seen += process.readAllStandardError());
    return lines.replace(stamp, "\n* ");
}

// kestrel and kestrel-headless, started and stopped as a user, the system or a service would.
class tst_Program : public QObject {
    Q_OBJECT

private slots:
    void signalSavesWhatWasLoaded_data()
    {
        QTest::addColumn<int>("signalNumber");
        QTest::addColumn<QString>("placement");     // stored > saved, each "left top width height"
        QTest::addColumn<QByteArray>("file");       // named on the command line; null: none
        QTest::addColumn<QStringList>("arguments"); // $dir: the program folder
        QTest::addColumn<QString>("saved");         // Session1's port, AutoActivate and log file
        const QByteArray server = "[Kestrel]\nNumSessions=1\n[Session1]\nLogFile=x.log\n"
                                  "LocalIP=127.0.0.1\nTCPOption=1\nPortNumber=";
        const QStringList named = {"$dir/working set.ksf"};
        QTest::newRow("first run, SIGTERM") << SIGTERM << ">1000 1000 7000 5000" << QByteArray()
                                            << QStringList() << "1000 0 $home/Kestrel.txt";
        QTest::newRow("active, SIGINT, placement kept")
            << SIGINT << "1500 2000 8000 6000>1500 2000 8000 6000"
            << server + "$port\nAutoActivate=1\n"
            << named << "$port 1 x.log";
        QTest::newRow("inactive, SIGHUP, placement not numbers")
            << SIGHUP << "abc x wide x1>1000 1000 7000 5000" << server + "$port\nAutoActivate=2\n"
            << named << "$port 0 x.log";
        QTest::newRow("two arguments name one file, placement off every screen")
            << SIGTERM << "900000 900000 7000 5000>0 0 7000 5000" << server + "$port\n"
            << QStringList{"$dir/working", "set.ksf"} << "$port 0 x.log";
        QTest::newRow("a message box is open")
            << SIGTERM << ">1000 1000 7000 5000" << server + "70000\n"
            << named << "70000 0 x.log";
    }

    // The named file is loaded and left as it is, an active session starts, a soft open-file limit
    // is raised to the hard one; every signal saves the sessions to default.ksf and the placement.
    void signalSavesWhatWasLoaded()
    {
        QFETCH(int, signalNumber);
        QFETCH(QString, placement);
        QFETCH(QByteArray, file);
        QFETCH(QStringList, arguments);
        QFETCH(QString, saved);
        KestrelProcess kestrel;
        const PortReservation port;
        const QString named = kestrel.file("working set.ksf");
        file.replace("$port", QByteArray::number(port.port()));
        QVERIFY(file.isNull() || writeFile(named, file));
        const QStringList keys = {"MainLeft", "MainTop", "MainWidth", "MainHeight"};
        const QStringList stored = placement.section('>', 0, 0).split(' ', Qt::SkipEmptyParts);
        for (int i = 0; i < stored.size(); ++i) // each written as the settings object goes
            QSettings(kestrel.settingsFile(), QSettings::IniFormat)
                .setValue("Settings/" + keys[i], stored[i]);
        // Qt's accessibility log names every window as it shows, a message box as AlertMessage.
        kestrel.setEnvironment("QT_LOGGING_RULES", "qt.accessibility.cache.debug=true");
        kestrel.setResourceLimit(RLIMIT_NOFILE, 64, 65); // raised at start, as all the hard allows
        kestrel.process().setProcessChannelMode(QProcess::SeparateChannels);
        QVERIFY(kestrel.start(arguments.replaceInStrings("$dir", kestrel.folder())));
        // A port above 65535 raises a box during the load, whose only event loop it then runs.
        QByteArray errors;
        const auto boxShown = [&] { return linesOf(kestrel.process(), errors).contains("Alert"); };
        const QByteArray limits = readFile(QStringLiteral("/proc/%1/limits").arg(kestrel.pid()));
        QVERIFY(limits.simplified().contains("Max open files 65 65"));
        const bool box = saved.startsWith("70000");
        QVERIFY(!box || QTest::qWaitFor(boxShown, 20000));
        QVERIFY(kestrel.stop(signalNumber));
        QCOMPARE(boxShown(), box);
        QCOMPARE(readFile(named), file);
        const IniProfile ksf(kestrel.file("default.ksf")), store(kestrel.settingsFile());
        QStringList found = {ksf.readString("Kestrel", "NumSessions", "?")};
        for (const char *key : {"PortNumber", "AutoActivate", "LogFile"})
            found << ksf.readString("Session1", key, "?");
        saved.replace("$port", QString::number(port.port())).replace("$home", QDir::homePath());
        for (const QString &key : keys)
            found << store.readString("Settings", key, "?");
        QCOMPARE(found.join(' '), "1 " + saved + ' ' + placement.section('>', 1));
    }

    void headlessRefusesBadInputWithOneLine_data()
    {
        QTest::addColumn<QString>("arguments"); // %1: the stored file's path, %1.pipe a named pipe
        QTest::addColumn<int>("exitStatus");
        QTest::addColumn<QString>("message");
        const QString usage = "; usage: kestrel-headless [--all] FILE.ksf";
        QTest::newRow("2 files") << "%1 %1" << 2
                                 << "one configuration file expected, 2 given" + usage;
        QTest::newRow("named pipe")
            << "%1.pipe" << 1 << "cannot read %1.pipe: it is not a regular file";
        QTest::newRow("--all, in use") << "--all %1" << 1 << "no session of %1 could be activated";
    }

    // One line and an exit status; a session that was activated reports its failure first.
    void headlessRefusesBadInputWithOneLine()
    {
        QFETCH(QString, arguments);
        QFETCH(int, exitStatus);
        QFETCH(QString, message);
        KestrelProcess headless(KestrelProcess::Program::Headless);
        const QString path = headless.file("set.ksf");
        const Peer blocker; // takes the port of the stored server
        QVERIFY(ConfigFile::write(path, {0, {serverSettings("", blocker.port())}, {}}));
        QVERIFY(::mkfifo(QFile::encodeName(path + ".pipe").constData(), 0600) == 0);
        // Not through start(): it waits for a signal handler that refused input never installs.
        QProcess &process = headless.process();
        process.setProcessChannelMode(QProcess::SeparateChannels);
        process.start(headless.program(),
                      arguments.replace("%1", path).split(' ', Qt::SkipEmptyParts));
        QVERIFY(process.waitForFinished(10000) && process.exitStatus() == QProcess::NormalExit);
        QCOMPARE(process.exitCode(), exitStatus);
        QByteArray seen;
        const QString lines = linesOf(process, seen);
        QVERIFY2(lines.endsWith("\nkestrel-headless: " + message.replace("%1", path) + '\n') &&
                     lines.count('\n') == (arguments.startsWith("--all") ? 4 : 2),
                 qPrintable(lines));
    }

    // It runs the active sessions, also when one cannot start. SIGHUP reads the file again: a
    // changed session starts anew, the others keep their connections.
    void headlessRunsAndRereadsOnHangUp()
    {
        KestrelProcess headless(KestrelProcess::Program::Headless);
        headless.process().setProcessChannelMode(QProcess::SeparateChannels);
        QByteArray seen;
        const auto saw = [&](const QString &line) {
            return linesOf(headless.process(), seen).contains("\n* " + line);
        };
        Peer peer, blocker; // the blocker takes the first server's port
        const PortReservation port;
        Configuration config;
        config.Sessions = {serverSettings("blocked.log", blocker.port()),
                           serverSettings("server.log", port.port()),
                           clientSettings("client.log", peer.port())};
        for (SessionSettings &stored : config.Sessions)
            stored.AutoActivate = 1;
        const QString ksf = headless.file("set.ksf");
        QVERIFY(ConfigFile::write(ksf, config));
        QVERIFY(headless.start({ksf}));
        QTRY_VERIFY_WITH_TIMEOUT(saw("Running " + ksf + ": 3 sessions, 2 active\n"), 10000);
        QVERIFY(saw("Session 1 could not be activated: " + Session::statusWith(2167) + "  "));

        const QByteArray bytes("\0\1 reading 12.5 kg\r\n\xff", 21);
        const auto client = connectTo(port.port());
        client->write(bytes);
        const auto accepted = peer.next();
        QVERIFY(accepted && accepted->write(bytes) == bytes.size());
        QTRY_COMPARE_WITH_TIMEOUT(readFile(headless.file("server.log")), bytes, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(readFile(headless.file("client.log")), bytes, 10000);

        config.Sessions[2].LogFile = "changed.log";
        QVERIFY(ConfigFile::write(ksf, config));
        const QByteArray stored = readFile(ksf);
        ::kill(pid_t(headless.pid()), SIGHUP);
        QTRY_VERIFY_WITH_TIMEOUT(
            saw("Re-read " + ksf + ": 2 unchanged, 1 changed, 0 added, 0 removed\n"), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(accepted->state(), QAbstractSocket::UnconnectedState, 5000);
        const auto renewed = peer.next();
        QVERIFY(renewed && renewed->write(bytes) == bytes.size());
        client->write("after");
        QTRY_COMPARE_WITH_TIMEOUT(readFile(headless.file("changed.log")), bytes, 5000);
        QTRY_COMPARE_WITH_TIMEOUT(readFile(headless.file("server.log")), bytes + "after", 5000);
        const QString closed = Session::statusWith(2162) + '\n';

        QVERIFY(headless.stop(SIGTERM));
        QVERIFY(linesOf(headless.process(), seen)
                    .endsWith("\n* Session 2 " + closed + "* Session 3 " + closed));
        QTRY_COMPARE_WITH_TIMEOUT(client->state(), QAbstractSocket::UnconnectedState, 5000);
        QCOMPARE(readFile(ksf), stored);
        QVERIFY(!QFile::exists(headless.file("default.ksf")));
    }
};

QTEST_GUILESS_MAIN(tst_Program)
#include "tst_program.moc"
