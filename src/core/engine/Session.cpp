#include "core/engine/Session.h"

#include "core/app/Module1.h"
#include "core/engine/ArrivalIndex.h"
#include "core/engine/ErrorLog.h"
#include "core/engine/LogFile.h"
#include "core/engine/LogFileName.h"
#include "core/engine/SpareHandle.h"
#include "core/net/Winsock.h"
#include "core/text/LoadResource.h"
#include "core/text/NumericValue.h"

#include <QDateTime>
#include <QMetaMethod>
#include <QTimer>
#include <utility>

using LoadResource::LoadResString;

namespace {
// Element indexes are 16-bit: at most this many client elements exist.
constexpr qint32 MaxClientElements = 32767;
constexpr int ReconnectIntervalMs = 5000;
constexpr int IndicatorIntervalMs = 50;
constexpr int IndicatorGreenEveryTicks = 3;

QString status()
{
    return LoadResString(2161);
}
} // namespace

Session::Session(QObject *parent)
    : QObject(parent), m_timer1(new QTimer(this)), m_timer2(new QTimer(this)), m_status(status())
{
    SpareHandle::keep();
    m_winsock.push_back(createElement(0));
    m_timer1->setInterval(ReconnectIntervalMs);
    connect(m_timer1, &QTimer::timeout, this, &Session::Timer1_Timer);
    m_timer2->setInterval(IndicatorIntervalMs);
    connect(m_timer2, &QTimer::timeout, this, &Session::Timer2_Timer);
}

Session::~Session()
{
    // Sockets go with the session; no event of theirs may reach a half-destroyed session.
    for (Winsock *element : m_winsock)
        element->disconnect(this);
}

void Session::setSettings(const SessionSettings &settings)
{
    m_settings = settings;
}

void Session::Getstatus() const
{
    Module1::AllowMultiConnect = m_settings.AllowMultiConnect;
    Module1::ServerSerialOptions = m_settings.ServerSerialOptions;
    Module1::ServerTCPOptions = m_settings.ServerTCPOptions;
    Module1::ClientOptions = m_settings.ClientOptions;
}

void Session::UpdateStatus()
{
    m_settings.AllowMultiConnect = Module1::AllowMultiConnect;
    m_settings.ServerSerialOptions = Module1::ServerSerialOptions;
    m_settings.ServerTCPOptions = Module1::ServerTCPOptions;
    m_settings.ClientOptions = Module1::ClientOptions;
}

QString Session::statusWith(int id)
{
    return status() + QLatin1Char(' ') + LoadResString(id);
}

QString Session::statusCount(qint32 count)
{
    return status() + QStringLiteral(" (") + QString::number(count) + QLatin1Char(')') +
           LoadResString(2169);
}

void Session::Command1_Click()
{
    m_timer1->stop();
    if (m_active)
        deactivate();
    else
        activate();
}

qint32 Session::portValue() const
{
    return qint32(NumericValue::roundHalfEven(NumericValue::leading(m_settings.PortNumber)));
}

void Session::activate()
{
    if (!serverSelected() && m_settings.IPAddress.isEmpty()) {
        setStatus(statusWith(2163));
        return;
    }
    const double port = NumericValue::leading(m_settings.PortNumber);
    if (port < 0 || port > 65535) {
        setStatus(statusWith(2164));
        return;
    }
    Winsock *listener = m_winsock[0];
    listener->Close();
    const Winsock::Result started = Winsock::Startup();
    if (!started.ok()) {
        // Not a bind or connect failure of this session: the program cannot take connections.
        activationFailed(started.Description);
        LogErrors(started.Description);
        return;
    }

    if (!serverSelected()) {
        m_activeMode = 0;
        listener->setRemoteHost(m_settings.IPAddress);
        listener->setRemotePort(portValue());
        setStatus(statusWith(2165));
        const Winsock::Result connecting = listener->Connect();
        if (!connecting.ok()) {
            activationFailed(connecting.Description);
            return;
        }
    } else {
        m_activeMode = 1;
        listener->setLocalPort(portValue());
        Winsock::Result result = listener->Bind(portValue(), m_settings.LocalIP);
        if (result.ok())
            result = listener->Listen();
        if (!result.ok()) {
            activationFailed(result.Description);
            return;
        }
        setStatus(statusWith(2166));
    }
    emit captionChanged(LoadResString(2143));
    m_active = true;
    emit activeChanged(true);
}

void Session::activationFailed(const QString &description)
{
    Winsock *element = m_winsock[0];
    element->Close();
    element->setRemoteHost(QString());
    element->setRemotePort(0);
    setStatus(statusWith(2167) + QStringLiteral("  ") + description);
}

void Session::deactivate()
{
    for (Winsock *element : m_winsock) {
        element->Close();
        element->setLocalPort(0);
    }
    m_numConnected = 0;
    m_lowestFree = 1;
    const std::set<qint32> closed = std::exchange(m_connectedElements, {});
    for (const qint32 index : closed)
        emit elementClosed(index);
    setStatus(statusWith(2162));
    m_active = false;
    emit activeChanged(false);
}

Winsock *Session::createElement(int index)
{
    auto *element = new Winsock(index, this);
    m_activity.resize(size_t(index) + 1);
    connect(element, &Winsock::Connected, this, &Session::Winsock1_Connect);
    connect(element, &Winsock::ConnectionRequest, this, &Session::Winsock1_ConnectionRequest);
    connect(element, &Winsock::DataArrival, this, &Session::Winsock1_DataArrival);
    connect(element, &Winsock::Closed, this, &Session::Winsock1_Close);
    connect(element, &Winsock::Error, this, &Session::Winsock1_Error);
    return element;
}

void Session::Winsock1_Connect(int Index)
{
    m_timer1->stop();
    setStatus(statusWith(2169));
    elementConnects(Index);
}

void Session::elementConnects(int index)
{
    m_connectedElements.insert(index);
    m_activity[size_t(index)] = {QDateTime::currentMSecsSinceEpoch(), 0, 0, 0};
    emit elementConnected(index);
}

void Session::Winsock1_ConnectionRequest(int, qint32 requestID)
{
    if (m_activeMode != 1 || (m_settings.AllowMultiConnect == 0 && m_numConnected != 0))
        return;
    // The lowest closed element: none below m_lowestFree is closed, so the search starts there
    // and a storm of connections costs no search over every element each time.
    Winsock *chosen = nullptr;
    for (qint32 i = m_lowestFree; i <= m_maxSocketIndex; ++i) {
        if (m_winsock[size_t(i)]->State() == Winsock::sckClosed) {
            chosen = m_winsock[size_t(i)];
            break;
        }
    }
    if (!chosen) {
        // Every element is in use: the request is refused and released by the socket layer.
        if (m_maxSocketIndex >= MaxClientElements)
            return;
        ++m_maxSocketIndex;
        chosen = createElement(m_maxSocketIndex);
        m_winsock.push_back(chosen);
    }
    chosen->setLocalPort(m_winsock[0]->LocalPort());
    if (!chosen->Accept(requestID).ok())
        return;
    m_lowestFree = chosen->Index() + 1;
    ++m_numConnected;
    setStatus(statusCount(m_numConnected));
    elementConnects(chosen->Index());
}

void Session::Winsock1_DataArrival(int Index, qint64)
{
    setIndicator(true);
    setStatus(status());
    const QByteArray data = m_winsock[size_t(Index)]->GetData();
    ElementActivity &activity = m_activity[size_t(Index)];
    activity.bytes += data.size();
    ++activity.arrivals;
    activity.lastArrival = QDateTime::currentMSecsSinceEpoch();
    ++m_totals.arrivals;

    const bool dropped = (m_activeMode == 1 && m_settings.ServerTCPOptions == 1) ||
                         (m_activeMode == 0 && m_settings.ClientOptions == 1) ||
                         (m_activeMode == 1 && m_settings.ServerTCPOptions == 2 &&
                          (m_connectedElements.empty() || Index != *m_connectedElements.begin()));
    if (!dropped && logArrival(*m_winsock[size_t(Index)], data))
        m_totals.bytesLogged += data.size();
    static const QMetaMethod arrived = QMetaMethod::fromSignal(&Session::dataArrived);
    if (isSignalConnected(arrived))
        emit dataArrived(Index, data, !dropped);
}

bool Session::logArrival(const Winsock &element, const QByteArray &data)
{
    const QString text = m_settings.LogFile.trimmed();
    const bool indexed = Module1::ArrivalIndex != 0;
    QString failure;
    if (!indexed && !LogFileName::hasFields(text)) {
        const bool logged = LogFile::append(text, data, &failure);
        if (!logged)
            logFailed(failure);
        return logged;
    }
    const Arrival arrival{LogFileName::now(), element.RemoteHostIP(), element.RemoteHostPort()};
    const QString path = LogFileName::expand(text, arrival);
    LogFile::Placement placed;
    bool logged = LogFile::append(path, data, &failure, &placed);
    // The first arrival of a new day (or client) makes the folders that its fields name.
    if (!logged && placed.length == 0 && LogFileName::createFolders(text, path, &failure))
        logged = LogFile::append(path, data, &failure, &placed);
    if (!logged)
        logFailed(failure);
    // Bytes that reached the log get their line, also when the write stopped part of the way.
    QString indexFailure;
    if (indexed && placed.length > 0 && !ArrivalIndex::append(path, arrival, placed, &indexFailure))
        logFailed(indexFailure);
    return logged;
}

void Session::logFailed(const QString &failure)
{
    ++m_totals.logErrors;
    setStatus(status() + QLatin1Char(' ') + failure);
    LogErrors(failure);
}

void Session::Winsock1_Close(int Index)
{
    if (m_inClose)
        return;
    m_inClose = true;
    m_winsock[size_t(Index)]->Close();
    if (Index >= 1)
        m_lowestFree = qMin(m_lowestFree, Index);
    if (m_connectedElements.erase(Index) != 0)
        emit elementClosed(Index);
    m_numConnected = qMax(0, m_numConnected - 1);
    if (m_activeMode != 1) {
        setStatus(statusWith(2162));
        m_timer1->start();
    } else if (m_numConnected != 0) {
        setStatus(statusCount(m_numConnected));
    } else {
        setStatus(statusWith(2166));
    }
    m_inClose = false;
}

void Session::Winsock1_Error(int Index, qint16 Number, const QString &Description)
{
    const QString errorStatus = statusWith(2167) + QLatin1Char(' ') + Description;
    setStatus(errorStatus);
    LogErrors(Description);
    if (Number <= 10000)
        return;
    const bool listener = m_activeMode == 1 && Index == 0;
    // A failed accept leaves the listener listening; it must not be closed for it.
    if (listener && m_winsock[0]->State() == Winsock::sckListening)
        return;
    Winsock1_Close(Index);
    // A listener that really stopped shows why, not "Listening...".
    if (listener)
        setStatus(errorStatus);
}

void Session::Timer1_Timer()
{
    Winsock *element = m_winsock[0];
    element->setRemoteHost(m_settings.IPAddress);
    element->setRemotePort(portValue());
    setStatus(statusWith(2165));
    const Winsock::Result connecting = element->Connect();
    if (connecting.ok())
        return;
    element->Close();
    element->setRemoteHost(QString());
    element->setRemotePort(0);
    setStatus(statusWith(2167) + QStringLiteral(" - ") + connecting.Description);
    LogErrors(connecting.Description);
}

void Session::Timer2_Timer()
{
    if (++m_blinkTicks >= IndicatorGreenEveryTicks) {
        setIndicator(false);
        m_blinkTicks = 0;
        m_timer2->stop();
    }
}

bool Session::reconnectPending() const
{
    return m_timer1->isActive();
}

void Session::LogErrors(const QString &Desc)
{
    // Out of handles, the line and the program still get the spare ones.
    SpareHandle::lend([this, &Desc] { reportError(Desc); });
}

void Session::reportError(const QString &Desc)
{
    if (Module1::LogErrors != 0) {
        const Winsock *element = m_winsock[0];
        ErrorLog::SessionFacts facts;
        facts.ipAddress = m_settings.LocalIP;
        facts.serverMode = m_activeMode != 0;
        facts.localPort = element->LocalPort();
        facts.remoteHost = element->RemoteHost();
        facts.remotePort = element->RemotePort();
        facts.logFile = m_settings.LogFile;
        ErrorLog::append(ErrorLog::line(Desc, ErrorLog::now(), facts));
    }
    if (!Module1::OnErrorRunApp.isEmpty())
        ErrorLog::runProgram(Module1::OnErrorRunApp);
}

QStringList Session::connectedClients() const
{
    QStringList clients;
    for (const qint32 index : m_connectedElements)
        clients << m_winsock[size_t(index)]->RemoteHostIP();
    return clients;
}

QString Session::socketLocalIP() const
{
    return m_winsock[0]->LocalIP();
}

void Session::setStatus(const QString &text)
{
    if (text == m_status)
        return;
    m_status = text;
    emit statusChanged(text);
}

void Session::setIndicator(bool red)
{
    // The indicator timer runs only while there is a red to turn green: an idle session does
    // not wake the program.
    if (red && !m_timer2->isActive())
        m_timer2->start();
    if (red == m_indicatorRed)
        return;
    m_indicatorRed = red;
    emit indicatorChanged(red);
}
