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
int connectRaw(quint16 port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in address = {AF_INET, htons(port), {htonl(INADDR_LOOPBACK)}, {}};
    ::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address);
    return fd;
}
} // namespace

class tst_Scale : public QObject {
    Q_OBJECT
private slots:
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
    std::vector<int> filler(1, 0);
    while (filler.back() >= 0)
        filler.push_back(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    session.Command1_Click();
    std::for_each(filler.begin() + 1, filler.end() - 1, ::close);
    QCOMPARE(session.statusText(), QStringLiteral("Status: Error  Too many open files"));
    QVERIFY(TestSupport::readFile(m_dir.filePath("errorlog.txt")).contains("Too many open files"));
    session.Command1_Click();
    QVERIFY(session.isActive());
}

void tst_Scale::peerEndsRightAfterSending_data()
{
    QTest::addColumn<int>("how");
    QTest::newRow("sends and resets") << 0;
    QTest::newRow("sends and half-closes") << 1;
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
    const linger abortive = {1, 0}; // a reset instead of the orderly close
    ::setsockopt(peer, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
    how == 1 ? ::shutdown(peer, SHUT_WR) : ::close(peer);
    QTRY_COMPARE_WITH_TIMEOUT(closes.count(), 1, 5000);
    QCOMPARE(received, payload);
    // Later passes of the event loop: the ended element raised nothing more.
    QSignalSpy requests(&listener, &Winsock::ConnectionRequest);
    ::close(connectRaw(quint16(listener.LocalPort())));
    QTRY_COMPARE_WITH_TIMEOUT(requests.count(), 1, 5000);
    QCOMPARE(closes.count(), 1);
    QCOMPARE(errors.count(), 0);
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
    QTRY_COMPARE_WITH_TIMEOUT(session->NumConnected(), idle, 30000);

    auto streamer = TestSupport::connectTo(port);
    QByteArray data;
    for (int i = 0; i < 256 * 1024; ++i)
        data += QByteArray::number(i, 36).rightJustified(32, '.');
    QVERIFY(TestSupport::sendAll(*streamer, data));
    QTRY_COMPARE_WITH_TIMEOUT(TestSupport::readFile(log), data, 30000);
    QCOMPARE(session->NumConnected(), idle + 1);

    for (const int fd : clients)
        ::close(fd);
    QTRY_COMPARE_WITH_TIMEOUT(session->NumConnected(), 1, 30000);
    QCOMPARE(session->statusText(), QStringLiteral("Status: (1)Connected"));
}

QTEST_GUILESS_MAIN(tst_Scale)
#include "tst_scale.moc"
