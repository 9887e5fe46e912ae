#include "KestrelProcess.h"
#include "TestSupport.h"
#include "config/IniProfile.h"

#include <QSettings>
#include <QTcpSocket>
#include <QtTest>

#include <csignal>

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

QTEST_GUILESS_MAIN(tst_Program)
#include "tst_program.moc"
