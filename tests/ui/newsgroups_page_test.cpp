#include "ui/group_properties.h"
#include "ui/newsgroups_page.h"

#include "control.h"
#include "support/test_context.h"
#include "support/test_registry.h"

#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QTreeView>

class NewsgroupsPageTest : public QObject {
    Q_OBJECT
private slots:
    void buttonsActOnTheSelectionAndKeepItOnTheMovedRow()
    {
        TestContext t;
        NewsgroupsPage page(*t.ctx);
        QTreeView* list = page.list();
        AddGroupDialog dialog(*t.ctx);
        for (const char* typed : { "   ", "g1", "g2", "g3", "g4" }) {
            control<QLineEdit>(dialog, "txtGroup")->setText(QString::fromLatin1(typed));
            control<QPushButton>(dialog, "cmdAdd")->click();
        }
        // The digit of each group, top to bottom.
        auto order = [list] {
            QString out;
            for (int r = 0; r < list->model()->rowCount(); ++r)
                out += list->model()->index(r, 0).data().toString().back();
            return out;
        };
        QCOMPARE(order(), QStringLiteral("1234"));
        list->selectionModel()->select(
            list->model()->index(2, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        const std::pair<const char*, const char*> moves[]
            = { { "cmdUp", "1324" }, { "cmdDown", "1234" }, { "cmdTop", "3124" } };
        for (const auto& [name, expected] : moves) {
            control<QPushButton>(page, name)->click();
            QVERIFY2(order() == QLatin1String(expected), name);
        }
        auto greyed = [list](int row) { return list->model()->index(row, 0).data(Qt::ForegroundRole).isValid(); };
        control<QPushButton>(page, "cmdToggle")->click();
        QVERIFY(greyed(0) && !greyed(1));
        control<QPushButton>(page, "cmdDelete")->click();
        QCOMPARE(order(), QStringLiteral("124"));

        // Properties of the selected group set its read mark.
        const quint8 g1 = t.ctx->groups.ngFindKeyByGroupName("g1");
        t.ctx->groups.ngUpdateRange(g1, 1000, 1500);
        list->selectionModel()->select(
            list->model()->index(0, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        control<QPushButton>(page, "cmdProperties")->click();
        auto* properties = control<GroupProperties>(page, "frmGroupProperties");
        control<QSlider>(*properties, "sldLastRead")->setValue(200);
        control<QPushButton>(*properties, "cmdOK")->click();
        QCOMPARE(t.ctx->groups.ngReadMarkByKey(g1), 1200);
    }
};

TW_TEST(NewsgroupsPageTest)
#include "newsgroups_page_test.moc"
