#include "batch/nzb_items.h"
#include "served_parts.h"
#include "support/test_registry.h"

namespace {

using articles::randomBytes;
using articles::yencBodies;

} // namespace

// NZB files queue batch entries that are fetched by message-id alone and outlive a restart;
// items written out as an NZB come back as the same entries.
class NzbQueueTest : public QObject {
    Q_OBJECT
private slots:
    void importedEntriesDownloadByIdAndSurviveARestart()
    {
        DownloadParts f;
        NzbTransfer nzb { { f.t.log, f.t.prompts, f.groups, f.batch } };
        const QByteArray one = randomBytes(30000, 21);
        const QByteArray two = randomBytes(9000, 22);
        const auto a = f.post("one.bin", yencBodies(one, "one.bin", 3));
        const auto b = f.post("two.bin", yencBodies(two, "two.bin", 2), 2);
        f.server.onPrefix(QStringLiteral("ARTICLE ")).reply("430 no such article\r\n");

        // Written from the header view under a group the user does not read.
        const QString file = f.t.path(QStringLiteral("posts.nzb"));
        QVERIFY(nzb.exportFile(file,
            { { f.view.table.record(a.slot), "alt.elsewhere" }, { f.view.table.record(b.slot), "alt.elsewhere" } }));
        QCOMPARE(nzb.importFile(file), 2);
        QCOMPARE(nzb.importFile(file), 0);
        QVERIFY(f.t.logged(QStringLiteral("Queued 0 of 2 files from posts.nzb (2 already in the batch)")));
        const std::optional<ItemRecord> entry = f.batch.entryRecord(1);
        QVERIFY(entry);
        QCOMPARE(entry->groupKey, quint8(0));
        QCOMPARE(entry->parts.size(), 3);
        QCOMPARE(FullMessageId({}, entry->parts[2].messageId), a.ids[2]);
        QVERIFY(entry->parts[0].article < 0 && entry->parts[0].article != entry->parts[1].article);

        // The batch file keeps them as they are.
        QVERIFY(f.batch.SaveBatch());
        Batch reloaded { { f.t.log, f.t.window, f.t.prompts, f.groups, f.view, f.scan, f.batch.filePath() } };
        reloaded.LoadBatch();
        QCOMPARE(reloaded.entryRecord(1), entry);
        QCOMPARE(reloaded.entryRecord(2), f.batch.entryRecord(2));

        f.runToEnd();
        QVERIFY(f.server.commands().filter(QStringLiteral("GROUP")).isEmpty());
        // A missing article is not asked for by a number it never had.
        QStringList asked;
        for (const QByteArray& id : a.ids + b.ids)
            asked.append(QStringLiteral("ARTICLE ") + QString::fromLatin1(id));
        QCOMPARE(f.articleCommands(), asked);
        QCOMPARE(f.t.readFile(QStringLiteral("download/one.bin")), one);
        QCOMPARE(f.batch.processed().row(1).status, QStringLiteral("Item no longer available on server"));
        QVERIFY(!f.batch.hasWork());
    }

    void refusedFilesQueueNothing()
    {
        DownloadParts f;
        NzbTransfer nzb { { f.t.log, f.t.prompts, f.groups, f.batch } };
        f.t.writeFile(QStringLiteral("bad.nzb"), "<nzb><file><segments><segment number=\"1\">a@b</segment>");
        QCOMPARE(nzb.importFile(f.t.path(QStringLiteral("bad.nzb"))), 0);
        QCOMPARE(f.t.prompts.messages.size(), 1);
        QVERIFY(f.t.prompts.messages.first().startsWith(QStringLiteral("Could not queue bad.nzb: ")));
        QCOMPARE(f.batch.count(), 0);
    }
};

TW_TEST(NzbQueueTest)
#include "nzb_queue_test.moc"
