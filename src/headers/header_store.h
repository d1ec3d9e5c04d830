#pragma once

#include "headers/item_table.h"

#include <QObject>
#include <QString>

#include <functional>

class MainWindowState;
class Newsgroups;
class OpsLog;
class Prompts;
class ScanTable;
struct ScanActivity;
struct Settings;

// The items of the group shown in the header view.
struct ViewTable {
    ItemTable table;
    int viewedKey = -1; // -1: no group shown
};

// Loads and saves the scan and view tables as each group's "headers.twb" in its cache folder.
class HeaderStore : public QObject {
    Q_OBJECT
public:
    struct Services {
        OpsLog& log;
        const Settings& settings;
        Newsgroups& groups;
        MainWindowState& window;
        Prompts& prompts;
        // Lets pending events run; called often, it decides itself how often to really yield.
        std::function<void()> yield;
        // A running scan owns the headers; the view's changes wait.
        const ScanActivity& activity;
    };
    HeaderStore(const Services& services, ScanTable& scan, ViewTable& view, QObject* parent = nullptr);

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

signals:
    // The view table was loaded empty or saved: the view's item count needs showing again.
    void viewCountChanged();

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
