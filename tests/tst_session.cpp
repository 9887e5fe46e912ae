#include "StreamTag.h"
#include "TestSupport.h"
#include "Verifier.h"
#include "core/app/Module1.h"
#include "core/app/ProgramFolder.h"
#include "core/engine/ErrorLog.h"
#include "core/engine/Session.h"
#include "core/net/Winsock.h"
#include "core/text/LoadResource.h"

#include <QtTest>

using namespace TestSupport;
using LoadResource::LoadResString;

// Sends `data` and waits until the session handled it: each arrival turns the indicator red.
static bool arrive(Session &session, QTcpSocket &sender, const QByteArray &data)
{
    QSignalSpy indicator(&session, &Session::indicatorChanged);
    return QTest::qWaitFor([&] { return !session.indicatorRed(); }, 5000) &&
           (indicator.clear(), sendAll(sender, data)) &&
           QTest::qWaitFor([&] { return indicator.contains({true}); }, 5000);
}

static const QByteArray FromA("a\x80\xff"), FromB("b\r\n"), FromC("\0\0c", 3); // what peers send

// The session engine against real peers on 127.0.0.1 and real files.
class tst_Session : public QObject {
    Q_OBJECT

    QString path(const QString &name) const { return m_dir->filePath(name); }
    std::unique_ptr<QTemporaryDir> m_dir;

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        ProgramFolder::setPath(m_dir->path());
        Module1::LogErrors = 1;
        Module1::OnErrorRunApp.clear();
        ErrorLog::setClock([] { return QDateTime(QDate(2026, 3, 4), QTime(17, 6, 7)); });
    }

    void activation_data()
    {
        QTest::addColumn<QString>("address"); // remote host of a client, local address of a server
        QTest::addColumn<int>("state");       // string id of the status; 2166 and 2167: server
        QTest::addColumn<QString>("port");
        QTest::addColumn<int>("remotePort"); // where a client connects to
        QTest::newRow("empty host") << "" << 2163 << "1000" << 0;
        QTest::newRow("port -5") << "127.0.0.1" << 2164 << "-5" << 0;
        QTest::newRow("port 65536") << "127.0.0.1" << 2164 << "65536" << 0;
        QTest::newRow("bind fails") << "192.0.2.1" << 2167 << "0" << 0;
        QTest::newRow("server") << "127.0.0.1" << 2166 << "abc" << 0;
        QTest::newRow("10.5 is 10") << "127.0.0.1" << 2165 << "10.5" << 10;
        QTest::newRow("11.5 is 12") << "127.0.0.1" << 2165 << "11.5" << 12;
        QTest::newRow("text after") << "127.0.0.1" << 2165 << " 81a" << 81;
    }

    // The checks before activation and the status of each outcome; the port a client connects to.
    void activation()
    {
        QFETCH(QString, address);
        QFETCH(int, state);
        QFETCH(QString, port);
        SessionSettings settings = clientSettings(path(QStringLiteral("a.log")), 0);
        settings.TCPOption = state == 2166 || state == 2167;
        settings.IPAddress = settings.LocalIP = address;
        settings.PortNumber = port;
        auto session = startSession(settings);
        const auto failure = Winsock::errorFor(QAbstractSocket::SocketAddressNotAvailableError);
        QCOMPARE(session->statusText(),
                 Session::statusWith(state) +
                     (state == 2167 ? "  " + failure.Description : QString()));
        QCOMPARE(session->isActive(), state == 2165 || state == 2166);
        QVERIFY(!QFile::exists(path(QStringLiteral("errorlog.txt"))));
        QTEST(session->Winsock1(0)->RemotePort(), "remotePort");
    }

    // One client: a refused attempt (status, error log, error program), a reconnect, the option
    // code of each arrival, the bytes that come with the close, a reconnect, deactivation.
    void client()
    {
        QString record;
        Module1::OnErrorRunApp = '"' + recordingScript(m_dir->path(), &record) + "\" \"two words\"";
        const PortReservation port;
        const QString log = ' ' + path(QStringLiteral("client.log")) + ' ';
        SessionSettings settings = clientSettings(log, port.port());
        settings.LocalIP = QStringLiteral("127.0.0.1");
        QStringList statuses;
        auto session = startSession(settings);
        QSignalSpy errors(session->Winsock1(0), &Winsock::Error); // raised later, queued
        connect(session.get(), &Session::statusChanged, [&](const QString &s) { statuses << s; });
        const auto status = [](int id) { return Session::statusWith(id); };
        QTRY_COMPARE_WITH_TIMEOUT(statuses.count(status(2162)), 1, 5000);
        Peer peer(port.port());
        auto server = peer.next(12000);
        QVERIFY(server);
        for (const qint16 code : {0, 1, 2}) {
            settings.ClientOptions = code;
            session->setSettings(settings);
            QVERIFY(arrive(*session, *server, "code " + QByteArray::number(code) + ";"));
        }
        server->write(FromC);
        server->disconnectFromHost();
        QTRY_COMPARE_WITH_TIMEOUT(session->statusText(), status(2162), 5000);
        QCOMPARE(readFile(log.trimmed()), "code 0;code 2;" + FromC);
        QVERIFY((server = peer.next(12000)));
        QTRY_COMPARE_WITH_TIMEOUT(session->statusText(), status(2169), 5000);
        server->disconnectFromHost();
        QTRY_VERIFY_WITH_TIMEOUT(session->reconnectPending(), 5000);
        session->Command1_Click();
        QVERIFY(!session->reconnectPending());

        QCOMPARE(errors.value(0).value(1).value<qint16>(), qint16(10061));
        const auto refused = Winsock::errorFor(QAbstractSocket::ConnectionRefusedError).Description;
        QCOMPARE(statuses, QStringList({status(2167) + ' ' + refused, status(2162), status(2165),
                                        status(2169), LoadResString(2161), status(2162),
                                        status(2165), status(2169), status(2162)}));
        QCOMPARE(QString::fromUtf8(readFile(path(QStringLiteral("errorlog.txt")))),
                 QString("Kestrel Error: %1, 03-04-2026, 17:06:07, Kestrel IP Address: 127.0.0.1, "
                         "Client Mode, Remote Host: 127.0.0.1, RemotePort: %2, Log File: %3\r\n")
                     .arg(refused, QString::number(port.port()), log));
        QTRY_COMPARE_WITH_TIMEOUT(readFile(record), QByteArray("two words\n"), 5000);
    }

    // Codes read at each arrival; one client at a time, then A, B, C on elements 1 to 3, D on the
    // freed 1, 300 at once. A second server logs 256 KiB alongside, then fails on a blank path.
    void server()
    {
        const QString log = path("server.log"), otherLog = path("other.log");
        SessionSettings settings = serverSettings(log, 0, 0);
        auto session = startSession(settings);
        auto other = startSession(serverSettings(otherLog));
        auto toOther = connectTo(listeningPort(*other));
        QByteArray big(256 * 1024, '\0');
        StreamTag::fill(0, 0, reinterpret_cast<uchar *>(big.data()), size_t(big.size()));
        QVERIFY(sendAll(*toOther, big));
        const quint16 port = listeningPort(*session);
        std::vector<std::unique_ptr<QTcpSocket>> clients;
        clients.push_back(connectTo(port));
        QTRY_COMPARE_WITH_TIMEOUT(session->NumConnected(), 1, 5000);
        auto refused = connectTo(port);
        QTRY_COMPARE_WITH_TIMEOUT(refused->state(), QAbstractSocket::UnconnectedState, 5000);
        const auto send = [&](size_t client, qint16 code, const QByteArray &data) {
            settings.ServerTCPOptions = code;
            session->setSettings(settings);
            return arrive(*session, *clients[client], data);
        };
        const QString count = LoadResString(2161) + " (%1)" + LoadResString(2169);
        settings.AllowMultiConnect = 1;
        QVERIFY(send(0, 1, "dropped") && !QFile::exists(log));
        clients[0]->disconnectFromHost();
        QTRY_COMPARE_WITH_TIMEOUT(session->statusText(), Session::statusWith(2166), 5000);
        clients.clear();
        for (int i = 1; i <= 3; ++i) {
            clients.push_back(connectTo(port));
            QTRY_COMPARE_WITH_TIMEOUT(session->statusText(), count.arg(i), 5000);
        }
        QVERIFY(send(2, 0, FromC) && send(0, 0, FromA) && send(1, 0, FromB));
        QVERIFY(send(1, 2, "dropped") && send(0, 2, "A2"));
        clients[0]->disconnectFromHost();
        QTRY_COMPARE_WITH_TIMEOUT(session->statusText(), count.arg(2), 5000);
        QVERIFY(send(2, 2, "dropped") && send(1, 2, "B2"));
        clients[0] = connectTo(port);
        QTRY_COMPARE_WITH_TIMEOUT(session->statusText(), count.arg(3), 5000);
        QVERIFY(send(0, 2, "D") && send(2, 7, "C7"));
        QCOMPARE(readFile(log), FromC + FromA + FromB + "A2B2DC7");
        while (clients.size() < 303)
            clients.push_back(connectTo(port));
        QTRY_COMPARE_WITH_TIMEOUT(session->statusText(), count.arg(303), 20000);
        session->Command1_Click();
        QCOMPARE(session->Winsock1(0)->State(), int(Winsock::sckClosed));
        for (const auto &client : clients)
            QTRY_COMPARE_WITH_TIMEOUT(client->state(), QAbstractSocket::UnconnectedState, 5000);

        QTRY_COMPARE_WITH_TIMEOUT(readFile(otherLog), big, 10000);
        // The benchmark's verifier, which the fault tests rely on, accepts this log, not damaged.
        const auto sound = [](const QByteArray &log) {
            const auto *bytes = reinterpret_cast<const uchar *>(log.constData());
            return Verifier(bytes, size_t(log.size()), 1, 256 * 1024).run();
        };
        QVERIFY(sound(big) && !sound(big.mid(1000) + big.left(1000)) && !sound(big.chopped(1)));
        other->setLogFile(QStringLiteral("   "));
        QVERIFY(arrive(*other, *toOther, "lost"));
        QVERIFY(readFile(path(QStringLiteral("errorlog.txt")))
                    .endsWith(", Server Mode, Local Port: " +
                              QByteArray::number(listeningPort(*other)) + ", Log File:    \r\n"));
        other->setLogFile(otherLog);
        QVERIFY(arrive(*other, *toOther, "kept"));
        QCOMPARE(readFile(otherLog), big + "kept");
    }
};

QTEST_GUILESS_MAIN(tst_Session)
#include "tst_session.moc"
