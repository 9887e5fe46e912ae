#include "TestSupport.h"
#include "core/app/Module1.h"
#include "core/app/ProgramFolder.h"
#include "core/engine/ErrorLog.h"
#include "core/engine/Session.h"
#include "core/net/Winsock.h"
#include "core/text/LoadResource.h"

#include <QFile>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>
#include <vector>

using LoadResource::Language;

namespace {

std::unique_ptr<QTcpSocket> connectTo(quint16 port)
{
    auto socket = std::make_unique<QTcpSocket>();
    socket->connectToHost(QHostAddress::LocalHost, port);
    return socket;
}

bool sendAll(QTcpSocket &socket, const QByteArray &data)
{
    socket.write(data);
    return socket.waitForBytesWritten(5000) || socket.bytesToWrite() == 0;
}

} // namespace

// The session engine against real peers on 127.0.0.1 and real files.
class tst_Session : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void activationChecksAndStatusTexts_data();
    void activationChecksAndStatusTexts();
    void halfPortsRoundToEven_data();
    void halfPortsRoundToEven();
    void clientActivationConnectsToARealListener();
    void serverWithThreeClientsLogsEveryByte();
    void singleClientServerRefusesASecondClient();
    void optionCodesDecideWhatIsLogged_data();
    void optionCodesDecideWhatIsLogged();
    void firstConnectedClientOnlySwitchesOnClose();
    void clientReconnectsAfterPeerCloses();
    void refusedClientLogsEveryAttemptAndRunsTheProgram();
    void deactivationStopsReconnecting();
    void unwritableLogPathKeepsSessionActive_data();
    void unwritableLogPathKeepsSessionActive();
    void twoServersLogIndependently();
    void errorLogLineFormat_data();
    void errorLogLineFormat();

private:
    std::unique_ptr<Session> serverSession(const QString &logFile, qint16 allowMulti = 1,
                                           qint16 tcpOptions = 0);
    QString path(const QString &name) const { return m_dir->filePath(name); }

    std::unique_ptr<QTemporaryDir> m_dir;
};

void tst_Session::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    ProgramFolder::setPath(m_dir->path());
    LoadResource::setRunningLanguage(Language::English);
    Module1::LogErrors = 0;
    Module1::OnErrorRunApp.clear();
    ErrorLog::setClock({});
}

void tst_Session::cleanup()
{
    ProgramFolder::setPath(QString());
    Module1::LogErrors = 0;
    Module1::OnErrorRunApp.clear();
}

std::unique_ptr<Session> tst_Session::serverSession(const QString &logFile, qint16 allowMulti,
                                                    qint16 tcpOptions)
{
    auto session = std::make_unique<Session>();
    SessionSettings settings;
    settings.TCPOption = 1;
    settings.LocalIP = QStringLiteral("127.0.0.1");
    settings.PortNumber = QStringLiteral("0");
    settings.LogFile = logFile;
    settings.AllowMultiConnect = allowMulti;
    settings.ServerTCPOptions = tcpOptions;
    session->setSettings(settings);
    session->Command1_Click();
    return session;
}

void tst_Session::activationChecksAndStatusTexts_data()
{
    QTest::addColumn<int>("language");
    QTest::addColumn<bool>("server");
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("status");
    QTest::addColumn<bool>("active");

    for (const Language language : {Language::English, Language::Japanese}) {
        const bool en = language == Language::English;
        const QByteArray tag = en ? "en " : "ja ";
        const QString invalidHost = en ? QStringLiteral("Status: Error - Invalid IP Address")
                                       : QStringLiteral("ステータス: エラー-不正なIPアドレス");
        const QString invalidPort = en ? QStringLiteral("Status: Error - Invalid Port Number")
                                       : QStringLiteral("ステータス: エラー-不正なポート番号");
        QTest::newRow(tag + "empty host") << int(language) << false << ""
                                          << "1000" << invalidHost << false;
        QTest::newRow(tag + "port -5") << int(language) << false << "127.0.0.1"
                                       << "-5" << invalidPort << false;
        QTest::newRow(tag + "port 70000") << int(language) << true << ""
                                          << "70000" << invalidPort << false;
        QTest::newRow(tag + "client connecting") << int(language) << false << "127.0.0.1"
                                                 << "1"
                                                 << (en ? QStringLiteral("Status: Connecting...")
                                                        : QStringLiteral("ステータス: 接続中..."))
                                                 << true;
        QTest::newRow(tag + "server listening") << int(language) << true << ""
                                                << "0"
                                                << (en ? QStringLiteral("Status: Listening...")
                                                       : QStringLiteral("ステータス: 受信中..."))
                                                << true;
        QTest::newRow(tag + "non-numeric port counts as 0")
            << int(language) << true << ""
            << "abc"
            << (en ? QStringLiteral("Status: Listening...")
                   : QStringLiteral("ステータス: 受信中..."))
            << true;
    }
}

void tst_Session::activationChecksAndStatusTexts()
{
    QFETCH(int, language);
    QFETCH(bool, server);
    QFETCH(QString, host);
    QFETCH(QString, port);
    QFETCH(QString, status);
    QFETCH(bool, active);
    LoadResource::setRunningLanguage(Language(language));

    Session session;
    QSignalSpy captions(&session, &Session::captionChanged);
    SessionSettings settings;
    settings.TCPOption = server ? 1 : 0;
    settings.IPAddress = host;
    settings.LocalIP = QStringLiteral("127.0.0.1");
    settings.PortNumber = port;
    session.setSettings(settings);
    session.Command1_Click();
    QCOMPARE(session.statusText(), status);
    QCOMPARE(session.isActive(), active);
    QCOMPARE(captions.count(), active ? 1 : 0);
    if (!active)
        return;
    QCOMPARE(captions.at(0).at(0).toString(), LoadResource::LoadResString(2143));
    QCOMPARE(session.ActiveMode(), qint16(server ? 1 : 0));

    session.Command1_Click();
    QVERIFY(!session.isActive());
    QCOMPARE(session.statusText(), Language(language) == Language::English
                                       ? QStringLiteral("Status: Closed")
                                       : QStringLiteral("ステータス: 切断"));
    QCOMPARE(session.Winsock1(0)->State(), int(Winsock::sckClosed));
    QCOMPARE(session.Winsock1(0)->LocalPort(), 0);
}

void tst_Session::halfPortsRoundToEven_data()
{
    QTest::addColumn<QString>("port");
    QTest::addColumn<int>("expected");
    QTest::newRow("10.5") << "10.5" << 10;
    QTest::newRow("11.5") << "11.5" << 12;
    QTest::newRow("leading blanks") << "  80" << 80;
    QTest::newRow("trailing text") << "81abc" << 81;
}

void tst_Session::halfPortsRoundToEven()
{
    QFETCH(QString, port);
    QFETCH(int, expected);
    Session session;
    SessionSettings settings;
    settings.IPAddress = QStringLiteral("127.0.0.1");
    settings.PortNumber = port;
    session.setSettings(settings);
    session.Command1_Click();
    QCOMPARE(session.Winsock1(0)->RemotePort(), expected);
    session.Command1_Click();
}

void tst_Session::clientActivationConnectsToARealListener()
{
    QTcpServer peer;
    QVERIFY(peer.listen(QHostAddress::LocalHost, 0));
    Session session;
    SessionSettings settings;
    settings.IPAddress = QStringLiteral("127.0.0.1");
    settings.PortNumber = QString::number(peer.serverPort());
    settings.LogFile = path(QStringLiteral("client.log"));
    session.setSettings(settings);
    session.Command1_Click();
    QTRY_COMPARE_WITH_TIMEOUT(session.statusText(), QStringLiteral("Status: Connected"), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(peer.hasPendingConnections(), 5000);
    std::unique_ptr<QTcpSocket> server(peer.nextPendingConnection());
    const QByteArray bytes("line one\r\n\x00\x80\xff", 13);
    QVERIFY(sendAll(*server, bytes));
    QTRY_COMPARE_WITH_TIMEOUT(TestSupport::readFile(settings.LogFile), bytes, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(!session.indicatorRed(), 2000);
}

void tst_Session::serverWithThreeClientsLogsEveryByte()
{
    const QString log = path(QStringLiteral("server.log"));
    auto session = serverSession(log);
    QVERIFY(session->isActive());
    const quint16 port = quint16(session->Winsock1(0)->LocalPort());

    std::vector<std::unique_ptr<QTcpSocket>> clients;
    for (int i = 1; i <= 3; ++i) {
        clients.push_back(connectTo(port));
        QTRY_COMPARE_WITH_TIMEOUT(session->NumConnected(), i, 5000);
    }
    QCOMPARE(session->statusText(), QStringLiteral("Status: (3)Connected"));
    QCOMPARE(session->MaxSocketIndex(), 3);

    // One arrival at a time, so the file holds them in this order.
    QByteArray expected;
    const QList<QByteArray> chunks = {QByteArray("\x00\x00first", 7),
                                      QByteArray("\x80\x81\xfe\xff"), QByteArray("third\r\n")};
    for (int i = 0; i < 3; ++i) {
        QVERIFY(sendAll(*clients[size_t(i)], chunks[i]));
        expected += chunks[i];
        QTRY_COMPARE_WITH_TIMEOUT(TestSupport::readFile(log), expected, 5000);
    }

    clients[1]->disconnectFromHost();
    QTRY_COMPARE_WITH_TIMEOUT(session->statusText(), QStringLiteral("Status: (2)Connected"), 5000);
    QCOMPARE(session->Winsock1(2)->State(), int(Winsock::sckClosed));
    clients[1] = connectTo(port);
    QTRY_COMPARE_WITH_TIMEOUT(session->NumConnected(), 3, 5000);
    QCOMPARE(session->Winsock1(2)->State(), int(Winsock::sckConnected));
    QCOMPARE(session->MaxSocketIndex(), 3);
    QCOMPARE(session->connectedClients(), QStringList(3, QStringLiteral("127.0.0.1")));

    for (auto &client : clients)
        client->disconnectFromHost();
    QTRY_COMPARE_WITH_TIMEOUT(session->statusText(), QStringLiteral("Status: Listening..."), 5000);
    QCOMPARE(session->NumConnected(), 0);

    session->Command1_Click();
    for (int i = 0; i <= session->MaxSocketIndex(); ++i)
        QCOMPARE(session->Winsock1(i)->State(), int(Winsock::sckClosed));
    QCOMPARE(session->MaxSocketIndex(), 3);
}

void tst_Session::singleClientServerRefusesASecondClient()
{
    auto session = serverSession(path(QStringLiteral("single.log")), 0);
    const quint16 port = quint16(session->Winsock1(0)->LocalPort());
    auto first = connectTo(port);
    QTRY_COMPARE_WITH_TIMEOUT(session->NumConnected(), 1, 5000);
    auto second = connectTo(port);
    QTRY_COMPARE_WITH_TIMEOUT(second->state(), QAbstractSocket::UnconnectedState, 5000);
    QCOMPARE(session->NumConnected(), 1);
    QCOMPARE(session->MaxSocketIndex(), 1);

    first->disconnectFromHost();
    QTRY_COMPARE_WITH_TIMEOUT(session->NumConnected(), 0, 5000);
    auto third = connectTo(port);
    QTRY_COMPARE_WITH_TIMEOUT(session->NumConnected(), 1, 5000);
    QCOMPARE(session->Winsock1(1)->State(), int(Winsock::sckConnected));
    QCOMPARE(session->MaxSocketIndex(), 1);
}

void tst_Session::optionCodesDecideWhatIsLogged_data()
{
    QTest::addColumn<bool>("server");
    QTest::addColumn<int>("code");
    QTest::addColumn<bool>("logged");
    QTest::newRow("server logs all") << true << 0 << true;
    QTest::newRow("server ignores all") << true << 1 << false;
    QTest::newRow("server unknown code 7 logs") << true << 7 << true;
    QTest::newRow("client logs") << false << 0 << true;
    QTest::newRow("client ignores") << false << 1 << false;
    QTest::newRow("client code 2 logs") << false << 2 << true;
}

void tst_Session::optionCodesDecideWhatIsLogged()
{
    QFETCH(bool, server);
    QFETCH(int, code);
    QFETCH(bool, logged);
    const QString log = path(QStringLiteral("options.log"));
    QTcpServer peer;
    std::unique_ptr<QTcpSocket> sender;
    Session session;
    SessionSettings settings;
    settings.LogFile = log;
    settings.LocalIP = QStringLiteral("127.0.0.1");
    if (server) {
        settings.TCPOption = 1;
        settings.PortNumber = QStringLiteral("0");
        settings.ServerTCPOptions = qint16(code);
    } else {
        QVERIFY(peer.listen(QHostAddress::LocalHost, 0));
        settings.IPAddress = QStringLiteral("127.0.0.1");
        settings.PortNumber = QString::number(peer.serverPort());
        settings.ClientOptions = qint16(code);
    }
    session.setSettings(settings);
    QSignalSpy indicator(&session, &Session::indicatorChanged);
    session.Command1_Click();
    if (server) {
        sender = connectTo(quint16(session.Winsock1(0)->LocalPort()));
        QTRY_COMPARE_WITH_TIMEOUT(session.NumConnected(), 1, 5000);
    } else {
        QTRY_VERIFY_WITH_TIMEOUT(peer.hasPendingConnections(), 5000);
        sender.reset(peer.nextPendingConnection());
    }
    QVERIFY(sendAll(*sender, "payload"));
    QTRY_COMPARE_WITH_TIMEOUT(session.statusText(), QStringLiteral("Status:"), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(indicator.count() >= 1, 5000);
    QCOMPARE(indicator.at(0).at(0).toBool(), true);
    if (logged) {
        QTRY_COMPARE_WITH_TIMEOUT(TestSupport::readFile(log), QByteArray("payload"), 5000);
    } else {
        // The bytes were read: the next arrival is reported, and still nothing is written.
        QTRY_VERIFY_WITH_TIMEOUT(indicator.count() >= 2, 5000);
        QVERIFY(sendAll(*sender, "more"));
        QTRY_VERIFY_WITH_TIMEOUT(indicator.count() >= 3, 5000);
        QVERIFY(!QFile::exists(log));
    }
}

void tst_Session::firstConnectedClientOnlySwitchesOnClose()
{
    const QString log = path(QStringLiteral("first.log"));
    auto session = serverSession(log, 1, 2);
    const quint16 port = quint16(session->Winsock1(0)->LocalPort());
    auto one = connectTo(port);
    QTRY_COMPARE_WITH_TIMEOUT(session->NumConnected(), 1, 5000);
    auto two = connectTo(port);
    QTRY_COMPARE_WITH_TIMEOUT(session->NumConnected(), 2, 5000);

    QVERIFY(sendAll(*two, "dropped"));
    QVERIFY(sendAll(*one, "kept"));
    QTRY_COMPARE_WITH_TIMEOUT(TestSupport::readFile(log), QByteArray("kept"), 5000);
    one->disconnectFromHost();
    QTRY_COMPARE_WITH_TIMEOUT(session->NumConnected(), 1, 5000);
    QVERIFY(sendAll(*two, "-now two"));
    QTRY_COMPARE_WITH_TIMEOUT(TestSupport::readFile(log), QByteArray("kept-now two"), 5000);
}

void tst_Session::clientReconnectsAfterPeerCloses()
{
    auto peer = std::make_unique<QTcpServer>();
    QVERIFY(peer->listen(QHostAddress::LocalHost, 0));
    const quint16 port = peer->serverPort();
    Session session;
    SessionSettings settings;
    settings.IPAddress = QStringLiteral("127.0.0.1");
    settings.PortNumber = QString::number(port);
    settings.LogFile = path(QStringLiteral("reconnect.log"));
    session.setSettings(settings);
    session.Command1_Click();
    QTRY_VERIFY_WITH_TIMEOUT(peer->hasPendingConnections(), 5000);
    QTRY_COMPARE_WITH_TIMEOUT(session.statusText(), QStringLiteral("Status: Connected"), 5000);
    std::unique_ptr<QTcpSocket> first(peer->nextPendingConnection());
    first->setParent(nullptr);
    peer.reset();
    first->disconnectFromHost();
    QTRY_COMPARE_WITH_TIMEOUT(session.statusText(), QStringLiteral("Status: Closed"), 5000);
    QVERIFY(session.reconnectPending());

    QTcpServer again;
    QVERIFY(again.listen(QHostAddress::LocalHost, port));
    QTRY_VERIFY_WITH_TIMEOUT(again.hasPendingConnections(), 12000);
    QTRY_COMPARE_WITH_TIMEOUT(session.statusText(), QStringLiteral("Status: Connected"), 5000);
    QVERIFY(!session.reconnectPending());
    std::unique_ptr<QTcpSocket> second(again.nextPendingConnection());
    QVERIFY(sendAll(*second, "after reconnect"));
    QTRY_COMPARE_WITH_TIMEOUT(TestSupport::readFile(settings.LogFile),
                              QByteArray("after reconnect"), 5000);
}

void tst_Session::refusedClientLogsEveryAttemptAndRunsTheProgram()
{
    const QString marker = path(QStringLiteral("marker.txt"));
    const QString script = path(QStringLiteral("on error.sh"));
    QVERIFY(TestSupport::writeFile(script, "#!/bin/sh\necho ran >> \"$1\"\n"));
    QFile(script).setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    Module1::LogErrors = 1;
    Module1::OnErrorRunApp =
        QLatin1Char('"') + script + QStringLiteral("\" \"") + marker + QLatin1Char('"');
    ErrorLog::setClock([] { return QDateTime(QDate(2026, 3, 4), QTime(5, 6, 7)); });

    const quint16 port = TestSupport::freePort();
    Session session;
    SessionSettings settings;
    settings.IPAddress = QStringLiteral("127.0.0.1");
    settings.PortNumber = QString::number(port);
    settings.LocalIP = QStringLiteral("127.0.0.1");
    settings.LogFile = QStringLiteral(" refused.log ");
    session.setSettings(settings);
    QStringList statuses;
    connect(&session, &Session::statusChanged, this,
            [&](const QString &text) { statuses << text; });
    session.Command1_Click();
    QTRY_COMPARE_WITH_TIMEOUT(statuses.count(QStringLiteral("Status: Closed")), 2, 15000);
    session.Command1_Click();

    const QString refused = QStringLiteral("Status: Error Connection is forcefully rejected");
    QCOMPARE(statuses.mid(0, 5), QStringList({QStringLiteral("Status: Connecting..."), refused,
                                              QStringLiteral("Status: Closed"),
                                              QStringLiteral("Status: Connecting..."), refused}));
    const QByteArray expectedLine =
        "Kestrel Error: Connection is forcefully rejected, 03-04-2026, 05:06:07, Kestrel IP "
        "Address: 127.0.0.1, Client Mode, Remote Host: 127.0.0.1, RemotePort: " +
        QByteArray::number(port) + ", Log File:  refused.log \r\n";
    const QByteArray errorLog = TestSupport::readFile(path(QStringLiteral("errorlog.txt")));
    QCOMPARE(errorLog, expectedLine + expectedLine);
    QTRY_COMPARE_WITH_TIMEOUT(TestSupport::readFile(marker), QByteArray("ran\nran\n"), 5000);
}

void tst_Session::deactivationStopsReconnecting()
{
    Session session;
    SessionSettings settings;
    settings.IPAddress = QStringLiteral("127.0.0.1");
    settings.PortNumber = QString::number(TestSupport::freePort());
    session.setSettings(settings);
    session.Command1_Click();
    QTRY_VERIFY_WITH_TIMEOUT(session.reconnectPending(), 5000);
    session.Command1_Click();
    QVERIFY(!session.reconnectPending());
    QVERIFY(!session.isActive());
    QCOMPARE(session.statusText(), QStringLiteral("Status: Closed"));
}

void tst_Session::unwritableLogPathKeepsSessionActive_data()
{
    QTest::addColumn<QString>("badPath");
    QTest::newRow("empty") << "";
    QTest::newRow("blanks only") << "   ";
    QTest::newRow("missing folder") << "no/such/folder/log.txt";
    QTest::newRow("a folder") << ".";
}

void tst_Session::unwritableLogPathKeepsSessionActive()
{
    QFETCH(QString, badPath);
    Module1::LogErrors = 1;
    const QString bad = badPath.trimmed().isEmpty() ? badPath : path(badPath);
    auto session = serverSession(bad);
    auto client = connectTo(quint16(session->Winsock1(0)->LocalPort()));
    QTRY_COMPARE_WITH_TIMEOUT(session->NumConnected(), 1, 5000);
    QVERIFY(sendAll(*client, "lost"));
    const QString errorLog = path(QStringLiteral("errorlog.txt"));
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(errorLog), 5000);
    QVERIFY(session->statusText().startsWith(QStringLiteral("Status: ")));
    QVERIFY(session->statusText().size() > QStringLiteral("Status: ").size());
    const QString description = session->statusText().mid(8);
    QVERIFY(TestSupport::readFile(errorLog).startsWith(
        ("Kestrel Error: " + description + ", ").toUtf8()));
    QVERIFY(session->isActive());

    const QString good = path(QStringLiteral("fixed.log"));
    session->setLogFile(good);
    QVERIFY(sendAll(*client, "kept"));
    QTRY_COMPARE_WITH_TIMEOUT(TestSupport::readFile(good), QByteArray("kept"), 5000);
}

void tst_Session::twoServersLogIndependently()
{
    const QString logA = path(QStringLiteral("a.log"));
    const QString logB = path(QStringLiteral("b.log"));
    auto a = serverSession(logA);
    auto b = serverSession(logB);
    QVERIFY(a->Winsock1(0)->LocalPort() != b->Winsock1(0)->LocalPort());
    auto toA = connectTo(quint16(a->Winsock1(0)->LocalPort()));
    auto toB = connectTo(quint16(b->Winsock1(0)->LocalPort()));
    QByteArray bigA(256 * 1024, 'a');
    for (int i = 0; i < bigA.size(); ++i)
        bigA[i] = char(i % 251);
    QVERIFY(sendAll(*toA, bigA));
    QVERIFY(sendAll(*toB, "only b"));
    QTRY_COMPARE_WITH_TIMEOUT(TestSupport::readFile(logA), bigA, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(TestSupport::readFile(logB), QByteArray("only b"), 5000);
}

void tst_Session::errorLogLineFormat_data()
{
    QTest::addColumn<bool>("server");
    QTest::addColumn<QString>("expected");
    QTest::newRow("server") << true
                            << "Kestrel Error: boom, 12-05-2026, 14:03:27, Kestrel IP Address: "
                               "10.0.0.5, Server Mode, Local Port: 2101, Log File: C:\\x.txt";
    QTest::newRow("client after failed reconnect")
        << false
        << "Kestrel Error: boom, 12-05-2026, 14:03:27, Kestrel IP Address: 10.0.0.5, Client "
           "Mode, Remote Host: , RemotePort: 0, Log File: C:\\x.txt";
}

void tst_Session::errorLogLineFormat()
{
    QFETCH(bool, server);
    QFETCH(QString, expected);
    ErrorLog::SessionFacts facts;
    facts.ipAddress = QStringLiteral("10.0.0.5");
    facts.serverMode = server;
    facts.localPort = 2101;
    facts.logFile = QStringLiteral("C:\\x.txt");
    QCOMPARE(ErrorLog::line(QStringLiteral("boom"), QDateTime(QDate(2026, 12, 5), QTime(14, 3, 27)),
                            facts),
             expected);
}

QTEST_GUILESS_MAIN(tst_Session)
#include "tst_session.moc"
