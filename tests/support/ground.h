#pragma once

#include "app/cues.h"
#include "app/event_yield.h"
#include "app/main_window_state.h"
#include "app/ops_log.h"
#include "app/program_folder.h"
#include "app/settings.h"
#include "support/fakes.h"

#include <QTemporaryDir>

// The ground services every part stands on, over a fresh temporary program folder: enough to
// build one part with just what it uses.
struct Ground {
    Ground();

    [[nodiscard]] QString path(const QString& name) const { return dir.filePath(name); }
    void writeFile(const QString& name, const QByteArray& content) const;
    [[nodiscard]] QByteArray readFile(const QString& name) const;
    // Whether a log list entry ends with the text (entries start with the time).
    [[nodiscard]] bool logged(const QString& text) const;
    // How many log list entries contain the text.
    [[nodiscard]] int logCount(const QString& text) const;

    QTemporaryDir dir;
    FakeClock clock;
    ScriptedPrompts prompts;
    FakeDesktop desktop;
    ProgramFolder folder;
    Settings settings;
    MainWindowState window;
    mutable OpsLog log{settings, window, clock, folder}; // its entries are read by const checks
    Cues cues{settings, desktop, folder};
    EventYield yield{clock};
};
