#include "core/engine/LogFileName.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <chrono>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#endif

namespace LogFileName {

namespace {

std::function<qint64()> &clock()
{
    static std::function<qint64()> instance;
    return instance;
}

// The field that starts at `at` in `text`, or an empty view.
QStringView fieldAt(const QString &text, qsizetype at)
{
    static const QString fields[] = {QStringLiteral("{date}"), QStringLiteral("{hour}"),
                                     QStringLiteral("{peer}"), QStringLiteral("{port}")};
    const QStringView rest = QStringView(text).mid(at);
    for (const QString &field : fields) {
        if (rest.startsWith(field))
            return rest.left(field.size());
    }
    return {};
}

qsizetype firstField(const QString &text)
{
    for (qsizetype at = text.indexOf(QLatin1Char('{')); at >= 0;
         at = text.indexOf(QLatin1Char('{'), at + 1)) {
        if (!fieldAt(text, at).isEmpty())
            return at;
    }
    return -1;
}

QString valueOf(QStringView field, const Arrival &arrival)
{
    if (field == u"{date}")
        return arrival.localTime().toString(QStringLiteral("yyyy-MM-dd"));
    if (field == u"{hour}")
        return arrival.localTime().toString(QStringLiteral("HH"));
    if (field == u"{peer}")
        return arrival.peerIP;
    return QString::number(arrival.peerPort);
}

// Creates one folder with the user's default permissions; one that appeared meanwhile is fine.
bool makeFolder(const QString &folder, QString *error)
{
#ifdef Q_OS_UNIX
    if (::mkdir(QFile::encodeName(folder).constData(), 0777) == 0 || errno == EEXIST)
        return true;
    *error = QString::fromLocal8Bit(std::strerror(errno));
    return false;
#else
    if (QDir().mkdir(folder) || QFileInfo(folder).isDir())
        return true;
    *error = QStringLiteral("Cannot create the folder %1").arg(QDir::toNativeSeparators(folder));
    return false;
#endif
}

} // namespace

QString expand(const QString &text, const Arrival &arrival)
{
    QString path;
    qsizetype copied = 0;
    for (qsizetype at = firstField(text); at >= 0;) {
        const QStringView field = fieldAt(text, at);
        if (field.isEmpty()) {
            at = text.indexOf(QLatin1Char('{'), at + 1);
            continue;
        }
        path += QStringView(text).mid(copied, at - copied);
        path += valueOf(field, arrival);
        copied = at + field.size();
        at = text.indexOf(QLatin1Char('{'), copied);
    }
    if (copied == 0)
        return text;
    path += QStringView(text).mid(copied);
    return path;
}

bool createFolders(const QString &text, const QString &path, QString *error)
{
    const QString pattern = QDir::fromNativeSeparators(text);
    const QString target = QDir::fromNativeSeparators(path);
    const qsizetype field = firstField(pattern);
    const qsizetype fileStart = target.lastIndexOf(QLatin1Char('/')) + 1;
    // The expansion changes nothing before the first field, so both share the folders above it.
    const qsizetype base = pattern.lastIndexOf(QLatin1Char('/'), field) + 1;
    if (field < 0 || pattern.indexOf(QLatin1Char('/'), field) < 0 || fileStart <= base)
        return false;
    if (base > 0 && !QFileInfo(target.left(base)).isDir())
        return false;
    bool created = false;
    for (qsizetype end = target.indexOf(QLatin1Char('/'), base); end >= 0 && end < fileStart;
         end = target.indexOf(QLatin1Char('/'), end + 1)) {
        const QString folder = target.left(end);
        if (QFileInfo(folder).isDir())
            continue;
        if (!makeFolder(folder, error))
            return false;
        created = true;
    }
    return created;
}

qint64 now()
{
    if (clock())
        return clock()();
    using namespace std::chrono;
    return duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
}

void setClock(std::function<qint64()> c)
{
    clock() = std::move(c);
}

} // namespace LogFileName
