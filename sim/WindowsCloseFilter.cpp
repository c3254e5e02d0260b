#include "WindowsCloseFilter.h"

#include <QByteArray>
#include <qt_windows.h>

bool WindowsCloseFilter::nativeEventFilter(const QByteArray &eventType, void *message, qintptr *)
{
    if (eventType != QByteArrayLiteral("windows_generic_MSG"))
        return false;
    const MSG *msg = static_cast<const MSG *>(message);
    // Only the thread message: a WM_CLOSE for some window is that window's business.
    if (msg->message != WM_CLOSE || msg->hwnd != nullptr)
        return false;
    m_onClose();
    return true;
}
