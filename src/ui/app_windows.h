#pragma once

#include "app/prompts.h"
#include "program/startup.h"

#include <QPointer>

#include <memory>

class AppContext;
class FolderChooser;
class HelpWindow;
class HostGroupsWindow;
class LoginWindow;
class LogWindow;
class MainWindow;
class OptionsWindow;
class QtPrompts;
class SetupAssistant;
class SplashWindow;
class WatchWindow;

// Creates and owns every window of the program and gives start-up and shutdown their view of them.
class AppWindows final : public StartupWindows {
public:
    AppWindows(AppContext& context, QtPrompts& prompts);
    ~AppWindows() override;

    void splashSetMaximum(int maximum) override;
    void splashSetValue(int value) override;
    void splashSetCaption(const QString& caption) override;
    void splashShow() override;
    void splashClose() override;
    void loadMainWindow() override;
    void loadOptionsWindow() override;
    void applySkinIcons(const QList<SkinIcon>& icons) override;
    void applyPlacement(const WindowPlacement& placement) override;
    void applyColumnWidths(const ColumnLayouts& layouts) override;
    void showMainWindow() override;
    void showSetupAssistant() override;
    void repaintToolbar() override;
    void hideOptionsWindow() override;
    WindowPlacement currentPlacement() const override;
    ColumnLayouts currentColumnWidths() const override;
    void hideMainWindow() override;
    void endProcess() override;

    void openWindow(AppWindow window, bool modal);
    // The shutdown asked for from outside the windows (a signal from the session).
    void requestShutdown() { shutdown(); }

    [[nodiscard]] MainWindow* mainWindow() const { return m_main.get(); }
    [[nodiscard]] OptionsWindow* optionsWindow() const { return m_options.get(); }
    [[nodiscard]] LoginWindow* loginWindow() const { return m_login.get(); }
    [[nodiscard]] LogWindow* logWindow() const { return m_log.get(); }
    [[nodiscard]] SplashWindow* splash() const { return m_splash.get(); }
    // Made when first opened.
    [[nodiscard]] WatchWindow* watchWindow() const { return m_watch.get(); }
    [[nodiscard]] HostGroupsWindow* hostGroupsWindow() const { return m_hostGroups.get(); }
    // Made each time it is opened, gone once it closes.
    [[nodiscard]] SetupAssistant* setupAssistant() const;
    // The process end is only recorded when set, so tests can run the shutdown.
    void setEndProcessForTests(bool record) { m_recordEndOnly = record; }
    [[nodiscard]] bool processEnded() const { return m_ended; }

private:
    void openFolderChooser(bool download, bool modal);
    void showHelp();
    void openSetupAssistant();
    void shutdown();

    AppContext& m_ctx;
    QtPrompts& m_prompts;
    std::unique_ptr<SplashWindow> m_splash;
    std::unique_ptr<MainWindow> m_main;
    std::unique_ptr<OptionsWindow> m_options;
    std::unique_ptr<LoginWindow> m_login;
    std::unique_ptr<LogWindow> m_log;
    std::unique_ptr<WatchWindow> m_watch;
    std::unique_ptr<HostGroupsWindow> m_hostGroups;
    std::unique_ptr<HelpWindow> m_help;
    QPointer<SetupAssistant> m_assistant;
    bool m_recordEndOnly = false;
    bool m_ended = false;
    bool m_shuttingDown = false;
    bool m_shutdownPending = false;
    static constexpr int kShutdownRetryMs = 50;
};
