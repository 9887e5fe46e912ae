#pragma once

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <functional>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

// Runs work that must find `folder` read-only. The folder is made read-only; when the tests run
// as root, which ignores permissions, the work runs in a child process that has dropped to the
// unprivileged user "nobody", for whom the folder (owned by root) is read-only too. Returns the
// work's result (0 to 125), or -1 when the child did not end within 10 s.
namespace ReadOnlyFolder {

inline int run(const QString &folder, const std::function<int()> &work)
{
    // Everyone may enter the folder and read its files; nobody may create files in it.
    const auto readable = QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup |
                          QFile::ReadOther | QFile::ExeOther;
    QFile::setPermissions(QDir(folder).absolutePath() + QStringLiteral("/.."),
                          readable | QFile::WriteOwner);
    QFile::setPermissions(folder, readable);
    int result = -1;
    if (geteuid() != 0) {
        result = work();
    } else if (const pid_t child = fork(); child == 0) {
        if (setgid(65534) != 0 || setuid(65534) != 0)
            _exit(126);
        _exit(work());
    } else if (child > 0) {
        QElapsedTimer timer;
        timer.start();
        int status = 0;
        pid_t done = 0;
        while ((done = waitpid(child, &status, WNOHANG)) == 0 && timer.elapsed() < 10000)
            QThread::msleep(10); // polling a child process; there is no event to wait for
        if (done == 0) {
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
        } else if (done == child && WIFEXITED(status)) {
            result = WEXITSTATUS(status);
        }
    }
    QFile::setPermissions(folder, readable | QFile::WriteOwner);
    return result;
}

} // namespace ReadOnlyFolder
