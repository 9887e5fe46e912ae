#pragma once

#include <QString>

// Where the files that Kestrel writes for its user live: default.ksf and errorlog.txt. They stay
// in the program folder while the user can write it (a build folder, a per-user install); under a
// system-wide install they go to the user's data folder, ~/.local/share/Kestrel, for Kestrel and
// kestrel-headless alike. The help file is always read from the program folder.
namespace UserFiles {

// The program folder when it is writable, else the data folder, created when missing.
QString folder();
// `name` in folder().
QString file(const QString &name);
// `name` in folder() when it exists there; else the program folder's file, so that a working
// set left in a folder that has become read-only is still read.
QString fileToRead(const QString &name);

} // namespace UserFiles
