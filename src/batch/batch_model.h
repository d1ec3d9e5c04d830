#pragma once

#include "headers/item_table.h"

#include <QAbstractTableModel>

#include <span>
#include <vector>

class Newsgroups;
class OpsLog;

// The Batch View: one row per queued entry of the batch store, in download order. Rows are texts
// computed from the store when asked, except Life, which is a snapshot refreshed after scans.
class BatchModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column {
        SubjectColumn,
        PartsColumn,
        MbColumn,
        LifeColumn,
        FromColumn,
        NewsgroupColumn,
        DateColumn,
        ColumnCount
    };
    enum Role {
        EntryRole = Qt::UserRole, // the row's entry index in the batch store
        IconIndexRole, // the small icon's image-list index
    };
    static constexpr int kIconIndex = 5;

    BatchModel(const ItemTable& store, const Newsgroups& groups, OpsLog& log, QObject* parent = nullptr);

    [[nodiscard]] const std::vector<int>& order() const { return m_order; }
    [[nodiscard]] int entryAt(int row) const { return m_order[static_cast<size_t>(row)]; }
    // The row of an entry, -1 when it has none.
    [[nodiscard]] int rowOf(int entry) const;
    [[nodiscard]] QString cellText(int row, int column) const;

    // Appends rows for entries of the store that have none.
    void appendEntries(std::span<const int> entries);
    // Removes the rows (0-based, any order) in as few steps as they allow.
    void removeRowList(QList<int> rows);
    // Puts the same rows into a new order; selections and other persistent indexes follow their rows.
    void setOrder(std::vector<int> order);
    // Orders the rows once by the texts of a column, compared without regard to case.
    void sortRows(int column, Qt::SortOrder order);
    void refreshLife();
    void clear();

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    [[nodiscard]] int lifeOf(int entry, bool* errorLogged) const;
    void reindexFrom(int row);

    const ItemTable& m_store;
    const Newsgroups& m_groups;
    OpsLog& m_log;
    std::vector<int> m_order; // entries in row order
    std::vector<int> m_rowOf; // by entry; -1: no row
    std::vector<int> m_life; // by entry
};
