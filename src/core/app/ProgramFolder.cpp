#include "core/app/ProgramFolder.h"

#include <QCoreApplication>
#include <QDir>

namespace ProgramFolder {

namespace {
QString &overridden()
{
    static QString folder;
    return folder;
}
} // namespace

QString path()
{
    return overridden().isEmpty() ? QCoreApplication::applicationDirPath() : overridden();
}

void setPath(const QString &folder)
{
    overridden() = folder;
}

QString file(const QString &name)
{
    QString folder = path();
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return folder + name;
}

} // namespace ProgramFolder
