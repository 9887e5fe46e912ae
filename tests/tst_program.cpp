#include "KestrelProcess.h"
#include "TestSupport.h"
#include "core/config/IniProfile.h"

#include <QDir>
#include <QSettings>
#include <QTcpSocket>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>

namespace {

QByteArray serverSessionFile(quint16 port, const QString &log, int autoActivate)
{
    return QStringLiteral("[Kestrel]\r\nNumSessions=1\r\nWindowState=0\r\n[Session1]\r\n"
                          "LogFile=%1\r\nOutputFile=\r\nLocalIP=127.0.0.1\r\nIPAddress=\r\n"
                          "PortNumber=%2\r\nTCPOption=1\r\nAutoActivate=%3\r\n"
                          "AllowMultiConnect=1\r\nServerSerialOptions=0\r\nServerTCPOptions=0\r\n"
                          "ClientOptions=0\r\nOnErrorRunApp=\r\nLogErrors=1\r\nPacketSize=2000\r\n")
        .arg(log)
        .arg(port)
        .arg(autoActivate)
        .toUtf8();
}

bool connectWithin(QTcpSocket &socket, quint16 port, int timeoutMs)
{
    QElapsedTimer waited;
    waited.start();
    while (!waited.hasExpired(timeoutMs)) {
        socket.connectToHost(QHostAddress::LocalHost, port);
        if (socket.waitForConnected(1000))
            return true;
        socket.abort();
        QThread::msleep(50);
    }
    return false;
}

} // namespace

// The real program, started and stopped as a user or the system would.
class tst_Program : public QObject {
    Q_OBJECT

private slots:
    void firstRunWritesDefaultsOnEverySignal_data();
    void firstRunWritesDefaultsOnEverySignal();
    void storedPlacementIsCheckedAndKept_data();
    void storedPlacementIsCheckedAndKept();
    void activeSessionOfTheCommandLineFileStartsByItself();
    void inactiveSessionWaitsForTheUser();
    void commandLineIsOneNameTakenUnchanged();
    void signalWhileAMessageBoxIsOpenStillSaves();
    void foreignFilesGiveOneBlankSession_data();
    void foreignFilesGiveOneBlankSession();
    void openFileLimitIsRaised();
};

void tst_Program::firstRunWritesDefaultsOnEverySignal_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
    QTest::newRow("SIGHUP") << int(SIGHUP);
}

void tst_Program::firstRunWritesDefaultsOnEverySignal()
{
    QFETCH(int, signalNumber);
    KestrelProcess kestrel;
    QVERIFY(kestrel.isValid());
    QVERIFY(kestrel.start());
    QVERIFY(kestrel.stop(signalNumber));

    const QString ksf = kestrel.file(QStringLiteral("default.ksf"));
    IniProfile saved(ksf);
    QCOMPARE(saved.readInt("Kestrel", "NumSessions", -1), 1);
    QCOMPARE(saved.readInt("Kestrel", "WindowState", -1), 0);
    QCOMPARE(saved.readString("Session1", "LogFile", "?"), QStringLiteral("C:\\Kestrel.txt"));
    QCOMPARE(saved.readString("Session1", "OutputFile", "?"),
             QStringLiteral("C:\\TCPSendFile.txt"));
    QCOMPARE(saved.readString("Session1", "PortNumber", "?"), QStringLiteral("1000"));
    QCOMPARE(saved.readInt("Session1", "TCPOption", -1), 0);
    QCOMPARE(saved.readInt("Session1", "AutoActivate", -1), 0);
    QCOMPARE(saved.readInt("Session1", "AllowMultiConnect", -1), 1);
    QCOMPARE(saved.readInt("Session1", "PacketSize", -1), 0);
    QCOMPARE(saved.readInt("Session1", "LogErrors", -1), 0);

    QSettings placement(kestrel.settingsFile(), QSettings::IniFormat);
    QCOMPARE(placement.value("Settings/MainLeft").toString(), QStringLiteral("1000"));
    QCOMPARE(placement.value("Settings/MainTop").toString(), QStringLiteral("1000"));
    QCOMPARE(placement.value("Settings/MainWidth").toString(), QStringLiteral("7000"));
    QCOMPARE(placement.value("Settings/MainHeight").toString(), QStringLiteral("5000"));
}

void tst_Program::storedPlacementIsCheckedAndKept_data()
{
    QTest::addColumn<QStringList>("stored");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("kept exactly") << QStringList{"1500", "2000", "8000", "6000"}
                                  << QStringList{"1500", "2000", "8000", "6000"};
    QTest::newRow("not numbers take the defaults")
        << QStringList{"abc", "", "wide", "x1"} << QStringList{"1000", "1000", "7000", "5000"};
    QTest::newRow("off every screen comes back")
        << QStringList{"900000", "900000", "7000", "5000"} << QStringList{"0", "0", "7000", "5000"};
}

void tst_Program::storedPlacementIsCheckedAndKept()
{
    QFETCH(QStringList, stored);
    QFETCH(QStringList, expected);
    KestrelProcess kestrel;
    const char *keys[] = {"Settings/MainLeft", "Settings/MainTop", "Settings/MainWidth",
                          "Settings/MainHeight"};
    {
        QSettings placement(kestrel.settingsFile(), QSettings::IniFormat);
        for (int i = 0; i < 4; ++i)
            placement.setValue(keys[i], stored[i]);
    }
    QVERIFY(kestrel.start());
    QVERIFY(kestrel.stop(SIGTERM));
    QSettings placement(kestrel.settingsFile(), QSettings::IniFormat);
    for (int i = 0; i < 4; ++i)
        QCOMPARE(placement.value(keys[i]).toString(), expected[i]);
}

void tst_Program::activeSessionOfTheCommandLineFileStartsByItself()
{
    KestrelProcess kestrel;
    const quint16 port = TestSupport::freePort();
    const QString log = kestrel.file(QStringLiteral("inbound.log"));
    const QString named = kestrel.file(QStringLiteral("working set.ksf"));
    const QByteArray original = serverSessionFile(port, log, 1);
    QVERIFY(TestSupport::writeFile(named, original));
    QVERIFY(kestrel.start({named}));

    QTcpSocket client;
    QVERIFY(connectWithin(client, port, 10000));
    const QByteArray bytes("\x00\x01 reading 12.5 kg\r\n\xff", 21);
    client.write(bytes);
    QVERIFY(client.waitForBytesWritten(5000));
    QTRY_COMPARE_WITH_TIMEOUT(TestSupport::readFile(log), bytes, 10000);

    QVERIFY(kestrel.stop(SIGTERM));
    QCOMPARE(TestSupport::readFile(named), original);
    IniProfile saved(kestrel.file(QStringLiteral("default.ksf")));
    QCOMPARE(saved.readInt("Session1", "AutoActivate", -1), 1);
    QCOMPARE(saved.readInt("Session1", "TCPOption", -1), 1);
    QCOMPARE(saved.readString("Session1", "PortNumber", "?"), QString::number(port));
    QCOMPARE(saved.readString("Session1", "LogFile", "?"), log);
    QCOMPARE(saved.readInt("Session1", "LogErrors", -1), 1);
    QCOMPARE(saved.readInt("Session1", "PacketSize", -1), 2000);
}

void tst_Program::inactiveSessionWaitsForTheUser()
{
    KestrelProcess kestrel;
    const quint16 port = TestSupport::freePort();
    const QString named = kestrel.file(QStringLiteral("idle.ksf"));
    QVERIFY(TestSupport::writeFile(
        named, serverSessionFile(port, kestrel.file(QStringLiteral("idle.log")), 2)));
    QVERIFY(kestrel.start({named}));
    QVERIFY(kestrel.stop(SIGTERM));
    IniProfile saved(kestrel.file(QStringLiteral("default.ksf")));
    QCOMPARE(saved.readInt("Session1", "AutoActivate", -1), 0);
    QCOMPARE(saved.readString("Session1", "PortNumber", "?"), QString::number(port));
}

void tst_Program::commandLineIsOneNameTakenUnchanged()
{
    KestrelProcess kestrel;
    const quint16 port = TestSupport::freePort();
    // "two words.ksf" given as two arguments names the file "two words.ksf"; in quotes it does
    // not name a file at all.
    const QString named = kestrel.file(QStringLiteral("two words.ksf"));
    QVERIFY(TestSupport::writeFile(
        named, serverSessionFile(port, kestrel.file(QStringLiteral("w.log")), 0)));
    QVERIFY(kestrel.start(named.split(QLatin1Char(' '))));
    QVERIFY(kestrel.stop(SIGTERM));
    IniProfile split(kestrel.file(QStringLiteral("default.ksf")));
    QCOMPARE(split.readString("Session1", "PortNumber", "?"), QString::number(port));

    QVERIFY(kestrel.start({QLatin1Char('"') + named + QLatin1Char('"')}));
    QVERIFY(kestrel.stop(SIGTERM));
    IniProfile quoted(kestrel.file(QStringLiteral("default.ksf")));
    QCOMPARE(quoted.readString("Session1", "PortNumber", "?"), QStringLiteral("1000"));
}

void tst_Program::signalWhileAMessageBoxIsOpenStillSaves()
{
    // A stored port above 65535 raises the port message box while the file loads.
    KestrelProcess kestrel;
    const QString named = kestrel.file(QStringLiteral("bad port.ksf"));
    QByteArray content = serverSessionFile(1, kestrel.file(QStringLiteral("p.log")), 0);
    content.replace("PortNumber=1\r\n", "PortNumber=70000\r\n");
    QVERIFY(TestSupport::writeFile(named, content));
    QVERIFY(kestrel.start({named}));
    QVERIFY(kestrel.stop(SIGTERM));
    IniProfile saved(kestrel.file(QStringLiteral("default.ksf")));
    QCOMPARE(saved.readString("Session1", "PortNumber", "?"), QStringLiteral("70000"));
}

void tst_Program::foreignFilesGiveOneBlankSession_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("sessions");
    QTest::newRow("binary garbage") << "garbage" << 1;
    QTest::newRow("a folder") << "folder" << 1;
    QTest::newRow("50 MB of text") << "large" << 1;
    QTest::newRow("NumSessions 30000 with two sections") << "inflated" << 2;
    QTest::newRow("negative NumSessions") << "negative" << 1;
}

void tst_Program::foreignFilesGiveOneBlankSession()
{
    QFETCH(QString, kind);
    QFETCH(int, sessions);
    KestrelProcess kestrel;
    const QString named = kestrel.file(QStringLiteral("input"));
    if (kind == QLatin1String("folder")) {
        QVERIFY(QDir().mkpath(named));
    } else if (kind == QLatin1String("garbage")) {
        QByteArray bytes(64 * 1024, 0);
        for (int i = 0; i < bytes.size(); ++i)
            bytes[i] = char((i * 7919) % 256);
        QVERIFY(TestSupport::writeFile(named, bytes));
    } else if (kind == QLatin1String("large")) {
        QVERIFY(TestSupport::writeFile(named, QByteArray(50 * 1024 * 1024, 'k')));
    } else if (kind == QLatin1String("inflated")) {
        QVERIFY(TestSupport::writeFile(named, "[Kestrel]\nNumSessions=30000\n[Session1]\n"
                                              "PortNumber=11\n[Session2]\nPortNumber=22\n"));
    } else {
        QVERIFY(TestSupport::writeFile(named, "[Kestrel]\nNumSessions=-4\n[Session1]\n"
                                              "PortNumber=11\n"));
    }
    QVERIFY(kestrel.start({named}));
    QVERIFY(kestrel.stop(SIGTERM, 20000));
    IniProfile saved(kestrel.file(QStringLiteral("default.ksf")));
    QCOMPARE(saved.readInt("Kestrel", "NumSessions", -1), sessions);
    if (kind == QLatin1String("inflated"))
        QCOMPARE(saved.readString("Session2", "PortNumber", "?"), QStringLiteral("22"));
    else
        QCOMPARE(saved.readString("Session1", "PortNumber", "?"), QStringLiteral("1000"));
}

void tst_Program::openFileLimitIsRaised()
{
    // Start the program with a soft limit below the hard one, as many systems do.
    struct rlimit mine = {};
    QVERIFY(::getrlimit(RLIMIT_NOFILE, &mine) == 0);
    struct rlimit lowered = mine;
    lowered.rlim_cur = qMin<rlim_t>(256, mine.rlim_max);
    QVERIFY(::setrlimit(RLIMIT_NOFILE, &lowered) == 0);
    KestrelProcess kestrel;
    const bool started = kestrel.start();
    ::setrlimit(RLIMIT_NOFILE, &mine);
    QVERIFY(started);
    QFile limits(QStringLiteral("/proc/%1/limits").arg(kestrel.process().processId()));
    QVERIFY(limits.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = limits.readAll().split('\n');
    QVERIFY(kestrel.stop(SIGTERM));
    for (const QByteArray &line : lines) {
        if (!line.startsWith("Max open files"))
            continue;
        const QList<QByteArray> fields = line.simplified().split(' ');
        QCOMPARE(fields.at(3), fields.at(4)); // soft limit raised to the hard limit
        return;
    }
    QFAIL("no open-file limit in /proc");
}

QTEST_GUILESS_MAIN(tst_Program)
#include "tst_program.moc"
