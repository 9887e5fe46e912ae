#include "TestSupport.h"

#include "core/app/Module1.h"
#include "core/config/ConfigFile.h"
#include "core/engine/LogFileName.h"
#include "core/engine/Session.h"

#include <QDir>
#include <QMap>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace TestSupport;

namespace {

// The log read back through its index, per "peer<TAB>port", and whole (in line order) under "".
QMap<QString, QByteArray> replay(const QString &log)
{
    static const QRegularExpression time(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{6}[+-]\d\d:\d\d$)");
    const QByteArray bytes = readFile(log);
    QMap<QString, QByteArray> streams;
    const QList<QByteArray> lines = readFile(log + QStringLiteral(".idx")).split('\n');
    for (const QByteArray &line : lines.mid(1, lines.size() - 2)) {
        const QList<QByteArray> f = line.chopped(1).split('\t');
        if (!line.endsWith('\r') || !time.match(QString::fromLatin1(f.value(0))).hasMatch())
            return {};
        const QByteArray slice = bytes.mid(f.value(3).toLongLong(), f.value(4).toLongLong());
        streams[QString::fromLatin1(f.value(1) + '\t' + f.value(2))] += slice;
        streams[QString()] += slice;
    }
    return streams;
}

} // namespace

class tst_ArrivalLog final : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { Module1::ArrivalIndex = 1; }

    void clientsKeepTheirStreams_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("a file per client") << QStringLiteral("{peer}.bin");
        QTest::newRow("one shared file") << QStringLiteral("all.bin");
    }
    void clientsKeepTheirStreams()
    {
        QFETCH(QString, name);
        QTemporaryDir dir;
        const auto session = startSession(serverSettings(dir.filePath(name)));
        std::unique_ptr<QTcpSocket> clients[3];
        for (int c = 0; c < 3; ++c)
            clients[c] = connectTo(listeningPort(*session), "127.0.0." + QString::number(c + 2));
        QTRY_COMPARE_WITH_TIMEOUT(session->NumConnected(), 3, 5000);
        QMap<QString, QByteArray> sent;
        for (int chunk = 0; chunk < 90; ++chunk) {
            QTcpSocket &client = *clients[chunk % 3];
            const QByteArray bytes(chunk * 20 + 1, char('a' + chunk % 3));
            sent[client.localAddress().toString() + '\t' + QString::number(client.localPort())] +=
                bytes;
            QVERIFY(sendAll(client, bytes));
        }
        for (auto it = sent.cbegin(); it != sent.cend(); ++it) {
            const QString log = dir.filePath(
                QString(name).replace(QStringLiteral("{peer}"), it.key().section('\t', 0, 0)));
            QTRY_COMPARE_WITH_TIMEOUT(replay(log).value(it.key()), it.value(), 5000);
            QVERIFY(!name.contains(QStringLiteral("{peer}")) || readFile(log) == it.value());
        }
    }

    // "first" arrives at the first time; then the folder "missing" is made, the blocker removed,
    // and "second" arrives at the second time. `files`: what each file holds at the end.
    void names_data()
    {
        for (const char *column : {"name", "times", "blocker", "error", "files"})
            QTest::addColumn<QString>(column);
        const QString eve = "2026-03-01T23:59:59.900", dawn = "2026-03-02T00:00:00.100";
        const QString day = "2026-03-01T10:00:00.000 2026-03-01T10:59:59.999";
        const QString enoent = "No such file or directory";
        const auto row = [](const char *tag, const QString &name, const QString &times,
                            const QString &blocker, const QString &error, const QString &files) {
            QTest::newRow(tag) << name << times << blocker << error << files;
        };
        row("midnight", "{date}/{hour}", eve + ' ' + dawn, "", "",
            "2026-03-01/23=first 2026-03-02/00=second");
        row("set back", "{date}/{hour}", dawn + ' ' + eve, "", "",
            "2026-03-02/00=first 2026-03-01/23=second");
        row("literal", "missing/{date}", day, "", enoent, "missing/2026-03-01=second");
        row("literal above field", "missing/{date}/log", day, "", enoent,
            "missing/2026-03-01/log=second");
        row("file in the way", "{date}/log", day, "2026-03-01", "Not a directory",
            "2026-03-01/log=second");
        row("no fields", "{name}{DATE}{date", day, "", "", "{name}{DATE}{date=firstsecond");
        row("mixed", "{peer}{x}{port", day, "", "", "127.0.0.1{x}{port=firstsecond");
    }
    void names()
    {
        QFETCH(QString, name);
        QFETCH(QString, times);
        QFETCH(QString, blocker);
        QFETCH(QString, error);
        QFETCH(QString, files);
        QTemporaryDir dir;
        QVERIFY(blocker.isEmpty() || writeFile(dir.filePath(blocker), "in the way"));
        const auto session = startSession(serverSettings(dir.filePath(name)));
        const auto client = connectTo(listeningPort(*session));
        for (int i = 0; i < 2; ++i) {
            const QDateTime at = QDateTime::fromString(times.section(' ', i, i), Qt::ISODateWithMs);
            LogFileName::setClock([at] { return at.toMSecsSinceEpoch() * 1000; });
            QVERIFY(sendAll(*client, i == 0 ? "first" : "second"));
            QTRY_COMPARE_WITH_TIMEOUT(session->statusText(), ("Status: " + error).trimmed(), 5000);
            QVERIFY(QDir(dir.path()).mkpath("missing"));
            QFile::remove(dir.filePath(blocker));
            error.clear();
        }
        for (const QString &file : files.split(' ')) {
            const QString path = dir.filePath(file.section('=', 0, 0));
            QTRY_COMPARE_WITH_TIMEOUT(readFile(path), file.section('=', 1).toLatin1(), 5000);
            QCOMPARE(replay(path).value(QString()), readFile(path));
        }
    }

    // Written when set, cleared when it was, and absent from a file that never had it set.
    void storedOption()
    {
        QTemporaryDir dir;
        Configuration config;
        for (const int sessions : {1, 0}) {
            const QString file = dir.filePath(QString::number(sessions));
            config.Sessions.resize(sessions);
            for (const int value : {0, 1, 0}) {
                const bool wasSet = readFile(file).contains("ArrivalIndex");
                config.Globals.ArrivalIndex = value;
                QVERIFY(ConfigFile::write(file, config));
                QCOMPARE(ConfigFile::read(file, {}).Globals.ArrivalIndex, value);
                QCOMPARE(readFile(file).contains("ArrivalIndex"), wasSet || value != 0);
            }
        }
    }
};

QTEST_MAIN(tst_ArrivalLog)
#include "tst_arrivallog.moc"
