#pragma once

#include "headers/watch_rules.h"
#include "watch/watch_entry.h"
#include "watch/watch_matcher.h"
#include "watch/watch_model.h"

#include <QObject>
#include <QString>

class OpsLog;
class Prompts;
struct Settings;

// The watch list: rules that queue wanted items when they complete and drop unwanted headers
// before they are crunched, kept in "filters.txt". The rules act only while the option
// "chkEnableWatch" is on; turning it off keeps the table.
class WatchList : public QObject, public WatchRules {
    Q_OBJECT
public:
    static constexpr const char* kFileName = "filters.txt";

    struct Services {
        OpsLog& log;
        const Settings& settings;
        Prompts& prompts;
        QString filePath; // "filters.txt" in the program folder
    };

    explicit WatchList(const Services& services, QObject* parent = nullptr);

    // Reads the file into the table; a missing file leaves it empty.
    void WatchList_Get();
    // Rewrites the file from the table, or removes it when the table is empty. False when that
    // failed (logged; the old file stays).
    bool WatchList_Save();
    // Appends an entry, then shows and saves the table. False, and nothing added, when no phrase
    // has any text.
    bool WatchList_Add(QList<QByteArray> phrases, WatchField where, bool matchCase, WatchAction action);
    // Removes the entry at the 1-based index once the user confirms.
    void WatchList_RemoveItem(int index);
    // Shows the table in the window's list.
    void WatchList_Fill();

    [[nodiscard]] const QList<WatchEntry>& entries() const { return m_entries; }
    [[nodiscard]] WatchModel& model() { return m_model; }
    [[nodiscard]] bool enabled() const;

    bool WatchList_Check_KILL(QByteArrayView subject, QByteArrayView poster) override;
    bool WatchList_Check_ADD(const ItemTable& table, int slot) override;
    void watchedItemComplete(int slot) override { emit addToBatchRequested(slot); }

signals:
    // An item of the scan table matched an add rule once it was complete.
    void addToBatchRequested(int scanSlot);

private:
    void replaceEntries(QList<WatchEntry> entries);

    Services m;
    QList<WatchEntry> m_entries;
    WatchMatcher m_matcher;
    WatchModel m_model;
};
