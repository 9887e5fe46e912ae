#include "core/config/ConfigFile.h"
#include "core/config/IniProfile.h"

#include "TestSupport.h"

#include <QTemporaryDir>
#include <QTest>

#include <sys/fsuid.h>
#include <sys/stat.h>

using namespace TestSupport;

// The two-session example, key for key in the writer's order.
static const char exampleFile[] =
    "[Kestrel]\nNumSessions=2\nWindowState=0\n[Session1]\nLogFile=C:\\logs\\in1.txt\nOutputFile=\n"
    "LocalIP=10.0.0.5\nIPAddress=10.0.0.9\nPortNumber=2101\nTCPOption=0\nAutoActivate=1\n"
    "AllowMultiConnect=1\nServerSerialOptions=0\nServerTCPOptions=0\nClientOptions=0\n[Session2]\n"
    "LogFile=C:\\logs\\in2.txt\nOutputFile=\nLocalIP=10.0.0.5\nIPAddress=\nPortNumber=2102\n"
    "TCPOption=1\nAutoActivate=0\nAllowMultiConnect=0\nServerSerialOptions=0\nServerTCPOptions=2\n"
    "ClientOptions=0\nOnErrorRunApp=\nLogErrors=0\nPacketSize=2000\n";
static const GlobalOptions current = {QStringLiteral("notify"), 1, 1500}; // before a read

static QString describe(const Configuration &c)
{
    QString text = QString::number(c.WindowState);
    for (const SessionSettings &s : c.Sessions) {
        text += ' ' + s.LogFile + s.OutputFile + s.LocalIP + s.IPAddress + s.PortNumber;
        for (const qint16 code : {s.TCPOption, s.AutoActivate, s.AllowMultiConnect,
                                  s.ServerSerialOptions, s.ServerTCPOptions, s.ClientOptions})
            text += '|' + QString::number(code);
    }
    const GlobalOptions &g = c.Globals;
    return text + ' ' + g.OnErrorRunApp + QString("/%1/%2").arg(g.LogErrors).arg(g.PacketSize);
}

class TestConfig : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QString file(const QString &name) const { return m_dir.filePath(name); }

private Q_SLOTS:
    void readConfig_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char *tag, const char *content, const char *expected) {
            QTest::newRow(tag) << QByteArray(content) << QString(expected);
        };
        row("no configuration", "Dear reader,\n[no]\n", "0 notify/1/1500");
        row("numbers as the text starts, in their low bits; sections beyond the count ignored",
            "[kestrel]\nnumsessions=1\n[session1]\nTCPOption=  \"-15\"  \nAutoActivate=2abc\n"
            "AllowMultiConnect=\xd9\xa3\nClientOptions=65535\nLogErrors=9223372036854775808\n"
            "PacketSize=-99999999999999999999\n[Session2]\nPacketSize=5",
            "0 |-15|2|1|0|0|-1 /-1/0");
        row("up to the last section held, defaults in a gap",
            "[Kestrel]\nNumSessions=30000\n[Session1]\nPortNumber=1\n[Session3]\nPortNumber=3",
            "0 1|0|0|1|0|0|0 |0|0|1|0|0|0 3|0|0|1|0|0|0 /0/2000");
        // Without sessions the globals present in the main section replace those in force.
        row("no session section, WindowState beyond 16 bits",
            "[Kestrel]\nNumSessions=4\nWindowState=65538\nPacketSize=7\nOnErrorRunApp=\n",
            "0 /1/7");
    }

    void readConfig()
    {
        QFETCH(QByteArray, content);
        QVERIFY(writeFile(file("read.ksf"), content));
        QTEST(describe(ConfigFile::read(file("read.ksf"), current)), "expected");
    }

    void writeConfig()
    {
        // The example as read, written into a new file, is the example byte for byte in CRLF.
        QVERIFY(writeFile(file("example.ksf"), exampleFile));
        Configuration config = ConfigFile::read(file("example.ksf"), current);
        QVERIFY(ConfigFile::write(file("write.ksf"), config));
        QCOMPARE(readFile(file("write.ksf")), QByteArray(exampleFile).replace("\n", "\r\n"));
        // Long texts come back whole. Fewer sessions leave the sections beyond them; without
        // sessions the globals go to the main section and come back from there.
        config.Sessions.emplaceBack().LogFile = QString(300, 'x');
        for (const int sessions : {3, 1, 0}) {
            config.Sessions.resize(sessions);
            config.WindowState = sessions == 3 ? 2 : sessions;
            config.Globals = {QString(250 + sessions, 'a'), sessions % 2, 100 + sessions};
            QVERIFY(ConfigFile::write(file("write.ksf"), config));
            QCOMPARE(describe(ConfigFile::read(file("write.ksf"), current)), describe(config));
        }
        QCOMPARE(IniProfile(file("write.ksf")).readInt("Session3", "PacketSize", 0), qint64(103));
    }

    void profile_data()
    {
        QTest::addColumn<QByteArray>("before"); // null: no file
        QTest::addColumn<QString>("text");     // what key "K" of section "S" reads as (default DEF)
        QTest::addColumn<QString>("value");    // written to "K" of "S"...
        QTest::addColumn<QByteArray>("after"); // ...changes that line or adds one in CRLF
        const auto row = [](const char *tag, const QByteArray &before, const char *text,
                            const char *value, const QByteArray &after) {
            QTest::newRow(tag) << before << QString(text) << QString(value) << after;
        };
        row("names in other case, in place, UTF-8, LF kept", "; c\n[s]\n k = 受\n\n[T]\nk=a\n",
            "受", "v", "; c\n[s]\n k =v\n\n[T]\nk=a\n");
        row("blanks, one pair of quotes dropped, CRLF", "  [ S ]  x\r\n  k  =  \"\" 5 \"\"  \r\n",
            "\" 5 \"", "v", "  [ S ]  x\r\n  k  =v\r\n");
        row("after the last key, not after a comment", "[s]\r\nx=1\r\n; B=2\r\n\r\n[B]\r\n", "DEF",
            "v", "[s]\r\nx=1\r\nK=v\r\n; B=2\r\n\r\n[B]\r\n");
        row("new section at the end", "[A]\nk=1", "DEF", "v", "[A]\nk=1\r\n[S]\r\nK=v\r\n");
        row("absent file", QByteArray(), "DEF", "C:\\ログ", "[S]\r\nK=C:\\ログ\r\n");
        row("value stays one line", "[s]\r\n", "DEF", "x\r\n[B]\nk=9", "[s]\r\nK=x  [B] k=9\r\n");
        row("BOM and invalid UTF-8 kept", QByteArrayLiteral("\xEF\xBB\xBF[s]\n\x82\xa0=\xff\0\n"),
            "DEF", "v", QByteArrayLiteral("\xEF\xBB\xBF[s]\n\x82\xa0=\xff\0\nK=v\r\n"));
    }

    void profile()
    {
        QFETCH(QByteArray, before);
        QFETCH(QString, value);
        const QString name = file(QTest::currentDataTag());
        QVERIFY(before.isNull() || writeFile(name, before));
        QTEST(IniProfile::GetPrivateProfileString("S", "K", "DEF", name), "text");
        QVERIFY(IniProfile::WritePrivateProfileString("S", "K", value, name));
        QTEST(readFile(name), "after");
    }

    void saveReplacesTheFileOrLeavesIt()
    {
        // A pipe is no profile: opening it would block until a writer came.
        QCOMPARE(mkfifo(qPrintable(file("pipe.ini")), 0644), 0);
        QVERIFY(!IniProfile::WritePrivateProfileString("s", "k", "1", file("pipe.ini")));
        // 50 MB in 700,000 sections, the last with a million keys. Every step is linear in the
        // size; work growing with its square would outlast ctest's timeout.
        QByteArray data = "[Kestrel]\r\nNumSessions=1\r\n";
        for (int i = 0; data.size() < 50'000'000; ++i)
            data += (i < 700'000 ? "[S" + QByteArray::number(i) + "]\r\n" : "") + "Key" +
                    QByteArray::number(i) + "=value\r\n";
        const QString folder = file("readonly"), name = folder + "/large.ini";
        QVERIFY(QDir().mkpath(folder) && writeFile(name, data));
        IniProfile profile(name);
        profile.writeString("s699999", "Added", "1");
        profile.writeString("Kestrel", "NumSessions", "2");
        QCOMPARE(profile.readString("s699999", "Key1000000", {}), u"value"_qs);
        // Where no new file can be made beside it, a read-only file is left as it was and a
        // writable one is written in place; neither leaves a temporary file. Root ignores
        // permissions: it saves as nobody.
        const auto saveAsNobody = [&](int mode) {
            const int user = (chmod(qPrintable(name), mode), setfsuid(65534));
            const bool saved = profile.save();
            return setfsuid(user), saved;
        };
        QCOMPARE(chmod(qPrintable(m_dir.path()), 0755) | chmod(qPrintable(folder), 0555), 0);
        QVERIFY(!saveAsNobody(0444) && readFile(name) == data && saveAsNobody(0666));
        QCOMPARE(chmod(qPrintable(folder), 0755), 0);
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{u"large.ini"_qs});
        QCOMPARE(readFile(name), data.replace("NumSessions=1", "NumSessions=2") + "Added=1\r\n");
    }
};

QTEST_GUILESS_MAIN(TestConfig)
#include "tst_config.moc"
