#include "TestSupport.h"

#include "core/app/Module1.h"
#include "core/config/ConfigFile.h"
#include "core/engine/LogFileName.h"
#include "core/engine/Session.h"

#include <QtTest>

using namespace TestSupport;

class tst_ArrivalLog final : public QObject {
    Q_OBJECT

    // The log by its index (the heading gives nothing), per "peer<TAB>port", and whole under "".
    static QMap<QString, QByteArray> replay(const QString &log)
    {
        QMap<QString, QByteArray> streams;
        for (const QByteArray &line : readFile(log + ".idx").split('\n')) {
            const QList<QByteArray> f = line.trimmed().split('\t');
            const QByteArray slice = readFile(log).mid(f.value(3).toInt(), f.value(4).toInt());
            streams[QString::fromLatin1(f.value(1) + '\t' + f.value(2))] += slice;
            streams[QString()] += slice;
        }
        return streams;
    }

private slots:
    void initTestCase() { Module1::ArrivalIndex = 1; }

    // Three clients from three addresses send interleaved just before midnight, then ("missing"
    // made) just after. By the index each client's stream is whole and once in its peer's and day's
    // file; a file per client holds exactly it. `error`: the status after the first half, which is
    // lost.
    void clientsKeepTheirStreams_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("error");
        QTest::newRow("per client and day") << QString("{date}/{peer}{x}{DATE}{port") << QString();
        QTest::newRow("one shared file, no fields") << QString("{name}{DATE}{date") << QString();
        QTest::newRow("literal folder") << QString("missing/{date}") << QString("No such file");
        QTest::newRow("literal above field") << QString("missing/{date}/x") << QString("No such");
    }
    void clientsKeepTheirStreams()
    {
        QFETCH(QString, name);
        QFETCH(QString, error);
        QTemporaryDir dir;
        const auto session = startSession(serverSettings(dir.filePath(name)));
        std::unique_ptr<QTcpSocket> clients[3];
        const QString peers[3] = {"127.0.0.2", "127.0.0.3", "127.0.0.4"};
        for (int c = 0; c < 3; ++c)
            clients[c] = connectTo(listeningPort(*session), peers[c]);
        QTRY_COMPARE_WITH_TIMEOUT(session->NumConnected(), 3, 5000);
        QByteArray sent[3][2];
        const auto logged = [&](int upTo) {
            for (int c = 0; c < 3; ++c)
                for (int half = 0; half <= upTo; ++half) {
                    QString path = QString(name).replace("{peer}", peers[c]);
                    const bool daily = path.contains("{date}");
                    path = dir.filePath(path.replace("{date}", half ? "2026-03-02" : "2026-03-01"));
                    const QByteArray want = daily ? sent[c][half] : sent[c][0] + sent[c][1];
                    const auto streams = replay(path);
                    const QString key = peers[c] + '\t' + QString::number(clients[c]->localPort());
                    if (streams.value(key) != want || streams.value(QString()) != readFile(path) ||
                        (path.contains(peers[c]) && readFile(path) != want))
                        return false;
                }
            return true;
        };
        const qint64 eve = QDateTime(QDate(2026, 3, 1), QTime(23, 59, 59, 900)).toMSecsSinceEpoch();
        for (const int half : {0, 1}) {
            LogFileName::setClock([at = (eve + 200 * half) * 1000] { return at; });
            // A lost half is one client's only: the status tells when it has been handled.
            for (int chunk = 0; chunk < (error.isEmpty() ? 60 : 1); ++chunk) {
                const QByteArray bytes(chunk * 20 + 1, char('a' + chunk % 3 + 3 * half));
                sent[chunk % 3][half] += error.isEmpty() ? bytes : QByteArray();
                QVERIFY(sendAll(*clients[chunk % 3], bytes));
            }
            QTRY_VERIFY_WITH_TIMEOUT(
                error.isEmpty() ? logged(half) : session->statusText().contains(error), 5000);
            QVERIFY(QDir(dir.path()).mkpath("missing"));
            error.clear();
        }
        QCOMPARE(session->statusText(), QString("Status:"));
    }

    // Kept through a working set file (0 too, once it was set); absent while it never was.
    void storedOption()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath("set.ksf");
        Configuration config;
        for (const auto &[value, present] : {std::pair{0, false}, {1, true}, {0, true}}) {
            config.Globals.ArrivalIndex = value;
            QVERIFY(ConfigFile::write(file, config));
            QCOMPARE(ConfigFile::read(file, {}).Globals.ArrivalIndex, value);
            QCOMPARE(readFile(file).contains("ArrivalIndex"), present);
        }
    }
};

QTEST_MAIN(tst_ArrivalLog)
#include "tst_arrivallog.moc"
