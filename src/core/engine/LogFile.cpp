#include "core/engine/LogFile.h"

#include "core/engine/SpareHandle.h"

#include <QFile>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace LogFile {

#ifdef Q_OS_UNIX

namespace {

QString describe(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// Direct system calls cost about half of what opening a QFile for append does, and this runs
// once per arrival of data.
bool appendOnce(const QByteArray &name, const QByteArray &data, int *failure)
{
    int fd;
    do {
        fd = ::open(name.constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        *failure = errno;
        return false;
    }
    const char *next = data.constData();
    qint64 left = data.size();
    bool ok = true;
    while (left > 0) {
        const ssize_t written = ::write(fd, next, size_t(left));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            *failure = errno;
            ok = false;
            break;
        }
        next += written;
        left -= written;
    }
    if (::close(fd) != 0 && ok && errno != EINTR) {
        *failure = errno;
        ok = false;
    }
    return ok;
}

} // namespace

bool append(const QString &path, const QByteArray &data, QString *error)
{
    const QByteArray name = QFile::encodeName(path);
    int failure = 0;
    bool ok = appendOnce(name, data, &failure);
    // Out of handles, nothing was written yet: once more with the spare one.
    if (!ok && (failure == EMFILE || failure == ENFILE))
        SpareHandle::lend([&] { ok = appendOnce(name, data, &failure); });
    if (!ok)
        *error = describe(failure);
    return ok;
}

#else

bool append(const QString &path, const QByteArray &data, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        *error = file.errorString();
        return false;
    }
    qint64 done = 0;
    while (done < data.size()) {
        const qint64 written = file.write(data.constData() + done, data.size() - done);
        if (written < 0) {
            *error = file.errorString();
            return false;
        }
        done += written;
    }
    if (!file.flush()) {
        *error = file.errorString();
        return false;
    }
    return true;
}

#endif

} // namespace LogFile
