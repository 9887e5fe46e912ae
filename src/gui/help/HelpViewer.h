#pragma once

#include <QString>

class QWidget;

// Shows the help file in the viewer that the desktop chooses for it, and closes those viewers
// again when the program ends.
namespace HelpViewer {

// Hands `file` to the desktop's opener. When no program can show it (no viewer, or no such
// file), a message box over `owner` names the file and the viewer to install.
void show(QWidget *owner, const QString &file);

// Closes every viewer that show() started and that is still open.
void closeAll();

} // namespace HelpViewer
