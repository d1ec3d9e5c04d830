#pragma once

#include "headers/item_table.h"

#include <QAbstractTableModel>
#include <QString>

#include <vector>

class Newsgroups;
class OpsLog;
struct Settings;

// The "View Parts" window's list: the parts of one item in their order, each tagged with its
// article number and marked when its article is already in the cache. Texts and cache marks are
// made for the rows a window asks for, so an item of 200,000 parts opens at once.
class ItemPartsModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { ArticleColumn, SizeColumn, LifeColumn, SubjectColumn, FromColumn, NewsgroupColumn, ColumnCount };
    enum Role {
        ArticleRole = Qt::UserRole, // the row's tag
        IconRole, // "cached" or "part"
    };

    struct Services {
        const Newsgroups& groups;
        OpsLog& log;
        const Settings& settings;
    };
    explicit ItemPartsModel(const Services& services, QObject* parent = nullptr);

    void ShowItemParts(const ItemRecord& item);
    [[nodiscard]] QString caption() const { return m_caption; }

    // The item shown, so a part picked in the window can be fetched.
    [[nodiscard]] const ItemRecord& item() const { return m_item; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

signals:
    void captionChanged(const QString& caption);
    // The window should be shown (it was filled for a new item).
    void showRequested();

private:
    [[nodiscard]] QString text(const ItemRecord::Part& part, int column) const;
    [[nodiscard]] bool cached(int row) const;

    Services m;
    QString m_caption;
    ItemRecord m_item;
    QString m_group;
    QString m_from;
    QString m_cacheFolder;
    mutable std::vector<qint8> m_cached; // by row: -1 not looked at yet
    mutable bool m_lifeLogged = false;
};
