#include "core/config/IniProfile.h"

#include "ReadOnlyFolder.h"
#include "TestSupport.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

#include <climits>
#include <sys/stat.h>
#include <unistd.h>

using namespace TestSupport;

class TestIniProfile : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void read_data();
    void read();
    void write_data();
    void write();
    void saveReplacesTheFileOrLeavesIt();
    void largeFile();

private:
    QString file(const QString &name) const { return m_dir.filePath(name); }
    QTemporaryDir m_dir;
};

void TestIniProfile::read_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint64>("number"); // 99: the default

    // No final line end: the last line must still be read.
    const QByteArray fixture =
        "[Kestrel]\nNumSessions=2\n  Padded  =   value 3   \nQuoted=\"  4 blanks  \"\n"
        "DoubleQuoted=\"\"5\"\"\nHalfQuoted=\"6\nEmpty=\n;Commented=8\nDup=9\nDup=10\nログ=受信\n"
        "Signed=  \"-15\"  \nText=12abc\nArabic=\xd9\xa3\nOver=9223372036854775808\n"
        "Under=-99999999999999999999\n  [ Other ]  trailing\nLast=7";
    const std::tuple<const char *, const char *, const char *, const char *, qint64> rows[] = {
        {"names in other case", "KESTREL", "numsessions", "2", 2},
        {"blanks dropped", "kestrel", "Padded", "value 3", 99},
        {"quotes dropped, inner blanks kept", "Kestrel", "Quoted", "  4 blanks  ", 99},
        {"one pair of quotes only", "Kestrel", "DoubleQuoted", "\"5\"", 99},
        {"unbalanced quote kept", "Kestrel", "HalfQuoted", "\"6", 99},
        {"empty value is not the default", "Kestrel", "Empty", "", 99},
        {"comment is no key", "Kestrel", "Commented", "DEF", 99},
        {"first of two keys", "Kestrel", "Dup", "9", 9},
        {"UTF-8", "Kestrel", "ログ", "受信", 99},
        {"quoted, blank-padded, signed number", "Kestrel", "Signed", "-15", -15},
        {"text after the number", "Kestrel", "Text", "12abc", 12},
        {"non-ASCII digits", "Kestrel", "Arabic", "\xd9\xa3", 99},
        {"overflow", "Kestrel", "Over", "9223372036854775808", LLONG_MAX},
        {"negative overflow", "Kestrel", "Under", "-99999999999999999999", LLONG_MIN},
        {"blank-padded header, last line without line end", "other", "LAST", "7", 7},
    };
    for (const char *end : {"\n", "\r\n"}) {
        for (const auto &[tag, section, key, text, number] : rows) {
            QTest::addRow("%s %s", end[1] ? "CRLF" : "LF", tag)
                << QByteArray(fixture).replace("\n", end) << QString(section) << QString(key)
                << QString(text) << number;
        }
    }
    QTest::newRow("absent file") << QByteArray() << u"A"_qs << u"B"_qs << u"DEF"_qs << qint64(99);
}

void TestIniProfile::read()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, text);
    QFETCH(qint64, number);
    const QString name = file(QStringLiteral("read %1").arg(QTest::currentDataTag()));
    QVERIFY(content.isNull() || writeFile(name, content));
    const IniProfile profile(name);
    QVERIFY(profile.loaded());
    QCOMPARE(profile.readString(section, key, "DEF"), text);
    QCOMPARE(profile.readInt(section, key, 99), number);
    QCOMPARE(profile.hasKey(section, key), text != QLatin1String("DEF"));
    QCOMPARE(IniProfile::GetPrivateProfileString(section, key, "DEF", name), text);
}

void TestIniProfile::write_data()
{
    QTest::addColumn<QByteArray>("before"); // null: no file
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QByteArray>("after");
    // Every row writes key "k": only that line changes or is added, in CRLF.
    const auto row = [](const char *tag, const QByteArray &before, const char *section,
                        const char *value, const QByteArray &after) {
        QTest::newRow(tag) << before << QString(section) << QString(value) << after;
    };
    row("replaced in place, spelling and LF kept", "; c\n[Kestrel]\n K = 1\n\n[S]\nk=a\n",
        "KESTREL", "v", "; c\n[Kestrel]\n K =v\n\n[S]\nk=a\n");
    row("after the last key, not before the next section", "[A]\r\nx=1\r\n; B\r\n\r\n[B]\r\n", "A",
        "v", "[A]\r\nx=1\r\nk=v\r\n; B\r\n\r\n[B]\r\n");
    row("append after a last line without line end", "[A]\nx=1", "A", "v", "[A]\nx=1\r\nk=v\r\n");
    row("new section at the end", "[A]\nx=1\n\n", "B", "v", "[A]\nx=1\n\n[B]\r\nk=v\r\n");
    row("absent file", QByteArray(), "セッション", "C:\\ログ", "[セッション]\r\nk=C:\\ログ\r\n");
    row("value stays one line", "[A]\r\n", "A", "x\r\n[B]\nk=9", "[A]\r\nk=x  [B] k=9\r\n");
    row("BOM kept", "\xEF\xBB\xBF[A]\r\nk=1\r\n", "A", "v", "\xEF\xBB\xBF[A]\r\nk=v\r\n");
    row("first of two sections", "[A]\n[B]\n[a]\nk=2\n", "a", "v", "[A]\nk=v\r\n[B]\n[a]\nk=2\n");
    row("invalid UTF-8 kept byte for byte", QByteArrayLiteral("[A]\n\x82\xa0=sjis\n; \xff\0\n"),
        "A", "v", QByteArrayLiteral("[A]\n\x82\xa0=sjis\nk=v\r\n; \xff\0\n"));
}

void TestIniProfile::write()
{
    QFETCH(QByteArray, before);
    QFETCH(QString, section);
    QFETCH(QString, value);
    QFETCH(QByteArray, after);
    const QString name = file(QStringLiteral("write %1").arg(QTest::currentDataTag()));
    QVERIFY(before.isNull() || writeFile(name, before));
    IniProfile profile(name);
    profile.writeString(section, "k", value);
    QVERIFY(profile.save());
    QCOMPARE(readFile(name), after);
}

void TestIniProfile::saveReplacesTheFileOrLeavesIt()
{
    // Opening a pipe for reading would block until a writer comes: it must not be opened.
    QVERIFY(QDir().mkpath(file("folder.ini")));
    QCOMPARE(mkfifo(QFile::encodeName(file("pipe.ini")).constData(), 0644), 0);
    for (const QString &name : {file("folder.ini"), file("pipe.ini")}) {
        IniProfile profile(name);
        QVERIFY(!profile.loaded());
        QCOMPARE(profile.readInt("Kestrel", "NumSessions", 5), qint64(5));
        profile.writeString("Kestrel", "NumSessions", "1");
        QVERIFY(!profile.save());
        QVERIFY(QFileInfo::exists(name) && !QFileInfo(name).isFile());
    }

    const QString folder = file("readonly");
    const QString name = folder + "/cfg.ini";
    QVERIFY(QDir().mkpath(folder) && writeFile(name, "[A]\r\nx=0\r\n"));
    // Saving renames a new file over the old one: another name of the old file keeps its content.
    QCOMPARE(::link(qPrintable(name), qPrintable(file("old.ini"))), 0);
    QVERIFY(IniProfile::WritePrivateProfileString("A", "x", "1", name));
    QCOMPARE(readFile(file("old.ini")), QByteArray("[A]\r\nx=0\r\n"));

    // 0: saved, 1: save failed, 2: the old file could not even be read.
    const int result = ReadOnlyFolder::run(folder, [&] {
        IniProfile profile(name);
        if (!profile.loaded() || profile.readInt("A", "x", 0) != 1)
            return 2;
        profile.writeString("A", "x", "2");
        return profile.save() ? 0 : 1;
    });
    QCOMPARE(result, 1);
    QCOMPARE(readFile(name), QByteArray("[A]\r\nx=1\r\n"));
    QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{u"cfg.ini"_qs});
}

void TestIniProfile::largeFile()
{
    // 50 MB: half in many small sections, half in one section with a great many keys.
    QByteArray data = "[Kestrel]\r\nNumSessions=1\r\n";
    for (int i = 0; data.size() < 25'000'000; ++i)
        data += "[Filler" + QByteArray::number(i) + "]\r\nKey=filler value\r\n";
    data += "[Big]\r\n";
    for (int i = 0; data.size() < 50'000'000; ++i)
        data += "Key" + QByteArray::number(i) + "=filler value\r\n";
    QVERIFY(writeFile(file("large.ini"), data));

    // A hang guard, not a benchmark: every step is linear in the size of the file.
    QElapsedTimer timer;
    timer.start();
    IniProfile profile(file("large.ini"));
    profile.writeString("Big", "Added", "1");
    profile.writeString("Kestrel", "NumSessions", "2");
    QVERIFY(profile.save());
    QCOMPARE(readFile(file("large.ini")),
             data.replace("NumSessions=1", "NumSessions=2") + "Added=1\r\n");
    QVERIFY2(timer.elapsed() < 20000, qPrintable(QString::number(timer.elapsed())));
}

QTEST_GUILESS_MAIN(TestIniProfile)
#include "tst_iniprofile.moc"
