#include "gui/tray/basSubclass.h"

#include "gui/help/frmAbout.h"
#include "gui/tray/TrayCallbackEvent.h"
#include "gui/tray/clsTaskBar.h"

#include <QAction>
#include <QCursor>
#include <QMenu>
#include <QPointer>
#include <QWidget>

namespace basSubclass {

namespace {

QPointer<QMenu> TrayMenu;
QPointer<QAction> TrayDefaultItem;

// The installed hook: a filter object owned by the hooked window.
class WindowHook final : public QObject {
public:
    explicit WindowHook(QWidget *window) : QObject(window), m_window(window) {}

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        return watched == m_window && WindowProc(event);
    }

private:
    QWidget *m_window;
};

QPointer<WindowHook> InstalledHook;

void popUpTrayMenu()
{
    if (!TrayMenu)
        return;
    TrayMenu->setDefaultAction(TrayDefaultItem);
    TrayMenu->popup(QCursor::pos());
}

} // namespace

bool AddToTray(QWidget *frm, QMenu *mnu, const QString &tip, QAction *defaultItem)
{
    TrayMenu = mnu;
    TrayDefaultItem = defaultItem;
    // A desktop that offers a notification area is what the icon needs; there is no version
    // of the desktop to ask for beyond that.
    if (!TaskBar().Exists())
        return false;
    if (!Hook(frm))
        return false;
    TaskBar().hwnd(frm);
    TaskBar().AddIcon(frm->windowIcon(), 1);
    TaskBar().ChangeTip(tip, 1);
    return true;
}

bool Hook(QWidget *frm)
{
    if (!frm)
        return false;
    if (InstalledHook && InstalledHook->parent() == frm)
        return true;
    delete InstalledHook;
    InstalledHook = new WindowHook(frm);
    frm->installEventFilter(InstalledHook);
    return true;
}

bool Unhook(QWidget *frm)
{
    if (!frm || !InstalledHook || InstalledHook->parent() != frm)
        return false;
    delete InstalledHook;
    return true;
}

bool WindowProc(QEvent *event)
{
    if (event->type() != TrayCallbackEvent::eventType())
        return false;
    const auto *callback = static_cast<const TrayCallbackEvent *>(event);
    if (callback->message() != TaskBar().CallbackMessage())
        return false;
    switch (callback->lParam()) {
    case TrayCallbackEvent::WM_LBUTTONDBLCLK:
        frmAbout::showModeless();
        break;
    case TrayCallbackEvent::WM_RBUTTONUP:
        popUpTrayMenu();
        break;
    default:
        break;
    }
    return true;
}

} // namespace basSubclass
