#pragma once

#include <QLabel>
#include <QLatin1String>
#include <QObject>

// A window's controls by their object names, as the tests of every window reach them. A name
// that is missing stops the test at once: the window no longer has the control it promises.
template <typename T> T *control(const QObject *window, const char *name)
{
    T *found = window->findChild<T *>(QLatin1String(name));
    if (!found)
        qFatal("no control %s", name);
    return found;
}

inline QString controlText(const QObject *window, const char *label)
{
    return control<QLabel>(window, label)->text();
}

inline bool controlEnabled(const QObject *window, const char *name)
{
    return control<QWidget>(window, name)->isEnabled();
}
