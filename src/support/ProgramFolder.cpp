#include "support/ProgramFolder.h"

#include <QCoreApplication>
#include <QDir>

namespace ProgramFolder {

QString path()
{
    return QCoreApplication::applicationDirPath();
}

QString file(const QString &name)
{
    QString folder = path();
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return folder + name;
}

} // namespace ProgramFolder
