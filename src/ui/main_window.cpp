#include "ui/main_window.h"

#include "program/app_context.h"
#include "app/prompts.h"
#include "ui/header_windows.h"
#include "ui/text_line.h"
#include "ui/tray_icon.h"
#include "ui/viewer_windows.h"
#include "ui/watch_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QMimeData>
#include <QUrl>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QProgressBar>
#include <QScreen>
#include <QSet>
#include <QStackedWidget>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QToolBar>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>

using Label = MainWindowState::Label;
using Bar = MainWindowState::Bar;
using Control = MainWindowState::Control;

const std::array<MainWindow::FilterToggle, 5> MainWindow::kFilterToggles = { {
    { "btnsComplete", "Complete", "complete", &ViewToggles::togtsComplete },
    { "btnsText", "Text", "text", &ViewToggles::togtsText },
    { "btnsUnknown", "Unknown", "unknown", &ViewToggles::togtsUnknown },
    { "btnsIncomplete", "Incomplete", "incomplete", &ViewToggles::togtsIncomplete },
    { "btnsComplete_bp", "In Batch", "iteminbatch", &ViewToggles::togtsInBatch },
} };

MainWindow::MainWindow(AppContext& context, QWidget* parent)
    : QMainWindow(parent)
    , m_ctx(context)
{
    setObjectName(QStringLiteral("frmMain"));
    setAcceptDrops(true);
    // The program's icon when the application has one (the desktop entry's), else our drawing.
    const QIcon programIcon = QApplication::windowIcon();
    setWindowIcon(programIcon.availableSizes().isEmpty() ? builtinImage(QStringLiteral("program")) : programIcon);

    auto* central = new QWidget;
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(8, 8, 8, 4);
    layout->addWidget(buildTopBar());
    m_tabs = new QTabWidget;
    m_tabs->setObjectName(QStringLiteral("TabStrip1"));
    m_tabs->setDocumentMode(true);
    m_tabs->addTab(buildHeaderPage(), QStringLiteral("Headers"));
    m_tabs->addTab(buildBatchPage(), QStringLiteral("Batch"));
    m_tabs->addTab(buildProcessedPage(), QStringLiteral("Processed"));
    layout->addWidget(m_tabs, 1);
    layout->addWidget(buildStatsBar());
    setCentralWidget(central);

    TextLine* status = makeLine("lblStatus", Label::Status);
    status->setContentsMargins(4, 0, 0, 0);
    statusBar()->addWidget(status, 1);

    buildMenus();
    auto icon = [this](const QString& key) { return m_icons.value(key); };
    m_parts = new PartsWindow(m_ctx.headerView.itemParts(), icon, this);
    m_find = new FindDialog(m_ctx.headerSearch, this);
    m_viewer = new ViewerWindow(m_ctx.viewer, this);
    m_preview = new PreviewWindow(m_ctx.preview, this);
    connect(m_parts, &PartsWindow::partActivated, this,
        [this](int row) { m_ctx.viewer.SaveArticle(m_ctx.headerView.itemParts().item(), row); });
    m_tray = new TrayIcon(windowIcon(), this);
    connect(m_tray, &TrayIcon::restoreRequested, this, &MainWindow::restoreFromTray);
    connect(m_tray, &TrayIcon::shutdownRequested, this, &MainWindow::shutdownRequested);

    QList<SkinIcon> defaults;
    for (const char* key :
        { "incomplete", "unknown", "complete", "text", "iteminbatch", "proc_true", "proc_false", "new", "cached", "part" })
        defaults.append({ QLatin1String(key), {} });
    applySkinIcons(defaults);
    applyColumnWidths(m_ctx.columns);
    bindState();
    repaintToolbar();
    resize(1000, 700);
}

MainWindow::~MainWindow()
{
    // The lists go first: they draw their icons from m_icons, which would go before the child
    // widgets, and while they are taken down their events must not reach our filter.
    for (QTreeView*& list : m_views) {
        list->removeEventFilter(this);
        list->viewport()->removeEventFilter(this);
        list = nullptr;
    }
    delete m_parts;
    delete m_find;
    delete m_viewer;
    delete m_preview;
    delete takeCentralWidget();
}

void MainWindow::bindState()
{
    const MainWindowState& state = m_ctx.window;
    connect(&state, &MainWindowState::textChanged, this, &MainWindow::showText);
    connect(&state, &MainWindowState::progressChanged, this, &MainWindow::showProgress);
    connect(&state, &MainWindowState::enabledChanged, this, [this](Control control, bool enabled) {
        if (QWidget* widget = m_controls.value(control))
            widget->setEnabled(enabled);
    });
    connect(&state, &MainWindowState::visibleChanged, this, [this](Control control, bool visible) {
        if (QWidget* widget = m_controls.value(control))
            widget->setVisible(visible);
    });
    connect(&state, &MainWindowState::statsVisibleChanged, this, &MainWindow::showStats);
    connect(&state, &MainWindowState::titleChanged, this, &QWidget::setWindowTitle);
    connect(&state, &MainWindowState::indicatorChanged, this, [this](bool busy) {
        m_light->setIcon(builtinImage(busy ? QStringLiteral("light_busy") : QStringLiteral("light_idle")));
    });

    for (auto it = m_labels.cbegin(); it != m_labels.cend(); ++it)
        showText(it.key(), state.text(it.key()));
    for (auto it = m_lines.cbegin(); it != m_lines.cend(); ++it)
        showText(it.key(), state.text(it.key()));
    for (auto it = m_bars.cbegin(); it != m_bars.cend(); ++it)
        showProgress(it.key(), state.progress(it.key()).value, state.progress(it.key()).maximum);
    for (auto it = m_controls.cbegin(); it != m_controls.cend(); ++it) {
        it.value()->setEnabled(state.isEnabled(it.key()));
        if (!state.isVisible(it.key()))
            it.value()->setVisible(false);
    }
    showStats(state.statsVisible());
    setWindowTitle(state.title());
}

void MainWindow::showText(Label label, const QString& text)
{
    if (TextLine* line = m_lines.value(label)) {
        line->setText(text);
        return;
    }
    QLabel* widget = m_labels.value(label);
    if (!widget)
        return;
    if (label == Label::ViewCount && text.isEmpty())
        widget->setText(QStringLiteral("View Filter:"));
    else
        widget->setText(text);
}

void MainWindow::showProgress(Bar bar, int value, int maximum)
{
    QProgressBar* widget = m_bars.value(bar);
    if (!widget)
        return;
    // A zero range would turn the bar into a busy animation.
    const int top = std::max(maximum, 1);
    widget->setRange(0, top);
    widget->setValue(std::clamp(value, 0, top));
    // The loader moves the bar from 0 to its maximum; the strip shows only in between.
    if (bar == Bar::LoadGroup) {
        const bool loading = value > 0 && value < maximum;
        m_scanInfo->setCurrentWidget(loading ? m_loadStrip : m_labels.value(Label::LastScan));
    }
}

void MainWindow::showStats(bool visible)
{
    for (QLabel* label : m_stats)
        label->setVisible(visible);
    if (QWidget* bar = m_stats.front()->parentWidget())
        bar->setVisible(visible);
}

void MainWindow::applySkinIcons(const QList<SkinIcon>& icons)
{
    for (const SkinIcon& skin : icons) {
        QIcon icon;
        if (!skin.file.isEmpty())
            icon = QIcon(skin.file);
        // An unreadable skin file counts as a missing one.
        if (icon.pixmap(16, 16).isNull())
            icon = builtinImage(skin.key);
        m_icons.insert(skin.key, icon);
    }
    for (const FilterToggle& toggle : kFilterToggles)
        m_filterActions.value(QLatin1String(toggle.key))->setIcon(m_icons.value(QLatin1String(toggle.icon)));
    m_filterActions.value(QStringLiteral("btnsNew"))->setIcon(m_icons.value(QStringLiteral("new")));
}

void MainWindow::repaintToolbar()
{
    for (const FilterToggle& toggle : kFilterToggles)
        m_filterActions.value(QLatin1String(toggle.key))->setChecked(m_ctx.settings.toggles.*toggle.field);
    m_filterActions.value(QStringLiteral("btnsNew"))->setChecked(m_ctx.headerView.toggle("btnsNew"));
    m_filterBar->update();
}

bool MainWindow::newOnly() const
{
    return m_ctx.headerView.toggle("btnsNew");
}

QTreeView* MainWindow::view(ColumnLayouts::View which) const
{
    return m_views.at(which);
}

void MainWindow::showPage(ColumnLayouts::View page)
{
    m_tabs->setCurrentIndex(page);
}

void MainWindow::applyPlacement(const WindowPlacement& placement)
{
    if (!placement.top) {
        const QScreen* screen = QGuiApplication::primaryScreen();
        if (screen)
            setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(), screen->availableGeometry()));
    } else {
        QRect area = geometry();
        area.moveTop(*placement.top);
        if (placement.left)
            area.moveLeft(*placement.left);
        if (placement.width && *placement.width > 0)
            area.setWidth(*placement.width);
        if (placement.height && *placement.height > 0)
            area.setHeight(*placement.height);
        setGeometry(area);
    }
    // A window left minimised opens normally: starting hidden away would only confuse.
    if (placement.windowState == WindowPlacement::Maximized)
        setWindowState(windowState() | Qt::WindowMaximized);
}

WindowPlacement MainWindow::currentPlacement() const
{
    WindowPlacement placement;
    if (isMinimized())
        placement.windowState = WindowPlacement::Minimized;
    else if (isMaximized())
        placement.windowState = WindowPlacement::Maximized;
    // A maximised or minimised window still reports where it sits when restored.
    QRect area = normalGeometry();
    if (!area.isValid())
        area = geometry();
    placement.top = area.top();
    placement.left = area.left();
    placement.width = area.width();
    placement.height = area.height();
    return placement;
}

int MainWindow::minimumColumnWidth(const char* caption) const
{
    // Fixed-format columns always show their whole text, whatever width was stored.
    static const QHash<QByteArray, QString> kSamples = {
        { "Parts", QStringLiteral("000/000") },
        { "MB", QStringLiteral("000.000") },
        { "Life", QStringLiteral("need scan") },
        { "Date", QStringLiteral("0000-00-00") },
        { "Status", QStringLiteral("Decode successful") },
    };
    const QString sample = kSamples.value(caption);
    return sample.isEmpty() ? 0 : fontMetrics().horizontalAdvance(sample) + 2 * style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 8;
}

void MainWindow::applyColumnWidths(const ColumnLayouts& layouts)
{
    for (int v = 0; v < ColumnLayouts::kViews; ++v) {
        QHeaderView* header = m_views.at(v)->header();
        const QList<ColumnSpec> specs = ColumnLayouts::columns(v);
        const QList<int>& widths = layouts.widths.at(v);
        for (int i = 0; i < specs.size(); ++i) {
            const int width = i < widths.size() && widths.at(i) >= 1 ? widths.at(i) : specs.at(i).defaultWidth;
            header->resizeSection(i, std::max(width, minimumColumnWidth(specs.at(i).caption)));
        }
    }
    // Setting the indicator sorts the header view, as a click on the column would.
    m_sortSections.at(ColumnLayouts::HeaderView) = layouts.headerSortColumn;
    m_views.at(ColumnLayouts::HeaderView)
        ->header()
        ->setSortIndicator(layouts.headerSortColumn,
                           layouts.headerSortDescending ? Qt::DescendingOrder : Qt::AscendingOrder);
}

ColumnLayouts MainWindow::currentColumnWidths() const
{
    ColumnLayouts layouts;
    for (int v = 0; v < ColumnLayouts::kViews; ++v) {
        const QHeaderView* header = m_views.at(v)->header();
        for (int i = 0; i < header->count(); ++i)
            layouts.widths.at(v).append(header->sectionSize(i));
    }
    const QHeaderView* header = m_views.at(ColumnLayouts::HeaderView)->header();
    layouts.headerSortColumn = header->sortIndicatorSection() < header->count() ? header->sortIndicatorSection() : -1;
    layouts.headerSortDescending = layouts.headerSortColumn >= 0 && header->sortIndicatorOrder() == Qt::DescendingOrder;
    return layouts;
}

void MainWindow::keepAscendingOnNewColumn(ColumnLayouts::View which, int section)
{
    if (section == m_sortSections.at(which))
        return;
    m_sortSections.at(which) = section;
    // A newly clicked column always starts ascending; clicking it again reverses.
    QHeaderView* header = m_views.at(which)->header();
    if (section >= 0 && header->sortIndicatorOrder() != Qt::AscendingOrder)
        header->setSortIndicator(section, Qt::AscendingOrder);
}

QMenu* MainWindow::popupMenuFor(ColumnLayouts::View which) const
{
    const QItemSelectionModel* selection = m_views.at(which)->selectionModel();
    if (!selection || !selection->hasSelection())
        return nullptr;
    switch (which) {
    case ColumnLayouts::HeaderView:
        return m_mnuHvm;
    case ColumnLayouts::BatchView:
        return m_mnuBV;
    case ColumnLayouts::ProcessedView:
        break;
    }
    return nullptr;
}

void MainWindow::runCommand(Command command)
{
    using V = ColumnLayouts::View;
    Batch& batch = m_ctx.batch;
    switch (command) {
    case Command::Scan:
        scan();
        break;
    case Command::ScanStop:
        m_ctx.scanConnection.AbortScan(true);
        break;
    case Command::Refresh:
        m_ctx.headerView.RefreshHeaders();
        break;
    case Command::SaveHeaders:
        m_ctx.headers.SaveViewChanges();
        break;
    case Command::Restore:
        m_ctx.headerView.RestoreHeaders();
        break;
    case Command::Find:
        m_ctx.headerSearch.OpenFind();
        break;
    case Command::DeleteHeaders: {
        QList<int> tags;
        for (int row : selectedRows(V::HeaderView))
            tags.append(m_ctx.headerView.slotAt(row));
        m_ctx.headerView.DeleteHeaders(tags);
        break;
    }
    case Command::AddToBatch:
        addToBatch();
        break;
    case Command::ViewParts:
        showParts(V::HeaderView);
        break;
    case Command::ViewPartsInBatch:
        showParts(V::BatchView);
        break;
    case Command::SelectAllHeaders:
        selectAll(V::HeaderView);
        break;
    case Command::SelectAllBatch:
        selectAll(V::BatchView);
        break;
    case Command::BatchDownload:
        batch.Download();
        break;
    case Command::Remove:
        batch.Remove(selectedRows(V::BatchView));
        break;
    case Command::MoveUp:
        selectRows(V::BatchView, batch.MoveUp(selectedRows(V::BatchView)));
        break;
    case Command::MoveDown:
        selectRows(V::BatchView, batch.MoveDown(selectedRows(V::BatchView)));
        break;
    case Command::MoveToTop:
        selectRows(V::BatchView, batch.MoveToTop(selectedRows(V::BatchView)));
        break;
    case Command::MoveToBottom:
        selectRows(V::BatchView, batch.MoveToBottom(selectedRows(V::BatchView)));
        break;
    case Command::ClearSelected:
        batch.processed().clearRows(selectedRows(V::ProcessedView));
        break;
    case Command::ClearAll:
        batch.processed().clearAll();
        break;
    case Command::BatchDownloadStop:
        m_ctx.stopDownload();
        break;
    case Command::ViewText:
    case Command::Preview:
    case Command::OpenItem:
        openSelected(command);
        break;
    case Command::KillFilterPoster:
        killFilterPoster();
        break;
    case Command::ImportNzb:
        importNzbFiles(QFileDialog::getOpenFileNames(this, QStringLiteral("Import NZB"), QString(),
            QStringLiteral("NZB files (*.nzb);;All files (*)")));
        break;
    case Command::ExportNzbHeaders:
    case Command::ExportNzbBatch: {
        const V view = command == Command::ExportNzbHeaders ? V::HeaderView : V::BatchView;
        if (selectedRows(view).isEmpty()) {
            m_ctx.prompts.message(QStringLiteral("Select the items to write to the NZB file first."));
            break;
        }
        QString path = QFileDialog::getSaveFileName(
            this, QStringLiteral("Export NZB"), QString(), QStringLiteral("NZB files (*.nzb)"));
        if (path.isEmpty())
            break;
        if (!path.endsWith(QStringLiteral(".nzb"), Qt::CaseInsensitive))
            path += QStringLiteral(".nzb");
        exportNzb(view, path);
        break;
    }
    }
}

void MainWindow::importNzbFiles(const QStringList& paths)
{
    int queued = 0;
    for (const QString& path : paths)
        queued += m_ctx.nzb.importFile(path);
    if (queued > 0)
        m_tabs->setCurrentIndex(1);
}

bool MainWindow::exportNzb(ColumnLayouts::View view, const QString& path)
{
    QList<nzbitems::Source> items;
    auto add = [this, &items](const ItemRecord& r) {
        const GroupRecord* group = m_ctx.groups.recordByKey(r.groupKey);
        items.append({ r, group ? group->name : QByteArray() });
    };
    for (int row : selectedRows(view)) {
        if (view == ColumnLayouts::HeaderView) {
            add(m_ctx.view.table.record(m_ctx.headerView.slotAt(row)));
        } else if (const auto entry = m_ctx.batch.entryRecord(m_ctx.batch.model().entryAt(row))) {
            add(*entry);
        }
    }
    return !items.isEmpty() && m_ctx.nzb.exportFile(path, items);
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event)
{
    for (const QUrl& url : event->mimeData()->urls()) {
        if (url.isLocalFile() && url.toLocalFile().endsWith(QStringLiteral(".nzb"), Qt::CaseInsensitive)) {
            event->acceptProposedAction();
            return;
        }
    }
}

void MainWindow::dropEvent(QDropEvent* event)
{
    QStringList paths;
    for (const QUrl& url : event->mimeData()->urls()) {
        if (url.isLocalFile() && url.toLocalFile().endsWith(QStringLiteral(".nzb"), Qt::CaseInsensitive))
            paths.append(url.toLocalFile());
    }
    if (paths.isEmpty())
        return;
    event->acceptProposedAction();
    importNzbFiles(paths);
}

void MainWindow::addToBatch()
{
    QList<int> viewSlots;
    for (int row : selectedRows(ColumnLayouts::HeaderView))
        viewSlots.append(m_ctx.headerView.slotAt(row));
    // The queued items' rows change in place (marked, or dropped by the filter); the rest stay.
    m_ctx.batch.AddSelectedToBatch(viewSlots, [this](const QList<int>& queued) {
        QSet<QByteArray> keys;
        for (int slot : queued)
            keys.insert(m_ctx.view.table.str(m_ctx.view.table.item(slot).key).toByteArray());
        for (const QByteArray& key : keys)
            m_ctx.headerView.RefreshItemRow(key);
    });
}

void MainWindow::showParts(ColumnLayouts::View which)
{
    const QList<int> rows = selectedRows(which);
    if (rows.isEmpty())
        return;
    if (which == ColumnLayouts::HeaderView) {
        m_ctx.headerView.ShowItemParts(m_ctx.view.table.record(m_ctx.headerView.slotAt(rows.first())));
    } else if (const auto entry = m_ctx.batch.entryRecord(m_ctx.batch.model().entryAt(rows.first()))) {
        m_ctx.headerView.ShowItemParts(*entry);
    }
}

void MainWindow::openSelected(Command command)
{
    const QList<int> rows = selectedRows(ColumnLayouts::HeaderView);
    if (rows.isEmpty())
        return;
    const int slot = m_ctx.headerView.slotAt(rows.first());
    const ItemRecord item = m_ctx.view.table.record(slot);
    if (command == Command::OpenItem) {
        switch (OpenItem(m_ctx.headerView.ItemStatus(slot), item.key)) {
        case OpenAction::ViewText:
            command = Command::ViewText;
            break;
        case OpenAction::Preview:
            command = Command::Preview;
            break;
        case OpenAction::Parts:
            showParts(ColumnLayouts::HeaderView);
            return;
        }
    }
    if (command == Command::ViewText)
        m_ctx.viewer.ViewArticle(item);
    else
        m_ctx.preview.PreviewItem(item);
}

void MainWindow::killFilterPoster()
{
    const QList<int> rows = selectedRows(ColumnLayouts::HeaderView);
    if (rows.isEmpty())
        return;
    const ItemTable& table = m_ctx.view.table;
    const QByteArray poster = table.str(table.item(m_ctx.headerView.slotAt(rows.last())).poster).toByteArray();
    auto* dialog
        = new AddWatchDialog(m_ctx.watch, m_ctx.prompts, { { poster }, WatchField::From, WatchAction::Kill }, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->open();
}

void MainWindow::scan()
{
    if (m_ctx.settings.Download_Path.isEmpty()) {
        const bool assistant
            = m_ctx.prompts.askYesNo(QStringLiteral("Base download path not set.  Do you want to run setup assistant?"),
                PromptIcon::Exclamation);
        m_ctx.prompts.openWindow(assistant ? AppWindow::SetupAssistant : AppWindow::DownloadFolderChooser, false);
        return;
    }
    m_ctx.headers.SaveViewChanges();
    emit loginRequested();
}

void MainWindow::selectAll(ColumnLayouts::View which)
{
    m_views.at(which)->selectAll();
}

QList<int> MainWindow::selectedRows(ColumnLayouts::View which) const
{
    QList<int> rows;
    if (const QItemSelectionModel* selection = m_views.at(which)->selectionModel()) {
        for (const QModelIndex& index : selection->selectedRows())
            rows.append(index.row());
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

void MainWindow::selectRows(ColumnLayouts::View which, const QList<int>& rows)
{
    QTreeView* list = m_views.at(which);
    QItemSelection selection;
    for (int row : rows)
        selection.select(list->model()->index(row, 0), list->model()->index(row, list->model()->columnCount() - 1));
    list->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    if (!rows.isEmpty())
        list->scrollTo(list->model()->index(rows.first(), 0));
}

bool MainWindow::handleViewKey(ColumnLayouts::View which, const QKeyEvent& key)
{
    if (key.key() == Qt::Key_Delete) {
        static constexpr Command kDelete[] = { Command::DeleteHeaders, Command::Remove, Command::ClearSelected };
        runCommand(kDelete[which]);
        return true;
    }
    if (which != ColumnLayouts::HeaderView)
        return false;
    if (!(key.modifiers() & Qt::ControlModifier)) {
        // Plain letters would jump to a matching row; here they do nothing.
        return !key.text().isEmpty() && key.text().at(0).isPrint() && !(key.modifiers() & Qt::AltModifier);
    }
    switch (key.key()) {
    case Qt::Key_A:
        runCommand(Command::SelectAllHeaders);
        return true;
    case Qt::Key_B:
        runCommand(Command::AddToBatch);
        return true;
    case Qt::Key_F:
        runCommand(Command::Find);
        return true;
    case Qt::Key_V:
        runCommand(Command::ViewText);
        return true;
    case Qt::Key_P:
        runCommand(Command::ViewParts);
        return true;
    case Qt::Key_R:
        runCommand(Command::Preview);
        return true;
    default:
        return false;
    }
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    for (int v = 0; v < ColumnLayouts::kViews; ++v) {
        QTreeView* list = m_views.at(v);
        if (!list)
            continue;
        const auto which = static_cast<ColumnLayouts::View>(v);
        if (watched == list && event->type() == QEvent::KeyPress)
            return handleViewKey(which, *static_cast<QKeyEvent*>(event));
        if (watched == list->viewport() && event->type() == QEvent::MouseButtonRelease) {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() == Qt::RightButton) {
                if (QMenu* menu = popupMenuFor(which))
                    menu->popup(mouse->globalPosition().toPoint());
            }
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

bool MainWindow::event(QEvent* event)
{
    if (event->type() == QEvent::WindowActivate && !m_ctx.settings.chkDisableStats)
        m_ctx.monitor.UpdateStats(false);
    return QMainWindow::event(event);
}

void MainWindow::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    if (!m_ctx.settings.chkDisableStats)
        m_ctx.window.setStatsVisible(true);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    event->ignore();
    emit shutdownRequested();
}

void MainWindow::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange)
        return;
    const bool minimized = isMinimized();
    m_ctx.window.setMinimized(minimized);
    if (!minimized) {
        m_tray->hide();
    } else if (m_ctx.settings.chkSysTray && m_tray->isAvailable()) {
        // Hiding from inside the state change confuses some window managers.
        QTimer::singleShot(0, this, &MainWindow::minimizeToTray);
    }
}

void MainWindow::minimizeToTray()
{
    if (!isMinimized())
        return;
    m_tray->show();
    hide();
}

void MainWindow::restoreFromTray()
{
    show();
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    raise();
    activateWindow();
}
