#include "StreamTag.h"
#include "Verifier.h"

#include <QRandomGenerator>
#include <QtTest>
#include <algorithm>
#include <vector>

namespace {

// One arrival in a made-up log: `length` bytes of `client`'s stream from `offset`.
struct Piece {
    quint32 client;
    quint64 offset;
    quint64 length;
};

// Splits every client's stream into pieces of minPiece to maxPiece bytes, the last piece of a
// stream as long as what is left, and interleaves them at random.
std::vector<Piece> interleave(quint32 clients, quint64 bytes, quint64 minPiece, quint64 maxPiece,
                              quint32 seed)
{
    QRandomGenerator random(seed);
    std::vector<quint64> sent(clients, 0);
    std::vector<quint32> open;
    for (quint32 c = 0; c < clients; ++c)
        open.push_back(c);
    std::vector<Piece> pieces;
    while (!open.empty()) {
        const auto pick = size_t(random.bounded(quint32(open.size())));
        const quint32 c = open[pick];
        const quint64 wanted = minPiece + random.bounded(quint32(maxPiece - minPiece + 1));
        const quint64 length = std::min<quint64>(bytes - sent[c], wanted);
        pieces.push_back({c, sent[c], length});
        sent[c] += length;
        if (sent[c] == bytes)
            open.erase(open.begin() + qsizetype(pick));
    }
    return pieces;
}

QByteArray materialize(const std::vector<Piece> &pieces)
{
    QByteArray log;
    for (const Piece &p : pieces) {
        const qsizetype at = log.size();
        log.resize(at + qsizetype(p.length));
        StreamTag::fill(p.client, p.offset, reinterpret_cast<unsigned char *>(log.data() + at),
                        size_t(p.length));
    }
    return log;
}

bool verify(const QByteArray &log, quint32 clients, quint64 bytes)
{
    Verifier verifier(reinterpret_cast<const unsigned char *>(log.constData()), size_t(log.size()),
                      clients, bytes);
    return verifier.run();
}

} // namespace

// The benchmark's log verifier on logs made up here: it must accept every sound interleaving and
// reject every log that lost, reordered, changed or added bytes.
class tst_StreamCheck : public QObject {
    Q_OBJECT

private slots:
    void soundInterleavingsPass_data();
    void soundInterleavingsPass();
    void damagedLogsFail_data();
    void damagedLogsFail();
};

void tst_StreamCheck::soundInterleavingsPass_data()
{
    QTest::addColumn<quint32>("clients");
    QTest::addColumn<quint64>("bytes");
    QTest::addColumn<quint64>("minPiece");
    QTest::addColumn<quint64>("maxPiece");
    QTest::newRow("one client, one piece")
        << 1u << quint64(100000) << quint64(1 << 20) << quint64(1 << 20);
    QTest::newRow("long pieces") << 10u << quint64(1 << 20) << quint64(1000) << quint64(200000);
    QTest::newRow("pieces from 8 bytes, short ends")
        << 50u << quint64(20001) << quint64(8) << quint64(900);
    QTest::newRow("many clients, odd lengths")
        << 1000u << quint64(1001) << quint64(8) << quint64(700);
    QTest::newRow("pieces around a record") << 40u << quint64(3000) << quint64(20) << quint64(70);
}

void tst_StreamCheck::soundInterleavingsPass()
{
    QFETCH(quint32, clients);
    QFETCH(quint64, bytes);
    QFETCH(quint64, minPiece);
    QFETCH(quint64, maxPiece);
    for (quint32 seed = 1; seed <= 5; ++seed) {
        const QByteArray log = materialize(interleave(clients, bytes, minPiece, maxPiece, seed));
        QVERIFY2(verify(log, clients, bytes), qPrintable(QStringLiteral("seed %1").arg(seed)));
    }
}

void tst_StreamCheck::damagedLogsFail_data()
{
    QTest::addColumn<QString>("damage");
    for (const char *damage :
         {"drop a byte", "drop a piece", "swap two pieces of a client", "change a byte",
          "repeat a piece", "add foreign bytes", "cut the end", "another client's bytes"})
        QTest::newRow(damage) << QString::fromLatin1(damage);
}

void tst_StreamCheck::damagedLogsFail()
{
    QFETCH(QString, damage);
    constexpr quint32 Clients = 40;
    constexpr quint64 Bytes = 5000;
    for (quint32 seed = 1; seed <= 5; ++seed) {
        std::vector<Piece> pieces = interleave(Clients, Bytes, 8, 300, seed);
        QRandomGenerator random(seed * 7919);
        const auto at = size_t(random.bounded(quint32(pieces.size())));
        QByteArray log;
        if (damage == QLatin1String("drop a piece")) {
            pieces.erase(pieces.begin() + qsizetype(at));
        } else if (damage == QLatin1String("swap two pieces of a client")) {
            const auto later =
                std::find_if(pieces.begin() + qsizetype(at) + 1, pieces.end(),
                             [&](const Piece &p) { return p.client == pieces[at].client; });
            if (later == pieces.end())
                continue;
            std::swap(pieces[at], *later);
        } else if (damage == QLatin1String("repeat a piece")) {
            pieces.insert(pieces.begin() + qsizetype(at) + 1, pieces[at]);
        } else if (damage == QLatin1String("another client's bytes")) {
            pieces[at].client = (pieces[at].client + 1) % Clients;
        }
        log = materialize(pieces);
        const auto byte = qsizetype(random.bounded(quint32(log.size())));
        if (damage == QLatin1String("drop a byte"))
            log.remove(byte, 1);
        else if (damage == QLatin1String("change a byte"))
            log[byte] = char(log[byte] ^ 0x20);
        else if (damage == QLatin1String("add foreign bytes"))
            log.insert(byte, "foreign");
        else if (damage == QLatin1String("cut the end"))
            log.chop(1);
        QVERIFY2(!verify(log, Clients, Bytes), qPrintable(QStringLiteral("seed %1").arg(seed)));
    }
}

QTEST_GUILESS_MAIN(tst_StreamCheck)
#include "tst_streamcheck.moc"
