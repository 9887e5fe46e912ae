#include "gui/tray/TrayCallbackEvent.h"

TrayCallbackEvent::TrayCallbackEvent(qint32 message, qint32 wParam, qint32 lParam)
    : QEvent(eventType()), m_message(message), m_wParam(wParam), m_lParam(lParam)
{
}

QEvent::Type TrayCallbackEvent::eventType()
{
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}
