#include "core/app/UserFiles.h"

#include "core/app/ProgramFolder.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace UserFiles {

QString folder()
{
    const QString program = ProgramFolder::path();
    if (QFileInfo(program).isWritable())
        return program;
    // Kestrel's AppDataLocation, named here so that kestrel-headless shares it.
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                         QStringLiteral("/Kestrel");
    QDir().mkpath(data);
    return data;
}

QString file(const QString &name)
{
    return QDir(folder()).filePath(name);
}

QString fileToRead(const QString &name)
{
    const QString own = file(name);
    return QFileInfo::exists(own) ? own : ProgramFolder::file(name);
}

} // namespace UserFiles
