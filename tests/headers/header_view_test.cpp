#include "headers/header_view.h"
#include "support/test_registry.h"
#include "view_fixture.h"

#include <QSignalSpy>
#include <QTest>

using Control = MainWindowState::Control;

class HeaderViewTest : public QObject {
    Q_OBJECT
private slots:
    void listsColumnsAndTheStatesTheTogglesLetThrough()
    {
        ViewFixture f;
        const int complete = f.add(ViewFixture::item("a.rar [xx/0000002]", 2, { 1500, 1501 }));
        const int incomplete = f.add(ViewFixture::item("b.rar [xx/0000003]", 3, { 1502 }));
        const int text = f.add(ViewFixture::item("c.txt", 0, { 1503 }, 100));
        const int unknown = f.add(ViewFixture::item("d.bin", 0, { 1504, 1505 }));
        const int queued = f.add(ViewFixture::item("e.rar [xx/0000001]", 1, { 1506 }));
        ItemRecord gone = ViewFixture::item("f.rar [xx/0000001]", 1, { 1507 });
        gone.deleted = -1;
        f.add(gone);
        f.batch.insert({ 1506, f.key });
        f.batch.insert({ 1500, f.key + 1 }); // another group's entry
        f.show();
        const QList<int> listed { complete, incomplete, text, unknown, queued };
        QCOMPARE(f.listedSlots(), listed);
        const QStringList states { "complete", "incomplete", "text", "unknown", "iteminbatch" };
        for (int i = 0; i < listed.size(); ++i)
            QCOMPARE(f.status(listed[i]), states[i]);
        QCOMPARE(f.column(HeaderView::SubjectColumn), (QStringList { "a.rar", "b.rar", "c.txt", "d.bin", "e.rar" }));
        QCOMPARE(f.column(HeaderView::PartsColumn), (QStringList { "002/002", "001/003", "", "2/???", "001/001" }));
        QCOMPARE(f.column(HeaderView::MegabytesColumn),
            (QStringList { "001.000", "000.500", "000.000", "001.000", "000.500" }));
        QCOMPARE(f.column(HeaderView::DateColumn).first(), QStringLiteral("2002-12-04"));

        f.view.setToggle("btnsComplete_bp", false);
        QCOMPARE(f.listedSlots(), (QList<int> { complete, incomplete, text, unknown }));
        f.view.setToggle("btnsText", false);
        f.view.setToggle("btnsUnknown", false);
        f.view.setToggle("btnsIncomplete", false);
        QCOMPARE(f.listedSlots(), (QList<int> { complete }));
        f.view.setToggle("btnsComplete", false);
        QCOMPARE(f.view.rowCount(), 0);
        f.view.setToggle("btnsComplete_bp", true);
        QCOMPARE(f.listedSlots(), (QList<int> { queued }));
    }

    void newOnlyAndAGroupWithoutARange()
    {
        ViewFixture f;
        const int old = f.add(ViewFixture::item("old", 0, { 1100 }, 50'000));
        const int edge = f.add(ViewFixture::item("edge", 0, { 1800 }, 50'000));
        const int fresh = f.add(ViewFixture::item("fresh", 0, { 1950 }, 50'000));
        f.show();
        f.view.setToggle("btnsNew", true);
        QCOMPARE(f.listedSlots(), (QList<int> { edge, fresh }));
        f.view.setToggle("btnsNew", false);
        QCOMPARE(f.listedSlots(), (QList<int> { old, edge, fresh }));

        // A group without a range logs once per rebuild.
        const quint8 empty = f.addGroup("alt.empty", 500, 500);
        for (int i = 0; i < 3; ++i)
            f.add(ViewFixture::item("item " + QByteArray::number(i), 0, { 500 + i }, 50'000), empty);
        auto lines
            = [&] { return f.ctx.log.entries().stringList().filter(QStringLiteral("LifeRemaining Error")).size(); };
        f.show();
        QCOMPARE(lines(), 1);
        f.view.ShowCats();
        QCOMPARE(lines(), 2);
    }

    void sortsNumbersByValueAndTextsWithoutCase()
    {
        ViewFixture f;
        ItemRecord big = ViewFixture::item("Beta [xx/0000012]", 0,
            { 1900, 1901, 1902, 1903, 1904, 1905, 1906, 1907, 1908, 1909, 1910, 1911 }, 100'000'000);
        big.date = 40000;
        ItemRecord small = ViewFixture::item("alpha", 0, { 1100, 1101, 1102 }, 1000);
        small.date = 38000;
        ItemRecord none = ViewFixture::item("gamma", 0, { 1500 }, 2'000'000);
        none.date = 0;
        const int b = f.add(big);
        const int s = f.add(small);
        const int n = f.add(none);
        f.show();
        f.view.sort(HeaderView::PartsColumn);
        QCOMPARE(f.listedSlots(), (QList<int> { n, s, b })); // "", "3/???", "12/???"
        f.view.sort(HeaderView::MegabytesColumn);
        QCOMPARE(f.listedSlots(), (QList<int> { s, n, b })); // "1200.000" sorts last
        f.view.sort(HeaderView::MegabytesColumn, Qt::DescendingOrder);
        QCOMPARE(f.listedSlots(), (QList<int> { b, n, s }));
        f.view.sort(HeaderView::LifeColumn);
        QCOMPARE(f.listedSlots(), (QList<int> { s, n, b }));
        f.view.sort(HeaderView::DateColumn);
        QCOMPARE(f.listedSlots(), (QList<int> { n, s, b }));
        f.view.sort(HeaderView::SubjectColumn);
        QCOMPARE(f.listedSlots(), (QList<int> { s, b, n }));
        // A rebuild keeps the order.
        f.view.setToggle("btnsText", true);
        QCOMPARE(f.listedSlots(), (QList<int> { s, b, n }));

        // Texts sort without letter case; equal ones keep their order, a text sorts before the longer ones it begins.
        ViewFixture t;
        const QList<QByteArray> keys { "Long.Common.Prefix.Name.B", "long.common.prefix.name.a",
            "Long.Common.Prefix.Name", "LONG.COMMON.PREFIX.NAME.A", "long.common.prefix.name.a", "Short" };
        for (const QByteArray& k : keys)
            t.add(ViewFixture::item(k, 0, { 1500 }, 50'000));
        t.show();
        t.view.sort(HeaderView::SubjectColumn);
        QCOMPARE(t.listedSlots(), (QList<int> { 3, 2, 4, 5, 1, 6 }));
        t.view.sort(HeaderView::SubjectColumn, Qt::DescendingOrder);
        QCOMPARE(t.listedSlots(), (QList<int> { 6, 1, 5, 4, 2, 3 }));
    }

    void aToggleDuringARebuildIsNotLost()
    {
        ViewFixture f;
        f.add(ViewFixture::item("a.rar [xx/0000001]", 1, { 1500 }));
        const int text = f.add(ViewFixture::item("b.txt", 0, { 1501 }, 100));
        f.ctx.view.viewedKey = f.key;
        bool clicked = false;
        // The click arrives while the rebuild lets events run, after the complete item was listed.
        f.ctx.inBatch = [&](qint64 article, quint8) {
            if (article == 1501 && !clicked) {
                clicked = true;
                f.view.setToggle("btnsComplete", false);
            }
            return false;
        };
        f.view.selectGroupEntry(QStringLiteral("alt.test"));
        QCOMPARE(f.listedSlots(), (QList<int> { text }));
        QVERIFY(f.ctx.window.isEnabled(Control::GroupSelector));
    }

    void batchChangesRewriteSingleRows()
    {
        ViewFixture f;
        const int a = f.add(ViewFixture::item("same.rar [xx/0000001]", 1, { 1500 }));
        const int other = f.add(ViewFixture::item("other.rar [xx/0000001]", 1, { 1501 }));
        f.show();
        QSignalSpy changed(&f.view, &QAbstractItemModel::dataChanged);
        f.batch.insert({ 1500, f.key });
        f.view.RefreshItemRow("same.rar [xx/0000001]");
        QCOMPARE(f.status(a), QStringLiteral("iteminbatch"));
        QCOMPARE(changed.count(), 1);

        f.ctx.settings.toggles.togtsInBatch = false;
        f.view.RefreshItemRow("same.rar [xx/0000001]");
        QCOMPARE(f.listedSlots(), (QList<int> { other }));
        f.batch.clear();
        f.view.RefreshItemRow("same.rar [xx/0000001]");
        QCOMPARE(f.listedSlots(), (QList<int> { other, a }));
        QCOMPARE(f.status(a), QStringLiteral("complete"));
        f.view.RefreshItemRow("nothing like it");
        QCOMPARE(f.view.rowCount(), 2);
    }

    void groupSelectorLoadsDeletesRestoresAndForgets()
    {
        ViewFixture f;
        f.writeGroupFile("alt.test",
            { ViewFixture::item("one", 0, { 1500 }, 50'000), ViewFixture::item("two", 0, { 1501 }, 50'000),
                ViewFixture::item("three", 0, { 1502 }, 50'000) });
        f.view.selectGroupEntry(QStringLiteral("alt.test"));
        QCOMPARE(f.column(HeaderView::SubjectColumn), (QStringList { "one", "two", "three" }));
        ScriptedPrompts& prompts = f.t.prompts;

        f.view.DeleteHeaders({});
        f.view.DeleteHeaders({ 99 });
        QCOMPARE(prompts.messages, (QStringList { "Nothing selected.", "Nothing selected." }));

        f.view.DeleteHeaders({ 3, 1, 3 });
        QCOMPARE(f.column(HeaderView::SubjectColumn), (QStringList { "two" }));
        QVERIFY(f.ctx.view.table.changed);

        // No to the save question keeps them deleted in memory.
        prompts.yesNoAnswers = { false };
        f.ctx.headers.SaveViewChanges();
        QVERIFY(f.ctx.view.table.item(1).isDeleted());
        QCOMPARE(f.view.rowCount(), 1);

        prompts.yesNoAnswers = { false };
        f.view.RestoreHeaders();
        QCOMPARE(f.view.rowCount(), 1);
        prompts.yesNoAnswers = { true };
        f.view.RestoreHeaders();
        QCOMPARE(f.view.rowCount(), 3);
        QVERIFY(!f.ctx.view.table.changed);

        prompts.messages.clear();
        f.ctx.window.setVisible(Control::Refresh, true);
        f.view.DeleteHeaders({ 1 });
        f.ctx.activity.running = true;
        f.view.DeleteHeaders({ 1 });
        QCOMPARE(prompts.messages.size(), 2);
        QCOMPARE(f.view.rowCount(), 3);
        f.ctx.activity.running = false;
        f.view.RefreshHeaders();
        QVERIFY(!f.ctx.window.isVisible(Control::Refresh));

        // Leaving the group asks about a pending deletion; declining keeps the file as it was.
        f.view.DeleteHeaders({ 1 });
        prompts.yesNoAnswers = { false };
        f.view.selectGroupEntry(QLatin1String(Newsgroups::kNoGroup));
        QCOMPARE(f.view.rowCount(), 0);
        f.view.selectGroupEntry(QStringLiteral("alt.test"));
        QCOMPARE(f.view.rowCount(), 3);
    }

    void deletesScatteredRowsAndListsParts()
    {
        ViewFixture f;
        for (int i = 0; i < 1000; ++i)
            f.add(ViewFixture::item("item " + QByteArray::number(i), 0, { 1500 + i }, 50'000));
        f.show();
        QList<int> odd;
        for (int slot = 1; slot <= 1000; slot += 2)
            odd << slot;
        f.view.DeleteHeaders(odd);
        QCOMPARE(f.view.rowOfSlot(1000), 499);
        QCOMPARE(f.view.rowOfSlot(999), -1);
        f.view.DeleteHeaders({ 2, 4, 6, 1000 });
        QCOMPARE(f.view.slotAt(0), 8);
        QCOMPARE(f.view.deletedRows(), 504);

        // The parts window lists one item.
        QAbstractItemModelTester tester(&f.view.itemParts(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        ItemRecord r = ViewFixture::item("My file.rar [xx/0000002]", 2, { 1500, 1900 }, 1550);
        r.groupKey = f.key;
        f.t.writeFile(QStringLiteral("cache/alt.test/1900.UUE"), "x");
        f.view.ShowItemParts(r);
        const ItemPartsModel& parts = f.view.itemParts();
        auto cell = [&](int row, int column) { return parts.index(row, column).data().toString(); };
        QCOMPARE(cell(0, ItemPartsModel::ArticleColumn), QStringLiteral("1500"));
        QCOMPARE(cell(1, ItemPartsModel::SubjectColumn), QStringLiteral("My file.rar (2/2)"));
        QCOMPARE(parts.index(1, 0).data(ItemPartsModel::IconRole).toString(), QStringLiteral("cached"));

        // A subject too short to be cut is stored whole as its tail.
        f.view.ShowItemParts(ViewFixture::item("hello [xx/0000000]", 0, { 1500 }, 1000, { "hello" }));
        QCOMPARE(cell(0, ItemPartsModel::SubjectColumn), QStringLiteral("hello"));
    }
};

TW_TEST(HeaderViewTest)
#include "header_view_test.moc"
