#include "groups/host_group_model.h"

#include "app/format.h"
#include "app/text.h"

#include <algorithm>

HostGroupModel::HostGroupModel(const HostGroupList& list, QObject* parent)
    : QAbstractTableModel(parent)
    , m_list(list)
{
}

void HostGroupModel::setGroups(std::vector<quint32> groups)
{
    beginResetModel();
    m_rows = std::move(groups);
    m_added.clear();
    endResetModel();
}

QByteArray HostGroupModel::groupName(int row) const
{
    if (row < 0 || static_cast<size_t>(row) >= m_rows.size())
        return {};
    return m_list.name(m_rows[static_cast<size_t>(row)]).toByteArray();
}

void HostGroupModel::markAdded(const QList<int>& rows)
{
    int low = rowCount();
    int high = -1;
    for (int row : rows) {
        if (row < 0 || row >= rowCount())
            continue;
        m_added.insert(m_rows[static_cast<size_t>(row)]);
        low = std::min(low, row);
        high = std::max(high, row);
    }
    if (high >= 0)
        emit dataChanged(index(low, NameColumn), index(high, NameColumn), { IconRole });
}

QString HostGroupModel::totalText(qint64 total)
{
    if (total == -1)
        return QStringLiteral(" ? ");
    if (total > 99999)
        return QStringLiteral("99999+");
    return fmt::Format(static_cast<double>(total), u"00000");
}

int HostGroupModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int HostGroupModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant HostGroupModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || static_cast<size_t>(index.row()) >= m_rows.size())
        return {};
    const quint32 g = m_rows[static_cast<size_t>(index.row())];
    if (role == IconRole)
        return m_added.contains(g) ? 2 : 1;
    if (role != Qt::DisplayRole)
        return {};
    switch (index.column()) {
    case NameColumn:
        return displayText(m_list.name(g).toByteArray());
    case TotalColumn:
        return totalText(m_list.total(g));
    case FirstColumn:
        return QString::fromLatin1(m_list.lowText(g));
    case LastColumn:
        return QString::fromLatin1(m_list.highText(g));
    default:
        return {};
    }
}

QVariant HostGroupModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    static const char* const kCaptions[] = { "Newsgroup Name", "Total (est.)", "First", "Last" };
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= ColumnCount)
        return {};
    return QLatin1String(kCaptions[section]);
}

void HostGroupModel::sort(int column, Qt::SortOrder order)
{
    if (column < 0 || column >= ColumnCount)
        return;
    // Numbers sort by value, not as the text shows them.
    auto less = [this, column](quint32 a, quint32 b) {
        switch (column) {
        case TotalColumn:
            return m_list.total(a) < m_list.total(b);
        case FirstColumn:
            return m_list.at(a).low < m_list.at(b).low;
        case LastColumn:
            return m_list.at(a).high < m_list.at(b).high;
        default:
            return m_list.name(a) < m_list.name(b);
        }
    };
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    std::vector<quint32> oldRows = m_rows;
    if (order == Qt::AscendingOrder)
        std::stable_sort(m_rows.begin(), m_rows.end(), less);
    else
        std::stable_sort(m_rows.begin(), m_rows.end(), [&](quint32 a, quint32 b) { return less(b, a); });
    if (!before.isEmpty()) {
        // Selected rows stay selected: each group keeps its index, wherever its row went.
        std::vector<int> rowOfGroup(static_cast<size_t>(m_list.size()), -1);
        for (size_t r = 0; r < m_rows.size(); ++r)
            rowOfGroup[m_rows[r]] = static_cast<int>(r);
        QModelIndexList after;
        after.reserve(before.size());
        for (const QModelIndex& i : before)
            after.append(index(rowOfGroup[oldRows[static_cast<size_t>(i.row())]], i.column()));
        changePersistentIndexList(before, after);
    }
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}
