#pragma once

#include "groups/group_record.h"

#include <QAbstractTableModel>
#include <QList>
#include <QStringListModel>

#include <array>
#include <functional>

class MainWindowState;
class OpsLog;
class Prompts;

// The user's newsgroup list: the group table (records live for the whole run, so keys of deleted
// groups are not handed out again), the list rows in scan order, "favs.txt", and the read-mark
// operations of the scan. Rows keep the texts they show, as loaded or as last refreshed.
class Newsgroups : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { NameColumn, UnreadColumn, LastReadColumn, FirstColumn, LastColumn, TotalColumn, ColumnCount };
    enum Role { KeyRole = Qt::UserRole, GreyedRole, IconRole };
    static constexpr const char* kNoGroup = "no group (Display Disable)";

    struct Services {
        OpsLog& log;
        Prompts& prompts;
        MainWindowState& window;
        QString favsPath;
    };
    explicit Newsgroups(const Services& services, QObject* parent = nullptr);

    void ngLoadFavs();
    // Returns false when the file could not be written (logged; the old file stays).
    [[nodiscard]] bool ngSaveFavs();
    void ngAddGroup(const QByteArray& name);

    [[nodiscard]] quint8 ngFindFreeKey();
    [[nodiscard]] quint8 ngFindKeyByGroupName(const QByteArray& name);
    [[nodiscard]] QByteArray ngGroupNameByKey(quint8 key) const;
    [[nodiscard]] qint64 ngReadMarkByKey(quint8 key) const;
    // 1-based index into the group table, or -1.
    [[nodiscard]] int ngIndexByKey(quint8 key) const;
    [[nodiscard]] const GroupRecord* recordByKey(quint8 key) const;

    void ngUpdateRange(quint8 key, qint64 first, qint64 last);
    void set_high_msg(quint8 key, qint64 article, bool force);
    void ngSetReadMarkManual(quint8 key, qint64 article, bool force);
    void ngRefreshRow(quint8 key);
    void ngSetOff(quint8 key, bool off);
    void ngResetReadMark(quint8 key);

    // Commands of the list page; rows are 0-based row numbers of the selection.
    void deleteRows(QList<int> rows);
    // The rows' new places, so the caller can keep them selected.
    QList<int> moveUp(const QList<int>& rows);
    QList<int> moveDown(const QList<int>& rows);
    QList<int> moveTop(const QList<int>& rows);
    void resetRows(const QList<int>& rows);
    void toggleRows(const QList<int>& rows);

    [[nodiscard]] int groupCount() const { return static_cast<int>(m_rows.size()); }
    [[nodiscard]] quint8 keyAtRow(int row) const;
    [[nodiscard]] bool rowGreyed(int row) const;

    // The main window's group chooser: kNoGroup, then every group that is not off.
    [[nodiscard]] QStringListModel& viewGroups() { return m_viewGroups; }
    void ngSyncGroupCombo();
    void ngRebuildGroupCombo();

    // Owned by the scan: set once the current group's GROUP reply was accepted.
    bool groupSelected = false;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    // Small icon of every row back to 1; the scanned group's row shows 2.
    void ResetGroupIcons();
    void setGroupIcon(int row, int icon);

    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    void sort(int column, Qt::SortOrder order) override;

signals:
    // A GROUP reply is about to set the group's range: items below its first article expire.
    void rangeArrived(quint8 key, qint64 first);
    // A GROUP reply told how many articles are new in the group.
    void newArticles(quint8 key, qint64 unread);

private:
    // After a change of the list: a failed write is logged and retried with the next change.
    void saveFavs() { (void)ngSaveFavs(); }
    struct Row {
        int record = 0; // index into m_records
        int icon = 1;   // 2 marks the group being scanned
        std::array<QString, ColumnCount> cells;
    };

    GroupRecord* findRecord(quint8 key);
    [[nodiscard]] int rowOfKey(quint8 key) const;
    void appendRow(const QByteArray& name, GroupRecord record);
    bool loadLine(const QByteArray& line);
    void updateReadMark(quint8 key, qint64 article, bool force);
    void emitRowChanged(int row);
    [[nodiscard]] QList<int> sortedUnique(QList<int> rows) const;

    Services m;
    QList<GroupRecord> m_records;
    QList<Row> m_rows;
    QStringListModel m_viewGroups;
};
