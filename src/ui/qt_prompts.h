#pragma once

#include "app/prompts.h"

#include <functional>

class QWidget;

// Message boxes and input boxes parented to the main window; window requests go to the opener.
class QtPrompts final : public Prompts {
public:
    using WindowOpener = std::function<void(AppWindow, bool modal)>;
    using WindowHider = std::function<void(AppWindow)>;

    void setParentWidget(QWidget* parent) { m_parent = parent; }
    void setWindowOpener(WindowOpener opener) { m_opener = std::move(opener); }
    void setWindowHider(WindowHider hider) { m_hider = std::move(hider); }

    void message(const QString& text, PromptIcon icon) override;
    bool askYesNo(const QString& text, PromptIcon icon) override;
    std::optional<QString> input(const QString& prompt, const QString& title, const QString& initial) override;
    void openWindow(AppWindow window, bool modal) override;
    void hideWindow(AppWindow window) override;

private:
    QWidget* m_parent = nullptr;
    WindowOpener m_opener;
    WindowHider m_hider;
};
