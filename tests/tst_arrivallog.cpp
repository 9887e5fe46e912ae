#include "TestSupport.h"

#include "core/app/Module1.h"
#include "core/config/ConfigFile.h"
#include "core/engine/LogFileName.h"
#include "core/engine/Session.h"
#include "core/text/LoadResource.h"
#include "gui/dialogs/frmOptions.h"

#include <QCheckBox>
#include <QDir>
#include <QGroupBox>
#include <QMap>
#include <QTemporaryDir>
#include <QTest>

using namespace TestSupport;
using LoadResource::Language;

namespace {

qint64 localMicroseconds(const QString &isoLocal)
{
    return QDateTime::fromString(isoLocal, Qt::ISODateWithMs).toMSecsSinceEpoch() * 1000;
}

// The log's bytes read back through its index, per "peer<TAB>port", and under "" every slice in
// line order, which must be the whole log.
QMap<QString, QByteArray> replay(const QString &log)
{
    const QByteArray bytes = readFile(log);
    QMap<QString, QByteArray> streams;
    const QList<QByteArray> lines = readFile(log + QStringLiteral(".idx")).split('\n');
    for (const QByteArray &line : lines.mid(1, lines.size() - 2)) {
        const QList<QByteArray> f = line.trimmed().split('\t');
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
    void init()
    {
        Module1::ArrivalIndex = 1;
        LogFileName::setClock({});
    }

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
        std::vector<std::unique_ptr<QTcpSocket>> clients;
        for (int c = 2; c <= 4; ++c)
            clients.push_back(
                connectTo(listeningPort(*session), QStringLiteral("127.0.0.%1").arg(c)));
        QTRY_COMPARE_WITH_TIMEOUT(session->NumConnected(), 3, 5000);
        QMap<QString, QByteArray> sent;
        for (int round = 0; round < 30; ++round) {
            for (const auto &client : clients) {
                const QString peer = client->localAddress().toString();
                const QByteArray chunk =
                    QByteArray(round * 50 + 1, char('a' + round)) + peer.toLatin1();
                sent[peer + QLatin1Char('\t') + QString::number(client->localPort())] += chunk;
                QVERIFY(sendAll(*client, chunk));
            }
        }
        for (auto it = sent.cbegin(); it != sent.cend(); ++it) {
            const QString log = dir.filePath(
                QString(name).replace(QStringLiteral("{peer}"), it.key().section('\t', 0, 0)));
            QTRY_COMPARE_WITH_TIMEOUT(replay(log).value(it.key()), it.value(), 5000);
            QCOMPARE(replay(log).value(QString()), readFile(log));
            if (name.contains(QStringLiteral("{peer}")))
                QCOMPARE(readFile(log), it.value());
        }
    }

    void clockChanges_data()
    {
        QTest::addColumn<QStringList>("times");
        QTest::addColumn<QStringList>("files");
        QTest::newRow("midnight") << QStringList{"2026-03-01T23:59:59.900",
                                                 "2026-03-02T00:00:00.100"}
                                  << QStringList{"2026-03-01/23.bin", "2026-03-02/00.bin"};
        QTest::newRow("set back") << QStringList{"2026-03-02T00:00:01.000",
                                                 "2026-03-01T23:59:59.000"}
                                  << QStringList{"2026-03-02/00.bin", "2026-03-01/23.bin"};
    }
    void clockChanges()
    {
        QFETCH(QStringList, times);
        QFETCH(QStringList, files);
        QTemporaryDir dir;
        const auto session = startSession(serverSettings(dir.filePath("{date}/{hour}.bin")));
        const auto client = connectTo(listeningPort(*session));
        for (int i = 0; i < 2; ++i) {
            const qint64 moment = localMicroseconds(times[i]);
            LogFileName::setClock([moment] { return moment; });
            const QByteArray chunk = QByteArray(1000 * (i + 1), char('x' + i));
            QVERIFY(sendAll(*client, chunk));
            QTRY_COMPARE_WITH_TIMEOUT(readFile(dir.filePath(files[i])), chunk, 5000);
            QCOMPARE(replay(dir.filePath(files[i])).value(QString()), chunk);
            const QByteArray line = readFile(dir.filePath(files[i] + ".idx")).split('\n').value(1);
            QVERIFY2(line.startsWith((times[i] + "000").toLatin1()), line.constData());
        }
    }

    // A second chunk follows once "missing" exists and no file stands in a field's folder.
    void folders_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("blocker");
        QTest::addColumn<QString>("error");
        QTest::addColumn<QString>("file");
        QTest::newRow("field folders made") << "{date}/{hour}/log"
                                            << ""
                                            << ""
                                            << "2026-03-01/10/log";
        QTest::newRow("literal folder") << "missing/{date}"
                                        << ""
                                        << "No such file or directory"
                                        << "missing/2026-03-01";
        QTest::newRow("literal above field") << "missing/{date}/log"
                                             << ""
                                             << "No such file or directory"
                                             << "missing/2026-03-01/log";
        QTest::newRow("file in the way") << "{date}/log"
                                         << "2026-03-01"
                                         << "Not a directory"
                                         << "2026-03-01/log";
        QTest::newRow("no fields") << "{name}{DATE}{date"
                                   << ""
                                   << ""
                                   << "{name}{DATE}{date";
        QTest::newRow("mixed") << "{peer}{x}{port"
                               << ""
                               << ""
                               << "127.0.0.1{x}{port";
    }
    void folders()
    {
        QFETCH(QString, name);
        QFETCH(QString, blocker);
        QFETCH(QString, error);
        QFETCH(QString, file);
        QTemporaryDir dir;
        const qint64 moment = localMicroseconds("2026-03-01T10:00:00.000");
        LogFileName::setClock([moment] { return moment; });
        QVERIFY(blocker.isEmpty() || writeFile(dir.filePath(blocker), "in the way"));
        const auto session = startSession(serverSettings(dir.filePath(name)));
        const auto client = connectTo(listeningPort(*session));
        QVERIFY(sendAll(*client, "first"));
        const QByteArray first = error.isEmpty() ? "first" : "";
        if (error.isEmpty())
            QTRY_COMPARE_WITH_TIMEOUT(readFile(dir.filePath(file)), first, 5000);
        else
            QTRY_COMPARE_WITH_TIMEOUT(session->statusText(), QStringLiteral("Status: ") + error,
                                      5000);
        QVERIFY(session->isActive());
        QVERIFY(QDir(dir.path()).mkdir("missing") &&
                (blocker.isEmpty() || QFile::remove(dir.filePath(blocker))));
        QVERIFY(sendAll(*client, "second"));
        QTRY_COMPARE_WITH_TIMEOUT(readFile(dir.filePath(file)), first + "second", 5000);
    }

    void storedOption_data()
    {
        QTest::addColumn<int>("sessions");
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<int>("value");
        QTest::newRow("set") << 1 << QByteArray() << 1;
        QTest::newRow("unset: absent") << 1 << QByteArray() << 0;
        QTest::newRow("set, no sessions") << 0 << QByteArray() << 1;
        QTest::newRow("unset, no sessions") << 0 << QByteArray() << 0;
        QTest::newRow("cleared") << 2 << QByteArray("[Session2]\r\nArrivalIndex=1\r\n") << 0;
    }
    void storedOption()
    {
        QFETCH(int, sessions);
        QFETCH(QByteArray, before);
        QFETCH(int, value);
        QTemporaryDir dir;
        const QString file = dir.filePath("set.ksf");
        QVERIFY(before.isEmpty() || writeFile(file, before));
        Configuration config;
        config.Sessions.resize(sessions);
        config.Globals.ArrivalIndex = value;
        QVERIFY(ConfigFile::write(file, config));
        QCOMPARE(ConfigFile::read(file, {}).Globals.ArrivalIndex, value);
        QCOMPARE(readFile(file).contains("ArrivalIndex"), value != 0 || !before.isEmpty());
    }

    void optionsBox()
    {
        for (const Language language : {Language::English, Language::Japanese}) {
            LoadResource::setRunningLanguage(language);
            frmOptions dialog;
            QCOMPARE(dialog.Check2->text(), LoadResource::LoadResString(9033));
            QCOMPARE(dialog.Check2->toolTip(), LoadResource::LoadResString(9034));
            QVERIFY(dialog.Check2->geometry().top() >= dialog.Frame1->geometry().bottom());
            QVERIFY(dialog.rect().contains(dialog.Check2->geometry()));
            QVERIFY(dialog.Check2->isChecked());
            dialog.Check2->setChecked(false);
            dialog.Command3_Click();
            QCOMPARE(Module1::ArrivalIndex, 1);
        }
        frmOptions dialog;
        dialog.Check2->setChecked(false);
        dialog.Command2_Click();
        QCOMPARE(Module1::ArrivalIndex, 0);
        LoadResource::setRunningLanguage(Language::English);
    }
};

QTEST_MAIN(tst_ArrivalLog)
#include "tst_arrivallog.moc"
