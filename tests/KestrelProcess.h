#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <array>

// The real kestrel (or kestrel-headless) program, started from a copy in a temporary program
// folder with its own settings store, on the offscreen platform.
class KestrelProcess final {
public:
    enum class Program { Desktop, Headless };
    explicit KestrelProcess(Program program = Program::Desktop);
    ~KestrelProcess();

    bool isValid() const { return m_dir.isValid(); }
    // The copied executable.
    QString program() const { return m_program; }
    // The program folder: default.ksf and errorlog.txt are written here.
    QString folder() const { return m_dir.path(); }
    QString file(const QString &name) const { return m_dir.filePath(name); }
    // The per-user settings file that holds the window placement.
    QString settingsFile() const { return file(QStringLiteral("xdg/Kestrel/Kestrel.conf")); }

    void setEnvironment(const QString &name, const QString &value)
    {
        m_environment.insert(name, value);
    }
    // Limits a resource of the program (a setrlimit() resource) from its start on.
    void setResourceLimit(int resource, quint64 soft, quint64 hard)
    {
        m_limits.append({quint64(resource), soft, hard});
    }
    // Starts the program and waits until it handles the termination signals.
    bool start(const QStringList &arguments = {});
    // Sends `signalNumber` and waits for the program to end; true when it exits with status 0.
    bool stop(int signalNumber, int timeoutMs = 10000);
    QProcess &process() { return m_process; }
    qint64 pid() const { return m_process.processId(); }

private:
    bool catchesSigterm() const;

    QTemporaryDir m_dir;
    QString m_program;
    QProcess m_process;
    QProcessEnvironment m_environment;
    QList<std::array<quint64, 3>> m_limits; // resource, soft, hard
};
