#pragma once

#include "headers/item_table.h"

#include <QString>

#include <functional>

class MainWindowState;
class Newsgroups;
class OpsLog;
class Prompts;
class ScanTable;
struct Settings;

// The items of the group shown in the header view.
struct ViewTable {
    ItemTable table;
    int viewedKey = -1; // -1: no group shown
};

// Loads and saves the scan and view tables as each group's "headers.twb" in its cache folder.
class HeaderStore {
public:
    struct Services {
        OpsLog& log;
        const Settings& settings;
        Newsgroups& groups;
        MainWindowState& window;
        Prompts& prompts;
        // Lets pending events run; called often, it decides itself how often to really yield.
        std::function<void()> yield;
        std::function<bool()> scanInProgress;
        std::function<void()> updateViewLabel;
    };
    HeaderStore(const Services& services, ScanTable& scan, ViewTable& view);

    [[nodiscard]] QString headerPath(quint8 key) const;

    void GNload(quint8 key);
    void GNsave(quint8 key);
    void GTload(quint8 key);
    void GTsave();
    void SaveViewChanges();
    void CopyScanToView();

private:
    // Writes the table's live items; false (logged with the tag) when the file could not be written.
    bool saveTable(const ItemTable& table, quint8 key, const char* tag);
    void restamp(ItemTable& table, int slot, quint8 key);

    Services m;
    ScanTable& m_scan;
    ViewTable& m_view;
};
