#include "TestSupport.h"
#include "core/app/Module1.h"
#include "core/app/ProgramFolder.h"
#include "core/engine/Session.h"
#include "core/net/Winsock.h"

#include <QtTest>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace TestSupport;

class tst_Scale : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:
    void activationFailsWithoutAnEpollSet() // runs first: no epoll set exists yet
    {
        ProgramFolder::setPath(m_dir.path());
        Module1::LogErrors = 1;
        Session session; // takes its spare handles before the process runs out
        session.setSettings(serverSettings(m_dir.filePath("none.log")));
        std::vector<int> filler(1, 0);
        while (filler.back() >= 0)
            filler.push_back(::dup(STDERR_FILENO));
        session.Command1_Click();
        std::for_each(filler.begin() + 1, filler.end() - 1, ::close);
        QCOMPARE(session.statusText(), QStringLiteral("Status: Error  Too many open files"));
        QVERIFY(readFile(m_dir.filePath("errorlog.txt")).contains("Too many open files"));
        session.Command1_Click();
        QVERIFY(session.isActive());
    }
    void peerEndsRightAfterSending_data()
    {
        QTest::addColumn<bool>("halfClose");
        QTest::newRow("sends and resets") << false;
        QTest::newRow("sends and half-closes") << true;
    }
    void peerEndsRightAfterSending()
    {
        QFETCH(bool, halfClose);
        Winsock listener(0), element(1);
        QVERIFY(listener.Bind(0, QStringLiteral("127.0.0.1")).ok() && listener.Listen().ok());
        connect(&listener, &Winsock::ConnectionRequest, &element,
                [&](int, qint32 id) { element.Accept(id); });
        QByteArray received, atClose; // what had been delivered when the close came
        connect(&element, &Winsock::DataArrival, this, [&] { received += element.GetData(); });
        QSignalSpy closes(&element, &Winsock::Closed), errors(&element, &Winsock::Error);
        connect(&element, &Winsock::Closed, this, [&] { atClose = received; });
        const auto peer = connectTo(quint16(listener.LocalPort()));
        QVERIFY(sendAll(*peer, QByteArray(48 * 1024, 'k')));
        const linger abortive = {1, 0}; // a reset instead of the orderly close
        ::setsockopt(peer->socketDescriptor(), SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
        halfClose ? void(::shutdown(int(peer->socketDescriptor()), SHUT_WR)) : peer->abort();
        QTRY_COMPARE_WITH_TIMEOUT(closes.count(), 1, 5000);
        QCOMPARE(atClose, QByteArray(48 * 1024, 'k'));
        // Later passes of the event loop: the ended element raised nothing more.
        QSignalSpy requests(&listener, &Winsock::ConnectionRequest);
        const auto second = connectTo(quint16(listener.LocalPort()));
        QTRY_COMPARE_WITH_TIMEOUT(requests.count(), 1, 5000);
        QCOMPARE(closes.count(), 1);
        QCOMPARE(errors.count(), 0);
    }
    void thousandsIdleWhileOneStreams()
    {
        rlimit files = {};
        ::getrlimit(RLIMIT_NOFILE, &files);
        files.rlim_cur = files.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &files);
        const int idle = int(qMin<rlim_t>(4000, (files.rlim_cur - 200) / 2)); // two per client
        if (idle < 500)
            QSKIP("the open-file limit allows fewer than 500 idle clients");
        const QString log = m_dir.filePath("stream.log");
        auto session = startSession(serverSettings(log));
        const quint16 port = listeningPort(*session);
        std::vector<std::unique_ptr<QTcpSocket>> clients(static_cast<size_t>(idle));
        std::generate(clients.begin(), clients.end(), [port] { return connectTo(port); });
        QTRY_COMPARE_WITH_TIMEOUT(session->NumConnected(), idle, 30000);

        auto streamer = connectTo(port);
        QByteArray data(8 << 20, Qt::Uninitialized); // bytes that show any loss or reordering
        QRandomGenerator(7).fillRange(reinterpret_cast<quint32 *>(data.data()), data.size() / 4);
        QVERIFY(sendAll(*streamer, data));
        QTRY_COMPARE_WITH_TIMEOUT(readFile(log), data, 30000);

        clients.clear();
        QTRY_COMPARE_WITH_TIMEOUT(session->NumConnected(), 1, 30000);
        QCOMPARE(session->statusText(), QStringLiteral("Status: (1)Connected"));
    }
};

QTEST_GUILESS_MAIN(tst_Scale)
#include "tst_scale.moc"
