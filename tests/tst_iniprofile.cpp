#include "config/IniProfile.h"

#include "ReadOnlyFolder.h"
#include "TestSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using TestSupport::readFile;
using TestSupport::writeFile;

class TestIniProfile : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void readValues_data();
    void readValues();
    void readInt_data();
    void readInt();
    void absentFileGivesDefaults();
    void sectionsInFileOrder();
    void write_data();
    void write();
    void writtenValueStaysOneLine();
    void utf8RoundTrip();
    void unreadableFile_data();
    void unreadableFile();
    void saveIntoReadOnlyFolderKeepsOldFile();
    void largeFile_data();
    void largeFile();

private:
    QString file(const QString &name) const { return m_dir.filePath(name); }
    QTemporaryDir m_dir;
};

void TestIniProfile::readValues_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");

    // No final line end: the last line must still be read.
    const QByteArray fixture = "; leading comment\n"
                               "orphan=before any section\n"
                               "[Kestrel]\n"
                               "NumSessions=2\n"
                               "  Padded  =   value with blanks   \n"
                               "Quoted=\"  kept blanks  \"\n"
                               "QuotedPadded =  \"x\"  \n"
                               "DoubleQuoted=\"\"inner\"\"\n"
                               "HalfQuoted=\"open\n"
                               "Lone=\"\n"
                               "Empty=\n"
                               "Equals=a=b\n"
                               ";Commented=no\n"
                               "Dup=first\n"
                               "Dup=second\n"
                               "\n"
                               "  [ Spaced Section ]  trailing\n"
                               "key=spaced\n"
                               "[kestrel]\n"
                               "Extra=in a second section of the same name\n"
                               "[Other]\n"
                               "NumSessions=7";
    const struct {
        const char *tag, *section, *key, *expected;
    } rows[] = {
        {"exact names", "Kestrel", "NumSessions", "2"},
        {"names in other case", "KESTREL", "numsessions", "2"},
        {"blanks dropped", "kestrel", "Padded", "value with blanks"},
        {"quotes dropped, inner blanks kept", "Kestrel", "Quoted", "  kept blanks  "},
        {"blanks then quotes dropped", "Kestrel", "QuotedPadded", "x"},
        {"one pair of quotes only", "Kestrel", "DoubleQuoted", "\"inner\""},
        {"unbalanced quote kept", "Kestrel", "HalfQuoted", "\"open"},
        {"single quote character kept", "Kestrel", "Lone", "\""},
        {"empty value is not the default", "Kestrel", "Empty", ""},
        {"value holding an equals sign", "Kestrel", "Equals", "a=b"},
        {"comment is no key", "Kestrel", "Commented", "DEF"},
        {"first of two keys", "Kestrel", "Dup", "first"},
        {"blank-padded header", "spaced section", "KEY", "spaced"},
        {"second section of a name ignored", "Kestrel", "Extra", "DEF"},
        {"last line without line end", "Other", "NumSessions", "7"},
        {"absent section", "Missing", "NumSessions", "DEF"},
        {"absent key", "Kestrel", "Missing", "DEF"},
        {"key before any section", "", "orphan", "DEF"},
    };
    for (const bool crlf : {false, true}) {
        QByteArray content = fixture;
        if (crlf)
            content.replace("\n", "\r\n");
        for (const auto &row : rows) {
            QTest::addRow("%s: %s", crlf ? "crlf" : "lf", row.tag)
                << content << QString::fromUtf8(row.section) << QString::fromUtf8(row.key)
                << QString::fromUtf8(row.expected);
        }
    }
}

void TestIniProfile::readValues()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, expected);
    QVERIFY(writeFile(file("read.ini"), content));

    const IniProfile profile(file("read.ini"));
    QVERIFY(profile.loaded());
    QCOMPARE(profile.readString(section, key, QStringLiteral("DEF")), expected);
    QCOMPARE(profile.hasKey(section, key), expected != QLatin1String("DEF"));
    QCOMPARE(
        IniProfile::GetPrivateProfileString(section, key, QStringLiteral("DEF"), file("read.ini")),
        expected);
}

void TestIniProfile::readInt_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<qint64>("expected");

    const qint64 max = std::numeric_limits<qint64>::max();
    const qint64 min = std::numeric_limits<qint64>::min();
    QTest::newRow("plain") << QByteArray("2000") << qint64(2000);
    QTest::newRow("text after the number") << QByteArray("12abc") << qint64(12);
    QTest::newRow("negative") << QByteArray("-5") << qint64(-5);
    QTest::newRow("plus sign") << QByteArray("+7") << qint64(7);
    QTest::newRow("blank-padded") << QByteArray("  42  ") << qint64(42);
    QTest::newRow("quoted") << QByteArray("\"15\"") << qint64(15);
    QTest::newRow("leading zeros") << QByteArray("007") << qint64(7);
    QTest::newRow("two numbers") << QByteArray("1 2") << qint64(1);
    QTest::newRow("hex is not read") << QByteArray("0x10") << qint64(0);
    QTest::newRow("no digits") << QByteArray("abc") << qint64(99);
    QTest::newRow("empty") << QByteArray("") << qint64(99);
    QTest::newRow("sign only") << QByteArray("-") << qint64(99);
    QTest::newRow("two signs") << QByteArray("+-3") << qint64(99);
    QTest::newRow("blank after sign") << QByteArray("- 5") << qint64(99);
    QTest::newRow("non-ASCII digits") << QByteArray("\xd9\xa3") << qint64(99);
    QTest::newRow("largest") << QByteArray("9223372036854775807") << max;
    QTest::newRow("smallest") << QByteArray("-9223372036854775808") << min;
    QTest::newRow("overflow") << QByteArray("9223372036854775808") << max;
    QTest::newRow("far overflow") << QByteArray("99999999999999999999999") << max;
    QTest::newRow("negative overflow") << QByteArray("-99999999999999999999") << min;
}

void TestIniProfile::readInt()
{
    QFETCH(QByteArray, value);
    QFETCH(qint64, expected);
    QVERIFY(writeFile(file("int.ini"), "[S]\r\nK=" + value + "\r\n"));

    const IniProfile profile(file("int.ini"));
    QCOMPARE(profile.readInt(QStringLiteral("s"), QStringLiteral("k"), 99), expected);
    QCOMPARE(IniProfile::GetPrivateProfileInt(QStringLiteral("S"), QStringLiteral("K"), 99,
                                              file("int.ini")),
             expected);
}

void TestIniProfile::absentFileGivesDefaults()
{
    const IniProfile profile(file("absent.ini"));
    QVERIFY(profile.loaded());
    QVERIFY(profile.sections().isEmpty());
    QVERIFY(!profile.hasSection(QStringLiteral("Kestrel")));
    QCOMPARE(
        profile.readString(QStringLiteral("Kestrel"), QStringLiteral("A"), QStringLiteral("def")),
        QStringLiteral("def"));
    QCOMPARE(profile.readInt(QStringLiteral("Kestrel"), QStringLiteral("A"), -3), qint64(-3));
    QVERIFY(!QFileInfo::exists(file("absent.ini")));
}

void TestIniProfile::sectionsInFileOrder()
{
    QVERIFY(writeFile(file("order.ini"), "x=1\n[Kestrel]\n[ Session2 ]\n[session1]\n[KESTREL]\n"));
    const IniProfile profile(file("order.ini"));
    QCOMPARE(profile.sections(), (QStringList{"Kestrel", "Session2", "session1", "KESTREL"}));
    QVERIFY(profile.hasSection(QStringLiteral("SESSION1")));
    QVERIFY(!profile.hasSection(QStringLiteral("Session3")));
}

void TestIniProfile::write_data()
{
    QTest::addColumn<bool>("exists");
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QByteArray>("after");
    const auto row = [](const char *tag, const QByteArray &before, const QString &section,
                        const QString &key, const QString &value, const QByteArray &after) {
        QTest::newRow(tag) << true << before << section << key << value << after;
    };

    row("replace in place, key spelling and line end kept",
        "; comment\n[Kestrel]\nNumSessions=2\r\nwindowstate = 1\n\n[S]\nA=a\n", "KESTREL",
        "WindowState", "0", "; comment\n[Kestrel]\nNumSessions=2\r\nwindowstate =0\n\n[S]\nA=a\n");
    row("append after the last key, before the next section",
        "[A]\r\nx=1\r\n; about B\r\n\r\n[B]\r\ny=2\r\n", "A", "z", "3",
        "[A]\r\nx=1\r\nz=3\r\n; about B\r\n\r\n[B]\r\ny=2\r\n");
    row("append into an LF file", "[A]\nx=1\n[B]\ny=2\n", "a", "z", "3",
        "[A]\nx=1\nz=3\r\n[B]\ny=2\n");
    row("append to a section without keys", "[A]\n\n[B]\n", "A", "z", "3", "[A]\nz=3\r\n\n[B]\n");
    row("append after a last line without line end", "[A]\nx=1", "A", "z", "3",
        "[A]\nx=1\r\nz=3\r\n");
    row("append after a header without line end", "[A]", "A", "z", "3", "[A]\r\nz=3\r\n");
    row("new section at the end", "[A]\r\nx=1\r\n", "B", "y", "2", "[A]\r\nx=1\r\n[B]\r\ny=2\r\n");
    row("new section after a last line without line end", "[A]\nx=1", "B", "y", "2",
        "[A]\nx=1\r\n[B]\r\ny=2\r\n");
    row("new section after trailing blank lines", "[A]\nx=1\n\n\n", "B", "y", "2",
        "[A]\nx=1\n\n\n[B]\r\ny=2\r\n");
    row("empty file", "", "A", "z", "3", "[A]\r\nz=3\r\n");
    row("text without sections", "junk", "A", "z", "3", "junk\r\n[A]\r\nz=3\r\n");
    row("byte-order mark kept", "\xEF\xBB\xBF[A]\r\nx=1\r\n", "A", "x", "2",
        "\xEF\xBB\xBF[A]\r\nx=2\r\n");
    row("first of two keys replaced", "[A]\nk=1\nk=2\n", "A", "K", "9", "[A]\nk=9\nk=2\n");
    row("first of two sections used", "[A]\nk=1\n[B]\n[a]\nj=2\n", "a", "j", "3",
        "[A]\nk=1\nj=3\r\n[B]\n[a]\nj=2\n");
    row("invalid UTF-8 kept byte for byte",
        QByteArrayLiteral("[A]\n\x82\xa0\x82\xa2=sjis\n; \xff\xfe\0\n"), "A", "k", "v",
        QByteArrayLiteral("[A]\n\x82\xa0\x82\xa2=sjis\nk=v\r\n; \xff\xfe\0\n"));

    QByteArray garbage(4096, '\0');
    QRandomGenerator random(7);
    for (char &byte : garbage)
        byte = char(random.bounded(2) ? 0 : random.bounded(0x80, 0x100));
    row("binary garbage kept", garbage, "A", "z", "3", garbage + "\r\n[A]\r\nz=3\r\n");

    QTest::newRow("absent file created")
        << false << QByteArray() << QStringLiteral("A") << QStringLiteral("z")
        << QStringLiteral("3") << QByteArray("[A]\r\nz=3\r\n");
}

void TestIniProfile::write()
{
    QFETCH(bool, exists);
    QFETCH(QByteArray, before);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(QByteArray, after);
    const QString name = file("write.ini");
    QFile::remove(name);
    if (exists)
        QVERIFY(writeFile(name, before));

    IniProfile profile(name);
    profile.writeString(section, key, value);
    QCOMPARE(profile.readString(section, key, QString()), value);
    QVERIFY(profile.save());
    QCOMPARE(readFile(name), after);
    QCOMPARE(IniProfile(name).readString(section, key, QString()), value);

    // The one-shot routine follows the same rules.
    QFile::remove(name);
    if (exists)
        QVERIFY(writeFile(name, before));
    QVERIFY(IniProfile::WritePrivateProfileString(section, key, value, name));
    QCOMPARE(readFile(name), after);
}

void TestIniProfile::writtenValueStaysOneLine()
{
    const QString name = file("oneline.ini");
    QVERIFY(writeFile(name, "[A]\r\n"));
    IniProfile profile(name);
    profile.writeString(QStringLiteral("A"), QStringLiteral("k"),
                        QStringLiteral("x\r\n[Kestrel]\nNumSessions=9"));
    QVERIFY(profile.save());

    const IniProfile reread(name);
    QCOMPARE(reread.sections(), QStringList{QStringLiteral("A")});
    QCOMPARE(reread.readString(QStringLiteral("A"), QStringLiteral("k"), QString()),
             QStringLiteral("x  [Kestrel] NumSessions=9"));
}

void TestIniProfile::utf8RoundTrip()
{
    const QString name = file("utf8.ini");
    const QString section = QStringLiteral("セッション1");
    const QString value = QStringLiteral("C:\\ログ\\受信データ.txt");
    IniProfile profile(name);
    profile.writeString(section, QStringLiteral("LogFile"), value);
    profile.writeInt(section, QStringLiteral("数"), -12);
    QVERIFY(profile.save());

    QVERIFY(readFile(name).contains(value.toUtf8()));
    const IniProfile reread(name);
    QCOMPARE(reread.sections(), QStringList{section});
    QCOMPARE(reread.readString(section, QStringLiteral("logfile"), QString()), value);
    QCOMPARE(reread.readInt(section, QStringLiteral("数"), 0), qint64(-12));
}

void TestIniProfile::unreadableFile_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("folder") << QStringLiteral("folder");
    QTest::newRow("named pipe") << QStringLiteral("fifo");
}

void TestIniProfile::unreadableFile()
{
    QFETCH(QString, kind);
    const QString name = file(QStringLiteral("unreadable-") + kind);
    if (kind == QLatin1String("folder"))
        QVERIFY(QDir().mkpath(name));
    else
        QCOMPARE(mkfifo(QFile::encodeName(name).constData(), 0644), 0);

    // Opening a pipe for reading would block until a writer comes: it must not be opened.
    IniProfile profile(name);
    QVERIFY(!profile.loaded());
    QCOMPARE(profile.readInt(QStringLiteral("Kestrel"), QStringLiteral("NumSessions"), 5),
             qint64(5));
    profile.writeString(QStringLiteral("Kestrel"), QStringLiteral("NumSessions"),
                        QStringLiteral("1"));
    QVERIFY(!profile.save());
    const QFileInfo after(name);
    QVERIFY(after.exists());
    QVERIFY(!after.isFile());
}

void TestIniProfile::saveIntoReadOnlyFolderKeepsOldFile()
{
    const QString folder = file(QStringLiteral("readonly"));
    const QString name = folder + QStringLiteral("/cfg.ini");
    QVERIFY(QDir().mkpath(folder));
    const QByteArray old = "[A]\r\nx=1\r\n";
    QVERIFY(writeFile(name, old));

    // 0: saved, 1: save failed, 2: the old file could not even be read.
    const int result = ReadOnlyFolder::run(folder, [&] {
        IniProfile profile(name);
        if (!profile.loaded() || profile.readInt(QStringLiteral("A"), QStringLiteral("x"), 0) != 1)
            return 2;
        profile.writeString(QStringLiteral("A"), QStringLiteral("x"), QStringLiteral("2"));
        return profile.save() ? 0 : 1;
    });
    QCOMPARE(result, 1);
    QCOMPARE(readFile(name), old);
    QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{QStringLiteral("cfg.ini")});
}

void TestIniProfile::largeFile_data()
{
    QTest::addColumn<bool>("manySections");
    QTest::addColumn<QString>("probeSection");
    QTest::addColumn<QString>("probeKey");

    // Many small sections, or one section holding a great many keys.
    QTest::newRow("many sections")
        << true << QStringLiteral("filler70000") << QStringLiteral("key");
    QTest::newRow("one huge section")
        << false << QStringLiteral("big") << QStringLiteral("key70000");
}

void TestIniProfile::largeFile()
{
    QFETCH(bool, manySections);
    QFETCH(QString, probeSection);
    QFETCH(QString, probeKey);
    const qsizetype target = 50 * 1024 * 1024;
    QByteArray data;
    data.reserve(target + 1024);
    data += "[Kestrel]\r\nNumSessions=1\r\n[Big]\r\n";
    for (int i = 0; data.size() < target; ++i) {
        if (manySections)
            data += "[Filler" + QByteArray::number(i) + "]\r\nKey=filler value\r\n";
        else
            data += "Key" + QByteArray::number(i) + "=filler value\r\n";
    }
    data += "[Last]\r\nTarget=found\r\n";
    const QString name = file("large.ini");
    QVERIFY(writeFile(name, data));

    // A hang guard, not a benchmark: every step is linear in the size of the file.
    QElapsedTimer timer;
    timer.start();
    IniProfile profile(name);
    QCOMPARE(profile.readString(QStringLiteral("last"), QStringLiteral("target"), QString()),
             QStringLiteral("found"));
    QCOMPARE(profile.readString(probeSection, probeKey, QString()), QStringLiteral("filler value"));
    profile.writeString(QStringLiteral("Big"), QStringLiteral("Added"), QStringLiteral("1"));
    profile.writeString(QStringLiteral("Kestrel"), QStringLiteral("NumSessions"),
                        QStringLiteral("2"));
    profile.writeString(QStringLiteral("New"), QStringLiteral("Key"), QStringLiteral("v"));
    QVERIFY(profile.save());
    QVERIFY2(timer.elapsed() < 20000, qPrintable(QString::number(timer.elapsed())));

    const IniProfile reread(name);
    QCOMPARE(reread.readInt(QStringLiteral("Kestrel"), QStringLiteral("NumSessions"), 0),
             qint64(2));
    QCOMPARE(reread.readString(QStringLiteral("New"), QStringLiteral("Key"), QString()),
             QStringLiteral("v"));
    QCOMPARE(readFile(name).size(),
             data.size() + qsizetype(strlen("Added=1\r\n[New]\r\nKey=v\r\n")));
    QVERIFY2(timer.elapsed() < 20000, qPrintable(QString::number(timer.elapsed())));
}

QTEST_GUILESS_MAIN(TestIniProfile)
#include "tst_iniprofile.moc"
