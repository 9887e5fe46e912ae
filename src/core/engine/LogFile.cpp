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

bool writeAll(int fd, const QByteArray &data, LogFile::Placement *placed, int *failure)
{
    const char *next = data.constData();
    qint64 left = data.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, next, size_t(left));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            *failure = errno;
            return false;
        }
        // With O_APPEND the first write lands at the end of the file as it was at that moment.
        if (placed && placed->length == 0)
            placed->offset = qint64(::lseek(fd, 0, SEEK_CUR)) - written;
        if (placed)
            placed->length += written;
        next += written;
        left -= written;
    }
    return true;
}

// Direct system calls cost about half of what opening a QFile for append does, and this runs
// once per arrival of data.
bool appendOnce(const QByteArray &name, const QByteArray *header, const QByteArray &data,
                Placement *placed, int *failure)
{
    int fd;
    do {
        fd = ::open(name.constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        *failure = errno;
        return false;
    }
    bool ok;
    if (header && ::lseek(fd, 0, SEEK_END) == 0)
        ok = writeAll(fd, *header + data, placed, failure);
    else
        ok = writeAll(fd, data, placed, failure);
    if (::close(fd) != 0 && ok && errno != EINTR) {
        *failure = errno;
        ok = false;
    }
    return ok;
}

bool appendTo(const QString &path, const QByteArray *header, const QByteArray &data, QString *error,
              Placement *placed)
{
    const QByteArray name = QFile::encodeName(path);
    int failure = 0;
    bool ok = appendOnce(name, header, data, placed, &failure);
    // Out of handles, nothing was written yet: once more with the spare one.
    if (!ok && (failure == EMFILE || failure == ENFILE))
        SpareHandle::lend([&] { ok = appendOnce(name, header, data, placed, &failure); });
    if (!ok)
        *error = describe(failure);
    return ok;
}

} // namespace

#else

namespace {

bool appendTo(const QString &path, const QByteArray *header, const QByteArray &data, QString *error,
              Placement *placed)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        *error = file.errorString();
        return false;
    }
    const QByteArray bytes = header && file.size() == 0 ? *header + data : data;
    if (placed)
        placed->offset = file.size();
    qint64 done = 0;
    while (done < bytes.size()) {
        const qint64 written = file.write(bytes.constData() + done, bytes.size() - done);
        if (written < 0) {
            *error = file.errorString();
            return false;
        }
        done += written;
        if (placed)
            placed->length = done;
    }
    if (!file.flush()) {
        *error = file.errorString();
        return false;
    }
    return true;
}

} // namespace

#endif

bool append(const QString &path, const QByteArray &data, QString *error, Placement *placed)
{
    return appendTo(path, nullptr, data, error, placed);
}

bool appendWithHeader(const QString &path, const QByteArray &header, const QByteArray &data,
                      QString *error)
{
    return appendTo(path, &header, data, error, nullptr);
}

} // namespace LogFile
