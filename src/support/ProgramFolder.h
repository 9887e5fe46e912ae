#pragma once

#include <QString>

// The folder of the program file, where default.ksf, errorlog.txt and kestrel.chm live.
namespace ProgramFolder {

QString path();
// The program folder with a separator and `name` appended.
QString file(const QString &name);

} // namespace ProgramFolder
