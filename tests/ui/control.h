#pragma once

#include <QObject>

// Controls are looked up by their object name; a missing one is a broken window, not a failed check.
template <class T> T* control(const QObject& parent, const char* name)
{
    T* child = parent.findChild<T*>(QString::fromLatin1(name));
    if (!child)
        qFatal("no control named %s", name);
    return child;
}
