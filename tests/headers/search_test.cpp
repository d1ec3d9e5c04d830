#include "headers/search.h"
#include "support/test_registry.h"
#include "view_fixture.h"

#include <QSignalSpy>
#include <QTest>

namespace {

struct SearchFixture : ViewFixture {
    HeaderSearch& search = ctx.headerSearch;
    quint8 second = 0;

    SearchFixture()
    {
        second = addGroup("alt.second", 1000, 2000);
        writeGroupFile("alt.test",
            { item("one.RAR [xx/0000002]", 2, { 1500, 1501 }), item("two.txt", 0, { 1502 }, 100),
                item("three.rar", 0, { 1503 }) });
        writeGroupFile("alt.second", { item("four.Rar", 0, { 1600 }), item("five.zip", 0, { 1601 }) });
    }
    [[nodiscard]] QStringList found() const { return column(HeaderView::SubjectColumn); }
};

} // namespace

class SearchTest : public QObject {
    Q_OBJECT
private slots:
    void matchCaseDecidesHowKeysCompare()
    {
        SearchFixture f;
        f.search.setText(QStringLiteral("rar"));
        f.search.SearchHeaders();
        QCOMPARE(f.found(), (QStringList { "one.RAR", "three.rar", "four.Rar" }));
        QCOMPARE(f.column(HeaderView::NewsgroupColumn), (QStringList { "alt.test", "alt.test", "alt.second" }));
        // A result queued in the batch stays listed, now as in the batch.
        f.batch.insert({ 1600, f.second });
        f.view.RefreshItemRow("four.Rar");
        QCOMPARE(f.found(), (QStringList { "one.RAR", "three.rar", "four.Rar" }));
        QCOMPARE(f.status(3), QStringLiteral("iteminbatch"));

        f.search.setMatchCase(true);
        f.search.SearchHeaders();
        QCOMPARE(f.found(), (QStringList { "three.rar" }));

        // Results are not a group: they cannot be deleted.
        f.view.DeleteHeaders({ 1 });
        QCOMPARE(f.t.prompts.messages, (QStringList { "Can't delete find results." }));

        // Groups switched off are not searched.
        f.ctx.groups.ngSetOff(f.second, true);
        f.search.setMatchCase(false);
        f.search.SearchHeaders();
        QCOMPARE(f.found(), (QStringList { "one.RAR", "three.rar" }));

        // Choosing a group leaves the results.
        f.view.selectGroupEntry(QStringLiteral("alt.test"));
        QVERIFY(!f.view.searchResults());
        QCOMPARE(f.view.rowCount(), 3);
    }

    void badFilesRefusalsAndClosing()
    {
        SearchFixture f;
        const quint8 third = f.addGroup("alt.third", 1, 2);
        const QString missing = f.ctx.headers.headerPath(third);
        f.t.writeFile(QStringLiteral("cache/alt.second/headers.twb"), "NOT_A_HEADER_FILE");
        f.search.setText(QStringLiteral("o"));
        f.search.SearchHeaders();
        QVERIFY(f.t.logged(QStringLiteral("searchGroup: headers file not found: ") + missing));
        QVERIFY(f.t.logged(f.ctx.headers.headerPath(f.second) + QStringLiteral(": is unknown format.")));
        QCOMPARE(f.found(), (QStringList { "one.RAR", "two.txt" }));

        // No text, or a scan running, is refused.
        QSignalSpy requested(&f.search, &HeaderSearch::dialogRequested);
        f.t.prompts.messages.clear();
        f.search.setText(QString());
        f.search.SearchHeaders();
        f.ctx.activity.running = true;
        f.search.setText(QStringLiteral("x"));
        f.search.SearchHeaders();
        f.search.OpenFind();
        QCOMPARE(f.t.prompts.messages,
            (QStringList { "Enter text to search for.", "Can't Find while scanning.", "Can't Find while scanning." }));
        QCOMPARE(requested.count(), 0);
        f.ctx.activity.running = false;

        // Closing stops the search and keeps the results.
        f.search.setText(QStringLiteral("."));
        int searches = 0;
        connect(&f.search, &HeaderSearch::searchingChanged, [&](bool on) { searches += on ? 1 : 0; });
        connect(&f.search, &HeaderSearch::progressChanged, [&](int value, int) {
            if (value == 1) {
                // Another click on "Find" meanwhile does nothing.
                f.search.SearchHeaders();
                f.search.close();
            }
        });
        f.search.SearchHeaders();
        QCOMPARE(searches, 1);
        QCOMPARE(f.found(), (QStringList { "one.RAR", "two.txt" }));
        QVERIFY(!f.search.searching());
    }
};

TW_TEST(SearchTest)
#include "search_test.moc"
