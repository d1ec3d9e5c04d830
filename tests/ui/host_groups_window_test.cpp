#include "ui/app_windows.h"
#include "ui/host_groups_window.h"
#include "ui/newsgroups_page.h"
#include "ui/options_window.h"
#include "ui/qt_prompts.h"

#include "control.h"
#include "support/test_context.h"
#include "support/test_registry.h"

#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTreeView>

class HostGroupsWindowTest : public QObject {
    Q_OBJECT
private slots:
    void opensFromTheAddDialogSearchesAndAdds()
    {
        TestContext t;
        t.writeFile(QStringLiteral("HOSTGRPS.TXT"),
            "215 list\r\n"
            "alt.binaries.test 0000000010 0000000001 y\r\n"
            "alt.test 0000000500 0000000001 y\r\n"
            "misc.binaries 0000000003 0000000001 y\r\n"
            ".\r\n");
        QtPrompts prompts;
        AppWindows windows(*t.ctx, prompts);
        windows.loadMainWindow();
        windows.loadOptionsWindow();
        windows.optionsWindow()->newsgroupsPage()->openAddDialog(false);
        control<QPushButton>(*windows.optionsWindow(), "cmdHostGroups")->click();
        HostGroupsWindow* w = windows.hostGroupsWindow();
        QVERIFY(w && w->isVisible());
        QCOMPARE(w->windowTitle(), QStringLiteral("Host Newsgroups"));
        // Opening loaded the file.
        QVERIFY(control<QLabel>(*w, "StatusBar1Panel0")->text().startsWith(QStringLiteral("HOSTGRPS.TXT ready; ")));

        auto* search = control<QPushButton>(*w, "cmdQR");
        search->click();
        QCOMPARE(t.prompts.messages.size(), 1); // an empty query lists nothing
        control<QLineEdit>(*w, "txtQR")->setText(QStringLiteral("binaries"));
        control<QRadioButton>(*w, "optSearchType1")->setChecked(true);
        search->click();
        QTreeView* list = w->list();
        QCOMPARE(list->model()->rowCount(), 2);
        QCOMPARE(search->text(), QStringLiteral("Search"));

        list->header()->sectionClicked(1); // "Total (est.)", smallest first
        QCOMPARE(list->model()->index(0, 0).data().toString(), QStringLiteral("misc.binaries"));
        list->selectionModel()->select(
            list->model()->index(1, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        control<QPushButton>(*w, "cmdAdd")->click();
        QCOMPARE(t.ctx->groups.ngGroupNameByKey(1), QByteArray("alt.binaries.test"));
        QCOMPARE(list->model()->index(1, 0).data(HostGroupModel::IconRole).toInt(), 2);
        // Escape closes a tool window as it closes a dialog.
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w));
        QTest::keyClick(list, Qt::Key_Escape);
        QVERIFY(!w->isVisible());
    }
};

TW_TEST(HostGroupsWindowTest)
#include "host_groups_window_test.moc"
