#pragma once

#include <QString>

// The folder of the program file, where default.ksf, errorlog.txt and kestrel.chm live.
namespace ProgramFolder {

QString path();
// Puts the program's files somewhere else than next to the executable (tests use it).
void setPath(const QString &folder);
// The program folder with a separator and `name` appended.
QString file(const QString &name);

} // namespace ProgramFolder
