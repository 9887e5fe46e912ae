#include "TestSupport.h"
#include "core/app/Module1.h"
#include "core/app/ProgramFolder.h"
#include "core/engine/Session.h"
#include "core/net/Winsock.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
// A blocking client of 127.0.0.1:port; the system completes the handshake on its own.
int connectRaw(quint16 port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0)
        return fd;
    ::close(fd);
    return -1;
}
} // namespace

class tst_Scale : public QObject {
    Q_OBJECT
private slots:
    void init() { QVERIFY(m_dir.isValid()); }
    // First: the process's epoll set does not exist yet.
    void activationFailsWithoutAnEpollSet();
    void peerEndsRightAfterSending_data();
    void peerEndsRightAfterSending();
    void thousandsIdleWhileOneStreams();

private:
    QTemporaryDir m_dir;
};

void tst_Scale::activationFailsWithoutAnEpollSet()
{
    ProgramFolder::setPath(m_dir.path());
    Module1::LogErrors = 1;
    Session session; // takes its spare handles before the process runs out
    session.setSettings(TestSupport::serverSettings(m_dir.filePath("none.log")));
    rlimit saved = {};
    ::getrlimit(RLIMIT_NOFILE, &saved);
    const rlimit tight = {256, saved.rlim_max};
    ::setrlimit(RLIMIT_NOFILE, &tight);
    std::vector<int> filler;
    for (int fd; (fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;)
        filler.push_back(fd);
    session.Command1_Click();
    for (const int fd : filler)
        ::close(fd);
    ::setrlimit(RLIMIT_NOFILE, &saved);
    QVERIFY(!session.isActive());
    QCOMPARE(session.statusText(), QStringLiteral("Status: Error  Too many open files"));
    QVERIFY(TestSupport::readFile(m_dir.filePath("errorlog.txt")).contains("Too many open files"));
    Module1::LogErrors = 0;
    session.Command1_Click();
    QVERIFY(session.isActive());
}

void tst_Scale::peerEndsRightAfterSending_data()
{
    QTest::addColumn<int>("how");
    QTest::newRow("sends and resets") << 0;
    QTest::newRow("sends and half-closes") << 1;
    QTest::newRow("sends and closes") << 2;
}

void tst_Scale::peerEndsRightAfterSending()
{
    QFETCH(int, how);
    Winsock listener(0), element(1);
    QVERIFY(listener.Bind(0, QStringLiteral("127.0.0.1")).ok() && listener.Listen().ok());
    connect(&listener, &Winsock::ConnectionRequest, &element,
            [&](int, qint32 id) { element.Accept(id); });
    QByteArray received;
    connect(&element, &Winsock::DataArrival, this, [&] { received += element.GetData(); });
    QSignalSpy closes(&element, &Winsock::Closed), errors(&element, &Winsock::Error);
    connect(&element, &Winsock::Closed, this, [&] { QCOMPARE(received.size(), 48 * 1024); });
    const int peer = connectRaw(quint16(listener.LocalPort()));
    const QByteArray payload(48 * 1024, 'k');
    QCOMPARE(::send(peer, payload.constData(), size_t(payload.size()), 0), ssize_t(payload.size()));
    const linger abortive = {1, 0};
    if (how == 0)
        ::setsockopt(peer, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
    how == 1 ? ::shutdown(peer, SHUT_WR) : ::close(peer);
    QTRY_COMPARE_WITH_TIMEOUT(closes.count(), 1, 5000);
    QCOMPARE(received, payload);
    // Another arrival on the set afterwards: the ended one raised nothing more.
    Winsock witness(2);
    // The ended element is not closed, so it refuses the request and the witness takes it.
    connect(&listener, &Winsock::ConnectionRequest, &witness,
            [&](int, qint32 id) { witness.Accept(id); });
    const int second = connectRaw(quint16(listener.LocalPort()));
    QCOMPARE(::send(second, "x", 1, 0), ssize_t(1));
    QSignalSpy witnessed(&witness, &Winsock::DataArrival);
    connect(&witness, &Winsock::DataArrival, &witness, [&] { witness.GetData(); });
    QTRY_COMPARE_WITH_TIMEOUT(witnessed.count(), 1, 5000);
    QCOMPARE(closes.count(), 1);
    QCOMPARE(errors.count(), 0);
    QCOMPARE(element.State(), int(Winsock::sckClosing));
    ::close(second);
    if (how == 1)
        ::close(peer);
}

void tst_Scale::thousandsIdleWhileOneStreams()
{
    rlimit files = {};
    ::getrlimit(RLIMIT_NOFILE, &files);
    files.rlim_cur = files.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &files);
    // Each idle client takes two handles here: its own and the session's.
    const int idle = int(qMin<rlim_t>(4000, (files.rlim_cur - 200) / 2));
    if (idle < 500)
        QSKIP("the open-file limit allows fewer than 500 idle clients");
    const QString log = m_dir.filePath("stream.log");
    auto session = TestSupport::startSession(TestSupport::serverSettings(log));
    const quint16 port = TestSupport::listeningPort(*session);
    std::vector<int> clients;
    for (int i = 0; i < idle; ++i)
        clients.push_back(connectRaw(port));
    QVERIFY(std::find(clients.begin(), clients.end(), -1) == clients.end());
    QTRY_COMPARE_WITH_TIMEOUT(session->NumConnected(), idle, 30000);

    auto streamer = TestSupport::connectTo(port);
    QByteArray data(8 * 1024 * 1024, Qt::Uninitialized);
    for (int i = 0; i < data.size(); ++i)
        data[i] = char(i * 7 + i / 4096);
    QVERIFY(TestSupport::sendAll(*streamer, data));
    QTRY_COMPARE_WITH_TIMEOUT(TestSupport::readFile(log).size(), data.size(), 30000);
    QCOMPARE(TestSupport::readFile(log), data);
    QCOMPARE(session->NumConnected(), idle + 1);

    for (const int fd : clients)
        ::close(fd);
    QTRY_COMPARE_WITH_TIMEOUT(session->NumConnected(), 1, 30000);
    QCOMPARE(session->statusText(), QStringLiteral("Status: (1)Connected"));
    QCOMPARE(session->connectedClients().size(), 1);
}

QTEST_GUILESS_MAIN(tst_Scale)
#include "tst_scale.moc"
