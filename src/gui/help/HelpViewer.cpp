#include "gui/help/HelpViewer.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QList>
#include <QPointer>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <csignal>
#include <unistd.h>
#endif

namespace HelpViewer {

namespace {

#ifdef Q_OS_UNIX
// A viewer started through the desktop's opener. The opener and everything it starts (the
// viewer itself, also when the opener has already ended) share one process group, named by
// the opener's process id.
struct StartedViewer {
    QPointer<QProcess> opener;
    qint64 group;
};

QList<StartedViewer> &startedViewers()
{
    static QList<StartedViewer> viewers;
    return viewers;
}

bool isRunning(const QPointer<QProcess> &process)
{
    return process && process->state() != QProcess::NotRunning;
}

// Forgets the viewers whose process groups have ended.
void forgetClosedViewers()
{
    startedViewers().removeIf([](const StartedViewer &viewer) {
        return !isRunning(viewer.opener) && ::kill(pid_t(-viewer.group), 0) != 0 && errno == ESRCH;
    });
}

// Starts xdg-open, the opener that QDesktopServices runs on these desktops, ourselves:
// QDesktopServices starts it detached and keeps no handle, so its viewer could not be closed
// at exit. False when there is no xdg-open.
bool startThroughOpener(const QString &file)
{
    const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (opener.isEmpty())
        return false;
    forgetClosedViewers();
    auto *process = new QProcess(QCoreApplication::instance());
    process->setProgram(opener);
    process->setArguments({file});
    process->setStandardInputFile(QProcess::nullDevice());
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    process->setChildProcessModifier([] { ::setpgid(0, 0); });
    QObject::connect(process, &QProcess::finished, process, &QObject::deleteLater);
    QObject::connect(process, &QProcess::errorOccurred, process,
                     [process](QProcess::ProcessError error) {
                         if (error == QProcess::FailedToStart)
                             process->deleteLater();
                     });
    process->start();
    const qint64 pid = process->processId();
    if (pid > 0) {
        // Set from both sides, so that the group exists whichever side runs first.
        ::setpgid(pid_t(pid), pid_t(pid));
        startedViewers().append({process, pid});
    }
    return true;
}
#endif

} // namespace

void show(const QString &file)
{
#ifdef Q_OS_UNIX
    if (startThroughOpener(file))
        return;
#endif
    QDesktopServices::openUrl(QUrl::fromLocalFile(file));
}

void closeAll()
{
#ifdef Q_OS_UNIX
    // A group whose processes have all ended is simply gone (ESRCH).
    const QList<StartedViewer> viewers = startedViewers();
    startedViewers().clear();
    for (const StartedViewer &viewer : viewers)
        ::kill(pid_t(-viewer.group), SIGTERM);
    for (const StartedViewer &viewer : viewers) {
        if (isRunning(viewer.opener) && !viewer.opener->waitForFinished(2000)) {
            ::kill(pid_t(-viewer.group), SIGKILL);
            viewer.opener->waitForFinished(1000);
        }
    }
#endif
}

} // namespace HelpViewer
