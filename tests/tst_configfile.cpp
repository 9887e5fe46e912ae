#include "core/config/ConfigFile.h"

#include "TestSupport.h"
#include "core/app/ProgramFolder.h"

#include <QDir>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

using namespace TestSupport;

namespace {

// The two-session example, key for key in the writer's order.
const QByteArray exampleFile =
    "[Kestrel]\r\nNumSessions=2\r\nWindowState=0\r\n"
    "[Session1]\r\nLogFile=C:\\logs\\in1.txt\r\nOutputFile=\r\nLocalIP=10.0.0.5\r\n"
    "IPAddress=10.0.0.9\r\nPortNumber=2101\r\nTCPOption=0\r\nAutoActivate=1\r\n"
    "AllowMultiConnect=1\r\nServerSerialOptions=0\r\nServerTCPOptions=0\r\nClientOptions=0\r\n"
    "[Session2]\r\nLogFile=C:\\logs\\in2.txt\r\nOutputFile=\r\nLocalIP=10.0.0.5\r\n"
    "IPAddress=\r\nPortNumber=2102\r\nTCPOption=1\r\nAutoActivate=0\r\n"
    "AllowMultiConnect=0\r\nServerSerialOptions=0\r\nServerTCPOptions=2\r\nClientOptions=0\r\n"
    "OnErrorRunApp=\r\nLogErrors=0\r\nPacketSize=2000\r\n";

const Configuration example = {
    0,
    {{"C:\\logs\\in1.txt", "", "10.0.0.5", "10.0.0.9", "2101", 0, 1, 1, 0, 0, 0},
     {"C:\\logs\\in2.txt", "", "10.0.0.5", "", "2102", 1, 0, 0, 0, 2, 0}},
    {"", 0, 2000}};

// The globals in force before a file is read.
const GlobalOptions current = {QStringLiteral("notify"), 1, 1500};

} // namespace

Q_DECLARE_METATYPE(GlobalOptions)

class TestConfigFile : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void defaultNameAndExampleLayout();
    void field_data();
    void field();
    void sessionsAndGlobals_data();
    void sessionsAndGlobals();
    void fewerSessionsKeepStaleSections();
    void mutatedFiles();

private:
    QString file(const QString &name) const { return m_dir.filePath(name); }
    // Reads `content` (null: no file) with `current` in force.
    Configuration readText(const QByteArray &content)
    {
        const QString name = file(QStringLiteral("read.ksf"));
        QFile::remove(name);
        return content.isNull() || writeFile(name, content) ? ConfigFile::read(name, current)
                                                            : Configuration{};
    }
    Configuration roundTrip(const QString &name, const Configuration &config)
    {
        return ConfigFile::write(name, config) ? ConfigFile::read(name, current) : Configuration{};
    }
    QTemporaryDir m_dir;
};

void TestConfigFile::defaultNameAndExampleLayout()
{
    QCOMPARE(ConfigFile::resolveFileName({}), ProgramFolder::file(QStringLiteral("default.ksf")));
    QCOMPARE(ConfigFile::resolveFileName("\"my file.ksf\" "), u"\"my file.ksf\" "_qs);
    const Configuration config = roundTrip(file("example.ksf"), example);
    QCOMPARE(readFile(file("example.ksf")), exampleFile);
    QCOMPARE(config.WindowState, 0);
    QCOMPARE(config.Sessions, example.Sessions);
    QCOMPARE(config.Globals, example.Globals);
}

void TestConfigFile::field_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("field");
    QTest::addColumn<qint64>("expected");
    const auto row = [](const char *tag, const char *line, const char *field, qint64 expected) {
        QTest::newRow(tag) << QByteArray(line) << QString(field) << expected;
    };
    row("key in other case", "allowmulticonnect=0", "AllowMultiConnect", 0);
    row("TCPOption 2 kept", "TCPOption=2", "TCPOption", 2);
    row("AutoActivate 2 kept", "AutoActivate=2", "AutoActivate", 2);
    row("16 bits of 65535", "ClientOptions=65535", "ClientOptions", -1);
    row("code out of range kept", "ServerSerialOptions=99", "ServerSerialOptions", 99);
    row("PacketSize absent", "", "PacketSize", 2000);
    row("PacketSize 0", "PacketSize=0", "PacketSize", 0);
    row("32 bits of LogErrors", "LogErrors=4294967297", "LogErrors", 1);
    row("WindowState above range", "WindowState=3", "WindowState", 0);
    row("WindowState negative", "WindowState=-1", "WindowState", 0);
    row("WindowState beyond 16 bits", "WindowState=65538", "WindowState", 0);
}

void TestConfigFile::field()
{
    QFETCH(QByteArray, line);
    QFETCH(QString, field);
    QFETCH(qint64, expected);
    // Mixed-case names; the line stands in the section its key belongs to.
    const bool main = field == QLatin1String("WindowState");
    const Configuration config = readText("[kestrel]\r\nnumsessions=1\r\n" + (main ? line : "") +
                                          "\r\n[session1]\r\n" + (main ? "" : line) + "\r\n");
    QCOMPARE(config.Sessions.size(), 1);
    const SessionSettings &s = config.Sessions.at(0);
    const QHash<QString, qint64> values = {
        {"AllowMultiConnect", s.AllowMultiConnect}, {"TCPOption", s.TCPOption},
        {"AutoActivate", s.AutoActivate},           {"ServerSerialOptions", s.ServerSerialOptions},
        {"ServerTCPOptions", s.ServerTCPOptions},   {"ClientOptions", s.ClientOptions},
        {"PacketSize", config.Globals.PacketSize},  {"LogErrors", config.Globals.LogErrors},
        {"WindowState", config.WindowState}};
    QCOMPARE(values.value(field, -99), expected);
}

void TestConfigFile::sessionsAndGlobals_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("sessions");
    QTest::addColumn<GlobalOptions>("globals");

    // Session section K holds PortNumber K and PacketSize K * 100.
    const auto file = [](int count, std::initializer_list<int> numbers, const char *keys = "") {
        QByteArray text = "[Kestrel]\r\nNumSessions=" + QByteArray::number(count) + "\r\n" + keys;
        for (const int k : numbers) {
            const QByteArray n = QByteArray::number(k);
            text += "[Session" + n + "]\r\nPortNumber=" + n + "\r\nPacketSize=" + n + "00\r\n";
        }
        return text;
    };
    const auto last = [](int k) { return GlobalOptions{"", 0, k * 100}; };
    QTest::newRow("sections beyond the count ignored") << file(1, {1, 2, 3}) << 1 << last(1);
    QTest::newRow("count larger than the sections held") << file(30000, {1, 2}) << 2 << last(2);
    QTest::newRow("missing section in between") << file(3, {1, 3}) << 3 << last(3);
    // Without sessions the globals present in the main section replace those in force.
    QTest::newRow("negative count")
        << file(-3, {1}, "LogErrors=0\r\n") << 0 << GlobalOptions{"notify", 0, 1500};
    QTest::newRow("no session section")
        << file(4, {}, "PacketSize=7\r\n") << 0 << GlobalOptions{"notify", 1, 7};
    QTest::newRow("all") << file(0, {}, "OnErrorRunApp=a\r\nLogErrors=0\r\nPacketSize=9\r\n") << 0
                         << GlobalOptions{"a", 0, 9};
    QTest::newRow("empty command")
        << file(0, {}, "OnErrorRunApp=\r\n") << 0 << GlobalOptions{"", 1, 1500};
    // Files that are no configuration at all.
    QByteArray garbage(64 * 1024, '\0');
    QRandomGenerator(11).fillRange(reinterpret_cast<quint32 *>(garbage.data()), garbage.size() / 4);
    QTest::newRow("binary garbage") << garbage << 0 << current;
    QTest::newRow("text") << QByteArray("Dear reader,\nno configuration.\n") << 0 << current;
    QTest::newRow("absent") << QByteArray() << 0 << current;
}

void TestConfigFile::sessionsAndGlobals()
{
    QFETCH(QByteArray, content);
    QFETCH(int, sessions);
    QFETCH(GlobalOptions, globals);
    const Configuration config = readText(content);
    QCOMPARE(config.Sessions.size(), sessions);
    for (int k = 1; k <= sessions; ++k) {
        SessionSettings expected = {"", "", "", "", ""}; // a section without keys
        if (content.contains("[Session" + QByteArray::number(k) + "]"))
            expected.PortNumber = QString::number(k);
        QCOMPARE(config.Sessions.at(k - 1), expected);
    }
    QCOMPARE(config.Globals, globals);
    QCOMPARE(config.WindowState, 0);
}

void TestConfigFile::fewerSessionsKeepStaleSections()
{
    const QString name = file(QStringLiteral("shrink.ksf"));
    Configuration config = example;
    config.Sessions << config.Sessions.at(0);
    config.Globals = {"old", 1, 111};
    QVERIFY(ConfigFile::write(name, config));
    config.Sessions.resize(1);
    config.Globals = {"new", 0, 222};
    Configuration reread = roundTrip(name, config);
    QCOMPARE(reread.Sessions, config.Sessions);
    QCOMPARE(reread.Globals, config.Globals);
    QVERIFY(readFile(name).contains("[Session2]\r\nLogFile=C:\\logs\\in2.txt\r\n") &&
            readFile(name).contains("[Session3]\r\nLogFile=C:\\logs\\in1.txt\r\n"));
    QVERIFY(readFile(name).endsWith("OnErrorRunApp=old\r\nLogErrors=1\r\nPacketSize=111\r\n"));

    // Without sessions the globals go to the main section and come back from there.
    config.Sessions.clear();
    config.WindowState = 1;
    config.Globals = {"none", 1, 333};
    reread = roundTrip(name, config);
    QVERIFY(readFile(name).startsWith("[Kestrel]\r\nNumSessions=0\r\nWindowState=1\r\n"
                                      "OnErrorRunApp=none\r\nLogErrors=1\r\nPacketSize=333\r\n"
                                      "[Session1]\r\n"));
    QVERIFY(reread.Sessions.isEmpty());
    QCOMPARE(reread.WindowState, 1);
    QCOMPARE(reread.Globals, config.Globals);
}

void TestConfigFile::mutatedFiles()
{
    // Truncated and damaged variants of a valid file: reading never fails, and writing a
    // configuration into any of them reads back exactly that configuration.
    QRandomGenerator random(20240601);
    const QString name = file(QStringLiteral("mutated.ksf"));
    Configuration wanted = example;
    wanted.WindowState = 2;
    // Texts longer than 199 characters come back whole.
    wanted.Sessions[0].LogFile = "/data/" + QString(244, 'x');
    wanted.Sessions[1].OutputFile = QString(1000, 'o');
    wanted.Globals = {"/usr/bin/alert " + QString(300, 'a'), 1, 1234};
    QElapsedTimer timer;
    timer.start();
    for (int round = 0; round < 300; ++round) {
        QByteArray content = exampleFile;
        const auto anywhere = [&] { return random.bounded(int(content.size())); };
        if (round % 3 == 0)
            content.truncate(anywhere());
        for (int i = round % 3 == 1 ? 1 + random.bounded(20) : 0; i > 0; --i)
            content[anywhere()] = char(random.bounded(256));
        for (int i = round % 3 == 2 ? 1 + random.bounded(10) : 0; i > 0; --i)
            content.insert(anywhere(), content.mid(anywhere(), random.bounded(40)));
        QVERIFY(writeFile(name, content));
        const Configuration config = ConfigFile::read(name, current);
        QVERIFY(config.WindowState >= 0 && config.WindowState <= 2);
        // The last session read has a section of its own in the file.
        QVERIFY(config.Sessions.isEmpty() ||
                content.toLower().contains("session" + QByteArray::number(config.Sessions.size())));

        const Configuration reread = roundTrip(name, wanted);
        QVERIFY2(reread.Sessions == wanted.Sessions && reread.WindowState == 2 &&
                     reread.Globals == wanted.Globals,
                 content.constData());
        QVERIFY(timer.elapsed() < 20000);
    }
}

QTEST_GUILESS_MAIN(TestConfigFile)
#include "tst_configfile.moc"
