#pragma once

#include <QEvent>
#include <QtGlobal>

// The notification-area icon's callback message, delivered to the window that owns the icon:
// the message number the icon was added with, the icon id and the mouse code.
class TrayCallbackEvent final : public QEvent {
public:
    // Mouse codes, as the icon protocol numbers them.
    static constexpr qint32 WM_LBUTTONUP = 0x0202;
    static constexpr qint32 WM_LBUTTONDBLCLK = 0x0203;
    static constexpr qint32 WM_RBUTTONUP = 0x0205;
    static constexpr qint32 WM_MBUTTONUP = 0x0208;

    TrayCallbackEvent(qint32 message, qint32 wParam, qint32 lParam);

    // The event type of every callback message, registered once per process.
    static QEvent::Type eventType();

    qint32 message() const { return m_message; }
    qint32 wParam() const { return m_wParam; } // the icon id
    qint32 lParam() const { return m_lParam; } // the mouse code

private:
    qint32 m_message;
    qint32 m_wParam;
    qint32 m_lParam;
};
