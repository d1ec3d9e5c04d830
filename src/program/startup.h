#pragma once

#include "app/view_layout.h"

#include <QList>
#include <QString>

class AppContext;
struct ProgramFolder;

// One image of the list views and toolbar: the skin file when it exists, else the built-in image.
struct SkinIcon {
    QString key;
    QString file; // empty: use the built-in default image
};

// What start-up and shutdown need from the windows.
class StartupWindows {
public:
    virtual ~StartupWindows() = default;
    virtual void splashSetMaximum(int maximum) = 0;
    virtual void splashSetValue(int value) = 0;
    virtual void splashSetCaption(const QString& caption) = 0;
    virtual void splashShow() = 0;
    virtual void splashClose() = 0;
    virtual void loadMainWindow() = 0;
    virtual void loadOptionsWindow() = 0;
    virtual void applySkinIcons(const QList<SkinIcon>& icons) = 0;
    virtual void applyPlacement(const WindowPlacement& placement) = 0;
    virtual void applyColumnWidths(const ColumnLayouts& layouts) = 0;
    virtual void showMainWindow() = 0;
    virtual void showSetupAssistant() = 0;
    virtual void repaintToolbar() = 0;

    virtual void hideOptionsWindow() = 0;
    [[nodiscard]] virtual WindowPlacement currentPlacement() const = 0;
    [[nodiscard]] virtual ColumnLayouts currentColumnWidths() const = 0;
    virtual void hideMainWindow() = 0;
    // Ends the process at once; no further events are handled.
    virtual void endProcess() = 0;
};

[[nodiscard]] QString versionText();
[[nodiscard]] QList<SkinIcon> LoadSkinIcons(const ProgramFolder& folder);

// Brings every part's stored state in, shows the main window and acts on the command line.
void Main(AppContext& context, StartupWindows& windows, const QString& commandLine);
void ParseCommandLine(AppContext& context, const QString& commandLine);
// Saves everything that persists between runs, removes preview files and ends the process.
void SaveAllAndExit(AppContext& context, StartupWindows& windows);
