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
    // Writes the scan table. When the file cannot be written, the group's read mark goes back to
    // what the file on disk holds, so the next scan reads the rest again.
    [[nodiscard]] bool GNsave(quint8 key);
    void GTload(quint8 key);
    [[nodiscard]] bool GTsave();
    void SaveViewChanges();
    void CopyScanToView();
    // The file and the reason of the last failed save.
    [[nodiscard]] QString lastSaveError() const { return m_lastSaveError; }

private:
    // Writes the table's live items; false (logged with the tag) when the file could not be written.
    bool saveTable(const ItemTable& table, quint8 key, const char* tag);
    void restamp(ItemTable& table, int slot, quint8 key);

    Services m;
    ScanTable& m_scan;
    ViewTable& m_view;
    // The read mark of the scanned group as far as its file on disk holds the articles.
    qint64 m_fileMark = 0;
    QString m_lastSaveError;
};
