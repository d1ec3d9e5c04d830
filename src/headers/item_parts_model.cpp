#include "headers/item_parts_model.h"

#include "app/settings.h"
#include "app/text.h"
#include "groups/newsgroups.h"
#include "headers/header_columns.h"
#include "headers/item_key.h"
#include "headers/life.h"

#include <QFileInfo>

ItemPartsModel::ItemPartsModel(const Services& services, QObject* parent)
    : QAbstractTableModel(parent)
    , m(services)
{
}

void ItemPartsModel::ShowItemParts(const ItemRecord& item)
{
    m_caption = QStringLiteral("View Parts: ") + displayText(item.key);
    emit captionChanged(m_caption);
    beginResetModel();
    m_item = ItemRecord();
    m_cached.clear();
    endResetModel();
    emit showRequested();

    m_group = displayText(m.groups.ngGroupNameByKey(item.groupKey));
    m_from = displayText(columns::shortPoster(item.poster).toByteArray());
    m_cacheFolder = m.settings.Cache_Path + m_group + u'/';
    m_lifeLogged = false;
    if (item.parts.isEmpty())
        return;
    // A group range that gives no life is logged when the item is shown, once, whatever is painted.
    (void)LifeRemaining(m.groups, m.log, item.parts.front().article, item.groupKey, m_lifeLogged);
    beginInsertRows({}, 0, static_cast<int>(item.parts.size()) - 1);
    m_item = item;
    m_cached.assign(static_cast<size_t>(item.parts.size()), -1);
    endInsertRows();
}

QString ItemPartsModel::text(const ItemRecord::Part& part, int column) const
{
    switch (column) {
    case ArticleColumn:
        return QString::number(part.article);
    case SizeColumn:
        return columns::kilobytes(part.bytes);
    case LifeColumn:
        return columns::life(LifeRemaining(m.groups, m.log, part.article, m_item.groupKey, m_lifeLogged));
    case SubjectColumn:
        return displayText(itemkey::partSubject(m_item.key, part.tail));
    case FromColumn:
        return m_from;
    case NewsgroupColumn:
        return m_group;
    default:
        return {};
    }
}

bool ItemPartsModel::cached(int row) const
{
    qint8& known = m_cached[static_cast<size_t>(row)];
    if (known < 0) {
        const qint64 article = m_item.parts.at(row).article;
        known = QFileInfo::exists(m_cacheFolder + QString::number(article) + QStringLiteral(".UUE")) ? 1 : 0;
    }
    return known != 0;
}

int ItemPartsModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_item.parts.size());
}

int ItemPartsModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant ItemPartsModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const ItemRecord::Part& part = m_item.parts.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return text(part, index.column());
    case ArticleRole:
        return part.article;
    case IconRole:
        return cached(index.row()) ? QStringLiteral("cached") : QStringLiteral("part");
    default:
        return {};
    }
}

QVariant ItemPartsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    static const char* const kCaptions[ColumnCount]
        = { "Article#", "Size (KB)", "Life", "Subject", "From", "Newsgroup" };
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= ColumnCount)
        return {};
    return QString::fromLatin1(kCaptions[section]);
}
