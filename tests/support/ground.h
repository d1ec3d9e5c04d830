#pragma once

#include "app/cues.h"
#include "app/event_yield.h"
#include "app/main_window_state.h"
#include "app/ops_log.h"
#include "app/program_folder.h"
#include "app/settings.h"
#include "support/fakes.h"
#include "support/temp_folder.h"

#include <algorithm>

// A program folder in a fresh temporary directory with the state every part of the program
// shares, so a test builds only the parts it exercises on top of it.
struct Ground : TempFolder {
    ProgramFolder folder = ProgramFolder::at(dir.path());
    FakeClock clock;
    ScriptedPrompts prompts;
    FakeDesktop desktop;
    FakeProbe probe;
    Settings settings;
    MainWindowState window;
    OpsLog log{settings, window, clock, folder};
    Cues cues{settings, desktop, folder};
    EventYield yield{clock};

    // Log list entries, newest first; each starts with the time.
    [[nodiscard]] QStringList logLines() { return log.entries().stringList(); }
    [[nodiscard]] bool logged(const QString& text)
    {
        const QStringList l = logLines();
        return std::any_of(l.cbegin(), l.cend(), [&](const QString& e) { return e.endsWith(text); });
    }
    [[nodiscard]] int logCount(const QString& text) { return static_cast<int>(logLines().filter(text).size()); }
};
