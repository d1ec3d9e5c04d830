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
    m_rows.clear();
    m_item = item;
    endResetModel();
    emit showRequested();

    const QByteArray groupName = m.groups.ngGroupNameByKey(item.groupKey);
    const QString group = displayText(groupName);
    const QString from = displayText(columns::shortPoster(item.poster).toByteArray());
    const QString cacheFolder = m.settings.Cache_Path + group + u'/';
    bool lifeLogged = false;
    QList<Row> rows;
    rows.reserve(item.parts.size());
    for (const ItemRecord::Part& part : item.parts) {
        Row r;
        r.article = part.article;
        r.cached = QFileInfo::exists(cacheFolder + QString::number(part.article) + QStringLiteral(".UUE"));
        const int life = LifeRemaining(m.groups, m.log, part.article, item.groupKey, lifeLogged);
        r.texts[ArticleColumn] = QString::number(part.article);
        r.texts[SizeColumn] = columns::kilobytes(part.bytes);
        r.texts[LifeColumn] = columns::life(life);
        r.texts[SubjectColumn] = displayText(itemkey::partSubject(item.key, part.tail));
        r.texts[FromColumn] = from;
        r.texts[NewsgroupColumn] = group;
        rows.append(std::move(r));
    }
    if (rows.isEmpty())
        return;
    beginInsertRows({}, 0, static_cast<int>(rows.size()) - 1);
    m_rows = std::move(rows);
    endInsertRows();
}

int ItemPartsModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int ItemPartsModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant ItemPartsModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const Row& r = m_rows.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return r.texts[static_cast<size_t>(index.column())];
    case ArticleRole:
        return r.article;
    case IconRole:
        return r.cached ? QStringLiteral("cached") : QStringLiteral("part");
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
