#pragma once

#include <QList>
#include <QStyledItemDelegate>

class QTreeView;

// Shows a cell's whole text as a tool tip when its column is too narrow for it (a text that fits
// has no tip; a tip the model gives itself wins), and numbers right-aligned.
class ListDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    ListDelegate(QList<int> numberColumns, QObject* parent);
    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
        const QModelIndex& index) override;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;

private:
    QList<int> m_numberColumns;
};

// What people expect of a list: the last column reaches the view's edge, long texts end in "…"
// with the whole text in a tip, numbers line up on the right.
void setUpList(QTreeView* view, const QList<int>& numberColumns = {});
