#include "ui/watch_window.h"

#include "control.h"
#include "support/test_context.h"
#include "support/test_registry.h"
#include "ui/main_window.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTreeView>

class WatchWindowTest : public QObject {
    Q_OBJECT
private slots:
    void addAndRemoveEntries()
    {
        TestContext t;
        AppContext& ctx = *t.ctx;
        WatchWindow w(ctx.watch, ctx.settings, ctx.prompts);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QCOMPARE(control<QLabel>(w, "lblStatus")->text(), QStringLiteral("Not Enabled.  (enable via options)"));

        control<QPushButton>(w, "cmdAdd")->click();
        auto* dialog = w.findChild<AddWatchDialog*>();
        QVERIFY(dialog);
        control<QPushButton>(*dialog, "cmdAdd")->click();
        QCOMPARE(t.prompts.messages.last(), QStringLiteral("no items in match list? (click above to add)"));
        control<QLineEdit>(*dialog, "txtPhrase")->setText(QStringLiteral("linux"));
        control<QPushButton>(*dialog, "cmdMust")->click();
        control<QLineEdit>(*dialog, "txtPhrase")->setText(QStringLiteral("iso"));
        control<QPushButton>(*dialog, "cmdMustNot")->click();
        control<QRadioButton>(*dialog, "optKill")->click();
        control<QCheckBox>(*dialog, "chkMatchCase")->click();
        control<QPushButton>(*dialog, "cmdAdd")->click();
        QCOMPARE(ctx.watch.entries(),
            (QList<WatchEntry> { { { "linux", "-iso" }, WatchField::Subject, true, WatchAction::Kill } }));
        QCOMPARE(w.list()->model()->index(0, 0).data().toString(), QStringLiteral(" linux -iso "));

        // Remove asks first and does nothing without a selected row.
        t.prompts.yesNoAnswers = { true };
        control<QPushButton>(w, "cmdRemove")->click();
        QVERIFY(t.prompts.questions.isEmpty());
        w.list()->setCurrentIndex(w.list()->model()->index(0, 0));
        control<QPushButton>(w, "cmdRemove")->click();
        QCOMPARE(t.prompts.questions, QStringList { QStringLiteral("Are you sure you want to remove:linux") });
        QVERIFY(ctx.watch.entries().isEmpty());
    }

    void killFilterThisPosterOffersTheLastSelectedPoster()
    {
        TestContext t;
        AppContext& ctx = *t.ctx;
        QList<ItemRecord> rows;
        for (const QByteArray poster : { "Ann", "Bob Poster", "Cid" })
            rows.append({ poster + ".nfo", 1, poster, 0, { { " (1/1)", 100, "id@x", 20'000 } } });
        t.showItems("alt.test", rows);
        MainWindow w(ctx);
        w.show();
        QTreeView* view = w.view(ColumnLayouts::HeaderView);
        QCOMPARE(view->model()->rowCount(), 3);
        for (int row : { 0, 1 })
            view->selectionModel()->select(
                view->model()->index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        control<QAction>(w, "mnuHvmKillFilter")->trigger();
        auto* dialog = w.findChild<AddWatchDialog*>();
        QVERIFY(dialog);
        QCOMPARE(dialog->phrases(), QList<QByteArray> { "Bob Poster" });
        QVERIFY(control<QRadioButton>(*dialog, "optFrom")->isChecked());
        QVERIFY(control<QRadioButton>(*dialog, "optKill")->isChecked());
        control<QPushButton>(*dialog, "cmdAdd")->click();
        QCOMPARE(ctx.watch.entries().size(), 1);
        ctx.settings.chkEnableWatch = 1;
        QVERIFY(ctx.watch.WatchList_Check_KILL("any", "Bob Poster"));
    }
};

TW_TEST(WatchWindowTest)
#include "watch_window_test.moc"
