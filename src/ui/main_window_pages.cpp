#include "ui/main_window.h"

#include "batch/placement.h"

#include "program/app_context.h"
#include "app/desktop.h"
#include "ui/header_windows.h"
#include "ui/list_views.h"
#include "ui/text_line.h"

#include <QAction>
#include <QComboBox>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

using Label = MainWindowState::Label;
using Bar = MainWindowState::Bar;
using Control = MainWindowState::Control;

namespace {

QLabel* caption(const QString& text, QWidget* buddy = nullptr)
{
    auto* label = new QLabel(text);
    if (buddy)
        label->setBuddy(buddy);
    return label;
}

QFrame* separator()
{
    auto* line = new QFrame;
    line->setFrameShape(QFrame::VLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

} // namespace

QPushButton* MainWindow::makeButton(const char* name, const QString& text, const QString& tip)
{
    auto* button = new QPushButton(text);
    button->setObjectName(QLatin1String(name));
    if (!tip.isEmpty())
        button->setToolTip(tip);
    button->setAutoDefault(false);
    return button;
}

QPushButton* MainWindow::makeButton(const char* name, const QString& text, const QString& tip, Command command)
{
    QPushButton* button = makeButton(name, text, tip);
    connect(button, &QPushButton::clicked, this, [this, command] { runCommand(command); });
    return button;
}

QLabel* MainWindow::makeLabel(const char* name, Label label)
{
    auto* widget = new QLabel;
    widget->setObjectName(QLatin1String(name));
    m_labels.insert(label, widget);
    return widget;
}

TextLine* MainWindow::makeLine(const char* name, Label label)
{
    auto* widget = new TextLine;
    widget->setObjectName(QLatin1String(name));
    m_lines.insert(label, widget);
    return widget;
}

QProgressBar* MainWindow::makeBar(const char* name, Bar bar)
{
    auto* widget = new QProgressBar;
    widget->setObjectName(QLatin1String(name));
    widget->setTextVisible(false);
    widget->setMaximumHeight(widget->fontMetrics().height());
    widget->setMinimumWidth(160);
    m_bars.insert(bar, widget);
    return widget;
}

QTreeView* MainWindow::makeView(ColumnLayouts::View which)
{
    static constexpr const char* kNames[] = { "HeaderView", "BatchView", "ProcessedView" };
    auto* view = new QTreeView;
    view->setObjectName(QLatin1String(kNames[which]));
    view->setRootIsDecorated(false);
    view->setUniformRowHeights(true);
    view->setItemsExpandable(false);
    view->setAllColumnsShowFocus(true);
    view->setAlternatingRowColors(true);
    view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Our own menus open on the button release, and only over a selection.
    view->setContextMenuPolicy(Qt::PreventContextMenu);

    view->setModel(listModel(which));

    QList<int> numberColumns;
    const QList<QString> captions = ColumnLayouts::captions(which);
    for (int c = 0; c < captions.size(); ++c) {
        if (captions.at(c) == QLatin1String("Parts") || captions.at(c) == QLatin1String("MB"))
            numberColumns.append(c);
    }
    setUpList(view, numberColumns);
    QHeaderView* header = view->header();
    header->setSectionsMovable(false);
    header->setMinimumSectionSize(8);
    header->setSortIndicatorShown(which != ColumnLayouts::ProcessedView);
    header->setSortIndicator(-1, Qt::AscendingOrder);
    if (which == ColumnLayouts::HeaderView) {
        view->setSortingEnabled(true);
        connect(header, &QHeaderView::sortIndicatorChanged, this,
            [this, which](int section, Qt::SortOrder) { keepAscendingOnNewColumn(which, section); });
    } else if (which == ColumnLayouts::BatchView) {
        // The batch is sorted once, after a question, and stays in the order it was given.
        header->setSectionsClickable(true);
        connect(header, &QHeaderView::sectionClicked, this, [this, header](int section) {
            if (m_ctx.batch.SortByColumn(section))
                header->setSortIndicator(m_ctx.batch.sortColumn(), m_ctx.batch.sortOrder());
        });
    }

    view->installEventFilter(this);
    view->viewport()->installEventFilter(this);
    m_views[which] = view;
    return view;
}

QAbstractItemModel* MainWindow::listModel(ColumnLayouts::View which)
{
    auto icon = [this](const QString& key) { return m_icons.value(key); };
    switch (which) {
    case ColumnLayouts::HeaderView:
        return new IconProxy(&m_ctx.headerView, HeaderView::StatusRole, {}, icon, this);
    case ColumnLayouts::BatchView:
        return new IconProxy(&m_ctx.batch.model(), -1, QStringLiteral("iteminbatch"), icon, this);
    case ColumnLayouts::ProcessedView:
        break;
    }
    return new IconProxy(&m_ctx.batch.processed(), ProcessedModel::IconKeyRole, {}, icon, this);
}

QWidget* MainWindow::buildTopBar()
{
    auto* bar = new QWidget;
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(0, 0, 0, 0);

    // The loading strip takes the last-scan label's place while a group loads.
    m_scanInfo = new QStackedWidget;
    QLabel* lastScan = makeLabel("lblLastScan", Label::LastScan);
    QFont bold = lastScan->font();
    bold.setBold(true);
    lastScan->setFont(bold);
    m_scanInfo->addWidget(lastScan);
    m_loadStrip = new QWidget;
    m_loadStrip->setObjectName(QStringLiteral("loadStrip"));
    auto* strip = new QHBoxLayout(m_loadStrip);
    strip->setContentsMargins(0, 0, 0, 0);
    strip->addWidget(makeLabel("lblLoadGroup", Label::LoadGroup));
    strip->addWidget(makeBar("ProgressBarLOAD", Bar::LoadGroup), 1);
    m_scanInfo->addWidget(m_loadStrip);
    m_scanInfo->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    row->addWidget(m_scanInfo, 1);

    QPushButton* watch = makeButton("cmdWatchKill", QStringLiteral("Watch/Kill"), QStringLiteral("Edit Watch List"));
    connect(watch, &QPushButton::clicked, this, &MainWindow::watchListRequested);
    QPushButton* log = makeButton("cmdViewLog", QStringLiteral("View Log"), {});
    connect(log, &QPushButton::clicked, this, &MainWindow::logRequested);
    QPushButton* options = makeButton("cmdOptions", QStringLiteral("Options"), QStringLiteral("Edit options"));
    connect(options, &QPushButton::clicked, this, &MainWindow::optionsRequested);
    QPushButton* help = makeButton("cmdHelp", QStringLiteral("Help"), {});
    connect(help, &QPushButton::clicked, this, &MainWindow::helpRequested);
    QPushButton* about = makeButton("cmdAbout", QStringLiteral("About"), {});
    connect(about, &QPushButton::clicked, this, &MainWindow::aboutRequested);
    for (QPushButton* b : { watch, log, options })
        row->addWidget(b);
    row->addWidget(separator());
    row->addWidget(help);
    row->addWidget(about);
    return bar;
}

QToolBar* MainWindow::buildFilterBar()
{
    m_filterBar = new QToolBar;
    m_filterBar->setObjectName(QStringLiteral("Toolbar1"));
    m_filterBar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_filterBar->setIconSize(QSize(16, 16));
    m_filterBar->setMovable(false);
    m_filterBar->setFloatable(false);
    auto add = [this](const char* key, const char* text, const QString& tip) {
        QAction* action = m_filterBar->addAction(QLatin1String(text));
        action->setObjectName(QLatin1String(key));
        action->setCheckable(true);
        action->setToolTip(tip);
        m_filterActions.insert(QLatin1String(key), action);
        return action;
    };
    for (const FilterToggle& toggle : kFilterToggles)
        add(toggle.key, toggle.caption,
            QStringLiteral("Show %1 items").arg(QString::fromLatin1(toggle.caption).toLower()));
    m_filterBar->addSeparator();
    add("btnsNew", "New", QStringLiteral("Hide items whose articles are about to expire"));
    for (auto it = m_filterActions.cbegin(); it != m_filterActions.cend(); ++it) {
        connect(it.value(), &QAction::triggered, this, [this, key = it.key()](bool pressed) {
            m_ctx.headerView.setToggle(key.toLatin1(), pressed);
            emit viewFilterChanged();
        });
    }
    return m_filterBar;
}

QWidget* MainWindow::buildHeaderPage()
{
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);

    QPushButton* scan = makeButton(
        "cmdScan", QStringLiteral("Scan"), QStringLiteral("Connect to News Server (start scan)"), Command::Scan);
    scan->setIcon(style()->standardIcon(QStyle::SP_MediaPlay));
    QPushButton* stop = makeButton("cmdScanStop", QStringLiteral("Stop"),
        QStringLiteral("Disconnect from News Server and stop scanning"), Command::ScanStop);
    stop->setIcon(style()->standardIcon(QStyle::SP_MediaStop));
    auto* groups = new QComboBox;
    groups->setObjectName(QStringLiteral("cboVG"));
    groups->setModel(&m_ctx.groups.viewGroups());
    // A rebuilt list starts at its first entry, "no group".
    connect(&m_ctx.groups.viewGroups(), &QAbstractItemModel::modelReset, groups,
            [groups] { groups->setCurrentIndex(0); });
    connect(groups, &QComboBox::activated, this,
        [this, groups](int index) { m_ctx.headerView.selectGroupEntry(groups->itemText(index)); });
    // A search empties the selection to "no group" from the core side.
    connect(&m_ctx.headerView, &HeaderView::selectedGroupChanged, groups, [this, groups](int key) {
        const QString name = key < 0 ? QString::fromLatin1(Newsgroups::kNoGroup)
                                     : QString::fromLatin1(m_ctx.groups.ngGroupNameByKey(static_cast<quint8>(key)));
        const int index = groups->findText(name);
        if (index >= 0)
            groups->setCurrentIndex(index);
    });
    groups->setMinimumContentsLength(24);
    groups->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    QPushButton* refresh
        = makeButton("cmdRefresh", QStringLiteral("Refresh"), QStringLiteral("Refresh Headers"), Command::Refresh);
    QPushButton* save = makeButton(
        "cmdSaveHeaders", QStringLiteral("Save"), QStringLiteral("Save changed headers"), Command::SaveHeaders);
    QPushButton* restore = makeButton("cmdRestore", QStringLiteral("Restore"),
        QStringLiteral("Restore headers that have been deleted"), Command::Restore);
    m_controls.insert(Control::Scan, scan);
    m_controls.insert(Control::ScanStop, stop);
    m_controls.insert(Control::GroupSelector, groups);
    m_controls.insert(Control::Refresh, refresh);
    m_controls.insert(Control::SaveHeaders, save);
    m_controls.insert(Control::Restore, restore);

    auto* top = new QHBoxLayout;
    top->addWidget(scan);
    top->addWidget(stop);
    top->addSpacing(12);
    top->addWidget(caption(QStringLiteral("Group Zoom:"), groups));
    top->addWidget(groups, 1);
    top->addWidget(refresh);
    top->addWidget(save);
    top->addWidget(restore);
    layout->addLayout(top);

    auto* filter = new QHBoxLayout;
    QLabel* viewFilter = makeLabel("lblViewFilter", Label::ViewCount);
    viewFilter->setMinimumWidth(150);
    filter->addWidget(viewFilter);
    filter->addWidget(buildFilterBar());
    filter->addStretch(1);
    filter->addWidget(makeButton("cmdSearchSelect", QStringLiteral("&Find"),
        QStringLiteral("Find headers that match some text you are going to enter"), Command::Find));
    filter->addWidget(makeButton("cmdDelHeaders", QStringLiteral("Delete"),
        QStringLiteral("Delete the selected header(s)"), Command::DeleteHeaders));
    layout->addLayout(filter);

    QTreeView* view = makeView(ColumnLayouts::HeaderView);
    connect(view, &QTreeView::doubleClicked, this, [this] { runCommand(Command::OpenItem); });
    connect(&m_ctx.headerView, &HeaderView::currentRowRequested, view,
        [view](int row) { view->setCurrentIndex(view->model()->index(row, 0)); });
    layout->addWidget(view, 1);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(makeButton("cmdViewArt", QStringLiteral("&view text/nfo"),
        QStringLiteral("View selected article as text"), Command::ViewText));
    bottom->addWidget(makeButton("cmdAddtoQue", QStringLiteral("Add to &Batch"),
        QStringLiteral("Add selected article(s) to the batch"), Command::AddToBatch));
    bottom->addWidget(makeButton("cmdViewParts", QStringLiteral("&Parts"),
        QStringLiteral("View a list of parts of the first selected multipart article"), Command::ViewParts));
    bottom->addStretch(1);
    auto* progress = new QGridLayout;
    progress->addWidget(caption(QStringLiteral("Entire scan:")), 0, 0);
    progress->addWidget(makeBar("ProgressBar1", Bar::EntireScan), 0, 1);
    progress->addWidget(caption(QStringLiteral("This group:")), 1, 0);
    progress->addWidget(makeBar("ProgressBar2", Bar::ThisGroup), 1, 1);
    progress->setColumnMinimumWidth(1, 220);
    bottom->addLayout(progress);
    layout->addLayout(bottom);
    return page;
}

QWidget* MainWindow::buildBatchPage()
{
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);

    QPushButton* download = makeButton("cmdBatchDownload", QStringLiteral("Download"), {}, Command::BatchDownload);
    download->setIcon(style()->standardIcon(QStyle::SP_ArrowDown));
    QPushButton* stop = makeButton(
        "cmdBatchDownloadStop", QStringLiteral("Stop"), QStringLiteral("Abort Download"), Command::BatchDownloadStop);
    stop->setIcon(style()->standardIcon(QStyle::SP_MediaStop));
    m_controls.insert(Control::BatchDownload, download);
    m_controls.insert(Control::BatchDownloadStop, stop);
    m_light = new QToolButton;
    m_light->setObjectName(QStringLiteral("imgTestx"));
    m_light->setToolTip(QStringLiteral("Indicates DL status (red=busy) click here to force dl start"));
    m_light->setAutoRaise(true);
    m_light->setIconSize(QSize(20, 20));
    m_light->setIcon(builtinImage(QStringLiteral("light_idle")));
    connect(m_light, &QToolButton::clicked, this, [this] { runCommand(Command::BatchDownload); });

    auto* top = new QHBoxLayout;
    top->addWidget(download);
    top->addWidget(stop);
    top->addWidget(m_light);
    top->addStretch(1);
    QLabel* total = makeLabel("lblTotalBatchSize", Label::BatchTotal);
    QFont bold = total->font();
    bold.setBold(true);
    total->setFont(bold);
    top->addWidget(total);
    layout->addLayout(top);

    auto* middle = new QHBoxLayout;
    middle->addWidget(makeView(ColumnLayouts::BatchView), 1);
    auto* order = new QVBoxLayout;
    QPushButton* up = makeButton(
        "cmdUP", QStringLiteral("&Up"), QStringLiteral("Move selected items up in the batch order"), Command::MoveUp);
    up->setIcon(style()->standardIcon(QStyle::SP_ArrowUp));
    QPushButton* down = makeButton("cmdDN", QStringLiteral("D&own"),
        QStringLiteral("Move selected items down in the batch order"), Command::MoveDown);
    down->setIcon(style()->standardIcon(QStyle::SP_ArrowDown));
    QPushButton* first = makeButton("cmdMoveToTop", QStringLiteral("Top"),
        QStringLiteral("Move selected items to top, so they will be downloaded next"), Command::MoveToTop);
    first->setIcon(builtinImage(QStringLiteral("totop")));
    QPushButton* last = makeButton("cmdbatchMoveToBottom", QStringLiteral("Botto&m"),
        QStringLiteral("Move selected items to bottom"), Command::MoveToBottom);
    last->setIcon(builtinImage(QStringLiteral("tobottom")));
    for (QPushButton* b : { first, up, down, last })
        order->addWidget(b);
    order->addSpacing(16);
    order->addWidget(makeButton("cmdDelete", QStringLiteral("&Remove"),
        QStringLiteral("Remove selected item(s) from the batch"), Command::Remove));
    order->addWidget(makeButton("cmdViewPartsinBatch", QStringLiteral("Parts"),
        QStringLiteral("View a list of parts of the first selected multipart article"), Command::ViewPartsInBatch));
    order->addSpacing(16);
    order->addWidget(makeButton("cmdImportNzb", QStringLiteral("&Import NZB…"),
        QStringLiteral("Queue the files listed in NZB files (or drop them on the window)"), Command::ImportNzb));
    order->addWidget(makeButton("cmdExportNzb", QStringLiteral("E&xport NZB…"),
        QStringLiteral("Write the selected entries as an NZB file"), Command::ExportNzbBatch));
    order->addStretch(1);
    middle->addLayout(order);
    layout->addLayout(middle, 1);

    auto* progress = new QGridLayout;
    progress->addWidget(caption(QStringLiteral("This file:")), 0, 0);
    progress->addWidget(makeBar("ProgressBar4", Bar::ThisFile), 0, 1);
    TextLine* fileEta = makeLine("lblCurrentFileTime", Label::FileEta);
    progress->addWidget(fileEta, 0, 2);
    progress->addWidget(caption(QStringLiteral("This part:")), 1, 0);
    progress->addWidget(makeBar("ProgressBar3", Bar::ThisPart), 1, 1);
    TextLine* batchEta = makeLine("lblTotalBatchTime", Label::BatchEta);
    progress->addWidget(batchEta, 1, 2);
    for (TextLine* eta : { fileEta, batchEta })
        eta->setPreferredChars(48);
    progress->setColumnStretch(1, 1);
    progress->setColumnMinimumWidth(2, 200);
    progress->setHorizontalSpacing(12);
    layout->addLayout(progress);
    return page;
}

QWidget* MainWindow::buildProcessedPage()
{
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    QTreeView* processed = makeView(ColumnLayouts::ProcessedView);
    // A double click opens the decoded file.
    connect(processed, &QTreeView::doubleClicked, this, [this](const QModelIndex& index) {
        LaunchDecodedFile(m_ctx.batch.processed().row(index.row()).filePath, m_ctx.prompts, m_ctx.cues);
    });
    layout->addWidget(processed, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(makeButton("cmdProcClearSels", QStringLiteral("Clear Selected"),
        QStringLiteral("Remove the selected rows from this list (files stay on disk)"), Command::ClearSelected));
    buttons->addWidget(makeButton("cmdProcClearAll", QStringLiteral("Clear All"),
        QStringLiteral("Empty this list (files stay on disk)"), Command::ClearAll));
    layout->addLayout(buttons);
    return page;
}

QWidget* MainWindow::buildStatsBar()
{
    static constexpr std::pair<const char*, Label> kStats[] = {
        { "lblStats0", Label::StatsDownload },
        { "lblStats1", Label::StatsTemp },
        { "lblStats2", Label::StatsCache },
        { "lblStats3", Label::StatsPhysicalRam },
        { "lblStats4", Label::StatsTotalRam },
    };
    auto* bar = new QFrame;
    bar->setObjectName(QStringLiteral("statsBar"));
    bar->setFrameShape(QFrame::StyledPanel);
    bar->setFrameShadow(QFrame::Sunken);
    QFont small = bar->font();
    small.setPointSizeF(small.pointSizeF() * 0.9);
    bar->setFont(small);
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(6, 2, 6, 2);
    for (size_t i = 0; i < m_stats.size(); ++i) {
        if (i > 0)
            row->addWidget(separator());
        QLabel* label = makeLabel(kStats[i].first, kStats[i].second);
        label->setAlignment(Qt::AlignCenter);
        m_stats[i] = label;
        row->addWidget(label, 1);
    }
    return bar;
}

void MainWindow::buildMenus()
{
    auto entry = [this](QMenu* menu, const char* name, const char* text, Command command) {
        QAction* action = menu->addAction(QLatin1String(text));
        action->setObjectName(QLatin1String(name));
        connect(action, &QAction::triggered, this, [this, command] { runCommand(command); });
    };
    m_mnuHvm = new QMenu(this);
    m_mnuHvm->setObjectName(QStringLiteral("mnuHvm"));
    entry(m_mnuHvm, "mnuHvmAddToBatch", "Add To Batch", Command::AddToBatch);
    entry(m_mnuHvm, "mnuHvmViewText", "View Text", Command::ViewText);
    entry(m_mnuHvm, "mnuHvmViewParts", "View Parts", Command::ViewParts);
    entry(m_mnuHvm, "mnuHvmPreview", "Preview", Command::Preview);
    entry(m_mnuHvm, "mnuHvmSelectAll", "Select All", Command::SelectAllHeaders);
    entry(m_mnuHvm, "mnuHvmKillFilter", "Kill Filter this Poster", Command::KillFilterPoster);
    entry(m_mnuHvm, "mnuHvmExportNzb", "Export NZB…", Command::ExportNzbHeaders);
    entry(m_mnuHvm, "mnuHvmDelete", "Delete", Command::DeleteHeaders);

    m_mnuBV = new QMenu(this);
    m_mnuBV->setObjectName(QStringLiteral("mnuBV"));
    entry(m_mnuBV, "mnuBVRemove", "Remove", Command::Remove);
    entry(m_mnuBV, "mnuBVMoveToTop", "MoveToTop", Command::MoveToTop);
    entry(m_mnuBV, "mnuBVMoveUp", "Move Up", Command::MoveUp);
    entry(m_mnuBV, "mnuBVMoveDown", "Move Down", Command::MoveDown);
    entry(m_mnuBV, "mnuBVViewParts", "View Parts", Command::ViewPartsInBatch);
    entry(m_mnuBV, "mnuBVSelectAll", "Select All", Command::SelectAllBatch);
    entry(m_mnuBV, "mnuBVExportNzb", "Export NZB…", Command::ExportNzbBatch);
}
