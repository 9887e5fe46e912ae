#pragma once

#include <QString>

class QAction;
class QEvent;
class QMenu;
class QWidget;

// Installs the notification-area icon for the main window and routes the icon's callback
// messages, which arrive among the window's own events, to the icon's actions.
namespace basSubclass {

// Remembers the icon menu and its default item, then hooks the window and adds icon 1 with
// `tip`. False, with nothing installed, when the desktop has no notification area or the hook
// cannot be installed.
bool AddToTray(QWidget *frm, QMenu *mnu, const QString &tip, QAction *defaultItem);

// Puts WindowProc in front of every event of `frm`. False when there is no window.
bool Hook(QWidget *frm);
// Takes the hook off `frm` again. False when `frm` is not the hooked window.
bool Unhook(QWidget *frm);

// Sees every event of the hooked window. The icon's callback message is handled here (true:
// double-click opens the About box, right button pops up the menu, other mouse codes do
// nothing); every other event passes on unchanged (false).
bool WindowProc(QEvent *event);

} // namespace basSubclass
