#pragma once

#include "app/cues.h"
#include "app/main_window_state.h"
#include "app/ops_log.h"
#include "app/profile.h"
#include "app/program_folder.h"
#include "app/resource_monitor.h"
#include "app/settings.h"
#include "app/settings_file.h"
#include "app/view_layout.h"
#include "app/event_yield.h"
#include "batch/batch.h"
#include "groups/newsgroups.h"
#include "headers/crunch.h"
#include "headers/header_store.h"
#include "headers/header_view.h"
#include "headers/scan_table.h"
#include "headers/search.h"
#include "nntp/connections.h"
#include "nntp/scan.h"

#include <QByteArray>

#include <functional>

class Clock;
class Desktop;
class Prompts;
class SystemProbe;

// The services the program runs on; the window library gives real ones, tests give fakes.
struct AppServices {
    const Clock& clock;
    Prompts& prompts;
    Desktop& desktop;
    const SystemProbe& probe;
};

// Loading, saving and commands of the newsgroup, header, batch and watch parts. Start-up and
// shutdown call them in their fixed order; each part fills in its own when it is wired up.
struct SubsystemHooks {
    std::function<void()> loadWatchList;
    std::function<void()> saveWatchList;
    std::function<void()> loadNewsgroups;
    std::function<void()> fillViewGroups;
    std::function<void()> createHashIndex;
    std::function<void()> loadBatch;
    std::function<void()> saveViewedGroupHeaders;
    std::function<void()> releaseTables;
    std::function<void()> startScan;
    std::function<void()> downloadBatch;
    std::function<bool()> batchHasWork;
    std::function<bool()> scanInProgress;
    // Between the header view and the batch.
    std::function<bool(qint64 article, quint8 groupKey)> inBatch;
    std::function<void(qint64 article, quint8 groupKey)> removeExpiredFromBatch;
    std::function<void()> showCats;
    std::function<void(const QByteArray& itemKey)> refreshItemRow;
    std::function<void()> refreshBatchLife;
};

// Owns everything program-wide for the whole run. Each test builds its own on a temporary folder.
class AppContext {
public:
    AppContext(const ProgramFolder& folder, const AppServices& services);
    AppContext(const AppContext&) = delete;
    AppContext& operator=(const AppContext&) = delete;

    const ProgramFolder folder;
    const Clock& clock;
    Prompts& prompts;
    Desktop& desktop;
    const SystemProbe& probe;

    Settings settings;
    MainWindowState window;
    OpsLog log;
    Cues cues;
    Profile profile;
    SettingsFile settingsFile;
    ResourceMonitor monitor;
    Newsgroups groups;
    Connections connections;
    EventYield yield;
    ScanTable scan;
    ViewTable view;
    HeaderStore headers;
    Cruncher cruncher;
    ScanConnection scanConnection;
    Batch batch;
    SubsystemHooks hooks;
    HeaderView headerView;
    HeaderSearch headerSearch;

    // Applied to the main window at start-up, refreshed from it at shutdown.
    WindowPlacement placement;
    ColumnLayouts columns;

    [[nodiscard]] bool scanInProgress() const { return hooks.scanInProgress && hooks.scanInProgress(); }
};

// Calls a hook when a part has filled it in.
inline void callHook(const std::function<void()>& hook)
{
    if (hook)
        hook();
}
