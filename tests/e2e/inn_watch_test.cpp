#include "headers/item_table.h"
#include "support/inn_server.h"
#include "support/program_run.h"
#include "support/stored_items.h"
#include "support/test_context.h"
#include "support/test_registry.h"

#include <QTest>

// The real program scans a private INN 2 with a watch list: one posted binary is queued as it
// completes, another's headers never reach the header file.
class InnWatchTest : public InnTestCase {
    Q_OBJECT
private slots:
    void watchRulesQueueAndKillDuringAScan()
    {
        const char* group = "alt.binaries.test";
        // Binary 1 is "..._001.bin" in yEnc, binary 2 "..._002.rar" uuencoded; then one text post.
        QVERIFY(m_inn->postGenerated(
            { "--group", group, "--binaries", "2", "--parts", "3", "--text", "1", "--seed", "21" }));

        TestContext t;
        AppContext& ctx = *t.ctx;
        m_inn->pointAt(ctx.settings, t);
        ctx.settings.chkLogFile = 1;
        ctx.settings.chkEnableWatch = 1;
        // The queued item stays in the batch to be looked at.
        ctx.settings.chkAutodownload = 0;
        ctx.settingsFile.SaveOptions();
        ctx.groups.ngAddGroup(group);
        QVERIFY(ctx.groups.ngSaveFavs());
        QVERIFY(ctx.watch.WatchList_Add({ "_001.BIN" }, WatchField::Subject, false, WatchAction::AddToBatch));
        QVERIFY(ctx.watch.WatchList_Add({ "_002.rar" }, WatchField::Subject, true, WatchAction::Kill));

        // The batch file is written at the next turn of the event loop after the item completes.
        const QString batchFile = t.path(QLatin1String(Batch::kFileName));
        QVERIFY(scanWithProgram(
            QStringLiteral(TW_EXECUTABLE), t.dir.path(), 70'000, [&] { return batchFileEntries(batchFile) == 1; }));
        QCOMPARE(t.readFile(QStringLiteral("OPSLOG.TXT")).count("Kill Filtered: "), 3);

        AppContext& fresh = t.reload();
        QCOMPARE(fresh.batch.model().rowCount(), 1);
        const ItemTable& batch = fresh.batch.store();
        QVERIFY(batch.str(batch.item(1).key).contains("_001.bin"));
        QCOMPARE(batch.item(1).partCount, 3u);
        const ItemTable stored = loadStoredItems(fresh.headers.headerPath(fresh.groups.ngFindKeyByGroupName(group)));
        QCOMPARE(stored.count(), 2); // binary 1 and the text post
        for (int slot = 1; slot <= stored.count(); ++slot)
            QVERIFY(!stored.str(stored.item(slot).key).contains("_002.rar"));
    }
};

TW_TEST(InnWatchTest)
#include "inn_watch_test.moc"
