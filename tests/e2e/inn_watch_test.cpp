#include "headers/item_table.h"
#include "support/inn_server.h"
#include "support/stored_items.h"
#include "support/test_context.h"
#include "support/test_registry.h"

#include <QProcess>
#include <QTest>

// The real program scans a private INN 2 with a watch list: one posted binary is queued as it
// completes, another's headers never reach the header file.
class InnWatchTest : public QObject {
    Q_OBJECT
private slots:
    void watchRulesQueueAndKillDuringAScan()
    {
        InnServer inn;
        if (!inn.unavailable().isEmpty())
            QSKIP(qPrintable(inn.unavailable()));
        const char* group = "alt.binaries.test";
        // Binary 1 is "..._001.bin" in yEnc, binary 2 "..._002.rar" uuencoded; then one text post.
        QVERIFY(
            inn.postGenerated({ "--group", group, "--binaries", "2", "--parts", "3", "--text", "1", "--seed", "21" }));

        TestContext t;
        AppContext& ctx = *t.ctx;
        ctx.settings.News_Host = QStringLiteral("127.0.0.1");
        ctx.settings.News_Port = QString::number(inn.port());
        ctx.settings.chkModeReader = 1;
        ctx.settings.chkEnableLogging = 1;
        ctx.settings.chkLogFile = 1;
        ctx.settings.chkEnableWatch = 1;
        // The queued item stays in the batch to be looked at.
        ctx.settings.chkAutodownload = 0;
        ctx.settings.Download_Path = t.path(QStringLiteral("download/"));
        ctx.settings.Cache_Path = t.path(QStringLiteral("cache/"));
        ctx.settingsFile.SaveOptions();
        ctx.groups.ngAddGroup(group);
        QVERIFY(ctx.groups.ngSaveFavs());
        QVERIFY(ctx.watch.WatchList_Add({ "_001.BIN" }, WatchField::Subject, false, WatchAction::AddToBatch));
        QVERIFY(ctx.watch.WatchList_Add({ "_002.rar" }, WatchField::Subject, true, WatchAction::Kill));

        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TIDEWHELK_HOME"), t.dir.path());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        program.setProcessEnvironment(env);
        program.setProcessChannelMode(QProcess::ForwardedChannels);
        program.start(QStringLiteral(TW_EXECUTABLE), { QStringLiteral("/SCAN") });
        QVERIFY(program.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(t.readFile(QStringLiteral("OPSLOG.TXT")).contains("Scan Complete."), 60000);
        QTRY_VERIFY_WITH_TIMEOUT(t.readFile(QStringLiteral("OPSLOG.TXT")).contains("Connection Closed"), 10000);
        // The batch file is written at the next turn of the event loop.
        QTest::qWait(500);
        program.terminate();
        QVERIFY(program.waitForFinished(10000) || (program.kill(), program.waitForFinished(5000)));
        const QByteArray log = t.readFile(QStringLiteral("OPSLOG.TXT"));
        QCOMPARE(log.count("Kill Filtered: "), 3);

        AppContext& fresh = t.restart();
        fresh.settingsFile.LoadOptions();
        fresh.groups.ngLoadFavs();
        fresh.batch.LoadBatch();
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
