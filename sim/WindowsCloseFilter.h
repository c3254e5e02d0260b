#pragma once

#include <QAbstractNativeEventFilter>
#include <functional>

// Windows only. QProcess::terminate() (and taskkill without /F) asks a program to end by posting
// WM_CLOSE to its windows and to its main thread. A console program has no window, and Qt's event
// loop drops a thread message nobody filters, so without this the simulator would ignore the
// request and a test could only kill it. The filter hands the request to onClose.
class WindowsCloseFilter : public QAbstractNativeEventFilter
{
public:
    explicit WindowsCloseFilter(std::function<void()> onClose) : m_onClose(std::move(onClose)) {}

    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *result) override;

private:
    std::function<void()> m_onClose;
};
