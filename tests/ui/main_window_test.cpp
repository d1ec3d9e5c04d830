#include "ui/main_window.h"

#include "support/test_context.h"
#include "support/test_registry.h"
#include "ui/tray_icon.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>

using Label = MainWindowState::Label;
using Bar = MainWindowState::Bar;
using Control = MainWindowState::Control;

namespace {

template <class T> T* widget(const QObject& parent, const char* name)
{
    T* child = parent.findChild<T*>(QString::fromLatin1(name));
    if (!child)
        qFatal("main window has no control named %s", name);
    return child;
}

QLabel* label(const MainWindow& w, const char* name)
{
    return widget<QLabel>(w, name);
}

// Fills a list through the core: view-table items listed as group alt.test, batch entries
// queued from them, processed rows. Subjects read "row 0", "row 1", ...
void addRows(AppContext& ctx, ColumnLayouts::View which, int count)
{
    if (which == ColumnLayouts::ProcessedView) {
        for (int i = 0; i < count; ++i)
            ctx.batch.processed().append({ QStringLiteral("row %1").arg(i), QStringLiteral("ok"), {}, true });
        return;
    }
    ctx.groups.ngAddGroup("alt.test");
    const quint8 key = ctx.groups.ngFindKeyByGroupName("alt.test");
    for (int i = 0; i < count; ++i) {
        ItemRecord r;
        r.key = "row " + QByteArray::number(i) + ".nfo";
        r.totalParts = 1;
        r.poster = "Poster";
        r.groupKey = key;
        r.parts.append({ " (1/1)", 100 + i, "id" + QByteArray::number(i) + "@x", 20'000 });
        const int slot = ctx.view.table.appendRecord(r);
        if (which == ColumnLayouts::BatchView)
            ctx.batch.AddToBatch(slot, true);
    }
    if (which == ColumnLayouts::HeaderView) {
        ctx.view.viewedKey = key;
        ctx.groups.ngRebuildGroupCombo();
        ctx.headerView.selectGroupEntry(QStringLiteral("alt.test"));
    }
}

void selectRowsOf(QTreeView* view, const QList<int>& rows)
{
    view->clearSelection();
    for (int row : rows)
        view->selectionModel()->select(view->model()->index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

QStringList subjects(QTreeView* view)
{
    QStringList out;
    for (int row = 0; row < view->model()->rowCount(); ++row)
        out << view->model()->index(row, 0).data().toString();
    return out;
}

bool statsShown(const MainWindow& w)
{
    for (const char* name : { "lblStats0", "lblStats1", "lblStats2", "lblStats3", "lblStats4" }) {
        if (label(w, name)->isHidden())
            return false;
    }
    return true;
}

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT
private slots:
    void stateReachesTheWidgets()
    {
        TestContext t;
        MainWindowState& state = t.ctx->window;
        state.setText(Label::Status, QStringLiteral("Connecting..."));
        MainWindow w(*t.ctx);
        QCOMPARE(label(w, "lblStatus")->text(), QStringLiteral("Connecting..."));
        QVERIFY(!widget<QPushButton>(w, "cmdScanStop")->isEnabled());

        state.setText(Label::LastScan, QStringLiteral("Last scan: today"));
        state.setText(Label::ViewCount, QStringLiteral("Viewing:120 of450 items"));
        QCOMPARE(label(w, "lblLastScan")->text(), QStringLiteral("Last scan: today"));
        QCOMPARE(label(w, "lblViewFilter")->text(), QStringLiteral("Viewing:120 of450 items"));

        state.setProgressMaximum(Bar::EntireScan, 12);
        state.setProgress(Bar::EntireScan, 5);
        state.setProgress(Bar::ThisPart, 250); // beyond the maximum: shown full, not dropped
        QCOMPARE(widget<QProgressBar>(w, "ProgressBar1")->maximum(), 12);
        QCOMPARE(widget<QProgressBar>(w, "ProgressBar1")->value(), 5);
        QCOMPARE(widget<QProgressBar>(w, "ProgressBar3")->value(), 100);

        state.setEnabled(Control::Scan, false);
        state.setEnabled(Control::ScanStop, true);
        QVERIFY(!widget<QPushButton>(w, "cmdScan")->isEnabled());
        QVERIFY(widget<QPushButton>(w, "cmdScanStop")->isEnabled());

        // The loading strip stands in for the last-scan label only while a group loads.
        w.show();
        auto* strip = widget<QWidget>(w, "loadStrip");
        QVERIFY(!strip->isVisible());
        state.setProgressMaximum(Bar::LoadGroup, 400);
        state.setProgress(Bar::LoadGroup, 200);
        QVERIFY(strip->isVisible());
        QVERIFY(!label(w, "lblLastScan")->isVisible());
        QCOMPARE(widget<QProgressBar>(w, "ProgressBarLOAD")->value(), 200);
        state.setProgress(Bar::LoadGroup, 400);
        QVERIFY(!strip->isVisible());
        QVERIFY(label(w, "lblLastScan")->isVisible());
    }

    void statsLabelsStayHiddenWhileDisabled()
    {
        TestContext t;
        MainWindow w(*t.ctx);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QVERIFY(statsShown(w));

        t.ctx->settings.chkDisableStats = 1;
        t.ctx->monitor.applyStatsSetting();
        QVERIFY(!statsShown(w));
        const QString before = label(w, "lblStats3")->text();
        t.probe.mem.availablePhysicalBytes = 256LL * 1048576;
        w.resize(w.width() + 40, w.height());
        QTRY_COMPARE(w.width(), 1040);
        QEvent activate(QEvent::WindowActivate);
        QCoreApplication::sendEvent(&w, &activate);
        QVERIFY(!statsShown(w));
        QCOMPARE(label(w, "lblStats3")->text(), before);

        // Clearing the option alone changes nothing until the next resize lays the window out.
        t.ctx->settings.chkDisableStats = 0;
        QVERIFY(!statsShown(w));
        w.resize(w.width() - 40, w.height());
        QTRY_VERIFY(statsShown(w));
        QCoreApplication::sendEvent(&w, &activate);
        QCOMPARE(label(w, "lblStats3")->text(), QStringLiteral("256.0MB free physical RAM"));
    }

    void placementRoundTrips()
    {
        TestContext t;
        MainWindow w(*t.ctx);
        auto rect = [](const WindowPlacement& p) { return QRect(*p.left, *p.top, *p.width, *p.height); };
        WindowPlacement placement { WindowPlacement::Normal, 80, 60, 900, 640 };
        w.applyPlacement(placement);
        WindowPlacement now = w.currentPlacement();
        QCOMPARE(now.windowState, int(WindowPlacement::Normal));
        QCOMPARE(rect(now), QRect(60, 80, 900, 640));

        // Maximised, it keeps reporting the placement it returns to.
        w.showMaximized();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QTRY_VERIFY(w.isMaximized());
        now = w.currentPlacement();
        QCOMPARE(now.windowState, int(WindowPlacement::Maximized));
        QCOMPARE(rect(now), QRect(60, 80, 900, 640));

        MainWindow centred(*t.ctx);
        const QSize size = centred.size();
        centred.applyPlacement(WindowPlacement {});
        QCOMPARE(centred.size(), size);
        QCOMPARE(centred.geometry().center(), QGuiApplication::primaryScreen()->availableGeometry().center());

        MainWindow maximised(*t.ctx);
        placement.windowState = WindowPlacement::Maximized;
        maximised.applyPlacement(placement);
        maximised.show();
        QTRY_VERIFY(maximised.isMaximized());
        now = maximised.currentPlacement();
        QCOMPARE(now.windowState, int(WindowPlacement::Maximized));
        QCOMPARE(rect(now), QRect(60, 80, 900, 640));
    }

    void columnWidthsRoundTrip()
    {
        TestContext t;
        MainWindow w(*t.ctx);
        // Stored widths come back as they were; fixed-format columns are never cut below their text.
        const QList<int> batchDefaults = w.currentColumnWidths().widths[ColumnLayouts::BatchView];
        QVERIFY(batchDefaults[1] > 35 && batchDefaults[6] > 20);

        ColumnLayouts layouts;
        layouts.widths[ColumnLayouts::HeaderView] = { 400, 150, 145, 120, 160, 150, 190 };
        layouts.widths[ColumnLayouts::ProcessedView] = { 300, 0, 200 }; // 0: the column's default
        w.applyColumnWidths(layouts);
        const ColumnLayouts now = w.currentColumnWidths();
        QCOMPARE(now.widths[ColumnLayouts::HeaderView], layouts.widths[ColumnLayouts::HeaderView]);
        QCOMPARE(now.widths[ColumnLayouts::BatchView], batchDefaults);
        QCOMPARE(now.widths[ColumnLayouts::ProcessedView], QList<int>({ 300, 45, 200 }));
    }

    void scanAndDownloadRefuseToStartWithoutWhatTheyNeed()
    {
        TestContext t;
        int downloads = 0;
        QObject::connect(&t.ctx->batch, &Batch::downloadRequested, [&] { ++downloads; });
        MainWindow w(*t.ctx);
        widget<QPushButton>(w, "cmdBatchDownload")->click();
        widget<QToolButton>(w, "imgTestx")->click();
        QCOMPARE(t.prompts.messages, QStringList(2, QStringLiteral("Warning, nothing in batch que!")));
        QCOMPARE(downloads, 0);

        QSignalSpy login(&w, &MainWindow::loginRequested);
        auto* scan = widget<QPushButton>(w, "cmdScan");
        t.ctx->settings.Download_Path.clear();

        t.prompts.yesNoAnswers = { true, false };
        scan->click();
        scan->click();
        QCOMPARE(t.prompts.questions,
            QStringList(2, QStringLiteral("Base download path not set.  Do you want to run setup assistant?")));
        QCOMPARE(t.prompts.opened.size(), 2);
        QCOMPARE(t.prompts.opened[0].window, AppWindow::SetupAssistant);
        QCOMPARE(t.prompts.opened[1].window, AppWindow::DownloadFolderChooser);
        QCOMPARE(login.size(), 0);

        // Unsaved deletions in the viewed group are offered for saving before the scan.
        t.ctx->groups.ngAddGroup("alt.test");
        t.ctx->view.viewedKey = t.ctx->groups.ngFindKeyByGroupName("alt.test");
        t.ctx->view.table.appendRecord({});
        t.ctx->view.table.changed = true;
        t.ctx->settings.Download_Path = t.path(QStringLiteral("download/"));
        scan->click();
        QCOMPARE(login.size(), 1);
        QCOMPARE(t.prompts.questions.size(), 3);
        QCOMPARE(t.prompts.questions.last(), QStringLiteral("Save changes to alt.test?"));
    }

    void popupMenusNeedASelectedRowAndDeleteClearsProcessedRows()
    {
        TestContext t;
        MainWindow w(*t.ctx);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QTreeView* batch = w.view(ColumnLayouts::BatchView);
        addRows(*t.ctx, ColumnLayouts::BatchView, 3);
        addRows(*t.ctx, ColumnLayouts::ProcessedView, 5);
        QCOMPARE(w.popupMenuFor(ColumnLayouts::BatchView), nullptr);
        QCOMPARE(w.popupMenuFor(ColumnLayouts::HeaderView), nullptr);
        w.showPage(ColumnLayouts::BatchView);
        QTest::mouseClick(batch->viewport(), Qt::RightButton, {}, QPoint(5, batch->viewport()->height() - 5));
        QCOMPARE(QApplication::activePopupWidget(), nullptr);
        // Pressing on a row selects it, so its release opens the menu.
        const QPoint onRow = batch->visualRect(batch->model()->index(2, 0)).center();
        QTest::mouseClick(batch->viewport(), Qt::RightButton, {}, onRow);
        QTRY_VERIFY(QApplication::activePopupWidget());
        QCOMPARE(QApplication::activePopupWidget()->objectName(), QStringLiteral("mnuBV"));
        QApplication::activePopupWidget()->close();
        selectRowsOf(batch, { 1 });
        QMenu* menu = w.popupMenuFor(ColumnLayouts::BatchView);
        QVERIFY(menu);
        // "Select All" of the menu marks every row.
        menu->actions().last()->trigger();
        QCOMPARE(batch->selectionModel()->selectedRows().size(), 3);

        QTreeView* processed = w.view(ColumnLayouts::ProcessedView);
        processed->selectAll();
        QCOMPARE(w.popupMenuFor(ColumnLayouts::ProcessedView), nullptr);
        selectRowsOf(processed, { 1, 3 });
        QTest::keyClick(processed, Qt::Key_Delete);
        QCOMPARE(subjects(processed), (QStringList { "row 0", "row 2", "row 4" }));
        widget<QPushButton>(w, "cmdProcClearAll")->click();
        QCOMPARE(processed->model()->rowCount(), 0);
    }

    void keysQueueMoveRemoveAndSearchByClicking()
    {
        TestContext t;
        t.ctx->settings.Cache_Path = t.path(QStringLiteral("cache/"));
        MainWindow w(*t.ctx);
        w.show();
        addRows(*t.ctx, ColumnLayouts::HeaderView, 4);
        QTreeView* headers = w.view(ColumnLayouts::HeaderView);
        QCOMPARE(subjects(headers), (QStringList{ "row 0.nfo", "row 1.nfo", "row 2.nfo", "row 3.nfo" }));
        headers->setCurrentIndex({});
        headers->setFocus();
        // "r" would otherwise jump to the first row starting with it.
        QTest::keyClick(headers, Qt::Key_R);
        QTest::keyClick(headers, Qt::Key_A);
        QVERIFY(!headers->selectionModel()->hasSelection());
        QVERIFY(!headers->currentIndex().isValid());
        QTest::keyClick(headers, Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(headers->selectionModel()->selectedRows().size(), 4);

        // Queued rows leave the list while the in-batch toggle is off, and land in the batch in list order.
        widget<QAction>(w, "btnsComplete_bp")->trigger();
        selectRowsOf(headers, { 3, 1 });
        widget<QPushButton>(w, "cmdAddtoQue")->click();
        QCOMPARE(subjects(headers), (QStringList{ "row 0.nfo", "row 2.nfo" }));
        QTreeView* batch = w.view(ColumnLayouts::BatchView);
        QCOMPARE(subjects(batch), (QStringList{ "row 1.nfo", "row 3.nfo" }));
        QCOMPARE(t.ctx->window.text(Label::BatchTotal), QStringLiteral("Total batch size: (2 items) 40.0KB"));

        // Moving keeps the moved row selected; Remove takes it out and the item is listed again.
        selectRowsOf(batch, { 1 });
        widget<QPushButton>(w, "cmdMoveToTop")->click();
        QCOMPARE(subjects(batch), (QStringList{ "row 3.nfo", "row 1.nfo" }));
        QCOMPARE(batch->selectionModel()->selectedRows().first().row(), 0);
        widget<QPushButton>(w, "cmdDelete")->click();
        QCOMPARE(subjects(batch), QStringList{ "row 1.nfo" });
        QVERIFY(QFileInfo::exists(t.path(QStringLiteral("batch.twb"))));
        QTRY_VERIFY(subjects(headers).contains(QStringLiteral("row 3.nfo")));

        // Find over the saved group's file lists the matches as search results.
        QVERIFY(t.ctx->headers.GTsave());
        widget<QPushButton>(w, "cmdSearchSelect")->click();
        auto* find = widget<QWidget>(w, "frmSearch");
        QTRY_VERIFY(find->isVisible());
        widget<QLineEdit>(*find, "txtSearch")->setText(QStringLiteral("ROW 2"));
        widget<QPushButton>(*find, "cmdSearch")->click();
        QTRY_VERIFY(!find->isVisible());
        QCOMPARE(subjects(headers), QStringList{ "row 2.nfo" });
        QCOMPARE(widget<QComboBox>(w, "cboVG")->currentText(), QString::fromLatin1(Newsgroups::kNoGroup));
    }

    void filterTogglesFollowTheSettings()
    {
        TestContext t;
        t.ctx->settings.toggles.togtsUnknown = false;
        MainWindow w(*t.ctx);
        QSignalSpy changed(&w, &MainWindow::viewFilterChanged);
        auto* bar = widget<QToolBar>(w, "Toolbar1");
        auto button = [&](const char* key) {
            return qobject_cast<QToolButton*>(bar->widgetForAction(widget<QAction>(w, key)));
        };
        QVERIFY(button("btnsComplete")->isChecked());
        QVERIFY(!button("btnsUnknown")->isChecked());

        button("btnsText")->click();
        QCOMPARE(t.ctx->settings.toggles.togtsText, false);
        button("btnsComplete_bp")->click();
        button("btnsComplete_bp")->click();
        QCOMPARE(t.ctx->settings.toggles.togtsInBatch, true);
        button("btnsNew")->click();
        QVERIFY(w.newOnly());
        QCOMPARE(changed.size(), 4);

        // The settings load after the window is built; the toolbar is repainted from them.
        t.ctx->settings.toggles.togtsIncomplete = false;
        w.repaintToolbar();
        QVERIFY(!button("btnsIncomplete")->isChecked());
    }

    void skinFilesReplaceBuiltinImages()
    {
        TestContext t;
        QImage red(16, 16, QImage::Format_ARGB32);
        red.fill(Qt::red);
        QDir().mkpath(t.path(QStringLiteral("whelkskin")));
        QVERIFY(red.save(t.path(QStringLiteral("whelkskin/complete.ico")), "PNG"));
        t.writeFile(QStringLiteral("whelkskin/text.ico"), "not an image");
        MainWindow w(*t.ctx);
        w.applySkinIcons(LoadSkinIcons(t.ctx->folder));

        const QImage button = widget<QAction>(w, "btnsComplete")->icon().pixmap(16, 16).toImage();
        QCOMPARE(button.pixelColor(8, 8), QColor(Qt::red));
        QVERIFY(!w.skinIcon(QStringLiteral("text")).pixmap(16, 16).isNull());
    }

    void closingMinimisingAndTheTray()
    {
        TestContext t;
        t.ctx->settings.News_Host = QStringLiteral("news.example.net");
        MainWindow w(*t.ctx);
        QSignalSpy shutdown(&w, &MainWindow::shutdownRequested);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        // Closing asks for a shutdown and leaves the window open.
        QVERIFY(!w.close());
        QCOMPARE(shutdown.size(), 1);
        QVERIFY(w.isVisible());

        w.setWindowState(Qt::WindowMinimized);
        QVERIFY(t.ctx->window.minimized());
        t.ctx->log.WriteLog(QStringLiteral("Scanning 40%"), false);
        QVERIFY(w.windowTitle().endsWith(QStringLiteral("[news.example.net] Scanning 40%")));
        w.setWindowState(Qt::WindowNoState);
        QVERIFY(!t.ctx->window.minimized());

        TrayIcon* tray = w.trayIcon();
        auto entry = [tray](const char* name) { return widget<QAction>(*tray->menu(), name); };
        // With the option on, minimising hides the window behind the tray icon.
        t.ctx->settings.chkSysTray = 1;
        tray->setAvailableForTests(true);
        w.setWindowState(Qt::WindowMinimized);
        // The hide happens on the next turn of the event loop.
        QTRY_VERIFY(tray->isVisible());
        QTRY_VERIFY(!w.isVisible());
        entry("mnuRestore")->trigger();
        QVERIFY(w.isVisible());
        QVERIFY(!w.isMinimized());
        QVERIFY(!tray->isVisible());
        QCOMPARE(w.windowTitle(), QStringLiteral("TideWhelk"));

        entry("mnuEnd")->trigger();
        QCOMPARE(shutdown.size(), 2);
    }
};

TW_TEST(MainWindowTest)
#include "main_window_test.moc"
