#include "TestSupport.h"
#include "core/net/Winsock.h"

#include <QtTest>

using namespace TestSupport;

// The socket adapter against real peers on 127.0.0.1.
class tst_Winsock : public QObject {
    Q_OBJECT

private slots:
    // Closed by the peer, the element stays in state 8 until Close(). Unread bytes are reported
    // again before the peer's close; closing then drops that close and raises none of its own.
    void client()
    {
        Peer peer;
        Winsock client(3);
        QSignalSpy arrivals(&client, &Winsock::DataArrival), closes(&client, &Winsock::Closed);
        client.setRemoteHost(QStringLiteral("127.0.0.1"));
        client.setRemotePort(peer.port());
        std::unique_ptr<QTcpSocket> server;
        QVERIFY(client.Connect().ok() && (server = peer.next()));
        QTRY_COMPARE_WITH_TIMEOUT(client.State(), int(Winsock::sckConnected), 5000);
        server->disconnectFromHost();
        QTRY_COMPARE_WITH_TIMEOUT(closes.count(), 1, 5000);
        QCOMPARE(client.State(), int(Winsock::sckClosing));
        client.Close();

        QVERIFY(client.Connect().ok() && (server = peer.next()));
        QVERIFY(sendAll(*server, "unread"));
        QTRY_COMPARE_WITH_TIMEOUT(arrivals.count(), 1, 5000);
        connect(&client, &Winsock::DataArrival, &client, &Winsock::Close); // on the second one
        server->disconnectFromHost();
        QTRY_COMPARE_WITH_TIMEOUT(arrivals.count(), 2, 5000);
        QCOMPARE(client.State(), int(Winsock::sckClosed));
        QCoreApplication::processEvents(); // every event due so far, queued or from the socket
        QCOMPARE(closes.count(), 1);
    }

    void guardedCallsFailAtOnce_data()
    {
        QTest::addColumn<QString>("call"); // and the address to bind, if any
        QTest::addColumn<int>("number");
        QTest::newRow("connect while connecting") << "connect" << int(Winsock::sckWrongState);
        QTest::newRow("listen without bind") << "listen" << int(Winsock::sckWrongState);
        QTest::newRow("bind while listening") << "rebind 127.0.0.1" << int(Winsock::sckWrongState);
        QTest::newRow("accept an unknown request") << "accept" << int(Winsock::sckBadRequestID);
        QTest::newRow("port in use on loopback") << "bind 127.0.0.1" << 10048;
        QTest::newRow("port in use, every address") << "bind" << 10048;
        QTest::newRow("address not of this machine") << "bind 192.0.2.1" << 10049;
        QTest::newRow("not an address") << "bind no such address" << 10049;
    }

    // The failure is the call's result: the state stays as it was and no event follows.
    void guardedCallsFailAtOnce()
    {
        QFETCH(QString, call);
        QFETCH(int, number);
        const QString address = call.section(' ', 1);
        Peer occupant;
        Winsock element(0);
        QSignalSpy errors(&element, &Winsock::Error);
        element.setRemoteHost(QStringLiteral("127.0.0.1"));
        element.setRemotePort(occupant.port());
        QVERIFY(call != "connect" || element.Connect().ok());
        QVERIFY(!call.startsWith("rebind") ||
                (element.Bind(0, address).ok() && element.Listen().ok()));
        const int before = element.State();
        const Winsock::Result result = call == "connect"  ? element.Connect()
                                       : call == "listen" ? element.Listen()
                                       : call == "accept" ? element.Accept(123456)
                                                          : element.Bind(occupant.port(), address);
        QCOMPARE(result.Number, number);
        QVERIFY(!result.Description.isEmpty());
        QCOMPARE(element.State(), before);
        QCoreApplication::processEvents(); // every event due so far, queued or from the socket
        QCOMPARE(errors.count(), 0);
    }

    // Bound to every address: a connection made before Listen() waits in the backlog, and once
    // accepted its data comes before its close; a request that no handler accepts is released.
    void listener()
    {
        Winsock listener(0), first(1), second(2), third(3);
        QList<qint32> requests;
        connect(&listener, &Winsock::ConnectionRequest, this, [&](int, qint32 id) {
            Winsock *into[] = {&first, nullptr, &second, &third};
            if (Winsock *element = into[(requests << id).size() - 1])
                QVERIFY(element->Accept(id).ok());
        });
        QByteArray received;
        connect(&first, &Winsock::DataArrival, this, [&] { received += first.GetData(); });
        connect(&first, &Winsock::Closed, this, [&] { received += "|closed"; });
        QVERIFY(listener.Bind(0, QString()).ok() && listener.State() == Winsock::sckOpen);
        const quint16 port = quint16(listener.LocalPort());
        auto early = connectTo(port);
        QVERIFY(sendAll(*early, "early bytes"));
        early->disconnectFromHost();
        QVERIFY(listener.Listen().ok() && listener.State() == Winsock::sckListening);
        QTRY_COMPARE_WITH_TIMEOUT(received, QByteArray("early bytes|closed"), 5000);

        auto unaccepted = connectTo(port);
        QTRY_COMPARE_WITH_TIMEOUT(unaccepted->state(), QAbstractSocket::UnconnectedState, 5000);
        QCOMPARE(requests.size(), 2);
        QCOMPARE(Winsock(0).Accept(requests.at(1)).Number, int(Winsock::sckBadRequestID));

        // Two elements with data in one pass, each closing the other on its arrival: the one
        // closed first raises nothing more.
        auto peers = {connectTo(port), connectTo(port)};
        QTRY_VERIFY_WITH_TIMEOUT(third.State() == Winsock::sckConnected, 5000);
        int raised = 0;
        for (Winsock *element : {&second, &third}) {
            connect(element, &Winsock::DataArrival, this, [&, element] {
                ++raised;
                (element == &second ? third : second).Close();
            });
            connect(element, &Winsock::Error, this, [&raised] { ++raised; });
        }
        for (const auto &peer : peers)
            QVERIFY(peer->write("x") == 1 && peer->flush());
        QTRY_COMPARE_WITH_TIMEOUT(raised, 1, 5000);
        QCoreApplication::processEvents(); // every event due so far, queued or from the socket
        QCOMPARE(raised, 1);
    }
};

QTEST_GUILESS_MAIN(tst_Winsock)
#include "tst_winsock.moc"
