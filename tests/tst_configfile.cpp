#include "config/ConfigFile.h"

#include "ReadOnlyFolder.h"
#include "TestSupport.h"
#include "support/ProgramFolder.h"

#include <QDir>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

using TestSupport::readFile;
using TestSupport::writeFile;

namespace {

const QByteArray exampleFile = "[Kestrel]\r\n"
                               "NumSessions=2\r\n"
                               "WindowState=0\r\n"
                               "[Session1]\r\n"
                               "LogFile=C:\\logs\\in1.txt\r\n"
                               "OutputFile=\r\n"
                               "LocalIP=10.0.0.5\r\n"
                               "IPAddress=10.0.0.9\r\n"
                               "PortNumber=2101\r\n"
                               "TCPOption=0\r\n"
                               "AutoActivate=1\r\n"
                               "AllowMultiConnect=1\r\n"
                               "ServerSerialOptions=0\r\n"
                               "ServerTCPOptions=0\r\n"
                               "ClientOptions=0\r\n"
                               "[Session2]\r\n"
                               "LogFile=C:\\logs\\in2.txt\r\n"
                               "OutputFile=\r\n"
                               "LocalIP=10.0.0.5\r\n"
                               "IPAddress=\r\n"
                               "PortNumber=2102\r\n"
                               "TCPOption=1\r\n"
                               "AutoActivate=0\r\n"
                               "AllowMultiConnect=0\r\n"
                               "ServerSerialOptions=0\r\n"
                               "ServerTCPOptions=2\r\n"
                               "ClientOptions=0\r\n"
                               "OnErrorRunApp=\r\n"
                               "LogErrors=0\r\n"
                               "PacketSize=2000\r\n";

// What a session reads as when its section holds none of its keys.
SessionSettings blankSession()
{
    SessionSettings s;
    s.LogFile.clear();
    s.OutputFile.clear();
    s.PortNumber.clear();
    return s;
}

SessionSettings session(const QString &logFile, const QString &localIP, const QString &ip,
                        const QString &port, qint16 server, qint16 active, qint16 multi,
                        qint16 tcpOptions)
{
    SessionSettings s = blankSession();
    s.LogFile = logFile;
    s.LocalIP = localIP;
    s.IPAddress = ip;
    s.PortNumber = port;
    s.TCPOption = server;
    s.AutoActivate = active;
    s.AllowMultiConnect = multi;
    s.ServerTCPOptions = tcpOptions;
    return s;
}

Configuration exampleConfig()
{
    Configuration config;
    config.Sessions = {
        session("C:\\logs\\in1.txt", "10.0.0.5", "10.0.0.9", "2101", 0, 1, 1, 0),
        session("C:\\logs\\in2.txt", "10.0.0.5", "", "2102", 1, 0, 0, 2),
    };
    config.Globals = {QString(), 0, 2000};
    return config;
}

GlobalOptions startValues()
{
    return {QStringLiteral("/usr/bin/notify"), 1, 1500};
}

} // namespace

class TestConfigFile : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void resolveFileName();
    void writeExampleLayout();
    void readExample();
    void sessionField_data();
    void sessionField();
    void sessionCount_data();
    void sessionCount();
    void windowState_data();
    void windowState();
    void noFile();
    void globalsWithoutSessions_data();
    void globalsWithoutSessions();
    void fewerSessionsKeepStaleSections();
    void longTextsComeBackWhole();
    void foreignFiles_data();
    void foreignFiles();
    void mutatedFiles();
    void writeIsAllOrNothing();
    void writeIntoReadOnlyFolderKeepsOldFile();

private:
    QString file(const QString &name) const { return m_dir.filePath(name); }
    Configuration readText(const QByteArray &content, const GlobalOptions &current = {});
    QTemporaryDir m_dir;
};

Configuration TestConfigFile::readText(const QByteArray &content, const GlobalOptions &current)
{
    const QString name = file(QStringLiteral("read.ksf"));
    if (!writeFile(name, content))
        qFatal("cannot write %s", qPrintable(name));
    return ConfigFile::read(name, current);
}

void TestConfigFile::resolveFileName()
{
    QCOMPARE(ConfigFile::resolveFileName(QString()),
             ProgramFolder::file(QStringLiteral("default.ksf")));
    QVERIFY(ConfigFile::resolveFileName(QString()).endsWith(QLatin1String("/default.ksf")));
    const QString named = QStringLiteral("\"my file.ksf\" ");
    QCOMPARE(ConfigFile::resolveFileName(named), named);
}

void TestConfigFile::writeExampleLayout()
{
    const QString name = file(QStringLiteral("example.ksf"));
    QVERIFY(ConfigFile::write(name, exampleConfig()));
    QCOMPARE(readFile(name), exampleFile);
}

void TestConfigFile::readExample()
{
    const Configuration config = readText(exampleFile, startValues());
    QCOMPARE(config.WindowState, 0);
    QCOMPARE(config.Sessions.size(), 2);
    QCOMPARE(config.Sessions.at(0), exampleConfig().Sessions.at(0));
    QCOMPARE(config.Sessions.at(1), exampleConfig().Sessions.at(1));
    QCOMPARE(config.Globals, exampleConfig().Globals);
}

void TestConfigFile::sessionField_data()
{
    QTest::addColumn<QByteArray>("keys");
    QTest::addColumn<QString>("field");
    QTest::addColumn<qint64>("expected");

    const auto row = [](const char *tag, const QByteArray &keys, const QString &field,
                        qint64 expected) { QTest::newRow(tag) << keys << field << expected; };
    row("AllowMultiConnect absent", "", "AllowMultiConnect", 1);
    row("AllowMultiConnect 0", "AllowMultiConnect=0", "AllowMultiConnect", 0);
    row("TCPOption absent", "", "TCPOption", 0);
    row("TCPOption 2 kept", "TCPOption=2", "TCPOption", 2);
    row("AutoActivate 2 kept", "AutoActivate=2", "AutoActivate", 2);
    row("AutoActivate -1 kept", "AutoActivate=-1", "AutoActivate", -1);
    row("16 bits of 65538", "ServerTCPOptions=65538", "ServerTCPOptions", 2);
    row("16 bits of 65535", "ClientOptions=65535", "ClientOptions", -1);
    row("16 bits of TCPOption 65536", "TCPOption=65536", "TCPOption", 0);
    row("code out of range kept", "ServerSerialOptions=99", "ServerSerialOptions", 99);
    row("PacketSize absent", "", "PacketSize", 2000);
    row("PacketSize 0", "PacketSize=0", "PacketSize", 0);
    row("PacketSize text", "PacketSize=abc", "PacketSize", 2000);
    row("LogErrors absent", "", "LogErrors", 0);
    row("32 bits of LogErrors", "LogErrors=4294967297", "LogErrors", 1);
    row("key in other case", "allowmulticonnect=0", "AllowMultiConnect", 0);
}

void TestConfigFile::sessionField()
{
    QFETCH(QByteArray, keys);
    QFETCH(QString, field);
    QFETCH(qint64, expected);

    const Configuration config =
        readText("[kestrel]\r\nnumsessions=1\r\n[session1]\r\n" + keys + "\r\n", startValues());
    QCOMPARE(config.Sessions.size(), 1);
    const SessionSettings &s = config.Sessions.at(0);
    const QHash<QString, qint64> values = {
        {"AllowMultiConnect", s.AllowMultiConnect}, {"TCPOption", s.TCPOption},
        {"AutoActivate", s.AutoActivate},           {"ServerSerialOptions", s.ServerSerialOptions},
        {"ServerTCPOptions", s.ServerTCPOptions},   {"ClientOptions", s.ClientOptions},
        {"PacketSize", config.Globals.PacketSize},  {"LogErrors", config.Globals.LogErrors},
    };
    QVERIFY(values.contains(field));
    QCOMPARE(values.value(field), expected);
}

void TestConfigFile::sessionCount_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("sessions");
    QTest::addColumn<qint32>("packetSize");

    // A session section gives its PacketSize as its number times 100.
    const auto sections = [](std::initializer_list<int> numbers) {
        QByteArray text;
        for (const int k : numbers)
            text += "[Session" + QByteArray::number(k) +
                    "]\r\nPortNumber=" + QByteArray::number(k) +
                    "\r\nPacketSize=" + QByteArray::number(k * 100) + "\r\n";
        return text;
    };
    QTest::newRow("as declared") << "[Kestrel]\r\nNumSessions=2\r\n" + sections({1, 2}) << 2
                                 << qint32(200);
    QTest::newRow("16 bits of 65537")
        << "[Kestrel]\r\nNumSessions=65537\r\n" + sections({1, 2}) << 1 << qint32(100);
    QTest::newRow("negative count")
        << "[Kestrel]\r\nNumSessions=-3\r\n" + sections({1}) << 0 << qint32(0);
    QTest::newRow("sections beyond the count ignored")
        << "[Kestrel]\r\nNumSessions=1\r\n" + sections({1, 2, 3}) << 1 << qint32(100);
    QTest::newRow("count larger than the sections held")
        << "[Kestrel]\r\nNumSessions=30000\r\n" + sections({1, 2}) << 2 << qint32(200);
    QTest::newRow("missing section in between")
        << "[Kestrel]\r\nNumSessions=3\r\n" + sections({1, 3}) << 3 << qint32(300);
    QTest::newRow("count without any session section")
        << QByteArray("[Kestrel]\r\nNumSessions=4\r\nPacketSize=700\r\n") << 0 << qint32(700);
    QTest::newRow("leading zero is another name")
        << "[Kestrel]\r\nNumSessions=1\r\n" + sections({}) + "[Session01]\r\nPacketSize=1\r\n"
        << 0 << qint32(0);
    QTest::newRow("names in other case")
        << QByteArray("[KESTREL]\r\nnumSESSIONS=1\r\n[session1]\r\nPortNumber=1\r\n") << 1
        << qint32(2000);
}

void TestConfigFile::sessionCount()
{
    QFETCH(QByteArray, content);
    QFETCH(int, sessions);
    QFETCH(qint32, packetSize);

    const Configuration config = readText(content);
    QCOMPARE(config.Sessions.size(), sessions);
    for (int k = 1; k <= sessions; ++k) {
        const SessionSettings &s = config.Sessions.at(k - 1);
        const bool present = content.contains("[Session" + QByteArray::number(k) + "]") ||
                             content.contains("[session" + QByteArray::number(k) + "]");
        SessionSettings expected = blankSession();
        if (present)
            expected.PortNumber = QString::number(k);
        QCOMPARE(s, expected);
    }
    QCOMPARE(config.Globals.PacketSize, packetSize);
}

void TestConfigFile::windowState_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<qint32>("expected");
    QTest::newRow("absent") << QByteArray() << 0;
    QTest::newRow("normal") << QByteArray("WindowState=0") << 0;
    QTest::newRow("minimised") << QByteArray("WindowState=1") << 1;
    QTest::newRow("maximised") << QByteArray("WindowState=2") << 2;
    QTest::newRow("above range") << QByteArray("WindowState=3") << 0;
    QTest::newRow("negative") << QByteArray("WindowState=-1") << 0;
    QTest::newRow("beyond 16 bits") << QByteArray("WindowState=65538") << 0;
    QTest::newRow("not a number") << QByteArray("WindowState=max") << 0;
}

void TestConfigFile::windowState()
{
    QFETCH(QByteArray, line);
    QFETCH(qint32, expected);
    QCOMPARE(readText("[Kestrel]\r\n" + line + "\r\n").WindowState, expected);
    QCOMPARE(readText("[Kestrel]\r\nNumSessions=1\r\n" + line + "\r\n[Session1]\r\n").WindowState,
             expected);
}

void TestConfigFile::noFile()
{
    const Configuration config = ConfigFile::read(file(QStringLiteral("absent.ksf")), {});
    QVERIFY(config.Sessions.isEmpty());
    QCOMPARE(config.WindowState, 0);
    QCOMPARE(config.Globals, GlobalOptions{});
    QCOMPARE(ConfigFile::read(file(QStringLiteral("absent.ksf")), startValues()).Globals,
             startValues());
    QVERIFY(!QFile::exists(file(QStringLiteral("absent.ksf"))));
}

void TestConfigFile::globalsWithoutSessions_data()
{
    QTest::addColumn<QByteArray>("keys");
    QTest::addColumn<QString>("onError");
    QTest::addColumn<qint32>("logErrors");
    QTest::addColumn<qint32>("packetSize");

    // Start values: "/usr/bin/notify", 1, 1500.
    const auto row = [](const char *tag, const QByteArray &keys, const QString &onError,
                        qint32 logErrors, qint32 packetSize) {
        QTest::newRow(tag) << keys << onError << logErrors << packetSize;
    };
    row("none present", "", "/usr/bin/notify", 1, 1500);
    row("only PacketSize", "PacketSize=500\r\n", "/usr/bin/notify", 1, 500);
    row("all three", "OnErrorRunApp=beep\r\nLogErrors=0\r\nPacketSize=10000\r\n", "beep", 0, 10000);
    row("empty command present", "OnErrorRunApp=\r\n", "", 1, 1500);
}

void TestConfigFile::globalsWithoutSessions()
{
    QFETCH(QByteArray, keys);
    QFETCH(QString, onError);
    QFETCH(qint32, logErrors);
    QFETCH(qint32, packetSize);

    const Configuration config =
        readText("[Kestrel]\r\nNumSessions=0\r\nWindowState=0\r\n" + keys, startValues());
    QVERIFY(config.Sessions.isEmpty());
    QCOMPARE(config.Globals, (GlobalOptions{onError, logErrors, packetSize}));
}

void TestConfigFile::fewerSessionsKeepStaleSections()
{
    const QString name = file(QStringLiteral("shrink.ksf"));
    Configuration three;
    three.WindowState = 2;
    for (int k = 1; k <= 3; ++k)
        three.Sessions.append(session(QStringLiteral("/var/log/in%1").arg(k), "", "",
                                      QString::number(k), 1, 1, 1, 0));
    three.Globals = {QStringLiteral("old"), 1, 111};
    QVERIFY(ConfigFile::write(name, three));

    Configuration one;
    one.Sessions = {session("/var/log/only", "", "127.0.0.1", "9", 0, 0, 1, 0)};
    one.Globals = {QStringLiteral("new"), 0, 222};
    QVERIFY(ConfigFile::write(name, one));

    const QByteArray written = readFile(name);
    QVERIFY(written.contains("[Session2]\r\nLogFile=/var/log/in2\r\n"));
    QVERIFY(written.contains("[Session3]\r\nLogFile=/var/log/in3\r\n"));
    QVERIFY(written.contains("ClientOptions=0\r\nOnErrorRunApp=old\r\nLogErrors=1\r\n"
                             "PacketSize=111\r\n"));
    const Configuration reread = ConfigFile::read(name, {});
    QCOMPARE(reread.Sessions.size(), 1);
    QCOMPARE(reread.Sessions.at(0), one.Sessions.at(0));
    QCOMPARE(reread.Globals, one.Globals);
    QCOMPARE(reread.WindowState, 0);

    // Without sessions the globals go to the main section and come back from there.
    Configuration none;
    none.WindowState = 1;
    none.Globals = {QStringLiteral("none"), 1, 333};
    QVERIFY(ConfigFile::write(name, none));
    QVERIFY(readFile(name).startsWith("[Kestrel]\r\nNumSessions=0\r\nWindowState=1\r\n"
                                      "OnErrorRunApp=none\r\nLogErrors=1\r\nPacketSize=333\r\n"
                                      "[Session1]\r\n"));
    const Configuration empty = ConfigFile::read(name, startValues());
    QVERIFY(empty.Sessions.isEmpty());
    QCOMPARE(empty.WindowState, 1);
    QCOMPARE(empty.Globals, none.Globals);
}

void TestConfigFile::longTextsComeBackWhole()
{
    const QString name = file(QStringLiteral("long.ksf"));
    Configuration config = exampleConfig();
    config.Sessions[0].LogFile = QStringLiteral("/data/") + QString(244, QLatin1Char('x'));
    config.Sessions[1].OutputFile = QString(1000, QLatin1Char('o'));
    config.Globals.OnErrorRunApp =
        QStringLiteral("/usr/bin/alert ") + QString(300, QLatin1Char('a'));
    QCOMPARE(config.Sessions[0].LogFile.size(), 250);
    QVERIFY(ConfigFile::write(name, config));

    const Configuration reread = ConfigFile::read(name, {});
    QCOMPARE(reread.Sessions.at(0).LogFile, config.Sessions.at(0).LogFile);
    QCOMPARE(reread.Sessions.at(1).OutputFile, config.Sessions.at(1).OutputFile);
    QCOMPARE(reread.Globals.OnErrorRunApp, config.Globals.OnErrorRunApp);
}

void TestConfigFile::foreignFiles_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("writable");

    QByteArray garbage(64 * 1024, '\0');
    QRandomGenerator random(11);
    for (char &byte : garbage)
        byte = char(random.bounded(256));
    QByteArray large(50 * 1024 * 1024, 'x');
    for (qsizetype i = 100; i < large.size(); i += 101)
        large[i] = '\n';

    QTest::newRow("empty file") << QByteArray() << true;
    QTest::newRow("text") << QByteArray("Dear reader,\nthis is no configuration.\n") << true;
    QTest::newRow("binary garbage") << garbage << true;
    QTest::newRow("50 MB of text lines") << large << true;
    QTest::newRow("folder") << QByteArray() << false;
}

void TestConfigFile::foreignFiles()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, writable);
    const QString name = file(QStringLiteral("foreign-%1").arg(QTest::currentDataTag()));
    if (writable)
        QVERIFY(writeFile(name, content));
    else
        QVERIFY(QDir().mkpath(name));

    QElapsedTimer timer;
    timer.start();
    const Configuration config = ConfigFile::read(name, startValues());
    QVERIFY(config.Sessions.isEmpty());
    QCOMPARE(config.WindowState, 0);
    QCOMPARE(config.Globals, startValues());

    // Writing keeps the foreign content and adds the configuration after it.
    QCOMPARE(ConfigFile::write(name, exampleConfig()), writable);
    if (writable) {
        const QByteArray written = readFile(name);
        QVERIFY(written.startsWith(content));
        QVERIFY(written.endsWith(exampleFile));
        QCOMPARE(ConfigFile::read(name, {}).Sessions, exampleConfig().Sessions);
    } else {
        QVERIFY(QFileInfo(name).isDir());
    }
    QVERIFY2(timer.elapsed() < 20000, qPrintable(QString::number(timer.elapsed())));
}

void TestConfigFile::mutatedFiles()
{
    // Truncated and damaged variants of a valid file: reading never fails, and writing a
    // configuration into any of them reads back exactly that configuration.
    QRandomGenerator random(20240601);
    const QString name = file(QStringLiteral("mutated.ksf"));
    Configuration wanted = exampleConfig();
    wanted.WindowState = 2;
    wanted.Globals = {QStringLiteral("cmd"), 1, 1234};
    QElapsedTimer timer;
    timer.start();
    for (int round = 0; round < 300; ++round) {
        QByteArray content = exampleFile;
        switch (round % 3) {
        case 0:
            content.truncate(random.bounded(int(content.size())));
            break;
        case 1:
            for (int i = 0; i < 1 + random.bounded(20); ++i)
                content[random.bounded(int(content.size()))] = char(random.bounded(256));
            break;
        default:
            for (int i = 0; i < 1 + random.bounded(10); ++i) {
                const int at = random.bounded(int(content.size()));
                const int length = random.bounded(40);
                content.insert(at, content.mid(random.bounded(int(content.size())), length));
            }
            break;
        }
        QVERIFY(writeFile(name, content));
        const Configuration config = ConfigFile::read(name, startValues());
        QVERIFY(config.WindowState >= 0 && config.WindowState <= 2);
        // The last session read has a section of its own in the file.
        if (!config.Sessions.isEmpty())
            QVERIFY(
                content.toLower().contains("session" + QByteArray::number(config.Sessions.size())));

        QVERIFY(ConfigFile::write(name, wanted));
        const Configuration reread = ConfigFile::read(name, {});
        QVERIFY2(reread.Sessions == wanted.Sessions, content.constData());
        QCOMPARE(reread.WindowState, wanted.WindowState);
        QCOMPARE(reread.Globals, wanted.Globals);
        QVERIFY(timer.elapsed() < 20000);
    }
}

void TestConfigFile::writeIsAllOrNothing()
{
    const QString folder = file(QStringLiteral("atomic"));
    QVERIFY(QDir().mkpath(folder));
    const QString name = folder + QStringLiteral("/default.ksf");
    QVERIFY(writeFile(name, "; kept\r\n"));
    QVERIFY(ConfigFile::write(name, exampleConfig()));
    QCOMPARE(readFile(name), "; kept\r\n" + exampleFile);
    // Only the file itself: the temporary file was renamed over it.
    QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{QStringLiteral("default.ksf")});

    // A file below a path that is not a folder cannot be written.
    const QString impossible = name + QStringLiteral("/sub.ksf");
    QVERIFY(!ConfigFile::write(impossible, exampleConfig()));
    QCOMPARE(readFile(name), "; kept\r\n" + exampleFile);
}

void TestConfigFile::writeIntoReadOnlyFolderKeepsOldFile()
{
    const QString folder = file(QStringLiteral("readonly"));
    QVERIFY(QDir().mkpath(folder));
    const QString name = folder + QStringLiteral("/default.ksf");
    QVERIFY(writeFile(name, exampleFile));
    Configuration changed = exampleConfig();
    changed.Sessions.removeLast();

    // 0: written, 1: write failed, 2: the old file could not even be read.
    const int result = ReadOnlyFolder::run(folder, [&] {
        if (ConfigFile::read(name, {}).Sessions.size() != 2)
            return 2;
        return ConfigFile::write(name, changed) ? 0 : 1;
    });
    QCOMPARE(result, 1);
    QCOMPARE(readFile(name), exampleFile);
}

QTEST_GUILESS_MAIN(TestConfigFile)
#include "tst_configfile.moc"
