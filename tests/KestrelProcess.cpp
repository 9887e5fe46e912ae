#include "KestrelProcess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <csignal>
#include <sys/resource.h>

KestrelProcess::KestrelProcess(Program program)
    : m_environment(QProcessEnvironment::systemEnvironment())
{
    QDir(m_dir.path()).mkpath(QStringLiteral("xdg"));
    const QString source = program == Program::Desktop ? QStringLiteral(KESTREL_EXE)
                                                       : QStringLiteral(KESTREL_HEADLESS_EXE);
    m_program = m_dir.filePath(QFileInfo(source).fileName());
    QFile::copy(source, m_program);
    m_environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_dir.filePath(QStringLiteral("xdg")));
    m_environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
}

KestrelProcess::~KestrelProcess()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

bool KestrelProcess::start(const QStringList &arguments)
{
    m_process.setProcessEnvironment(m_environment);
    // Runs in the child between fork and exec.
    m_process.setChildProcessModifier([limits = m_limits] {
        for (const auto &limit : limits) {
            const rlimit value = {rlim_t(limit[1]), rlim_t(limit[2])};
            ::setrlimit(static_cast<decltype(RLIMIT_NOFILE)>(limit[0]), &value);
        }
    });
    m_process.setWorkingDirectory(QDir::tempPath());
    m_process.start(m_program, arguments);
    return m_process.waitForStarted(10000) &&
           QTest::qWaitFor(
               [this] { return catchesSigterm() || m_process.state() != QProcess::Running; },
               10000) &&
           catchesSigterm();
}

// The signal mask in /proc tells when the program has installed its handler.
bool KestrelProcess::catchesSigterm() const
{
    QFile status(QStringLiteral("/proc/%1/status").arg(m_process.processId()));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    const QByteArray text = status.readAll();
    const qsizetype at = text.indexOf("SigCgt:");
    return at >= 0 &&
           (text.mid(at + 7, 17).trimmed().toULongLong(nullptr, 16) >> (SIGTERM - 1)) & 1;
}

bool KestrelProcess::stop(int signalNumber, int timeoutMs)
{
    ::kill(pid_t(m_process.processId()), signalNumber);
    if (!m_process.waitForFinished(timeoutMs))
        return false;
    return m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0;
}
