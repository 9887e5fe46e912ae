#include "gui/tray/clsTaskBar.h"

#include "gui/tray/TrayCallbackEvent.h"

#include <QCoreApplication>
#include <QWidget>

clsTaskBar::clsTaskBar(QObject *parent) : QObject(parent) {}

clsTaskBar::~clsTaskBar() = default;

void clsTaskBar::ChangeIcon(const QIcon &hIcon, qint32 ID)
{
    m_nid.uFlags = NIF_ICON;
    m_nid.uID = ID;
    m_nid.hIcon = hIcon;
    Shell_NotifyIcon(NIM_MODIFY);
}

void clsTaskBar::hwnd(QWidget *frm)
{
    m_nid.hWnd = frm;
}

qint16 clsTaskBar::CallbackMessage() const
{
    return static_cast<qint16>(m_nid.uCallbackMessage);
}

void clsTaskBar::AddIcon(const QIcon &hIcon, qint32 ID)
{
    // The tip is not part of the add; ChangeTip sets it afterwards.
    m_nid.uFlags = NIF_MESSAGE | NIF_ICON;
    m_nid.uCallbackMessage = TrayCallbackMessage;
    m_nid.uID = ID;
    m_nid.hIcon = hIcon;
    Shell_NotifyIcon(NIM_ADD);
}

bool clsTaskBar::Exists() const
{
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void clsTaskBar::ChangeTip(const QString &sNewTip, qint32 ID)
{
    QString tip = sNewTip;
    const qsizetype end = tip.indexOf(QChar(u'\0'));
    if (end >= 0)
        tip.truncate(end);
    if (tip.size() > TipLength) {
        // Never leave half of a surrogate pair behind.
        qsizetype cut = TipLength;
        if (tip.at(cut - 1).isHighSurrogate())
            --cut;
        tip.truncate(cut);
    }
    m_nid.szTip = tip;
    m_nid.uFlags = NIF_TIP;
    m_nid.uID = ID;
    Shell_NotifyIcon(NIM_MODIFY);
}

void clsTaskBar::DeleteIcon(qint32 ID)
{
    m_nid.uID = ID;
    Shell_NotifyIcon(NIM_DELETE);
}

void clsTaskBar::DeleteAllIcons(qint16 nIcons)
{
    for (qint32 ID = 1; ID <= nIcons; ++ID) {
        m_nid.uID = ID;
        Shell_NotifyIcon(NIM_DELETE);
    }
}

QSystemTrayIcon *clsTaskBar::icon(qint32 ID) const
{
    const auto found = m_icons.find(ID);
    return found == m_icons.end() ? nullptr : found->second.icon;
}

// The notification area's side of the call: one icon per id, added once, changed in the
// fields that uFlags names, removed on delete. Like the platform call it reports nothing back.
void clsTaskBar::Shell_NotifyIcon(int operation)
{
    const qint32 ID = m_nid.uID;
    const auto found = m_icons.find(ID);
    switch (operation) {
    case NIM_ADD:
        if (found == m_icons.end()) {
            auto *icon = new QSystemTrayIcon(this);
            const qint32 message = (m_nid.uFlags & NIF_MESSAGE) ? m_nid.uCallbackMessage : 0;
            m_icons.emplace(ID, Shown{icon, m_nid.hWnd, message});
            if (m_nid.uFlags & NIF_ICON)
                icon->setIcon(m_nid.hIcon);
            if (m_nid.uFlags & NIF_TIP)
                icon->setToolTip(m_nid.szTip);
            connect(icon, &QSystemTrayIcon::activated, this,
                    [this, ID](QSystemTrayIcon::ActivationReason reason) { deliver(ID, reason); });
            icon->show();
        }
        break;
    case NIM_MODIFY:
        if (found != m_icons.end()) {
            Shown &shown = found->second;
            if (m_nid.uFlags & NIF_MESSAGE)
                shown.callbackMessage = m_nid.uCallbackMessage;
            if (m_nid.uFlags & NIF_ICON)
                shown.icon->setIcon(m_nid.hIcon);
            if (m_nid.uFlags & NIF_TIP)
                shown.icon->setToolTip(m_nid.szTip);
        }
        break;
    case NIM_DELETE:
        if (found != m_icons.end()) {
            QSystemTrayIcon *icon = found->second.icon;
            m_icons.erase(found);
            icon->hide();
            icon->deleteLater();
        }
        break;
    default:
        break;
    }
    emit notified(operation);
}

// Hands the icon's mouse event to the owning window as the callback message, after the
// icon's own event handling has finished.
void clsTaskBar::deliver(qint32 ID, QSystemTrayIcon::ActivationReason reason) const
{
    const auto found = m_icons.find(ID);
    if (found == m_icons.end() || !found->second.owner || found->second.callbackMessage == 0)
        return;
    qint32 mouseCode = 0;
    switch (reason) {
    case QSystemTrayIcon::Trigger:
        mouseCode = TrayCallbackEvent::WM_LBUTTONUP;
        break;
    case QSystemTrayIcon::DoubleClick:
        mouseCode = TrayCallbackEvent::WM_LBUTTONDBLCLK;
        break;
    case QSystemTrayIcon::Context:
        mouseCode = TrayCallbackEvent::WM_RBUTTONUP;
        break;
    case QSystemTrayIcon::MiddleClick:
        mouseCode = TrayCallbackEvent::WM_MBUTTONUP;
        break;
    case QSystemTrayIcon::Unknown:
        return;
    }
    QCoreApplication::postEvent(
        found->second.owner, new TrayCallbackEvent(found->second.callbackMessage, ID, mouseCode));
}

clsTaskBar &TaskBar()
{
    static QPointer<clsTaskBar> instance;
    if (!instance)
        instance = new clsTaskBar(QCoreApplication::instance());
    return *instance;
}
