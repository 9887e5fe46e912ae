#pragma once

#include "core/engine/ElementActivity.h"
#include "core/engine/SessionSettings.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <set>
#include <vector>

class QTimer;
class Winsock;

// One TCP endpoint and its log file: a client that connects (and reconnects every 5 seconds)
// or a server that listens and accepts one or several clients. Every inbound byte that the
// option codes let through is appended to the log file. The session runs without any window;
// a session window shows what it reports through the signals and edits its settings.
class Session final : public QObject {
    Q_OBJECT

public:
    explicit Session(QObject *parent = nullptr);
    ~Session() override;

    // Settings. Texts are as typed; the role is TCPOption (0 client, other values server).
    const SessionSettings &settings() const { return m_settings; }
    void setSettings(const SessionSettings &settings);
    void setLogFile(const QString &text) { m_settings.LogFile = text; }
    void setOutputFile(const QString &text) { m_settings.OutputFile = text; }
    void setLocalIP(const QString &text) { m_settings.LocalIP = text; }
    void setIPAddress(const QString &text) { m_settings.IPAddress = text; }
    void setPortNumber(const QString &text) { m_settings.PortNumber = text; }
    void setServerSelected(bool server) { m_settings.TCPOption = server ? 1 : 0; }
    bool serverSelected() const { return m_settings.TCPOption != 0; }

    // The four option codes to and from the program-wide transfer variables.
    void Getstatus() const;
    void UpdateStatus();

    // Activate / De-Activate. Activation that fails leaves the session inactive.
    void Command1_Click();
    bool isActive() const { return m_active; }

    // Appends an error line to the error log and starts the error program, as the global
    // options say.
    void LogErrors(const QString &Desc);

    // Dotted addresses of the connected elements, in index order.
    QStringList connectedClients() const;

    // The machine's primary local IPv4 address as the socket layer reports it.
    QString socketLocalIP() const;

    QString statusText() const { return m_status; }
    bool indicatorRed() const { return m_indicatorRed; }

    // Runtime state, for the views and for tests.
    qint16 ActiveMode() const { return m_activeMode; }
    void setActiveMode(qint16 mode) { m_activeMode = mode; }
    qint32 MaxSocketIndex() const { return m_maxSocketIndex; }
    qint32 NumConnected() const { return m_numConnected; }
    Winsock *Winsock1(int index) const { return m_winsock.at(size_t(index)); }
    bool reconnectPending() const;

    // Connected elements (the client role's element 0, a server's accepted ones), lowest first,
    // with what each has received; and the session's totals.
    const std::set<qint32> &connectedElements() const { return m_connectedElements; }
    const ElementActivity &activity(int index) const { return m_activity.at(size_t(index)); }
    const SessionTotals &totals() const { return m_totals; }

    // Status texts of the running language.
    static QString statusWith(int id);
    static QString statusCount(qint32 count);

signals:
    void statusChanged(const QString &text);
    void indicatorChanged(bool red);
    void activeChanged(bool active);
    void captionChanged(const QString &caption);
    void elementConnected(int index);
    void elementClosed(int index);
    // Every arrival with its bytes, and whether the I/O options let them into the log. Raised
    // only while something listens, so an unwatched session does no work for it.
    void dataArrived(int index, const QByteArray &data, bool logged);

private:
    void activate();
    void deactivate();
    void activationFailed(const QString &description);
    Winsock *createElement(int index);
    qint32 portValue() const;

    void Winsock1_Connect(int Index);
    void Winsock1_ConnectionRequest(int Index, qint32 requestID);
    void Winsock1_DataArrival(int Index, qint64 bytesTotal);
    void Winsock1_Close(int Index);
    void Winsock1_Error(int Index, qint16 Number, const QString &Description);
    void Timer1_Timer();
    void Timer2_Timer();

    void elementConnects(int index);
    bool logArrival(const Winsock &element, const QByteArray &data);
    void logFailed(const QString &failure);
    void reportError(const QString &Desc);
    void setStatus(const QString &text);
    void setIndicator(bool red);

    SessionSettings m_settings;
    bool m_active = false;
    qint16 m_activeMode = 0;
    qint32 m_maxSocketIndex = 0;
    qint32 m_numConnected = 0;
    qint32 m_lowestFree = 1;              // no client element below this index is closed
    std::set<qint32> m_connectedElements; // connected and not closed, lowest first
    std::vector<ElementActivity> m_activity;
    SessionTotals m_totals;
    bool m_inClose = false;
    qint32 m_blinkTicks = 0;
    std::vector<Winsock *> m_winsock;
    QTimer *m_timer1;
    QTimer *m_timer2;
    QString m_status;
    bool m_indicatorRed = false;
};
