#pragma once

#include <QString>

// Shows the help file in the viewer that the desktop chooses for it, and closes those viewers
// again when the program ends.
namespace HelpViewer {

// Hands `file` to the desktop's opener. Every failure is ignored: a missing file or viewer
// gives no message of the program's own.
void show(const QString &file);

// Closes every viewer that show() started and that is still open.
void closeAll();

} // namespace HelpViewer
