#pragma once

#include "watch/watch_entry.h"

#include <QAbstractTableModel>
#include <QList>

// The list of the watch window: one row per entry, in table order.
class WatchModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { TextColumn, FieldColumn, CaseColumn, ActionColumn, ColumnCount };
    enum Role {
        EntryRole = Qt::UserRole, // the entry's 1-based index in the table
        FieldIconRole, // on the Field column: 1 for the subject, 2 for the poster
    };

    explicit WatchModel(QObject* parent = nullptr);

    // Shows these entries, replacing every row.
    void fill(const QList<WatchEntry>& entries);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    QList<WatchEntry> m_rows;
};
