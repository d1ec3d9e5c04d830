#include "batch/processed_model.h"

#include "app/view_layout.h"

#include <algorithm>

ProcessedModel::ProcessedModel(QObject* parent)
    : QAbstractTableModel(parent)
{
}

void ProcessedModel::append(const Row& row)
{
    beginInsertRows({}, rowCount(), rowCount());
    m_rows.append(row);
    endInsertRows();
}

void ProcessedModel::clearAll()
{
    if (m_rows.isEmpty())
        return;
    beginResetModel();
    m_rows.clear();
    endResetModel();
}

void ProcessedModel::clearRows(QList<int> rows)
{
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    rows.removeIf([this](int r) { return r < 0 || r >= rowCount(); });
    // Runs of adjacent rows go in one step each, from the bottom so the rows above keep their numbers.
    for (qsizetype end = rows.size(); end > 0;) {
        qsizetype begin = end - 1;
        while (begin > 0 && rows[begin - 1] == rows[begin] - 1)
            --begin;
        beginRemoveRows({}, rows[begin], rows[end - 1]);
        m_rows.remove(rows[begin], rows[end - 1] - rows[begin] + 1);
        endRemoveRows();
        end = begin;
    }
}

int ProcessedModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int ProcessedModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant ProcessedModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const Row& r = m_rows[index.row()];
    switch (role) {
    case Qt::DisplayRole:
        return index.column() == SubjectColumn ? r.subject : index.column() == StatusColumn ? r.status : r.filePath;
    case SuccessRole:
        return r.success;
    case IconKeyRole:
        return index.column() == SubjectColumn
            ? QVariant(r.success ? QStringLiteral("proc_true") : QStringLiteral("proc_false"))
            : QVariant();
    default:
        return {};
    }
}

QVariant ProcessedModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    static const QList<QString> captions = ColumnLayouts::captions(ColumnLayouts::ProcessedView);
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= captions.size())
        return {};
    return captions[section];
}
