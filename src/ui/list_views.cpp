#include "ui/list_views.h"

#include <QAbstractItemView>
#include <QHeaderView>
#include <QHelpEvent>
#include <QToolTip>
#include <QTreeView>

ListDelegate::ListDelegate(QList<int> numberColumns, QObject* parent)
    : QStyledItemDelegate(parent)
    , m_numberColumns(std::move(numberColumns))
{
}

void ListDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    if (m_numberColumns.contains(index.column()))
        option->displayAlignment = Qt::AlignRight | Qt::AlignVCenter;
}

bool ListDelegate::helpEvent(
    QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option, const QModelIndex& index)
{
    if (!event || !view || event->type() != QEvent::ToolTip || index.data(Qt::ToolTipRole).isValid())
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    QStyleOptionViewItem item = option;
    initStyleOption(&item, index);
    const QWidget* widget = item.widget ? item.widget : view;
    const QRect textRect = widget->style()->subElementRect(QStyle::SE_ItemViewItemText, &item, widget);
    const int margins = 2 * (widget->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, &item, widget) + 1);
    if (item.text.isEmpty() || item.fontMetrics.horizontalAdvance(item.text) + margins <= textRect.width()) {
        QToolTip::hideText();
        return true;
    }
    QToolTip::showText(event->globalPos(), item.text, view->viewport(), option.rect);
    return true;
}

void setUpList(QTreeView* view, const QList<int>& numberColumns)
{
    view->setItemDelegate(new ListDelegate(numberColumns, view));
    view->setTextElideMode(Qt::ElideRight);
    view->header()->setStretchLastSection(true);
}
