#include "ui/newsgroups_page.h"
#include "ui/list_views.h"

#include "program/app_context.h"
#include "app/prompts.h"
#include "ui/group_properties.h"

#include <QDesktopServices>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QApplication>
#include <QIdentityProxyModel>
#include <QStyle>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QTreeView>
#include <QUrl>
#include <QVBoxLayout>

namespace {

// Switched-off groups are drawn greyed; the group being scanned has its own icon.
class GreyedRows : public QIdentityProxyModel {
public:
    explicit GreyedRows(QObject* parent)
        : QIdentityProxyModel(parent)
        , m_group(QApplication::style()->standardIcon(QStyle::SP_DirIcon))
        , m_scanning(QApplication::style()->standardIcon(QStyle::SP_BrowserReload))
    {
    }
    QVariant data(const QModelIndex& index, int role) const override
    {
        if (role == Qt::ForegroundRole && QIdentityProxyModel::data(index, Newsgroups::GreyedRole).toBool())
            return QPalette().brush(QPalette::Disabled, QPalette::Text);
        if (role == Qt::DecorationRole && index.column() == Newsgroups::NameColumn)
            return QIdentityProxyModel::data(index, Newsgroups::IconRole).toInt() == 2 ? m_scanning : m_group;
        return QIdentityProxyModel::data(index, role);
    }

private:
    QIcon m_group;
    QIcon m_scanning;
};

QPushButton* commandButton(const char* name, const QString& caption, const QString& tip, QWidget* parent)
{
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(QLatin1String(name));
    b->setToolTip(tip);
    return b;
}

} // namespace

NewsgroupsPage::NewsgroupsPage(AppContext& context, QWidget* parent)
    : QWidget(parent)
    , m_ctx(context)
    , m_list(new QTreeView(this))
{
    setObjectName(QStringLiteral("pageNewsgroups"));
    auto* proxy = new GreyedRows(this);
    proxy->setSourceModel(&m_ctx.groups);
    m_list->setObjectName(QStringLiteral("lvwNewsgroups"));
    m_list->setModel(proxy);
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list->setSortingEnabled(false);
    setUpList(m_list, { Newsgroups::UnreadColumn, Newsgroups::LastReadColumn, Newsgroups::FirstColumn,
                           Newsgroups::LastColumn, Newsgroups::TotalColumn });
    m_list->header()->setSectionsClickable(true);
    m_list->header()->resizeSection(Newsgroups::NameColumn, 260);
    // A new column sorts ascending, the same column again reverses.
    connect(m_list->header(), &QHeaderView::sectionClicked, this, [this](int column) {
        m_sortOrder = column == m_sortColumn && m_sortOrder == Qt::AscendingOrder ? Qt::DescendingOrder
                                                                                : Qt::AscendingOrder;
        m_sortColumn = column;
        m_ctx.groups.sort(column, m_sortOrder);
    });
    connect(m_list, &QTreeView::doubleClicked, this, [this] { m_ctx.groups.toggleRows(selectedRows()); });

    auto* add = commandButton("cmdAdd", QStringLiteral("&Add"), QStringLiteral("Add Group"), this);
    auto* del = commandButton("cmdDelete", QStringLiteral("&Delete"), QStringLiteral("Delete Selected Group"), this);
    auto* up = commandButton("cmdUp", QStringLiteral("&Up"), QStringLiteral("Move Selected Group up in the scan order"),
                             this);
    auto* down = commandButton("cmdDown", QStringLiteral("Dow&n"),
                               QStringLiteral("Move Selected Group down in the scan order"), this);
    auto* top = commandButton("cmdTop", QStringLiteral("Top"),
                              QStringLiteral("Move selected group(s) to top, so they will be scanned first"), this);
    auto* reset = commandButton("cmdReset", QStringLiteral("&Reset"),
                                QStringLiteral("Reset Highest Message read in Selected Group"), this);
    auto* toggle = commandButton("cmdToggle", QStringLiteral("&Toggle on/off"), QStringLiteral("Toggle group on or off"),
                                 this);
    auto* properties = commandButton("cmdProperties", QStringLiteral("Group Properties"), QString(), this);

    connect(add, &QPushButton::clicked, this, [this] { openAddDialog(false); });
    connect(del, &QPushButton::clicked, this, [this] { m_ctx.groups.deleteRows(selectedRows()); });
    connect(up, &QPushButton::clicked, this, [this] { select(m_ctx.groups.moveUp(selectedRows())); });
    connect(down, &QPushButton::clicked, this, [this] { select(m_ctx.groups.moveDown(selectedRows())); });
    connect(top, &QPushButton::clicked, this, [this] { select(m_ctx.groups.moveTop(selectedRows())); });
    connect(reset, &QPushButton::clicked, this, [this] { m_ctx.groups.resetRows(selectedRows()); });
    connect(toggle, &QPushButton::clicked, this, [this] { m_ctx.groups.toggleRows(selectedRows()); });
    connect(properties, &QPushButton::clicked, this, &NewsgroupsPage::openProperties);

    auto* buttons = new QVBoxLayout;
    for (QPushButton* b : {add, del, up, down, top, reset, toggle, properties})
        buttons->addWidget(b);
    buttons->addStretch();
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(m_list, 1);
    layout->addLayout(buttons);
}

QList<int> NewsgroupsPage::selectedRows() const
{
    QList<int> rows;
    for (const QModelIndex& i : m_list->selectionModel()->selectedRows())
        rows.append(i.row());
    return rows;
}

void NewsgroupsPage::select(const QList<int>& rows)
{
    QItemSelectionModel* selection = m_list->selectionModel();
    selection->clearSelection();
    for (int r : rows) {
        const QModelIndex i = m_list->model()->index(r, 0);
        selection->select(i, QItemSelectionModel::Select | QItemSelectionModel::Rows);
        m_list->scrollTo(i);
    }
}

void NewsgroupsPage::openAddDialog(bool modal)
{
    auto* dialog = new AddGroupDialog(m_ctx, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &AddGroupDialog::hostGroupsRequested, this, &NewsgroupsPage::hostGroupsRequested);
    if (modal)
        dialog->exec();
    else
        dialog->show();
}

void NewsgroupsPage::openProperties()
{
    const QList<int> rows = selectedRows();
    if (rows.isEmpty())
        return;
    const GroupRecord* record = m_ctx.groups.recordByKey(m_ctx.groups.keyAtRow(rows.first()));
    if (!record)
        return;
    if (record->lastRead == 0 && record->first == 0 && record->last == 0) {
        m_ctx.prompts.message(QStringLiteral("Scan before adjusting."));
        return;
    }
    auto* window = new GroupProperties(m_ctx, record->key, this);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->show();
}

AddGroupDialog::AddGroupDialog(AppContext& context, QWidget* parent)
    : QDialog(parent)
    , m_ctx(context)
    , m_name(new QLineEdit(this))
{
    setObjectName(QStringLiteral("frmAddGroup"));
    setWindowTitle(QStringLiteral("Add a newsgroup"));
    m_name->setObjectName(QStringLiteral("txtGroup"));
    auto* add = new QPushButton(QStringLiteral("&Add"), this);
    add->setObjectName(QStringLiteral("cmdAdd"));
    add->setDefault(true);
    auto* close = new QPushButton(QStringLiteral("&Close"), this);
    close->setObjectName(QStringLiteral("cmdClose"));
    auto* host = new QPushButton(QStringLiteral("Host group list..."), this);
    host->setObjectName(QStringLiteral("cmdHostGroups"));
    auto* engines = new QPushButton(QStringLiteral("Newsgroup Search Engines"), this);
    engines->setObjectName(QStringLiteral("cmdSearchEngines"));

    connect(add, &QPushButton::clicked, this, &AddGroupDialog::add);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    connect(host, &QPushButton::clicked, this, [this] {
        reject();
        emit hostGroupsRequested();
    });
    connect(engines, &QPushButton::clicked, this,
            [this] { m_ctx.cues.ShellOpen(QStringLiteral("https://www.google.com/search?q=usenet+newsgroup+search")); });

    auto* hostRow = new QHBoxLayout;
    hostRow->addWidget(new QLabel(QStringLiteral("Download and/or Query your hosts complete list of newsgroups."), this));
    hostRow->addWidget(host);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(engines);
    buttons->addStretch();
    buttons->addWidget(add);
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(hostRow);
    layout->addWidget(new QLabel(QStringLiteral("Or add a group by simply typing or pasting it here:"), this));
    layout->addWidget(m_name);
    layout->addLayout(buttons);
    resize(480, sizeHint().height());
}

void AddGroupDialog::add()
{
    if (m_name->text().trimmed().isEmpty())
        return;
    m_ctx.groups.ngAddGroup(m_name->text().toUtf8());
    accept();
}
