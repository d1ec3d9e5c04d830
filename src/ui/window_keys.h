#pragma once

#include <QKeySequence>
#include <QShortcut>
#include <QWidget>

// Escape closes a tool window the way it closes a dialog; the window's own close handling runs.
inline void closeOnEscape(QWidget* window)
{
    auto* shortcut = new QShortcut(QKeySequence(Qt::Key_Escape), window);
    shortcut->setContext(Qt::WindowShortcut);
    QObject::connect(shortcut, &QShortcut::activated, window, &QWidget::close);
}
