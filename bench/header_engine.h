#pragma once

// The header engine wired as the program wires it, on a real clock and a temporary program folder,
// without the rest of the application.

#include "app/clock.h"
#include "app/event_yield.h"
#include "app/main_window_state.h"
#include "app/ops_log.h"
#include "app/program_folder.h"
#include "app/prompts.h"
#include "app/settings.h"
#include "groups/newsgroups.h"
#include "headers/crunch.h"
#include "headers/header_store.h"
#include "headers/scan_activity.h"
#include "headers/scan_table.h"

#include <QTemporaryDir>

#include <cstdio>
#include <memory>
#include <unistd.h>

namespace bench {

// Nothing in the header engine asks questions on these paths; answer "no" if it ever does.
class SilentPrompts final : public Prompts {
public:
    void message(const QString&, PromptIcon) override { }
    bool askYesNo(const QString&, PromptIcon) override { return false; }
    std::optional<QString> input(const QString&, const QString&, const QString&) override { return std::nullopt; }
    void openWindow(AppWindow, bool) override { }
    void hideWindow(AppWindow) override { }
};

// A scan table with the store that loads and saves it.
struct TableWithStore {
    TableWithStore(OpsLog& log, const Settings& settings, Newsgroups& groups, MainWindowState& window, Prompts& prompts,
        EventYield& yield)
        : scan(log)
        , store(
              { log, settings, groups, window, prompts, [&yield] { yield.yieldToEvents(); }, activity },
              scan, view)
    {
    }
    ScanTable scan;
    ViewTable view;
    ScanActivity activity;
    HeaderStore store;
};

struct HeaderEngine {
    HeaderEngine()
    {
        settings.chkEnableLogging = 0;
        settings.Cache_Path = dir.path() + QStringLiteral("/cache/");
        groups.ngAddGroup("alt.binaries.bench");
        key = groups.ngFindKeyByGroupName("alt.binaries.bench");
        groups.groupSelected = true;
        groups.ngUpdateRange(key, 1, 2'000'000'000);
        main.store.GNload(key);
    }

    [[nodiscard]] std::unique_ptr<TableWithStore> newTable()
    {
        return std::make_unique<TableWithStore>(log, settings, groups, window, prompts, yield);
    }

    [[nodiscard]] Cruncher::Burst burst(qint64 last) const { return { key, last, last, clock.now() }; }

    QTemporaryDir dir;
    SystemClock clock;
    SilentPrompts prompts;
    ProgramFolder folder = ProgramFolder::at(dir.path());
    Settings settings;
    MainWindowState window;
    OpsLog log { settings, window, clock, folder };
    Newsgroups groups { { log, prompts, window, folder.file(QStringLiteral("favs.txt")) } };
    EventYield yield { clock };
    TableWithStore main { log, settings, groups, window, prompts, yield };
    Cruncher cruncher { { log, settings, groups, window, clock, main.store, main.scan, main.view, yield } };
    quint8 key = 0;
};

// Resident set size of this process, from /proc/self/statm.
inline qint64 residentBytes()
{
    long pages = 0, resident = 0;
    FILE* f = std::fopen("/proc/self/statm", "r");
    if (!f)
        return 0;
    const int n = std::fscanf(f, "%ld %ld", &pages, &resident);
    std::fclose(f);
    return n == 2 ? static_cast<qint64>(resident) * sysconf(_SC_PAGESIZE) : 0;
}

} // namespace bench
