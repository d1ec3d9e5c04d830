#include "ui/host_groups_window.h"
#include "ui/window_keys.h"
#include "ui/list_views.h"

#include "app/format.h"

#include <QApplication>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIdentityProxyModel>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

namespace {

// Groups already added to the newsgroup list show another icon.
class AddedIcons : public QIdentityProxyModel {
public:
    explicit AddedIcons(QObject* parent)
        : QIdentityProxyModel(parent)
        , m_group(QApplication::style()->standardIcon(QStyle::SP_DirIcon))
        , m_added(QApplication::style()->standardIcon(QStyle::SP_DialogApplyButton))
    {
    }
    QVariant data(const QModelIndex& index, int role) const override
    {
        if (role == Qt::DecorationRole && index.column() == HostGroupModel::NameColumn)
            return QIdentityProxyModel::data(index, HostGroupModel::IconRole).toInt() == 2 ? m_added : m_group;
        return QIdentityProxyModel::data(index, role);
    }

private:
    QIcon m_group;
    QIcon m_added;
};

// Focus selects the whole query, so typing replaces it.
class QueryEdit : public QLineEdit {
public:
    using QLineEdit::QLineEdit;

protected:
    void focusInEvent(QFocusEvent* event) override
    {
        QLineEdit::focusInEvent(event);
        QTimer::singleShot(0, this, &QLineEdit::selectAll);
    }
};

template <class T> T* named(T* widget, const char* name)
{
    widget->setObjectName(QLatin1String(name));
    return widget;
}

} // namespace

HostGroupsWindow::HostGroupsWindow(HostGroups& hostGroups, QWidget* parent)
    : QWidget(parent)
    , m_core(hostGroups)
    , m_retrieve(named(new QPushButton(QStringLiteral("Retrieve Groups from Host"), this), "cmdGetHostGroups"))
    , m_reload(named(new QPushButton(QStringLiteral("reload HOSTGRPS.TXT from disk"), this), "Command2"))
    , m_query(named(new QueryEdit(this), "txtQR"))
    , m_startsWith(named(new QRadioButton(QStringLiteral("Starts with:"), this), "optSearchType0"))
    , m_contains(named(new QRadioButton(QStringLiteral("Contains:"), this), "optSearchType1"))
    , m_search(named(new QPushButton(QStringLiteral("Search"), this), "cmdQR"))
    , m_filter(named(new QCheckBox(QStringLiteral("Show only groups with more than"), this), "chkShowGroupsNumRazor"))
    , m_moreThan(named(new QLineEdit(QStringLiteral("0"), this), "txtShowGroupsNumRazor"))
    , m_list(named(new QTreeView(this), "ListView1"))
    , m_add(named(new QPushButton(QStringLiteral("&Add Selections"), this), "cmdAdd"))
    , m_progress(named(new QProgressBar(this), "ProgressBar1"))
    , m_panels { named(new QLabel(this), "StatusBar1Panel0"), named(new QLabel(this), "StatusBar1Panel1") }
{
    closeOnEscape(this);
    setObjectName(QStringLiteral("frmGrM"));
    setWindowTitle(QStringLiteral("Host Newsgroups"));

    m_query->setPlaceholderText(QStringLiteral("Enter some text and press search to find groups"));
    m_startsWith->setChecked(true);
    m_moreThan->setValidator(new QIntValidator(0, 2147483647, m_moreThan));
    m_moreThan->setMaximumWidth(80);
    m_progress->setTextVisible(false);
    m_progress->setValue(0);
    m_search->setMinimumWidth(m_search->fontMetrics().horizontalAdvance(QStringLiteral("Stop Search")) + 24);

    m_list->setModel(new AddedIcons(m_list));
    static_cast<QIdentityProxyModel*>(m_list->model())->setSourceModel(&m_core.model());
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setAllColumnsShowFocus(true);
    m_list->header()->setSectionsClickable(true);
    setUpList(m_list, { HostGroupModel::TotalColumn, HostGroupModel::FirstColumn, HostGroupModel::LastColumn });
    m_list->setColumnWidth(HostGroupModel::NameColumn, 420);
    for (int c = HostGroupModel::TotalColumn; c < HostGroupModel::ColumnCount; ++c)
        m_list->setColumnWidth(c, 100);
    connect(m_list->header(), &QHeaderView::sectionClicked, this, &HostGroupsWindow::sortBy);
    // A new result comes in list order.
    connect(&m_core.model(), &QAbstractItemModel::modelReset, this, [this] {
        m_sortColumn = -1;
        m_list->header()->setSortIndicatorShown(false);
    });

    connect(m_retrieve, &QPushButton::clicked, &m_core, &HostGroups::RetrieveHostGroups);
    connect(m_reload, &QPushButton::clicked, &m_core, &HostGroups::LoadHostGroupFile);
    connect(m_search, &QPushButton::clicked, this, &HostGroupsWindow::search);
    connect(m_query, &QLineEdit::returnPressed, this, &HostGroupsWindow::search);
    connect(m_add, &QPushButton::clicked, this, &HostGroupsWindow::addSelections);

    connect(&m_core, &HostGroups::controlsChanged, this, &HostGroupsWindow::syncControls);
    connect(&m_core, &HostGroups::searchingChanged, this, [this](bool searching) {
        m_search->setText(searching ? QStringLiteral("&Stop Search") : QStringLiteral("Search"));
    });
    connect(&m_core, &HostGroups::statusChanged, this,
        [this](int panel, const QString& text) { m_panels[panel == 0 ? 0 : 1]->setText(text); });
    connect(&m_core, &HostGroups::progressChanged, this, [this](int value, int maximum) {
        m_progress->setRange(0, std::max(maximum, 1));
        m_progress->setValue(value);
    });

    auto* fetch = new QHBoxLayout;
    fetch->addWidget(m_retrieve);
    fetch->addWidget(m_reload);
    fetch->addStretch();
    auto* query = new QHBoxLayout;
    query->addWidget(m_query, 1);
    query->addWidget(m_startsWith);
    query->addWidget(m_contains);
    query->addWidget(m_search);
    auto* filter = new QHBoxLayout;
    filter->addWidget(m_filter);
    filter->addWidget(m_moreThan);
    filter->addWidget(new QLabel(QStringLiteral("articles"), this));
    filter->addStretch();
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(m_progress, 1);
    bottom->addWidget(m_add);
    auto* status = named(new QStatusBar(this), "StatusBar1");
    status->setSizeGripEnabled(false);
    status->addWidget(m_panels[0], 3);
    status->addWidget(m_panels[1], 1);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fetch);
    layout->addLayout(query);
    layout->addLayout(filter);
    layout->addWidget(m_list, 1);
    layout->addLayout(bottom);
    layout->addWidget(status);
    resize(760, 560);
    syncControls();
}

void HostGroupsWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous())
        m_core.LoadHostGroupFile();
}

void HostGroupsWindow::search()
{
    HostGroups::Filter filter;
    filter.enabled = m_filter->isChecked();
    filter.moreThan = static_cast<qint64>(fmt::Val(m_moreThan->text()));
    m_core.SearchButton(m_query->text().toUtf8(),
        m_contains->isChecked() ? HostSearchType::Contains : HostSearchType::StartsWith, filter);
}

void HostGroupsWindow::addSelections()
{
    QList<int> rows;
    for (const QModelIndex& i : m_list->selectionModel()->selectedRows())
        rows.append(i.row());
    std::sort(rows.begin(), rows.end());
    m_core.AddSelections(rows);
}

void HostGroupsWindow::syncControls()
{
    using C = HostGroups::Control;
    m_retrieve->setEnabled(m_core.isEnabled(C::Retrieve));
    m_reload->setEnabled(m_core.isEnabled(C::Reload));
    m_query->setEnabled(m_core.isEnabled(C::SearchText));
    m_startsWith->setEnabled(m_core.isEnabled(C::SearchType));
    m_contains->setEnabled(m_core.isEnabled(C::SearchType));
    m_search->setEnabled(m_core.isEnabled(C::Search));
    m_add->setEnabled(m_core.isEnabled(C::Add));
}

void HostGroupsWindow::sortBy(int column)
{
    m_sortOrder
        = column == m_sortColumn && m_sortOrder == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder;
    m_sortColumn = column;
    m_list->header()->setSortIndicatorShown(true);
    m_list->header()->setSortIndicator(column, m_sortOrder);
    m_core.model().sort(column, m_sortOrder);
}
