// The main window's side of the notification-area icon: the icon's menu and hiding the window
// while it is minimised.
#include "gui/main/frmMain.h"

#include "core/app/Module1.h"

#include <QEvent>
#include <QMenu>

void frmMain::buildPopUpMenu()
{
    // The icon's menu is not part of the menu bar. Its captions are fixed texts, the same in
    // every language.
    mnuPopUp = new QMenu(QStringLiteral("Popup Menu"), this);
    mnuOpen = mnuPopUp->addAction(QStringLiteral("&Open Kestrel"));
    mnuHide = mnuPopUp->addAction(QStringLiteral("&Hide Kestrel"));
    mnuHide->setVisible(false);
    mnuExit = mnuPopUp->addAction(QStringLiteral("E&xit Kestrel"));
    sep10 = mnuPopUp->addSeparator();
    mnuAbout = mnuPopUp->addAction(QStringLiteral("&About Kestrel"));

    connect(mnuOpen, &QAction::triggered, this, &frmMain::mnuOpen_Click);
    connect(mnuHide, &QAction::triggered, this, &frmMain::mnuHide_Click);
    connect(mnuExit, &QAction::triggered, this, &frmMain::mnuExit_Click);
    connect(mnuAbout, &QAction::triggered, this, &frmMain::mnuAbout_Click);
}

void frmMain::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        MDIForm_Resize();
}

void frmMain::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    MDIForm_Resize();
}

// Minimised while the icon is installed: the window leaves the desktop and the taskbar, and
// the icon's menu brings it back.
void frmMain::MDIForm_Resize()
{
    if (Module1::TrayIconActive && windowStateCode() == 1)
        setVisible(false);
}

void frmMain::mnuOpen_Click()
{
    setWindowStateCode(0);
    setVisible(true);
    raise();
    activateWindow();
}

void frmMain::mnuHide_Click()
{
    setVisible(false);
}

void frmMain::mnuExit_Click()
{
    mnuFileExit_Click();
}

void frmMain::mnuAbout_Click()
{
    mnuHelpAbout_Click();
}
