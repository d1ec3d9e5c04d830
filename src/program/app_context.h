#pragma once

#include "app/cues.h"
#include "app/event_yield.h"
#include "app/main_window_state.h"
#include "app/ops_log.h"
#include "app/profile.h"
#include "app/program_folder.h"
#include "app/resource_monitor.h"
#include "app/settings.h"
#include "app/settings_file.h"
#include "app/view_layout.h"
#include "batch/batch.h"
#include "batch/decode.h"
#include "batch/download.h"
#include "batch/nzb_items.h"
#include "batch/set_finisher.h"
#include "batch/preview.h"
#include "batch/viewer.h"
#include "groups/host_groups.h"
#include "groups/newsgroups.h"
#include "headers/crunch.h"
#include "headers/expiry.h"
#include "headers/header_store.h"
#include "headers/header_view.h"
#include "headers/scan_activity.h"
#include "headers/scan_table.h"
#include "headers/search.h"
#include "nntp/connections.h"
#include "nntp/scan.h"
#include "nntp/server_check.h"
#include "watch/watch_list.h"

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
    WatchList watch;
    ScanTable scan;
    ViewTable view;
    ScanActivity activity;
    HeaderStore headers;
    Cruncher cruncher;
    Batch batch;
    NzbTransfer nzb;
    EntryDecoder decoder;
    SetFinisher sets;
    BatchDownload download;
    ArticleViewer viewer;
    Mp3Preview preview;
    ScanConnection scanConnection;
    AutoExpiry expiry;
    HeaderView headerView;
    HeaderSearch headerSearch;
    HostGroups hostGroups;
    ServerCheck serverCheck;

    // Applied to the main window at start-up, refreshed from it at shutdown.
    WindowPlacement placement;
    ColumnLayouts columns;

    [[nodiscard]] bool scanInProgress() const { return activity.running; }
    // "/DOWNLOAD", the Download command and the automatic download after a scan start here.
    void startDownload();
    // The download's Stop: ends a running download, else calls off a pending restart countdown.
    void stopDownload();
    // Empties the item tables at the end of the run.
    void releaseTables();

private:
    // Connects the parts' notifications; the one place that knows who listens to whom.
    void wire();
};
