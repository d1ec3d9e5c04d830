#include "ui/group_properties.h"
#include "ui/newsgroups_page.h"

#include "control.h"
#include "support/test_context.h"
#include "support/test_registry.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QTreeView>

namespace {

QStringList names(const Newsgroups& groups)
{
    QStringList out;
    for (int r = 0; r < groups.rowCount(); ++r)
        out << groups.data(groups.index(r, 0), Qt::DisplayRole).toString();
    return out;
}

void selectRows(QTreeView* list, const QList<int>& rows)
{
    list->selectionModel()->clearSelection();
    for (int r : rows)
        list->selectionModel()->select(list->model()->index(r, 0),
                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

QList<int> selected(QTreeView* list)
{
    QList<int> rows;
    for (const QModelIndex& i : list->selectionModel()->selectedRows())
        rows << i.row();
    std::sort(rows.begin(), rows.end());
    return rows;
}

} // namespace

class NewsgroupsPageTest : public QObject {
    Q_OBJECT
private slots:
    void addingAndCommandsKeepTheSelectionOnTheMovedRows()
    {
        TestContext t;
        NewsgroupsPage page(*t.ctx);
        QTreeView* list = page.list();
        AddGroupDialog dialog(*t.ctx);
        auto* name = control<QLineEdit>(dialog, "txtGroup");
        for (const char* typed : {"   ", "g1", "g2", "g3", "g4"}) {
            name->setText(QString::fromLatin1(typed));
            control<QPushButton>(dialog, "cmdAdd")->click();
        }
        QCOMPARE(list->model()->rowCount(), 4);
        selectRows(list, {2, 3});
        control<QPushButton>(page, "cmdUp")->click();
        QCOMPARE(names(t.ctx->groups), (QStringList{"g1", "g3", "g4", "g2"}));
        QCOMPARE(selected(list), (QList<int>{1, 2}));

        control<QPushButton>(page, "cmdToggle")->click();
        for (int row = 0; row < 4; ++row) // the moved rows, greyed
            QCOMPARE(list->model()->index(row, 0).data(Qt::ForegroundRole).isValid(), row == 1 || row == 2);

        selectRows(list, {});
        control<QPushButton>(page, "cmdDelete")->click();
        QCOMPARE(t.prompts.messages.last(), QStringLiteral("Error, no group selected."));
    }

    void propertiesSetTheReadMark()
    {
        TestContext t;
        t.ctx->groups.ngAddGroup("g1");
        NewsgroupsPage page(*t.ctx);
        selectRows(page.list(), {0});
        control<QPushButton>(page, "cmdProperties")->click();
        QCOMPARE(t.prompts.messages, QStringList{QStringLiteral("Scan before adjusting.")});

        t.ctx->groups.ngUpdateRange(1, 1000, 1500);
        GroupProperties window(*t.ctx, 1);
        auto* slider = control<QSlider>(window, "sldLastRead");
        QCOMPARE(control<QLabel>(window, "lblMark")->text(),
                 QStringLiteral("Set Last Read Article to  1000 ( 500 unread articles)"));
        slider->setValue(200);
        QCOMPARE(control<QLabel>(window, "lblMark")->text(),
                 QStringLiteral("Set Last Read Article to  1200 ( 300 unread articles)"));
        control<QPushButton>(window, "cmdOK")->click();
        QCOMPARE(t.ctx->groups.ngReadMarkByKey(1), 1200);
        QCOMPARE(GroupProperties::markText(1600, 1500),
                 QStringLiteral("Set Last Read Article to  1600 (-100 unread articles)"));
    }
};

TW_TEST(NewsgroupsPageTest)
#include "newsgroups_page_test.moc"
