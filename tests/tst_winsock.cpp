#include "TestSupport.h"
#include "core/net/Winsock.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>
#include <memory>
#include <vector>

// The socket adapter against real peers on 127.0.0.1.
class tst_Winsock : public QObject {
    Q_OBJECT

private slots:
    void refusedConnectIsANetworkError();
    void clientConnectsReceivesAndSeesPeerClose();
    void callsInAWrongStateFailAtOnce_data();
    void callsInAWrongStateFailAtOnce();
    void bindFailures_data();
    void bindFailures();
    void bindWithoutAddressListensOnLoopback();
    void acceptedRequestCarriesData();
    void unacceptedRequestIsReleased();
    void closeRaisesNoEventAndDropsQueuedOnes();
    void connectionStormIsDeliveredCompletely();
    void dataSentBeforeAcceptIsDelivered();
};

void tst_Winsock::refusedConnectIsANetworkError()
{
    Winsock client(0);
    QSignalSpy errors(&client, &Winsock::Error);
    client.setRemoteHost(QStringLiteral("127.0.0.1"));
    client.setRemotePort(TestSupport::freePort());
    QVERIFY(client.Connect().ok());
    QTRY_COMPARE_WITH_TIMEOUT(errors.count(), 1, 5000);
    QCOMPARE(errors.at(0).at(0).toInt(), 0);
    QCOMPARE(errors.at(0).at(1).toInt(), 10061);
    QVERIFY(!errors.at(0).at(2).toString().isEmpty());
    QCOMPARE(client.State(), int(Winsock::sckError));
    client.Close();
    QCOMPARE(client.State(), int(Winsock::sckClosed));
}

void tst_Winsock::clientConnectsReceivesAndSeesPeerClose()
{
    QTcpServer peer;
    QVERIFY(peer.listen(QHostAddress::LocalHost, 0));
    Winsock client(3);
    QSignalSpy connected(&client, &Winsock::Connected);
    QSignalSpy arrivals(&client, &Winsock::DataArrival);
    QSignalSpy closes(&client, &Winsock::Closed);
    client.setRemoteHost(QStringLiteral("127.0.0.1"));
    client.setRemotePort(peer.serverPort());
    QVERIFY(client.Connect().ok());
    QTRY_COMPARE_WITH_TIMEOUT(connected.count(), 1, 5000);
    QCOMPARE(connected.at(0).at(0).toInt(), 3);
    QCOMPARE(client.State(), int(Winsock::sckConnected));

    QTRY_VERIFY_WITH_TIMEOUT(peer.hasPendingConnections(), 5000);
    std::unique_ptr<QTcpSocket> server(peer.nextPendingConnection());
    const QByteArray payload("\x00\x01\xfe\xffhello", 9);
    server->write(payload);
    server->flush();
    QByteArray received;
    QTRY_VERIFY_WITH_TIMEOUT((received += client.GetData()).size() == payload.size(), 5000);
    QCOMPARE(received, payload);
    QVERIFY(arrivals.count() >= 1);

    server->disconnectFromHost();
    QTRY_COMPARE_WITH_TIMEOUT(closes.count(), 1, 5000);
    QCOMPARE(client.State(), int(Winsock::sckClosing));
    client.Close();
    QCOMPARE(client.State(), int(Winsock::sckClosed));
}

void tst_Winsock::callsInAWrongStateFailAtOnce_data()
{
    QTest::addColumn<QString>("call");
    QTest::newRow("connect while connecting") << "connect";
    QTest::newRow("listen without bind") << "listen";
    QTest::newRow("bind while listening") << "bind";
    QTest::newRow("accept an unknown request") << "accept";
}

void tst_Winsock::callsInAWrongStateFailAtOnce()
{
    QFETCH(QString, call);
    QTcpServer peer;
    QVERIFY(peer.listen(QHostAddress::LocalHost, 0));
    Winsock element(0);
    QSignalSpy errors(&element, &Winsock::Error);
    Winsock::Result result;
    if (call == QLatin1String("connect")) {
        element.setRemoteHost(QStringLiteral("127.0.0.1"));
        element.setRemotePort(peer.serverPort());
        QVERIFY(element.Connect().ok());
        result = element.Connect();
    } else if (call == QLatin1String("listen")) {
        result = element.Listen();
    } else if (call == QLatin1String("bind")) {
        QVERIFY(element.Bind(0, QStringLiteral("127.0.0.1")).ok());
        QVERIFY(element.Listen().ok());
        result = element.Bind(0, QStringLiteral("127.0.0.1"));
    } else {
        result = element.Accept(123456);
    }
    QVERIFY(!result.ok());
    QVERIFY(result.Number > 0 && result.Number <= 10000);
    QVERIFY(!result.Description.isEmpty());
    QCOMPARE(errors.count(), 0);
}

void tst_Winsock::bindFailures_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("portInUse");
    QTest::addColumn<int>("number");
    QTest::newRow("port in use on loopback") << "127.0.0.1" << true << 10048;
    QTest::newRow("port in use, every address") << "" << true << 10048;
    QTest::newRow("address not of this machine") << "192.0.2.1" << false << 10049;
    QTest::newRow("not an address") << "no such address" << false << 10049;
}

void tst_Winsock::bindFailures()
{
    QFETCH(QString, address);
    QFETCH(bool, portInUse);
    QFETCH(int, number);
    QTcpServer occupant;
    QVERIFY(occupant.listen(QHostAddress::AnyIPv4, 0));
    const quint16 port = portInUse ? occupant.serverPort() : TestSupport::freePort();
    Winsock element(0);
    const Winsock::Result result = element.Bind(port, address);
    QCOMPARE(result.Number, number);
    QVERIFY(!result.Description.isEmpty());
    QCOMPARE(element.State(), int(Winsock::sckClosed));
}

void tst_Winsock::bindWithoutAddressListensOnLoopback()
{
    Winsock listener(0);
    QSignalSpy requests(&listener, &Winsock::ConnectionRequest);
    QVERIFY(listener.Bind(0, QString()).ok());
    QCOMPARE(listener.State(), int(Winsock::sckOpen));
    QVERIFY(listener.Listen().ok());
    QCOMPARE(listener.State(), int(Winsock::sckListening));
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, quint16(listener.LocalPort()));
    QTRY_COMPARE_WITH_TIMEOUT(requests.count(), 1, 5000);
}

void tst_Winsock::acceptedRequestCarriesData()
{
    Winsock listener(0);
    Winsock element(1);
    QSignalSpy arrivals(&element, &Winsock::DataArrival);
    QSignalSpy closes(&element, &Winsock::Closed);
    qint32 acceptedId = 0;
    connect(&listener, &Winsock::ConnectionRequest, this, [&](int index, qint32 id) {
        QCOMPARE(index, 0);
        QVERIFY(element.Accept(id).ok());
        acceptedId = id;
    });
    QVERIFY(listener.Bind(0, QStringLiteral("127.0.0.1")).ok());
    QVERIFY(listener.Listen().ok());

    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, quint16(listener.LocalPort()));
    QTRY_VERIFY_WITH_TIMEOUT(acceptedId != 0, 5000);
    QCOMPARE(element.State(), int(Winsock::sckConnected));
    QCOMPARE(element.RemoteHostIP(), QStringLiteral("127.0.0.1"));
    QCOMPARE(listener.State(), int(Winsock::sckListening));

    client.write("abc");
    QTRY_VERIFY_WITH_TIMEOUT(arrivals.count() >= 1, 5000);
    QCOMPARE(arrivals.at(0).at(0).toInt(), 1);
    QCOMPARE(element.GetData(), QByteArray("abc"));
    client.disconnectFromHost();
    QTRY_COMPARE_WITH_TIMEOUT(closes.count(), 1, 5000);
}

void tst_Winsock::unacceptedRequestIsReleased()
{
    Winsock listener(0);
    QSignalSpy requests(&listener, &Winsock::ConnectionRequest);
    QVERIFY(listener.Bind(0, QStringLiteral("127.0.0.1")).ok());
    QVERIFY(listener.Listen().ok());
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, quint16(listener.LocalPort()));
    QTRY_COMPARE_WITH_TIMEOUT(requests.count(), 1, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(client.state(), QAbstractSocket::UnconnectedState, 5000);
    QCOMPARE(listener.Accept(requests.at(0).at(1).toInt()).Number, int(Winsock::sckWrongState));
    Winsock late(2);
    QCOMPARE(late.Accept(requests.at(0).at(1).toInt()).Number, int(Winsock::sckBadRequestID));
}

void tst_Winsock::closeRaisesNoEventAndDropsQueuedOnes()
{
    QTcpServer peer;
    QVERIFY(peer.listen(QHostAddress::LocalHost, 0));
    Winsock client(0);
    QSignalSpy connected(&client, &Winsock::Connected);
    QSignalSpy arrivals(&client, &Winsock::DataArrival);
    QSignalSpy closes(&client, &Winsock::Closed);
    QSignalSpy errors(&client, &Winsock::Error);
    client.setRemoteHost(QStringLiteral("127.0.0.1"));
    client.setRemotePort(peer.serverPort());
    QVERIFY(client.Connect().ok());
    QTRY_COMPARE_WITH_TIMEOUT(connected.count(), 1, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(peer.hasPendingConnections(), 5000);
    std::unique_ptr<QTcpSocket> server(peer.nextPendingConnection());
    // Closing from the handler of the data drops the close that follows the data.
    connect(&client, &Winsock::DataArrival, this, [&] { client.Close(); });
    server->write("data that is never read");
    server->disconnectFromHost();
    QTRY_COMPARE_WITH_TIMEOUT(arrivals.count(), 1, 5000);
    QCOMPARE(client.State(), int(Winsock::sckClosed));
    bool marker = false;
    QMetaObject::invokeMethod(
        &client, [&] { marker = true; }, Qt::QueuedConnection);
    QTRY_VERIFY_WITH_TIMEOUT(marker, 5000);
    QCOMPARE(closes.count(), 0);
    QCOMPARE(errors.count(), 0);
    QCOMPARE(arrivals.count(), 1);
}

void tst_Winsock::connectionStormIsDeliveredCompletely()
{
    constexpr int Clients = 300;
    Winsock listener(0);
    std::vector<std::unique_ptr<Winsock>> elements;
    connect(&listener, &Winsock::ConnectionRequest, this, [&](int, qint32 id) {
        elements.push_back(std::make_unique<Winsock>(int(elements.size()) + 1));
        QVERIFY(elements.back()->Accept(id).ok());
    });
    QVERIFY(listener.Bind(0, QStringLiteral("127.0.0.1")).ok());
    QVERIFY(listener.Listen().ok());
    std::vector<std::unique_ptr<QTcpSocket>> clients;
    for (int i = 0; i < Clients; ++i) {
        clients.push_back(std::make_unique<QTcpSocket>());
        clients.back()->connectToHost(QHostAddress::LocalHost, quint16(listener.LocalPort()));
    }
    QTRY_COMPARE_WITH_TIMEOUT(int(elements.size()), Clients, 20000);
    for (const auto &element : elements)
        QCOMPARE(element->State(), int(Winsock::sckConnected));
}

void tst_Winsock::dataSentBeforeAcceptIsDelivered()
{
    Winsock listener(0);
    Winsock element(1);
    QSignalSpy arrivals(&element, &Winsock::DataArrival);
    QSignalSpy closes(&element, &Winsock::Closed);
    QVERIFY(listener.Bind(0, QStringLiteral("127.0.0.1")).ok());
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, quint16(listener.LocalPort()));
    QVERIFY(client.waitForConnected(5000));
    client.write("early bytes");
    client.disconnectFromHost();
    // The connection waited in the backlog before listening started.
    connect(&listener, &Winsock::ConnectionRequest, this,
            [&](int, qint32 id) { QVERIFY(element.Accept(id).ok()); });
    QVERIFY(listener.Listen().ok());
    QTRY_VERIFY_WITH_TIMEOUT(arrivals.count() >= 1 || closes.count() >= 1, 5000);
    QByteArray received;
    QTRY_VERIFY_WITH_TIMEOUT((received += element.GetData()) == "early bytes", 5000);
    QTRY_COMPARE_WITH_TIMEOUT(closes.count(), 1, 5000);
}

QTEST_GUILESS_MAIN(tst_Winsock)
#include "tst_winsock.moc"
