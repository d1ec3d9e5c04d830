#include "batch/batch_model.h"

#include "app/format.h"
#include "app/text.h"
#include "app/view_layout.h"
#include "groups/newsgroups.h"
#include "headers/item_key.h"
#include "headers/life.h"

#include <algorithm>

BatchModel::BatchModel(const ItemTable& store, const Newsgroups& groups, OpsLog& log, QObject* parent)
    : QAbstractTableModel(parent)
    , m_store(store)
    , m_groups(groups)
    , m_log(log)
{
}

int BatchModel::rowOf(int entry) const
{
    if (entry < 0 || static_cast<size_t>(entry) >= m_rowOf.size())
        return -1;
    return m_rowOf[static_cast<size_t>(entry)];
}

int BatchModel::lifeOf(int entry, bool* errorLogged) const
{
    const Item& it = m_store.item(entry);
    if (it.firstPart == 0)
        return 0;
    return LifeRemaining(m_groups, m_log, m_store.part(it.firstPart).article, it.groupKey, errorLogged);
}

void BatchModel::reindexFrom(int row)
{
    for (size_t r = static_cast<size_t>(row); r < m_order.size(); ++r)
        m_rowOf[static_cast<size_t>(m_order[r])] = static_cast<int>(r);
}

void BatchModel::appendEntries(std::span<const int> entries)
{
    if (entries.empty())
        return;
    const auto need = static_cast<size_t>(m_store.count()) + 1;
    if (m_rowOf.size() < need) {
        m_rowOf.resize(need, -1);
        m_life.resize(need, 0);
    }
    bool errorLogged = false;
    const int first = rowCount();
    beginInsertRows({}, first, first + static_cast<int>(entries.size()) - 1);
    for (int e : entries) {
        m_life[static_cast<size_t>(e)] = lifeOf(e, &errorLogged);
        m_order.push_back(e);
    }
    reindexFrom(first);
    endInsertRows();
}

void BatchModel::removeRowList(QList<int> rows)
{
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    if (rows.isEmpty())
        return;
    // Runs of adjacent rows go in one step each, from the bottom so the rows above keep their numbers.
    for (qsizetype end = rows.size(); end > 0;) {
        qsizetype begin = end - 1;
        while (begin > 0 && rows[begin - 1] == rows[begin] - 1)
            --begin;
        const int firstRow = rows[begin];
        const int lastRow = rows[end - 1];
        beginRemoveRows({}, firstRow, lastRow);
        for (int r = firstRow; r <= lastRow; ++r)
            m_rowOf[static_cast<size_t>(m_order[static_cast<size_t>(r)])] = -1;
        m_order.erase(m_order.begin() + firstRow, m_order.begin() + lastRow + 1);
        endRemoveRows();
        end = begin;
    }
    reindexFrom(rows.first());
}

void BatchModel::setOrder(std::vector<int> order)
{
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    m_order = std::move(order);
    reindexFrom(0);
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex& i : before) {
        const int row = i.isValid() ? rowOf(entryAt(i.row())) : -1;
        after.append(row < 0 ? QModelIndex() : index(row, i.column()));
    }
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void BatchModel::sortRows(int column, Qt::SortOrder order)
{
    if (column < 0 || column >= ColumnCount)
        return;
    std::vector<std::pair<QString, int>> keyed;
    keyed.reserve(m_order.size());
    for (size_t r = 0; r < m_order.size(); ++r)
        keyed.emplace_back(cellText(static_cast<int>(r), column), m_order[r]);
    std::stable_sort(keyed.begin(), keyed.end(), [order](const auto& a, const auto& b) {
        const int c = QString::compare(a.first, b.first, Qt::CaseInsensitive);
        return order == Qt::AscendingOrder ? c < 0 : c > 0;
    });
    std::vector<int> sorted;
    sorted.reserve(keyed.size());
    for (const auto& k : keyed)
        sorted.push_back(k.second);
    setOrder(std::move(sorted));
}

void BatchModel::refreshLife()
{
    if (m_order.empty())
        return;
    bool errorLogged = false;
    for (int e : m_order)
        m_life[static_cast<size_t>(e)] = lifeOf(e, &errorLogged);
    emit dataChanged(index(0, LifeColumn), index(rowCount() - 1, LifeColumn), { Qt::DisplayRole });
}

void BatchModel::clear()
{
    beginResetModel();
    m_order.clear();
    m_rowOf.clear();
    m_life.clear();
    endResetModel();
}

QString BatchModel::cellText(int row, int column) const
{
    const int entry = entryAt(row);
    const Item& it = m_store.item(entry);
    switch (column) {
    case SubjectColumn:
        return displayText(itemkey::baseName(m_store.str(it.key)).toByteArray());
    case PartsColumn:
        return fmt::Format(it.totalParts != 0 ? double(it.totalParts) : double(it.partCount), u"000");
    case MbColumn:
        return fmt::Format(static_cast<double>(m_store.ItemBytes(entry)) / 1e6, u"000.000");
    case LifeColumn:
        return lifeText(m_life[static_cast<size_t>(entry)]);
    case FromColumn:
        return displayText(m_store.str(it.poster).toByteArray());
    case NewsgroupColumn:
        return displayText(m_groups.ngGroupNameByKey(it.groupKey));
    case DateColumn:
        return fmt::fromOleDate(it.date).date().toString(QStringLiteral("yyyy-MM-dd"));
    default:
        return {};
    }
}

int BatchModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_order.size());
}

int BatchModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant BatchModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return cellText(index.row(), index.column());
    case EntryRole:
        return entryAt(index.row());
    case IconIndexRole:
        return index.column() == SubjectColumn ? QVariant(kIconIndex) : QVariant();
    default:
        return {};
    }
}

QVariant BatchModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    static const QList<QString> captions = ColumnLayouts::captions(ColumnLayouts::BatchView);
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= captions.size())
        return {};
    return captions[section];
}
