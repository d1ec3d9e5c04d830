#pragma once

#include <QString>

#include <optional>

enum class PromptIcon { None, Information, Exclamation, Critical, Question };

// Windows other parts of the program ask to have opened.
enum class AppWindow {
    Options,
    OptionsNewsgroups,
    Login,
    Log,
    SetupAssistant,
    DownloadFolderChooser,
    CacheFolderChooser,
    AddNewsgroup,
    WatchList,
    HostGroups,
};

// Modal questions and window requests. The window library shows real dialogs; tests script the answers.
class Prompts {
public:
    virtual ~Prompts() = default;
    virtual void message(const QString& text, PromptIcon icon = PromptIcon::None) = 0;
    [[nodiscard]] virtual bool askYesNo(const QString& text, PromptIcon icon = PromptIcon::Question) = 0;
    [[nodiscard]] virtual std::optional<QString> input(const QString& prompt, const QString& title,
                                                       const QString& initial = {}) = 0;
    virtual void openWindow(AppWindow window, bool modal) = 0;
    virtual void hideWindow(AppWindow window) = 0;
};
