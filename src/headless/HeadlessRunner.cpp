#include "headless/HeadlessRunner.h"

#include "core/app/Module1.h"
#include "core/engine/Session.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

namespace {

// The settings that a session window gives its session for a stored session: the texts whole and
// the role as its option buttons hold it (any non-zero TCPOption selects the server).
// AutoActivate is a matter for start-up, not for the session.
SessionSettings asLoaded(const SessionSettings &stored)
{
    SessionSettings loaded = stored;
    loaded.TCPOption = stored.TCPOption != 0 ? 1 : 0;
    loaded.AutoActivate = 0;
    return loaded;
}

// The option codes reach the session through the transfer variables, as the configuration
// reader hands them to a session window, so the variables end as they would there.
void load(Session &session, const SessionSettings &stored)
{
    session.setSettings(asLoaded(stored));
    Module1::AllowMultiConnect = stored.AllowMultiConnect;
    Module1::ServerSerialOptions = stored.ServerSerialOptions;
    Module1::ServerTCPOptions = stored.ServerTCPOptions;
    Module1::ClientOptions = stored.ClientOptions;
    session.UpdateStatus();
}

void setGlobals(const GlobalOptions &globals)
{
    Module1::OnErrorRunApp = globals.OnErrorRunApp;
    Module1::LogErrors = globals.LogErrors;
    Module1::PacketSize = globals.PacketSize;
    Module1::ArrivalIndex = globals.ArrivalIndex;
}

} // namespace

HeadlessRunner::HeadlessRunner(const QString &fileName, bool activateAll, QObject *parent)
    : QObject(parent), m_fileName(fileName), m_activateAll(activateAll)
{
}

HeadlessRunner::~HeadlessRunner() = default;

bool HeadlessRunner::read(Configuration *config, QString *failure) const
{
    // The reader takes a missing or unreadable file for one without sessions; here that is an
    // error worth its own words.
    const QFileInfo info(m_fileName);
    if (info.isDir()) {
        *failure = QStringLiteral("cannot read %1: it is a folder").arg(m_fileName);
        return false;
    }
    // Opening a pipe or a device could wait forever for a writer.
    if (info.exists() && !info.isFile()) {
        *failure = QStringLiteral("cannot read %1: it is not a regular file").arg(m_fileName);
        return false;
    }
    QFile file(m_fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        *failure = QStringLiteral("cannot read %1: %2").arg(m_fileName, file.errorString());
        return false;
    }
    file.close();
    const GlobalOptions current{Module1::OnErrorRunApp, Module1::LogErrors, Module1::PacketSize,
                                Module1::ArrivalIndex};
    *config = ConfigFile::read(m_fileName, current);
    if (config->Sessions.isEmpty()) {
        *failure = QStringLiteral("%1 holds no session").arg(m_fileName);
        return false;
    }
    return true;
}

bool HeadlessRunner::wantsActive(const SessionSettings &stored) const
{
    return m_activateAll || stored.AutoActivate == 1;
}

bool HeadlessRunner::start(QString *failure)
{
    Configuration config;
    if (!read(&config, failure))
        return false;
    setGlobals(config.Globals);
    for (const SessionSettings &stored : qAsConst(config.Sessions))
        add(stored);

    int wanted = 0;
    int active = 0;
    for (int k = 1; k <= sessionCount(); ++k) {
        if (!wantsActive(config.Sessions.at(k - 1)))
            continue;
        ++wanted;
        if (activate(k))
            ++active;
    }
    if (wanted == 0) {
        *failure = QStringLiteral("no session of %1 is stored as active (AutoActivate=1); --all "
                                  "activates every session")
                       .arg(m_fileName);
        return false;
    }
    if (active == 0) {
        *failure = QStringLiteral("no session of %1 could be activated").arg(m_fileName);
        return false;
    }
    say(QStringLiteral("Running %1: %2 sessions, %3 active")
            .arg(m_fileName, QString::number(sessionCount()), QString::number(active)));
    return true;
}

void HeadlessRunner::reload()
{
    Configuration config;
    QString failure;
    if (!read(&config, &failure)) {
        say(failure + QStringLiteral("; the sessions run on unchanged"));
        return;
    }
    setGlobals(config.Globals);

    // What goes away or changes is closed first, so that a changed server can bind its port
    // again and a moved one can take a port that another session gave up.
    const int before = sessionCount();
    const int after = int(config.Sessions.size());
    std::vector<bool> changed(size_t(after), false);
    for (int k = 1; k <= before; ++k) {
        Session &current = *session(k);
        const bool goes = k > after || current.settings() != asLoaded(config.Sessions.at(k - 1));
        if (k <= after)
            changed[size_t(k - 1)] = goes;
        if (goes && current.isActive())
            current.Command1_Click();
    }
    if (after < before)
        m_sessions.resize(size_t(after));

    int unchanged = 0;
    for (int k = 1; k <= after; ++k) {
        const SessionSettings &stored = config.Sessions.at(k - 1);
        if (k > before)
            add(stored);
        else if (changed[size_t(k - 1)])
            load(*session(k), stored);
        else
            ++unchanged;
    }
    for (int k = 1; k <= after; ++k) {
        Session &current = *session(k);
        const bool wanted = wantsActive(config.Sessions.at(k - 1));
        if (wanted && !current.isActive())
            activate(k);
        else if (!wanted && current.isActive())
            current.Command1_Click();
    }

    const int kept = qMin(before, after);
    say(QStringLiteral("Re-read %1: %2 unchanged, %3 changed, %4 added, %5 removed")
            .arg(m_fileName, QString::number(unchanged), QString::number(kept - unchanged),
                 QString::number(qMax(0, after - before)),
                 QString::number(qMax(0, before - after))));
}

void HeadlessRunner::stop(const QString &reason)
{
    say(reason + QStringLiteral(": closing every session"));
    for (const std::unique_ptr<Session> &current : m_sessions) {
        if (current->isActive())
            current->Command1_Click();
    }
}

void HeadlessRunner::add(const SessionSettings &stored)
{
    auto created = std::make_unique<Session>();
    const int k = sessionCount() + 1;
    connect(created.get(), &Session::statusChanged, this, [this, k](const QString &text) {
        say(QStringLiteral("Session ") + QString::number(k) + QLatin1Char(' ') + text);
    });
    load(*created, stored);
    m_sessions.push_back(std::move(created));
}

bool HeadlessRunner::activate(int k)
{
    Session &current = *session(k);
    current.Command1_Click();
    if (current.isActive())
        return true;
    say(QStringLiteral("Session %1 could not be activated: ").arg(k) + current.statusText());
    return false;
}

void HeadlessRunner::say(const QString &text)
{
    const QString stamp =
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss"));
    emit report(stamp + QLatin1Char(' ') + text);
}
