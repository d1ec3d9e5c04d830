#include "watch/watch_model.h"

#include "app/text.h"

WatchModel::WatchModel(QObject* parent)
    : QAbstractTableModel(parent)
{
}

void WatchModel::fill(const QList<WatchEntry>& entries)
{
    beginResetModel();
    m_rows = entries;
    endResetModel();
}

int WatchModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int WatchModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant WatchModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size())
        return {};
    const WatchEntry& e = m_rows[index.row()];
    if (role == EntryRole)
        return index.row() + 1;
    if (role == FieldIconRole && index.column() == FieldColumn)
        return e.where == WatchField::Subject ? 1 : 2;
    if (role != Qt::DisplayRole)
        return {};
    switch (index.column()) {
    case TextColumn: {
        // Each phrase after a blank, and the closing empty phrase's blank last.
        QByteArray text;
        for (const QByteArray& p : e.phrases)
            text += ' ' + p;
        return displayText(text + ' ');
    }
    case FieldColumn:
        return e.where == WatchField::Subject ? QStringLiteral("Subject") : QStringLiteral("From");
    case CaseColumn:
        return e.matchCase ? QStringLiteral("Sensitive") : QStringLiteral("Insensitive");
    case ActionColumn:
        return e.action == WatchAction::Kill ? QStringLiteral("Kill") : QStringLiteral("Add to Batch");
    default:
        return {};
    }
}

QVariant WatchModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    static const char* const kCaptions[ColumnCount] = { "Watch Text", "Field", "Case", "Action" };
    return section >= 0 && section < ColumnCount ? QString::fromLatin1(kCaptions[section]) : QVariant();
}
