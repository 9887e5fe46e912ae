#pragma once

#include <QCoreApplication>
#include <QFile>
#include <cstddef>
#include <cstdint>

// The readers under test read files: each input is written to a file of this process in memory
// (/dev/shm) and read back from there; `what` names the process's input or output file.
namespace FuzzInput {

inline QString named(const char *what)
{
    return QStringLiteral("/dev/shm/kestrel-fuzz-%1-%2")
        .arg(QCoreApplication::applicationPid())
        .arg(QLatin1String(what));
}

inline QString file(const uint8_t *data, size_t size)
{
    QFile out(named("in"));
    if (out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        out.write(reinterpret_cast<const char *>(data), qint64(size));
    return out.fileName();
}

inline QString outputFile()
{
    return named("out");
}

} // namespace FuzzInput
