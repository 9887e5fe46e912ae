#pragma once

#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QSystemTrayIcon>
#include <map>

class QWidget;

// The program's notification-area icon. One icon record is kept for the object's lifetime;
// each operation sets only the fields it names and then hands the whole record to the
// notification area, which adds, changes or removes the icon with that id. The icon's mouse
// events come back to the window named in the record as a TrayCallbackEvent.
class clsTaskBar final : public QObject {
    Q_OBJECT

public:
    // Bits of uFlags: which fields of the record an add or modify applies.
    static constexpr qint32 NIF_MESSAGE = 1;
    static constexpr qint32 NIF_ICON = 2;
    static constexpr qint32 NIF_TIP = 4;
    // Operations of the notification call.
    static constexpr int NIM_ADD = 0;
    static constexpr int NIM_MODIFY = 1;
    static constexpr int NIM_DELETE = 2;
    // The first private message number plus 0x0301.
    static constexpr qint32 TrayCallbackMessage = 0x0400 + 0x0301;
    // The tip field holds 63 characters and a terminating NUL.
    static constexpr int TipLength = 63;

    struct NotifyIconData {
        QPointer<QWidget> hWnd;
        qint32 uID = 0;
        qint32 uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
        qint32 uCallbackMessage = 0;
        QIcon hIcon;
        QString szTip;
    };

    explicit clsTaskBar(QObject *parent = nullptr);
    ~clsTaskBar() override;

    void ChangeIcon(const QIcon &hIcon, qint32 ID);
    // Write-only: the window that owns the icon and receives its callback messages.
    void hwnd(QWidget *frm);
    // 0 until AddIcon has run, then the callback message number.
    qint16 CallbackMessage() const;
    void AddIcon(const QIcon &hIcon, qint32 ID);
    // True when the desktop offers a notification area.
    bool Exists() const;
    void ChangeTip(const QString &sNewTip, qint32 ID);
    void DeleteIcon(qint32 ID);
    void DeleteAllIcons(qint16 nIcons);

    const NotifyIconData &record() const { return m_nid; }
    // The icon shown for `ID`; null when there is none.
    QSystemTrayIcon *icon(qint32 ID) const;

signals:
    // Every notification call; record() holds the record as it was sent.
    void notified(int operation);

private:
    struct Shown {
        QSystemTrayIcon *icon;
        QPointer<QWidget> owner;
        qint32 callbackMessage;
    };

    void Shell_NotifyIcon(int operation);
    void deliver(qint32 ID, QSystemTrayIcon::ActivationReason reason) const;

    NotifyIconData m_nid;
    std::map<qint32, Shown> m_icons;
};

// The program's one clsTaskBar, created on first use; it lives as long as the application.
clsTaskBar &TaskBar();
