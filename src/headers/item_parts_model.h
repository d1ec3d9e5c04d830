#pragma once

#include "headers/item_table.h"

#include <QAbstractTableModel>
#include <QString>

#include <array>

class Newsgroups;
class OpsLog;
struct Settings;

// The "View Parts" window's list: the parts of one item in their order, each tagged with its
// article number and marked when its article is already in the cache.
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
    // The item shown; row i is its part i.
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
    struct Row {
        qint64 article = 0;
        bool cached = false;
        std::array<QString, ColumnCount> texts;
    };

    Services m;
    QString m_caption;
    ItemRecord m_item;
    QList<Row> m_rows;
};
