#include "ui/main_window.h"

#include "app/event_yield.h"
#include "ui/app_windows.h"
#include "ui/options_window.h"
#include "ui/qt_prompts.h"

#include "control.h"
#include "support/test_context.h"
#include "support/test_registry.h"
#include "ui/text_line.h"
#include "ui/tray_icon.h"

#include "batch/nzb.h"

#include <QAction>
#include <QMimeData>
#include <QTabWidget>
#include <QUrl>
#include <QHeaderView>
#include <QHelpEvent>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QToolTip>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>

namespace {

// Lists header items "row 0.nfo", "row 1.nfo", ... of group alt.test.
void addHeaderRows(TestContext& t, int count)
{
    QList<ItemRecord> rows;
    for (int i = 0; i < count; ++i) {
        const QByteArray n = QByteArray::number(i);
        rows.append({ "row " + n + ".nfo", 1, "Poster", 0, { { " (1/1)", 100 + i, "id" + n + "@x", 20'000 } } });
    }
    t.showItems("alt.test", rows);
}

void selectRowsOf(QTreeView* view, const QList<int>& rows)
{
    view->clearSelection();
    for (int row : rows)
        view->selectionModel()->select(
            view->model()->index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

// The digit of each "row N" subject, top to bottom.
QString order(QTreeView* view)
{
    QString out;
    for (int row = 0; row < view->model()->rowCount(); ++row)
        out += view->model()->index(row, 0).data().toString().at(4);
    return out;
}

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT
private slots:
    void stateReachesTheWidgets()
    {
        TestContext t;
        MainWindowState& state = t.ctx->window;
        state.setText(MainWindowState::Label::Status, QStringLiteral("Connecting..."));
        MainWindow w(*t.ctx);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QCOMPARE(control<TextLine>(w, "lblStatus")->text(), QStringLiteral("Connecting..."));
        state.setEnabled(MainWindowState::Control::Scan, false);
        QVERIFY(!control<QPushButton>(w, "cmdScan")->isEnabled());

        // The loading strip stands in for the last-scan label only while a group loads.
        auto* strip = control<QWidget>(w, "loadStrip");
        state.setProgressMaximum(MainWindowState::Bar::LoadGroup, 400);
        state.setProgress(MainWindowState::Bar::LoadGroup, 200);
        QVERIFY(strip->isVisible() && !control<QLabel>(w, "lblLastScan")->isVisible());
        state.setProgress(MainWindowState::Bar::LoadGroup, 400);
        QVERIFY(!strip->isVisible() && control<QLabel>(w, "lblLastScan")->isVisible());

        // Texts that change with every part repaint in place: a relayout of the window per part
        // costs more CPU at line speed than the download itself.
        struct LayoutCounter : QObject {
            int count = 0;
            bool eventFilter(QObject*, QEvent* e) override
            {
                count += e->type() == QEvent::LayoutRequest;
                return false;
            }
        } layouts;
        QTest::qWait(50);
        qApp->installEventFilter(&layouts);
        for (int i = 0; i < 20; ++i) {
            state.setText(MainWindowState::Label::Status, QString(i * 7, u'x'));
            state.setText(MainWindowState::Label::FileEta, QStringLiteral("Current file ETA: %1").arg(i));
            state.setText(MainWindowState::Label::BatchEta, QString(i * 3, u'y'));
            QCoreApplication::processEvents();
        }
        qApp->removeEventFilter(&layouts);
        QCOMPARE(layouts.count, 0);
        QCOMPARE(control<TextLine>(w, "lblStatus")->toolTip(), QString(19 * 7, u'x'));

        // Activation refreshes the stats; disabled, they stay hidden through a relayout.
        t.probe.mem.availablePhysicalBytes = 256LL * 1048576;
        QEvent activate(QEvent::WindowActivate);
        QCoreApplication::sendEvent(&w, &activate);
        QCOMPARE(control<QLabel>(w, "lblStats3")->text(), QStringLiteral("256.0MB free physical RAM"));
        t.ctx->settings.chkDisableStats = 1;
        t.ctx->monitor.applyStatsSetting();
        w.resize(w.width() + 40, w.height());
        QTRY_COMPARE(w.width(), 1040);
        QVERIFY(control<QLabel>(w, "lblStats3")->isHidden());
    }

    void buttonsReachTheirCommands()
    {
        TestContext t;
        MainWindow w(*t.ctx);
        const std::pair<const char*, void (MainWindow::*)()> signalButtons[]
            = { { "cmdWatchKill", &MainWindow::watchListRequested }, { "cmdViewLog", &MainWindow::logRequested },
                  { "cmdOptions", &MainWindow::optionsRequested }, { "cmdHelp", &MainWindow::helpRequested },
                  { "cmdAbout", &MainWindow::aboutRequested } };
        for (const auto& [name, signal] : signalButtons) {
            QSignalSpy spy(&w, signal);
            control<QAbstractButton>(w, name)->click();
            QVERIFY2(spy.size() == 1, name);
        }

        // Both download controls refuse an empty batch.
        control<QPushButton>(w, "cmdBatchDownload")->click();
        control<QToolButton>(w, "imgTestx")->click();
        QCOMPARE(t.prompts.messages, QStringList(2, QStringLiteral("Warning, nothing in batch que!")));

        // Scan without a download folder offers the assistant, else the folder chooser.
        QSignalSpy login(&w, &MainWindow::loginRequested);
        auto* scan = control<QPushButton>(w, "cmdScan");
        t.ctx->settings.Download_Path.clear();
        t.prompts.yesNoAnswers = { true, false };
        scan->click();
        scan->click();
        QCOMPARE(t.prompts.opened.size(), 2);
        QVERIFY(t.prompts.opened[0].window == AppWindow::SetupAssistant
            && t.prompts.opened[1].window == AppWindow::DownloadFolderChooser);
        QCOMPARE(login.size(), 0);
        // With a folder, unsaved deletions in the viewed group are offered for saving first.
        t.ctx->groups.ngAddGroup("alt.test");
        t.ctx->view.viewedKey = t.ctx->groups.ngFindKeyByGroupName("alt.test");
        t.ctx->view.table.appendRecord({});
        t.ctx->view.table.changed = true;
        t.ctx->settings.Download_Path = t.path(QStringLiteral("download/"));
        scan->click();
        QCOMPARE(login.size(), 1);
        QCOMPARE(t.prompts.questions.last(), QStringLiteral("Save changes to alt.test?"));

        // Filter toggles flip their setting and ask for the list to be rebuilt.
        QSignalSpy changed(&w, &MainWindow::viewFilterChanged);
        auto* bar = control<QToolBar>(w, "Toolbar1");
        auto button = [&](const char* key) {
            return qobject_cast<QToolButton*>(bar->widgetForAction(control<QAction>(w, key)));
        };
        const std::pair<const char*, bool ViewToggles::*> toggles[] = { { "btnsComplete", &ViewToggles::togtsComplete },
            { "btnsIncomplete", &ViewToggles::togtsIncomplete }, { "btnsText", &ViewToggles::togtsText },
            { "btnsUnknown", &ViewToggles::togtsUnknown }, { "btnsComplete_bp", &ViewToggles::togtsInBatch } };
        for (const auto& [key, field] : toggles) {
            const bool before = t.ctx->settings.toggles.*field;
            button(key)->click();
            QVERIFY2(t.ctx->settings.toggles.*field == !before, key);
        }
        button("btnsNew")->click();
        QVERIFY(w.newOnly());
        QCOMPARE(changed.size(), 6);

        // The settings load after the window is built; the toolbar is repainted from them.
        t.ctx->settings.toggles.togtsIncomplete = true;
        w.repaintToolbar();
        QVERIFY(button("btnsIncomplete")->isChecked() && !button("btnsComplete")->isChecked());
    }

    void listKeysButtonsAndMenusActOnTheSelection()
    {
        TestContext t;
        t.ctx->settings.Cache_Path = t.path(QStringLiteral("cache/"));
        MainWindow w(*t.ctx);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        addHeaderRows(t, 4);
        QTreeView* headers = w.view(ColumnLayouts::HeaderView);
        // Pressing on a row selects it, so its release opens the menu.
        const QPoint onRow = headers->visualRect(headers->model()->index(2, 0)).center();
        QTest::mouseClick(headers->viewport(), Qt::RightButton, {}, onRow);
        QTRY_VERIFY(QApplication::activePopupWidget());
        QCOMPARE(QApplication::activePopupWidget()->objectName(), QStringLiteral("mnuHvm"));
        QApplication::activePopupWidget()->close();
        headers->setCurrentIndex({});
        // "r" would otherwise jump to the first row starting with it.
        QTest::keyClick(headers, Qt::Key_R);
        QVERIFY(!headers->currentIndex().isValid());

        // Queued rows leave the list while the in-batch toggle is off, and land in the batch in list order.
        control<QAction>(w, "btnsComplete_bp")->trigger();
        selectRowsOf(headers, { 3, 1 });
        QTest::keyClick(headers, Qt::Key_B, Qt::ControlModifier);
        QTest::keyClick(headers, Qt::Key_A, Qt::ControlModifier);
        // One range, however long the list: a range per row would crawl through a million rows.
        QCOMPARE(headers->selectionModel()->selection().size(), 1);
        control<QPushButton>(w, "cmdAddtoQue")->click();
        QCOMPARE(order(headers), QString());
        QTreeView* batch = w.view(ColumnLayouts::BatchView);
        QCOMPARE(order(batch), QStringLiteral("1302"));

        // Each move keeps the moved item selected, so the next one moves it again.
        selectRowsOf(batch, { 1 });
        const std::pair<const char*, const char*> moves[] = { { "cmdbatchMoveToBottom", "1023" }, { "cmdUP", "1032" },
            { "mnuBVMoveUp", "1302" }, { "cmdDN", "1032" }, { "cmdMoveToTop", "3102" }, { "mnuBVMoveDown", "1302" },
            { "mnuBVMoveDown", "1032" }, { "mnuBVMoveToTop", "3102" }, { "cmdDelete", "102" } };
        for (const auto& [name, expected] : moves) {
            if (auto* button = w.findChild<QPushButton*>(QString::fromLatin1(name)))
                button->click();
            else
                control<QAction>(w, name)->trigger();
            QVERIFY2(order(batch) == QLatin1String(expected), name);
        }
        QTRY_COMPARE(order(headers), QStringLiteral("3"));
        selectRowsOf(batch, { 2 });
        control<QAction>(w, "mnuBVSelectAll")->trigger();
        control<QAction>(w, "mnuBVRemove")->trigger();
        QCOMPARE(order(batch), QString());

        // Find over the saved group's file lists the matches as search results.
        QVERIFY(t.ctx->headers.GTsave());
        QTest::keyClick(headers, Qt::Key_F, Qt::ControlModifier);
        auto* find = control<QWidget>(w, "frmSearch");
        QTRY_VERIFY(find->isVisible());
        control<QLineEdit>(*find, "txtSearch")->setText(QStringLiteral("ROW 2"));
        control<QPushButton>(*find, "cmdSearch")->click();
        QTRY_VERIFY(!find->isVisible());
        QCOMPARE(order(headers), QStringLiteral("2"));
        control<QPushButton>(w, "cmdSearchSelect")->click();
        QTRY_VERIFY(find->isVisible());

        for (int i = 0; i < 4; ++i)
            t.ctx->batch.processed().append({ QStringLiteral("row %1").arg(i), QStringLiteral("ok"), {}, true });
        QTreeView* processed = w.view(ColumnLayouts::ProcessedView);
        selectRowsOf(processed, { 1, 3 });
        QTest::keyClick(processed, Qt::Key_Delete);
        selectRowsOf(processed, { 0 });
        control<QPushButton>(w, "cmdProcClearSels")->click();
        QCOMPARE(order(processed), QStringLiteral("2"));
        control<QPushButton>(w, "cmdProcClearAll")->click();
        QCOMPARE(order(processed), QString());
    }

    void listsKeepTheirSortReachTheEdgeAndTipCutTexts()
    {
        TestContext t;
        MainWindow w(*t.ctx);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        addHeaderRows(t, 4);
        QTreeView* headers = w.view(ColumnLayouts::HeaderView);
        ColumnLayouts layouts;
        layouts.widths[ColumnLayouts::HeaderView] = { 30, 60, 60, 60, 60, 60, 60 };
        layouts.headerSortColumn = 0;
        layouts.headerSortDescending = true;
        w.applyColumnWidths(layouts);
        QCOMPARE(order(headers), QStringLiteral("3210"));
        const ColumnLayouts kept = w.currentColumnWidths();
        QVERIFY(kept.headerSortColumn == 0 && kept.headerSortDescending);

        QHeaderView* header = headers->header();
        const int last = header->count() - 1;
        QTRY_COMPARE(header->sectionViewportPosition(last) + header->sectionSize(last), headers->viewport()->width());

        // A subject cut short shows whole in a tip; one that fits has none.
        auto tipOver = [headers](int row) {
            const QPoint at = headers->visualRect(headers->model()->index(row, 0)).center();
            QHelpEvent help(QEvent::ToolTip, at, headers->viewport()->mapToGlobal(at));
            QCoreApplication::sendEvent(headers->viewport(), &help);
            return QToolTip::isVisible() ? QToolTip::text() : QString();
        };
        header->resizeSection(0, 300);
        QCOMPARE(tipOver(0), QString());
        header->resizeSection(0, 30);
        QCOMPARE(tipOver(0), QStringLiteral("row 3.nfo"));
    }

    void shutdownWaitsForTheRunningLoop()
    {
        TestContext t;
        QtPrompts prompts;
        AppWindows windows(*t.ctx, prompts);
        windows.setEndProcessForTests(true);
        windows.loadMainWindow();
        windows.loadOptionsWindow();
        addHeaderRows(t, 2);
        // Closing the window while crunching lets events run must not free the table under it.
        EventYield yield(t.clock);
        t.clock.advance(100);
        QTimer::singleShot(0, windows.mainWindow(), [&] { windows.mainWindow()->close(); });
        QVERIFY(yield.yieldToEvents());
        QVERIFY(!windows.processEnded());
        QCOMPARE(t.ctx->view.table.count(), 2);
        QTRY_VERIFY(windows.processEnded());
        QCOMPARE(t.ctx->view.table.count(), 0);
    }

    void helpOpensTheUsersFileElseTheGuide()
    {
        TestContext t;
        QtPrompts prompts;
        AppWindows windows(*t.ctx, prompts);
        windows.loadMainWindow();
        windows.loadOptionsWindow();
        emit windows.mainWindow()->helpRequested();
        QVERIFY(t.desktop.openedTargets.isEmpty());
        QTRY_VERIFY(windows.mainWindow()->findChild<QWidget*>(QStringLiteral("frmHelp"))->isVisible());
        t.writeFile(QStringLiteral("TWHELK.hlp"), "help");
        emit windows.optionsWindow()->helpRequested();
        QCOMPARE(t.desktop.openedTargets, QStringList { t.ctx->folder.helpFile });
    }

    void droppedNzbFilesAreQueuedAndSelectedEntriesExported()
    {
        TestContext t;
        MainWindow w(*t.ctx);
        NzbFile file { QStringLiteral("Poster <p@x>"), 1'700'000'000, QStringLiteral("\"a.bin\" yEnc (1/2)"), {},
            { { 100, 1, "one@x" }, { 50, 2, "two@x" } } };
        QVERIFY(writeNzb(t.path(QStringLiteral("in.nzb")), NzbDocument { {}, { file } }));
        auto drop = [&w](const QString& path) {
            QMimeData data;
            data.setUrls({ QUrl::fromLocalFile(path) });
            QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(&w, &enter);
            QDropEvent dropped(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            if (enter.isAccepted())
                QApplication::sendEvent(&w, &dropped);
            return enter.isAccepted();
        };
        QVERIFY(!drop(t.path(QStringLiteral("notes.txt"))));
        QVERIFY(drop(t.path(QStringLiteral("in.nzb"))));
        QCOMPARE(t.ctx->batch.count(), 1);
        QCOMPARE(control<QTabWidget>(w, "TabStrip1")->currentIndex(), 1);

        // Written back from the batch, the same articles.
        w.view(ColumnLayouts::BatchView)->selectAll();
        QVERIFY(w.exportNzb(ColumnLayouts::BatchView, t.path(QStringLiteral("out.nzb"))));
        const NzbReadResult back = readNzb(t.path(QStringLiteral("out.nzb")));
        QVERIFY(back.document);
        QCOMPARE(back.document->files.front().segments, file.segments);
        QCOMPARE(back.document->files.front().subject, file.subject);
    }

    void placementIsKeptAndClosingAsksForShutdown()
    {
        TestContext t;
        MainWindow w(*t.ctx);
        auto rect = [](const WindowPlacement& p) { return QRect(*p.left, *p.top, *p.width, *p.height); };
        w.applyPlacement({ WindowPlacement::Normal, 80, 60, 900, 640 });
        QCOMPARE(rect(w.currentPlacement()), QRect(60, 80, 900, 640));
        // Maximised, it keeps reporting the placement it returns to.
        QSignalSpy shutdown(&w, &MainWindow::shutdownRequested);
        w.showMaximized();
        QTRY_VERIFY(w.isMaximized());
        const WindowPlacement now = w.currentPlacement();
        QCOMPARE(now.windowState, int(WindowPlacement::Maximized));
        QCOMPARE(rect(now), QRect(60, 80, 900, 640));

        ColumnLayouts layouts;
        layouts.widths[ColumnLayouts::HeaderView] = { 400, 150, 145, 120, 160, 150, 190 };
        w.applyColumnWidths(layouts);
        QCOMPARE(w.currentColumnWidths().widths[ColumnLayouts::HeaderView], layouts.widths[ColumnLayouts::HeaderView]);

        // Closing asks for a shutdown and leaves the window open.
        QVERIFY(!w.close());
        QCOMPARE(shutdown.size(), 1);
        QVERIFY(w.isVisible());

        // With the option on, minimising hides the window behind the tray icon.
        TrayIcon* tray = w.trayIcon();
        t.ctx->settings.chkSysTray = 1;
        tray->setAvailableForTests(true);
        w.setWindowState(Qt::WindowMinimized);
        // The hide happens on the next turn of the event loop.
        QTRY_VERIFY(tray->isVisible());
        QTRY_VERIFY(!w.isVisible());
        control<QAction>(*tray->menu(), "mnuRestore")->trigger();
        QVERIFY(w.isVisible() && !w.isMinimized() && !tray->isVisible());
        control<QAction>(*tray->menu(), "mnuEnd")->trigger();
        QCOMPARE(shutdown.size(), 2);
    }
};

TW_TEST(MainWindowTest)
#include "main_window_test.moc"
