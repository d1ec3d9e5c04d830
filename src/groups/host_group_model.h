#pragma once

#include "groups/host_group_list.h"

#include <QAbstractTableModel>
#include <QSet>

#include <vector>

// The group manager's result list: row numbers into the loaded host group list, filled in one
// step, so a million matches cost one vector and no item per cell.
class HostGroupModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { NameColumn, TotalColumn, FirstColumn, LastColumn, ColumnCount };
    // 1 for a listed group, 2 once it was added to the newsgroup list.
    enum Role { IconRole = Qt::UserRole };

    explicit HostGroupModel(const HostGroupList& list, QObject* parent = nullptr);

    // Shows these groups of the list, in this order.
    void setGroups(std::vector<quint32> groups);
    void clear() { setGroups({}); }

    [[nodiscard]] QByteArray groupName(int row) const;
    void markAdded(const QList<int>& rows);

    // " ? " for an empty group, "99999+" past five digits, else five digits at least.
    [[nodiscard]] static QString totalText(qint64 total);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    void sort(int column, Qt::SortOrder order) override;

private:
    const HostGroupList& m_list;
    std::vector<quint32> m_rows;
    QSet<quint32> m_added;
};
