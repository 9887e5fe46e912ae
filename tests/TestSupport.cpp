#include "TestSupport.h"

#include "core/engine/Session.h"
#include "core/net/Winsock.h"

#include <QFile>
#include <QTest>

namespace TestSupport {

std::unique_ptr<QTcpSocket> Peer::next(int timeoutMs)
{
    if (!QTest::qWaitFor([this] { return m_server.hasPendingConnections(); }, timeoutMs))
        return nullptr;
    return std::unique_ptr<QTcpSocket>(m_server.nextPendingConnection());
}

std::unique_ptr<QTcpSocket> connectTo(quint16 port, const QString &source)
{
    auto socket = std::make_unique<QTcpSocket>();
    if (!source.isEmpty())
        socket->bind(QHostAddress(source));
    socket->connectToHost(QHostAddress::LocalHost, port);
    return socket;
}

bool sendAll(QTcpSocket &socket, const QByteArray &data)
{
    socket.write(data);
    return QTest::qWaitFor([&socket] { return socket.bytesToWrite() == 0; }, 5000);
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

bool writeFile(const QString &path, const QByteArray &data)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return file.write(data) == data.size();
}

QString recordingScript(const QString &folder, QString *recordFile)
{
    const QString script = folder + QStringLiteral("/record.sh");
    const QString record = folder + QStringLiteral("/record.txt");
    writeFile(script, "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\" >> '" +
                          record.toUtf8() + "'; done\n");
    QFile::setPermissions(script, QFile::permissions(script) | QFile::ExeOwner);
    if (recordFile)
        *recordFile = record;
    return script;
}

SessionSettings serverSettings(const QString &logFile, quint16 port, qint16 allowMulti,
                               qint16 tcpOptions)
{
    SessionSettings settings;
    settings.TCPOption = 1;
    settings.LocalIP = QStringLiteral("127.0.0.1");
    settings.PortNumber = QString::number(port);
    settings.LogFile = logFile;
    settings.AllowMultiConnect = allowMulti;
    settings.ServerTCPOptions = tcpOptions;
    return settings;
}

SessionSettings clientSettings(const QString &logFile, quint16 port)
{
    SessionSettings settings;
    settings.IPAddress = QStringLiteral("127.0.0.1");
    settings.PortNumber = QString::number(port);
    settings.LogFile = logFile;
    return settings;
}

std::unique_ptr<Session> startSession(const SessionSettings &settings)
{
    auto session = std::make_unique<Session>();
    session->setSettings(settings);
    session->Command1_Click();
    return session;
}

quint16 listeningPort(const Session &session)
{
    return quint16(session.Winsock1(0)->LocalPort());
}

} // namespace TestSupport
