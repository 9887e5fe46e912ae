#include "TestSupport.h"

#include "core/app/Module1.h"
#include "core/config/ConfigFile.h"
#include "core/engine/LogFileName.h"
#include "core/engine/Session.h"

#include <QtTest>

using namespace TestSupport;

class tst_ArrivalLog final : public QObject {
    Q_OBJECT

    static auto replay(const QString &log) // per "peer<TAB>port" by the index; none if not whole
    {
        QMap<QString, QByteArray> streams;
        for (const QByteArray &line : readFile(log + ".idx").split('\n')) {
            const QList<QByteArray> f = line.trimmed().split('\t');
            const QByteArray slice = readFile(log).mid(f.value(3).toInt(), f.value(4).toInt());
            streams[QString::fromLatin1(f.value(1) + '\t' + f.value(2))] += slice;
            streams[QString()] += slice;
        }
        return streams.take(QString()) == readFile(log) ? streams : decltype(streams)();
    }

private slots:
    void initTestCase() { Module1::ArrivalIndex = 1; }

    // Three clients from three addresses send interleaved before midnight, then ("missing" made)
    // after. By the index each client's stream is whole and once in its peer's and day's file; a
    // file per client holds exactly it. `error`: the status once the lost first chunk is handled.
    void clientsKeepTheirStreams_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("error");
        QTest::newRow("per client and day") << QString("{date}/{peer}{x}{DATE}{port") << QString();
        QTest::newRow("one shared file, no fields") << QString("{name}{DATE}{date") << QString();
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
        QByteArray out[3][2]; // what each client sent, by half
        const auto logged = [&](int upTo) {
            for (int c = 0; c < 3; ++c)
                for (int h = 0; h <= upTo; ++h) {
                    QString path = QString(name).replace("{peer}", peers[c]);
                    path = dir.filePath(path.replace("{date}", h ? "2026-03-02" : "2026-03-01"));
                    const auto want = name.contains("{date}") ? out[c][h] : out[c][0] + out[c][1];
                    const auto s = replay(path);
                    const QString key = peers[c] + '\t' + QString::number(clients[c]->localPort());
                    if (s.value(key) != want || (path.contains(peers[c]) && readFile(path) != want))
                        return false;
                }
            return true;
        };
        const qint64 eve = QDateTime(QDate(2026, 3, 1), QTime(23, 59, 59, 900)).toMSecsSinceEpoch();
        for (const int half : {0, 1}) {
            LogFileName::setClock([at = (eve + 200 * half) * 1000] { return at; });
            for (int chunk = 0; chunk < (error.isEmpty() ? 60 : 1); ++chunk) {
                const QByteArray bytes(chunk * 20 + 1, char('a' + chunk % 3 + 3 * half));
                out[chunk % 3][half] += error.isEmpty() ? bytes : QByteArray();
                QVERIFY(sendAll(*clients[chunk % 3], bytes));
            }
            QTRY_VERIFY_WITH_TIMEOUT(
                error.isEmpty() ? logged(half) : session->statusText().contains(error), 5000);
            QVERIFY(QDir(dir.path()).mkpath("missing"));
            error.clear();
        }
        QCOMPARE(session->statusText(), QString("Status:"));
    }

    void storedOption() // kept through a set file (0 too, once it was set); absent until set
    {
        const QTemporaryDir dir;
        Configuration config;
        for (const auto &[value, present] : {std::pair{0, false}, {1, true}, {0, true}}) {
            config.Globals.ArrivalIndex = value;
            ConfigFile::write(dir.filePath("s.ksf"), config);
            QCOMPARE(ConfigFile::read(dir.filePath("s.ksf"), {}).Globals.ArrivalIndex, value);
            QCOMPARE(readFile(dir.filePath("s.ksf")).contains("ArrivalIndex"), present);
        }
    }
};

QTEST_MAIN(tst_ArrivalLog)
#include "tst_arrivallog.moc"
