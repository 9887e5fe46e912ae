#include "FuzzInput.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

namespace FuzzInput {

namespace {
QString folder()
{
    static const QString path =
        QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm") : QDir::tempPath();
    return path;
}

QString named(const char *what)
{
    return QStringLiteral("%1/kestrel-fuzz-%2-%3")
        .arg(folder())
        .arg(QCoreApplication::applicationPid())
        .arg(QLatin1String(what));
}
} // namespace

QString file(const uint8_t *data, size_t size)
{
    const QString name = named("in");
    QFile out(name);
    if (out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        out.write(reinterpret_cast<const char *>(data), qint64(size));
    return name;
}

QString outputFile()
{
    return named("out");
}

} // namespace FuzzInput
