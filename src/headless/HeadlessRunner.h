#pragma once

#include "core/config/ConfigFile.h"

#include <QObject>
#include <QString>
#include <memory>
#include <vector>

class Session;

// Runs the sessions of a configuration file without any window, the way the interactive program
// runs them after its start-up: the same reader, the same settings and option codes, the same
// global options, the same engine. Session K is the file's K-th session. Every status change of
// every session, and what the runner itself does, is reported as one timestamped line.
class HeadlessRunner final : public QObject {
    Q_OBJECT

public:
    // `activateAll`: activate every session, not only those stored with AutoActivate 1.
    HeadlessRunner(const QString &fileName, bool activateAll, QObject *parent = nullptr);
    ~HeadlessRunner() override;

    // Reads the file, sets the global options, creates the sessions and activates them in file
    // order. A session whose activation fails is reported and the others run. False, with the
    // reason in one line, when the file cannot be read or holds no session, or when no session
    // is to be activated or none could be.
    bool start(QString *failure);

    // Reads the file again. A session whose settings did not change keeps running untouched; a
    // changed one is deactivated, takes its new settings and is activated again. Sessions that
    // the file no longer holds are closed and dropped, new ones are created; every session that
    // should be active and is not (a failed activation included) is activated. A file that
    // cannot be read or holds no session changes nothing.
    void reload();

    // Deactivates every active session, which closes all of its sockets; `reason` says why.
    void stop(const QString &reason);

    int sessionCount() const { return int(m_sessions.size()); }
    // Session K, counted from 1.
    Session *session(int k) const { return m_sessions.at(size_t(k - 1)).get(); }

signals:
    void report(const QString &line);

private:
    bool read(Configuration *config, QString *failure) const;
    bool wantsActive(const SessionSettings &stored) const;
    void add(const SessionSettings &stored);
    bool activate(int k);
    void say(const QString &text);

    QString m_fileName;
    bool m_activateAll;
    std::vector<std::unique_ptr<Session>> m_sessions;
};
