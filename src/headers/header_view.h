#pragma once

#include "headers/item_parts_model.h"
#include "headers/item_status.h"

#include <QAbstractTableModel>
#include <QByteArray>
#include <QList>

#include <array>
#include <vector>

class EventYield;
class HeaderStore;
class MainWindowState;
class Newsgroups;
class OpsLog;
class Prompts;
class QueueLookup;
class ScanTable;
struct Item;
struct ScanActivity;
struct Settings;
struct ViewTable;

// The header view: the items of the view table that the filter toggles let through, one row per
// item, tagged with its view slot. Rows are only a list of slots; their texts are made when asked
// for, so a group of a million items costs one index entry per listed item. Filtering and sorting
// permute that list.
class HeaderView : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column {
        SubjectColumn,
        PartsColumn,
        MegabytesColumn,
        FromColumn,
        LifeColumn,
        NewsgroupColumn,
        DateColumn,
        ColumnCount
    };
    enum Role {
        SlotRole = Qt::UserRole, // the row's tag: its view slot
        StatusRole, // "complete", "incomplete", "unknown", "text" or "iteminbatch"
    };
    // The loading strip moves on after every this many rows listed.
    static constexpr int kProgressRows = 200;
    // Items whose life is below this are hidden while "btnsNew" is pressed.
    static constexpr int kNewLife = 80;

    struct Services {
        OpsLog& log;
        Settings& settings;
        MainWindowState& window;
        Prompts& prompts;
        EventYield& yield;
        Newsgroups& groups;
        HeaderStore& headers;
        ViewTable& view;
        const ScanTable& scan;
        const ScanActivity& activity;
        const QueueLookup& queue;
    };

    explicit HeaderView(const Services& services, QObject* parent = nullptr);
    ~HeaderView() override;

    [[nodiscard]] ItemState itemState(int slot) const;
    [[nodiscard]] QByteArray ItemStatus(int slot) const { return statusKey(itemState(slot)); }
    [[nodiscard]] bool InBatch(qint64 article, quint8 groupKey) const;

    void ShowCats();
    void UpdateViewLabel();
    // Items of a group expired: a view of that group is stale until refreshed.
    void groupExpired(quint8 groupKey);
    // The header search fills the view table meanwhile; no group is loaded into it then.
    void setSearchRunning(bool running) { m_searchRunning = running; }
    // A batch entry with this key changed state: its items' rows are rewritten, added or removed.
    void RefreshItemRow(const QByteArray& itemKey);
    // Fills the parts window for one item (a copy, so it outlives changes to the tables).
    void ShowItemParts(const ItemRecord& item) { m_parts.ShowItemParts(item); }
    [[nodiscard]] ItemPartsModel& itemParts() { return m_parts; }

    // Filter toolbar: "btnsComplete", "btnsIncomplete", "btnsUnknown", "btnsText", "btnsComplete_bp"
    // (kept in the settings) and "btnsNew". Setting one rebuilds the view.
    void setToggle(QByteArrayView key, bool pressed);
    [[nodiscard]] bool toggle(QByteArrayView key) const;

    // Group selector: "no group (Display Disable)" or a group's name, as listed by Newsgroups::viewGroups().
    void selectGroupEntry(const QString& text);
    // -1 for "no group (Display Disable)", else the selected group's key.
    [[nodiscard]] int selectedGroup() const { return m_selected; }
    // The view table holds search results rather than a group.
    [[nodiscard]] bool searchResults() const { return m_searchResults; }
    void setSearchResults(bool shown) { m_searchResults = shown; }
    [[nodiscard]] bool rebuilding() const { return m_rebuilding; }
    // Rows removed with "Delete" during this run.
    [[nodiscard]] qint64 deletedRows() const { return m_deletedRows; }

    // Commands on the selected rows, given by their tags.
    void DeleteHeaders(const QList<int>& tags);
    void RestoreHeaders();
    void RefreshHeaders();

    [[nodiscard]] int slotAt(int row) const { return m_rows.at(static_cast<size_t>(row)); }
    // The row listing a view slot, or -1.
    [[nodiscard]] int rowOfSlot(int slot) const;
    [[nodiscard]] int sortColumn() const { return m_sortColumn; }
    // The view table was emptied or refilled behind the view's back (the search does so).
    void viewTableReplaced();
    [[nodiscard]] Qt::SortOrder sortOrder() const { return m_sortOrder; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    // Numbers and dates sort by value, texts without letter case; a descending sort is the
    // ascending one reversed.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

signals:
    // The list was rebuilt and its first row should become the current row.
    void currentRowRequested(int row);
    void selectedGroupChanged(int key);

private:
    // The group ranges as they stand when a pass starts; a pass asks for millions of lives.
    struct GroupRange {
        qint64 first = 0;
        qint64 span = 0;
        bool known = false;
    };
    using GroupRanges = std::array<GroupRange, 256>;

    void rebuild();
    void loadSelectedGroup();
    void listViewTable();
    [[nodiscard]] GroupRanges groupRanges() const;
    [[nodiscard]] int lifeOf(const Item& item, const GroupRanges& ranges) const;
    [[nodiscard]] int lifeNow(const Item& item) const;
    [[nodiscard]] qint64 firstArticle(const Item& item) const;
    [[nodiscard]] bool shows(ItemState state) const;
    [[nodiscard]] QString text(int slot, int column) const;
    void setRows(std::vector<int> rows);
    void appendRow(int slot);
    // rows: ascending, without repeats.
    void dropRows(const std::vector<int>& rows);
    void rowsChanged() { m_rowIndexValid = false; }
    void ensureState(int slot);
    [[nodiscard]] std::vector<int> slotsWithKey(const QByteArray& key);
    void applySort();

    Services m;
    std::vector<int> m_rows;
    std::vector<ItemState> m_states; // by view slot, as last classified
    mutable std::vector<int> m_rowOfSlot;
    mutable bool m_rowIndexValid = false;
    // (hash of key, slot), sorted: finds the items of a batch entry without a walk over the table.
    std::vector<std::pair<quint64, int>> m_keyIndex;
    bool m_keyIndexValid = false;
    int m_selected = -1;
    bool m_searchResults = false;
    bool m_searchRunning = false;
    bool m_rebuilding = false;
    bool m_rebuildAgain = false;
    bool m_newOnly = false;
    qint64 m_deletedRows = 0;
    int m_sortColumn = -1;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
    ItemPartsModel m_parts;
};
