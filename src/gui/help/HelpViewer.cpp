#include "gui/help/HelpViewer.h"

#include "core/text/LoadResource.h"
#include "gui/dialogs/MessageBox.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QList>
#include <QPointer>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>
#include <QWidget>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <csignal>
#include <unistd.h>
#endif

namespace HelpViewer {

namespace {

void reportUnopened(const QPointer<QWidget> &owner, const QString &file)
{
    MessageBox::information(owner, LoadResource::LoadResString(9033),
                            LoadResource::LoadResString(9034).arg(QDir::toNativeSeparators(file)));
}

#ifdef Q_OS_UNIX
// Set while closeAll() ends the viewers: an opener that ends then failed nothing.
bool closing = false;

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
// at exit. False when there is no xdg-open. An opener that fails (no such file, no program for
// it) says so in its exit status, and the user is told.
bool startThroughOpener(QWidget *owner, const QString &file)
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
    const QPointer<QWidget> shownOver = owner;
    QObject::connect(process, &QProcess::finished, process,
                     [process, shownOver, file](int code, QProcess::ExitStatus status) {
                         process->deleteLater();
                         if (status == QProcess::NormalExit && code != 0 && !closing)
                             reportUnopened(shownOver, file);
                     });
    QObject::connect(process, &QProcess::errorOccurred, process,
                     [process, shownOver, file](QProcess::ProcessError error) {
                         if (error != QProcess::FailedToStart)
                             return;
                         process->deleteLater();
                         reportUnopened(shownOver, file);
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

void show(QWidget *owner, const QString &file)
{
#ifdef Q_OS_UNIX
    if (startThroughOpener(owner, file))
        return;
#endif
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(file)))
        reportUnopened(owner, file);
}

void closeAll()
{
#ifdef Q_OS_UNIX
    // A group whose processes have all ended is simply gone (ESRCH).
    const QList<StartedViewer> viewers = startedViewers();
    startedViewers().clear();
    closing = true;
    for (const StartedViewer &viewer : viewers)
        ::kill(pid_t(-viewer.group), SIGTERM);
    for (const StartedViewer &viewer : viewers) {
        if (isRunning(viewer.opener) && !viewer.opener->waitForFinished(2000)) {
            ::kill(pid_t(-viewer.group), SIGKILL);
            viewer.opener->waitForFinished(1000);
        }
    }
    closing = false;
#endif
}

} // namespace HelpViewer
