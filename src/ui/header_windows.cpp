#include "ui/header_windows.h"
#include "ui/window_keys.h"
#include "ui/list_views.h"

#include "headers/item_parts_model.h"
#include "headers/search.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

IconProxy::IconProxy(QAbstractItemModel* source, int keyRole, QString fixedKey, IconFor iconFor, QObject* parent)
    : QIdentityProxyModel(parent)
    , m_keyRole(keyRole)
    , m_fixedKey(std::move(fixedKey))
    , m_iconFor(std::move(iconFor))
{
    setSourceModel(source);
}

QVariant IconProxy::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DecorationRole || index.column() != 0)
        return QIdentityProxyModel::data(index, role);
    const QString key = m_keyRole < 0 ? m_fixedKey : QIdentityProxyModel::data(index, m_keyRole).toString();
    return m_iconFor(key);
}

PartsWindow::PartsWindow(ItemPartsModel& parts, const IconProxy::IconFor& iconFor, QWidget* parent)
    : QWidget(parent, Qt::Window)
{
    closeOnEscape(this);
    setObjectName(QStringLiteral("frmViewParts"));
    setWindowTitle(parts.caption());
    auto* list = new QTreeView;
    list->setObjectName(QStringLiteral("lvParts"));
    list->setRootIsDecorated(false);
    list->setUniformRowHeights(true);
    list->setAlternatingRowColors(true);
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list->setModel(new IconProxy(&parts, ItemPartsModel::IconRole, {}, iconFor, list));
    setUpList(list, { ItemPartsModel::ArticleColumn, ItemPartsModel::SizeColumn });
    list->header()->resizeSection(ItemPartsModel::SubjectColumn, 360);
    connect(list, &QTreeView::doubleClicked, this, [this](const QModelIndex& index) { emit partActivated(index.row()); });
    auto* close = new QPushButton(QStringLiteral("Close"));
    connect(close, &QPushButton::clicked, this, &QWidget::hide);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(close);
    layout->addLayout(buttons);
    connect(&parts, &ItemPartsModel::captionChanged, this, &QWidget::setWindowTitle);
    connect(&parts, &ItemPartsModel::showRequested, this, [this] {
        show();
        raise();
        activateWindow();
    });
    resize(820, 360);
}

FindDialog::FindDialog(HeaderSearch& search, QWidget* parent)
    : QWidget(parent, Qt::Dialog)
    , m_search(search)
{
    closeOnEscape(this);
    setObjectName(QStringLiteral("frmSearch"));
    setWindowTitle(QStringLiteral("Find"));
    m_groups = new QListWidget;
    m_groups->setObjectName(QStringLiteral("lstSearchGroups"));
    m_groups->setSelectionMode(QAbstractItemView::NoSelection);
    m_groups->setMaximumHeight(120);
    m_text = new QLineEdit;
    m_text->setObjectName(QStringLiteral("txtSearch"));
    m_matchCase = new QCheckBox(QStringLiteral("Match Case"));
    m_matchCase->setObjectName(QStringLiteral("chkMatchCase"));
    m_find = new QPushButton(QStringLiteral("Find"));
    m_find->setObjectName(QStringLiteral("cmdSearch"));
    m_find->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("&Cancel"));
    cancel->setObjectName(QStringLiteral("cmdClose"));
    m_searching = new QLabel(search.label());
    m_searching->setObjectName(QStringLiteral("lblSearching"));
    m_progress = new QProgressBar;
    m_progress->setTextVisible(false);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Enter a search string and press find to show matching headers")));
    layout->addWidget(m_groups);
    layout->addWidget(m_text);
    auto* row = new QHBoxLayout;
    row->addWidget(m_matchCase);
    row->addStretch(1);
    row->addWidget(m_find);
    row->addWidget(cancel);
    layout->addLayout(row);
    layout->addWidget(m_searching);
    layout->addWidget(m_progress);
    showSearching(false);

    connect(m_text, &QLineEdit::returnPressed, m_find, &QPushButton::click);
    connect(m_find, &QPushButton::clicked, this, [this] {
        m_search.setText(m_text->text());
        m_search.setMatchCase(m_matchCase->isChecked());
        m_search.SearchHeaders();
    });
    connect(cancel, &QPushButton::clicked, &m_search, &HeaderSearch::close);
    connect(&m_search, &HeaderSearch::dialogRequested, this, [this] {
        show();
        raise();
        activateWindow();
    });
    connect(&m_search, &HeaderSearch::dialogHidden, this, &QWidget::hide);
    connect(&m_search, &HeaderSearch::searchingChanged, this, &FindDialog::showSearching);
    connect(&m_search, &HeaderSearch::labelChanged, m_searching, &QLabel::setText);
    connect(&m_search, &HeaderSearch::progressChanged, this, [this](int value, int maximum) {
        m_progress->setMaximum(std::max(maximum, 1));
        m_progress->setValue(std::min(value, m_progress->maximum()));
    });
    resize(420, 300);
}

void FindDialog::showSearching(bool searching)
{
    // A second search would empty the table under the running one.
    m_find->setEnabled(!searching);
    m_searching->setVisible(searching);
    m_progress->setVisible(searching);
}

void FindDialog::showEvent(QShowEvent* event)
{
    m_groups->clear();
    m_groups->addItems(m_search.groupNames());
    QTimer::singleShot(0, m_text, [this] {
        m_text->setFocus();
        m_text->selectAll();
    });
    QWidget::showEvent(event);
}

void FindDialog::closeEvent(QCloseEvent* event)
{
    // Closing the window is the Cancel button: a running search stops and keeps what it found.
    m_search.close();
    QWidget::closeEvent(event);
}
