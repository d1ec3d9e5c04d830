#include "batch/batch.h"
#include "groups/newsgroups.h"
#include "headers/header_store.h"
#include "headers/scan_table.h"
#include "support/bytes.h"
#include "support/ground.h"
#include "support/test_registry.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QSignalSpy>
#include <QTest>
#include <QtEndian>

#include <csignal>
#include <memory>

#include <sys/resource.h>

namespace {

// A program folder with one scanned group, whose view table the items are added from.
struct Fixture {
    Ground t;
    ScanTable scan { t.log };
    ViewTable view;
    std::unique_ptr<Newsgroups> groupList;
    std::unique_ptr<Batch> batchPart;
    quint8 key = 0;
    std::unique_ptr<QAbstractItemModelTester> tester;

    Fixture()
    {
        t.settings.chkEnableLogging = 1;
        setUp();
    }
    Batch& batch() { return *batchPart; }
    Newsgroups& groups() { return *groupList; }
    void setUp()
    {
        groupList = std::make_unique<Newsgroups>(
            Newsgroups::Services { t.log, t.prompts, t.window, t.path(QStringLiteral("favs.txt")) });
        batchPart = std::make_unique<Batch>(Batch::Services {
            t.log, t.window, t.prompts, *groupList, view, scan, t.path(QStringLiteral("batch.twb")) });
        groups().ngAddGroup("alt.binaries.test");
        key = groups().ngFindKeyByGroupName("alt.binaries.test");
        groups().ngUpdateRange(key, 1000, 2000);
        tester = std::make_unique<QAbstractItemModelTester>(
            &batch().model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    }
    // A new batch and group list on the same folder, as the next run of the program has.
    Batch& restart()
    {
        tester.reset();
        batchPart.reset();
        setUp();
        return batch();
    }
    // A view-table item of one part per size, articles counting up from first.
    int viewItem(const QByteArray& name, qint64 first, QList<qint32> sizes, qint16 total = 0)
    {
        ItemRecord r;
        r.key = name;
        r.poster = "Poster <p@x>";
        r.date = 37594.5; // 2002-12-04 12:00
        r.totalParts = total;
        r.groupKey = key;
        for (qint32 s : sizes)
            r.parts.append({ " (1/1)", first++, "id@x", s });
        return view.table.appendRecord(r);
    }
    // Items "A", "B", ... in the batch, 1000 bytes each.
    void queue(const QByteArray& names)
    {
        for (char c : names)
            batch().AddToBatch(viewItem(QByteArray(1, c), 1000 + 10 * (c - 'A'), { 1000 }), true);
    }
    QString cell(int row, int column) { return batch().model().cellText(row, column); }
    QString rows()
    {
        QString out;
        for (int r = 0; r < batch().model().rowCount(); ++r)
            out += cell(r, BatchModel::SubjectColumn);
        return out;
    }
    QString caption() { return t.window.text(MainWindowState::Label::BatchTotal); }
    QByteArray file() const { return t.readFile(QStringLiteral("batch.twb")); }
    static qint32 fileCount(const QByteArray& f)
    {
        return f.size() < 13 ? -1 : qFromLittleEndian<qint32>(f.constData() + 9);
    }
};

} // namespace

class BatchTest : public QObject {
    Q_OBJECT
private slots:
    void addingShowsRowsAndTotals()
    {
        Fixture f;
        f.batch().AddToBatch(f.viewItem("My file.zip [xx/0000012]", 1500, { 256000, 256000 }, 12), true);
        QCOMPARE(f.caption(), QStringLiteral("Total batch size: (1 items) 512.0KB"));
        QVERIFY(f.t.logged(f.caption()) == false); // progress only, not recorded
        QCOMPARE(f.t.window.text(MainWindowState::Label::Status), f.caption());
        const QStringList expected { "My file.zip", "012", "000.512", "50%", "Poster <p@x>", "alt.binaries.test",
            "2002-12-04" };
        for (int c = 0; c < BatchModel::ColumnCount; ++c)
            QCOMPARE(f.cell(0, c), expected[c]);
        QCOMPARE(f.batch().store().str(f.batch().store().item(1).key), "My file.zip [xx/0000012]");
        const QModelIndex first = f.batch().model().index(0, 0);
        QCOMPARE(first.data(BatchModel::EntryRole).toInt(), 1);
        QCOMPARE(first.data(BatchModel::IconIndexRole).toInt(), 5);

        f.batch().AddToBatch(f.viewItem("b.txt", 1999, { 244000, 244000 }), true);
        QCOMPARE(f.caption(), QStringLiteral("Total batch size: (2 items) 1.0MB"));
        QCOMPARE(f.cell(1, BatchModel::PartsColumn), QStringLiteral("002")); // no announced count
        QCOMPARE(f.cell(1, BatchModel::LifeColumn), QStringLiteral("99%"));
        f.batch().AddToBatch(f.viewItem("c", 1000, { 11500000 }), true);
        QCOMPARE(f.caption(), QStringLiteral("Total batch size: (3 items) 12.5MB"));
        f.batch().AddToBatch(0, true); // no such slot
        f.batch().AddToBatch(99, false);
        QCOMPARE(f.batch().count(), 3);

        // Each entry's kilobytes are rounded into the total, halves to even.
        Fixture g;
        g.batch().AddToBatch(g.viewItem("x", 1000, { 2500 }), true);
        QCOMPARE(g.batch().totalKb(), 2);
        g.batch().AddToBatch(g.viewItem("y", 1000, { 1500 }), true);
        QCOMPARE(g.caption(), QStringLiteral("Total batch size: (2 items) 4.0KB"));
        ItemRecord stray = g.view.table.record(1);
        stray.groupKey = 77;
        g.batch().AddToBatch(g.view.table.appendRecord(stray), true);
        QCOMPARE(g.cell(2, BatchModel::NewsgroupColumn), QStringLiteral("error!"));
        QCOMPARE(g.cell(2, BatchModel::LifeColumn), QStringLiteral("00%"));
        g.batch().AddToBatch(g.viewItem("quoting x [xx/0000005] here", 1000, { 1 }), true);
        QCOMPARE(g.cell(3, BatchModel::SubjectColumn), QStringLiteral("quoting x [xx/0000005] here"));
    }

    void addRemoveAndFinishKeepTotalsAndIndex()
    {
        Fixture f;
        int rebuilds = 0, downloads = 0;
        QByteArrayList refreshed;
        QObject::connect(&f.batch(), &Batch::viewStale, [&] { ++rebuilds; });
        QObject::connect(&f.batch(), &Batch::itemChanged, [&](const QByteArray& k) { refreshed << k; });
        QObject::connect(&f.batch(), &Batch::downloadRequested, [&] { ++downloads; });
        f.batch().Download();
        QCOMPARE(f.t.prompts.messages, QStringList { "Warning, nothing in batch que!" });
        for (char c : QByteArray("ABC"))
            f.viewItem(QByteArray(1, c), 1000 + 10 * (c - 'A'), { 1000 });
        QList<int> marked;
        f.batch().AddSelectedToBatch({ 3, 1 }, [&](const QList<int>& s) { marked = s; });
        QCOMPARE(f.rows(), QStringLiteral("CA"));
        QCOMPARE(marked, (QList<int> { 3, 1 }));
        QCOMPARE(Fixture::fileCount(f.file()), 2);
        f.batch().AddSelectedToBatch({ 1, 2, 9 });
        QCOMPARE(f.rows(), QStringLiteral("CAB"));
        QCOMPARE(rebuilds, 1);
        f.batch().Download();
        QCOMPARE(downloads, 1);

        f.batch().Remove({});
        QCOMPARE(f.t.prompts.messages.last(), QStringLiteral("Nothing selected."));
        QCOMPARE(rebuilds, 1);
        f.batch().Remove({ 2, 0, 2 });
        QCOMPARE(f.rows(), QStringLiteral("A"));
        QCOMPARE(f.caption(), QStringLiteral("Total batch size: (1 items) 1.0KB"));
        QCOMPARE(rebuilds, 2);
        QVERIFY(f.batch().InBatch(1000, f.key) && !f.batch().InBatch(1010, f.key) && !f.batch().InBatch(1020, f.key));
        QCOMPARE(Fixture::fileCount(f.file()), 1);

        f.view.viewedKey = f.key;
        f.batch().FinishBatchEntry(2);
        QCOMPARE(f.rows(), QString());
        QCOMPARE(f.caption(), QStringLiteral("Batch empty."));
        QCOMPARE(refreshed, QByteArrayList { "A" });
        QVERIFY(!f.batch().InBatch(1000, f.key) && !f.batch().hasWork());
        // The finish is saved at the next turn of the event loop.
        QTRY_COMPARE(Fixture::fileCount(f.file()), 0);

        f.queue("DE");
        f.batch().Remove({ 0 });
        f.batch().FinishBatchEntry(4); // removed while it downloaded: not taken off twice
        QCOMPARE(f.batch().totalKb(), 1);
        f.batch().FinishBatchEntry(99);
        QVERIFY(f.t.logged(QStringLiteral("removeCatFromBatchError: Subscript out of range")));
    }

    void removingExpiredArticles()
    {
        Fixture f;
        f.queue("AB");
        f.batch().AddToBatch(1, true); // A twice
        f.batch().RemoveExpiredFromBatch(1000, f.key + 1);
        f.batch().RemoveExpiredFromBatch(1001, f.key);
        QCOMPARE(f.rows(), QStringLiteral("ABA"));
        f.batch().RemoveExpiredFromBatch(1000, f.key);
        QVERIFY(f.t.logged(QStringLiteral("(removing batch item): A")));
        QCOMPARE(f.rows(), QStringLiteral("BA"));
        QVERIFY(f.batch().InBatch(1000, f.key));
        f.batch().RemoveExpiredFromBatch(1000, f.key);
        QCOMPARE(f.rows(), QStringLiteral("B"));
        QVERIFY(!f.batch().InBatch(1000, f.key));

        // One copy of a twice-queued item removed by hand: expiry finds the other through the index.
        f.queue("C");
        f.batch().AddToBatch(f.view.table.count(), true);
        f.batch().Remove({ 2 });
        QCOMPARE(f.rows(), QStringLiteral("BC"));
        f.batch().RemoveExpiredFromBatch(1020, f.key);
        QCOMPARE(f.rows(), QStringLiteral("B"));
        QVERIFY(!f.batch().InBatch(1020, f.key));
        QCOMPARE(f.caption(), QStringLiteral("Total batch size: (1 items) 1.0KB"));
        QTRY_COMPARE(Fixture::fileCount(f.file()), 1);
    }

    void movesKeepTheirStopRules()
    {
        Fixture f;
        f.queue("ABCDE");
        QCOMPARE(f.batch().MoveToTop({ 1, 3 }), (QList<int> { 0, 1 }));
        QCOMPARE(f.rows(), QStringLiteral("BDACE"));
        QCOMPARE(f.batch().model().index(0, 0).data(BatchModel::EntryRole).toInt(), 2);
        QCOMPARE(f.batch().MoveToBottom({ 0, 1 }), (QList<int> { 3, 4 }));
        QCOMPARE(f.rows(), QStringLiteral("ACEBD"));
        QCOMPARE(f.batch().MoveToBottom({ 0, 2 }), (QList<int> { 3, 4 }));
        QCOMPARE(f.rows(), QStringLiteral("CBDAE"));

        // A selected row at the edge stops the whole command, without saving.
        QFile::remove(f.t.path(QStringLiteral("batch.twb")));
        QCOMPARE(f.batch().MoveDown({ 1, 4 }), (QList<int> { 1, 4 }));
        QCOMPARE(f.batch().MoveUp({ 0, 3 }), (QList<int> { 0, 3 }));
        QCOMPARE(f.rows(), QStringLiteral("CBDAE"));
        QVERIFY(f.file().isEmpty());

        QCOMPARE(f.batch().MoveUp({ 2, 3 }), (QList<int> { 1, 2 }));
        QCOMPARE(f.rows(), QStringLiteral("CDABE"));
        QCOMPARE(f.batch().MoveDown({ 0, 1 }), (QList<int> { 1, 2 }));
        QCOMPARE(f.rows(), QStringLiteral("ACDBE"));
        f.batch().FinishBatchEntry(1); // the row index follows the moves
        QCOMPARE(f.rows(), QStringLiteral("CDBE"));
        QVERIFY(!f.batch().InBatch(1000, f.key) && f.batch().InBatch(1020, f.key));
        QVERIFY(f.batch().SaveBatch());
        f.restart().LoadBatch();
        QCOMPARE(f.rows(), QStringLiteral("CDBE"));

        // Sorting asks first; the next run finds the sorted order.
        QVERIFY(!f.batch().SortByColumn(BatchModel::SubjectColumn));
        QCOMPARE(f.t.prompts.questions, QStringList { "Are you sure you want to sort the batch?" });
        QCOMPARE(f.rows(), QStringLiteral("CDBE"));
        f.t.prompts.yesNoAnswers = { true, true, true };
        QVERIFY(f.batch().SortByColumn(BatchModel::SubjectColumn));
        QCOMPARE(f.rows(), QStringLiteral("BCDE"));
        QVERIFY(f.batch().SortByColumn(BatchModel::SubjectColumn));
        QCOMPARE(f.rows(), QStringLiteral("EDCB"));
        QVERIFY(f.batch().SortByColumn(BatchModel::LifeColumn)); // another column starts ascending
        QCOMPARE(f.rows(), QStringLiteral("BCDE"));
        f.restart().LoadBatch();
        QCOMPARE(f.rows(), QStringLiteral("BCDE"));
    }

    void savesAndLoadsTheFile()
    {
        Fixture f;
        QVERIFY(f.batch().SaveBatch()); // nothing in the store: no file
        QVERIFY(!QFile::exists(f.t.path(QStringLiteral("batch.twb"))));
        f.queue("ABC");
        f.batch().AddToBatch(f.viewItem("big [xx/0000002]", 5000, { 700000, 800000 }, 2), true);
        f.batch().Remove({ 1 });
        QVERIFY(f.batch().SaveBatch());
        const QByteArray saved = f.file();
        // Magic, row count, then each record as in a header file: key, total, poster, date, the parts
        // with their empty entry 0, deleted 0 and the group key.
        QVERIFY(saved.startsWith("TWB_01.00"));
        QCOMPARE(Fixture::fileCount(saved), 3);
        Bytes a;
        a.str("A").i16(0).str("Poster <p@x>").f64(37594.5).i16(1).i32(2).i32(0);
        a.str("").i32(0).str("").i32(0).str(" (1/1)").i32(1000).str("id@x").i32(1000).i16(0).u8(f.key);
        QCOMPARE(saved.mid(13, a.b.size()).toHex(), a.b.toHex());

        Batch& batch = f.restart();
        batch.LoadBatch();
        QCOMPARE(f.rows(), QStringLiteral("ACbig"));
        QCOMPARE(f.caption(), QStringLiteral("Total batch size: (3 items) 1.5MB"));
        for (int e = 1; e <= 3; ++e)
            QVERIFY(batch.isQueued(e));
        QVERIFY(batch.InBatch(5000, f.key) && !batch.InBatch(1010, f.key));
        QVERIFY(batch.SaveBatch());
        QCOMPARE(f.file(), saved);

        // Emptied, the file says so; loaded, it leaves a batch whose saves change nothing.
        batch.Remove({ 0, 1, 2 });
        QCOMPARE(f.file(), QByteArray("TWB_01.00\0\0\0\0", 13));
        f.restart().LoadBatch();
        QCOMPARE(f.batch().count(), 0);
        QFile::remove(f.t.path(QStringLiteral("batch.twb")));
        QVERIFY(f.batch().SaveBatch());
        QVERIFY(!QFile::exists(f.t.path(QStringLiteral("batch.twb"))));
    }

    void loadingNeverTrustsTheFile()
    {
        Fixture f;
        f.queue("ABC");
        QVERIFY(f.batch().SaveBatch());
        const QByteArray good = f.file();
        const QString path = f.t.path(QStringLiteral("batch.twb"));

        f.t.writeFile(QStringLiteral("batch.twb"), "TWB_00.99" + good.mid(9));
        f.batch().LoadBatch();
        QVERIFY(f.t.logged(path + QStringLiteral(": is unknown format.")));
        QCOMPARE(f.batch().count(), 0);
        QVERIFY(!f.batch().InBatch(1000, f.key));
        QCOMPARE(f.t.readFile(QStringLiteral("batch.twb")).left(9), QByteArray("TWB_00.99"));

        // Cut inside the third record: the first two stay.
        f.t.writeFile(QStringLiteral("batch.twb"), good.left(good.size() - 5));
        f.batch().LoadBatch();
        QCOMPARE(f.rows(), QStringLiteral("AB"));
        QVERIFY(f.t.logged(
            QStringLiteral("LoadBatch Error:") + path + QStringLiteral(" is damaged; kept the first 2 entries")));

        // A count far beyond the records, or below zero, sizes nothing.
        QByteArray hostile = good;
        qToLittleEndian<qint32>(0x7fffffff, hostile.data() + 9);
        f.t.writeFile(QStringLiteral("batch.twb"), hostile);
        f.batch().LoadBatch();
        QCOMPARE(f.rows(), QStringLiteral("ABC"));
        qToLittleEndian<qint32>(-5, hostile.data() + 9);
        f.t.writeFile(QStringLiteral("batch.twb"), hostile);
        f.batch().LoadBatch();
        QCOMPARE(f.batch().count(), 0);
        QCOMPARE(f.caption(), QStringLiteral("Batch empty."));

        // A record stored as deleted is queued all the same, since the file lists the queue.
        QByteArray flagged = good;
        flagged[good.size() - 3] = '\x07';
        f.t.writeFile(QStringLiteral("batch.twb"), flagged);
        f.batch().LoadBatch();
        QCOMPARE(f.rows(), QStringLiteral("ABC"));
        QVERIFY(f.batch().isQueued(3) && f.batch().InBatch(1020, f.key));
    }

    void aFailedSaveKeepsTheOldFile()
    {
        Fixture f;
        f.queue("A");
        QVERIFY(f.batch().SaveBatch());
        const QByteArray old = f.file();
        // A file-size limit makes the write fail part way, as a full disk would.
        rlimit saved {};
        getrlimit(RLIMIT_FSIZE, &saved);
        const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = saved;
        small.rlim_cur = 4096;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
        f.batch().AddToBatch(f.viewItem(QByteArray(20000, 'x'), 2000, { 1 }), true);
        QVERIFY(!f.batch().SaveBatch());
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previousHandler);
        QCOMPARE(f.file(), old);
        QVERIFY(f.t.log.entries().stringList().value(0).contains(QStringLiteral("BatchSave Error:")));
        QCOMPARE(QDir(f.t.dir.path()).entryList({ "batch*" }, QDir::Files), QStringList { "batch.twb" });
        QCOMPARE(f.rows(), QStringLiteral("A") + QString(20000, u'x'));
        // The disk has room again: the end of the run writes what the failed save could not.
        f.restart();
        QCOMPARE(Fixture::fileCount(f.file()), 2);

        // A change made just before the end of the run, its save still pending, reaches the file.
        f.queue("B");
        f.restart();
        QCOMPARE(Fixture::fileCount(f.file()), 1);
    }

    void lifeIsRefreshedOnRequestAndProcessedRowsListed()
    {
        Fixture f;
        f.queue("AB");
        QCOMPARE(f.cell(1, BatchModel::LifeColumn), QStringLiteral("01%"));
        f.groups().ngUpdateRange(f.key, 1005, 1005);
        QCOMPARE(f.cell(1, BatchModel::LifeColumn), QStringLiteral("01%")); // until refreshed
        QSignalSpy changed(&f.batch().model(), &QAbstractItemModel::dataChanged);
        f.batch().RefreshBatchLife();
        QCOMPARE(changed.size(), 1);
        QCOMPARE(f.cell(1, BatchModel::LifeColumn), QStringLiteral("00%"));
        QCOMPARE(f.t.logCount(QStringLiteral("LifeRemaining Error: Division by zero")), 1);

        ProcessedModel& p = f.batch().processed();
        QAbstractItemModelTester tester(&p, QAbstractItemModelTester::FailureReportingMode::QtTest);
        f.batch().AddToBatch(f.viewItem("movie.avi [xx/0000003]", 1000, { 1 }, 3), true);
        f.batch().AddProcessedRow(3, QStringLiteral("Decode successful"), QStringLiteral("/dl/movie.avi"), true);
        f.batch().AddProcessedRow(3, QStringLiteral("Item no longer available on server"), QString(), false);
        f.batch().AddProcessedRow(3, QStringLiteral("third"), QString(), false);
        QCOMPARE(p.index(0, 0).data().toString(), QStringLiteral("movie.avi"));
        QCOMPARE(p.index(0, 2).data().toString(), QStringLiteral("/dl/movie.avi"));
        QCOMPARE(p.index(1, 0).data(ProcessedModel::IconKeyRole).toString(), QStringLiteral("proc_false"));
        p.clearRows({ 2, 0, 7 });
        QCOMPARE(p.rowCount(), 1);
        QCOMPARE(p.index(0, 1).data().toString(), QStringLiteral("Item no longer available on server"));
        p.clearAll();
        QCOMPARE(p.rowCount(), 0);
    }
};

TW_TEST(BatchTest)
#include "batch_test.moc"
