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
    void setUp()
    {
        groupList = std::make_unique<Newsgroups>(
            Newsgroups::Services { t.log, t.prompts, t.window, t.path(QStringLiteral("favs.txt")) });
        batchPart = std::make_unique<Batch>(Batch::Services {
            t.log, t.window, t.prompts, *groupList, view, scan, t.path(QStringLiteral("batch.twb")) });
        groupList->ngAddGroup("alt.binaries.test");
        key = groupList->ngFindKeyByGroupName("alt.binaries.test");
        groupList->ngUpdateRange(key, 1000, 2000);
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
        QCOMPARE(f.cell(0, BatchModel::PartsColumn), QStringLiteral("012"));

        f.batch().AddToBatch(f.viewItem("b.txt", 1999, { 244000, 244000 }), true);
        QCOMPARE(f.cell(1, BatchModel::PartsColumn), QStringLiteral("002")); // no announced count
        f.batch().AddToBatch(f.viewItem("c", 1000, { 11500000 }), true);
        QCOMPARE(f.t.window.text(MainWindowState::Label::BatchTotal),
            QStringLiteral("Total batch size: (3 items) 12.5MB"));
        f.batch().AddToBatch(0, true); // no such slot
        f.batch().AddToBatch(99, false);
        QCOMPARE(f.batch().count(), 3);

        // Processed rows name their entry; clearing takes out only the rows that exist.
        ProcessedModel& p = f.batch().processed();
        QAbstractItemModelTester tester(&p, QAbstractItemModelTester::FailureReportingMode::QtTest);
        f.batch().AddProcessedRow(1, QStringLiteral("Decode successful"), QStringLiteral("/dl/movie.avi"), true);
        f.batch().AddProcessedRow(1, QStringLiteral("Item no longer available on server"), QString(), false);
        f.batch().AddProcessedRow(1, QStringLiteral("third"), QString(), false);
        QCOMPARE(p.index(0, 0).data().toString(), QStringLiteral("My file.zip"));
        p.clearRows({ 2, 0, 7 });
        QCOMPARE(p.rowCount(), 1);
        QCOMPARE(p.index(0, 1).data().toString(), QStringLiteral("Item no longer available on server"));

        // Each entry's kilobytes are rounded into the total, halves to even.
        const int kb = f.batch().totalKb();
        f.batch().AddToBatch(f.viewItem("x", 1000, { 2500 }), true);
        QCOMPARE(f.batch().totalKb(), kb + 2);
        f.batch().AddToBatch(f.viewItem("y", 1000, { 1500 }), true);
        QCOMPARE(f.batch().totalKb(), kb + 4);
        ItemRecord stray = f.view.table.record(1);
        stray.groupKey = 77;
        f.batch().AddToBatch(f.view.table.appendRecord(stray), true);
        QCOMPARE(f.cell(5, BatchModel::NewsgroupColumn), QStringLiteral("error!"));
        f.batch().AddToBatch(f.viewItem("quoting x [xx/0000005] here", 1000, { 1 }), true);
        QCOMPARE(f.cell(6, BatchModel::SubjectColumn), QStringLiteral("quoting x [xx/0000005] here"));
    }

    void addRemoveAndFinishKeepTotalsAndIndex()
    {
        Fixture f;
        int rebuilds = 0, downloads = 0;
        QByteArrayList refreshed;
        QObject::connect(&f.batch(), &Batch::viewStale, [&] { ++rebuilds; });
        QObject::connect(&f.batch(), &Batch::itemChanged, [&](const QByteArray& k) { refreshed << k; });
        QObject::connect(&f.batch(), &Batch::downloadRequested, [&] { ++downloads; });
        f.batch().Download(); // empty: refused
        for (char c : QByteArray("ABC"))
            f.viewItem(QByteArray(1, c), 1000 + 10 * (c - 'A'), { 1000 });
        QList<int> marked; // rows marked in place, without a rebuild
        f.batch().AddSelectedToBatch({ 3, 1 }, [&](const QList<int>& s) { marked = s; });
        QCOMPARE(marked, (QList<int> { 3, 1 }));
        QCOMPARE(f.rows(), QStringLiteral("CA"));
        QCOMPARE(Fixture::fileCount(f.file()), 2);
        f.batch().AddSelectedToBatch({ 1, 2, 9 });
        QCOMPARE(f.rows(), QStringLiteral("CAB"));
        QCOMPARE(rebuilds, 1);
        f.batch().Download();
        QCOMPARE(downloads, 1);

        f.batch().Remove({});
        QCOMPARE(rebuilds, 1);
        f.batch().Remove({ 2, 0, 2 });
        QCOMPARE(f.rows(), QStringLiteral("A"));
        QCOMPARE(rebuilds, 2);
        QVERIFY(f.batch().InBatch(1000, f.key) && !f.batch().InBatch(1010, f.key) && !f.batch().InBatch(1020, f.key));
        QCOMPARE(Fixture::fileCount(f.file()), 1);

        f.view.viewedKey = f.key;
        f.batch().FinishBatchEntry(2);
        QCOMPARE(f.rows(), QString());
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
        QTRY_COMPARE(Fixture::fileCount(f.file()), 1);

        // Life is refreshed on request only.
        QCOMPARE(f.cell(0, BatchModel::LifeColumn), QStringLiteral("01%"));
        f.groupList->ngUpdateRange(f.key, 1005, 1005);
        QCOMPARE(f.cell(0, BatchModel::LifeColumn), QStringLiteral("01%"));
        QSignalSpy changed(&f.batch().model(), &QAbstractItemModel::dataChanged);
        f.batch().RefreshBatchLife();
        QCOMPARE(changed.size(), 1);
        QCOMPARE(f.cell(0, BatchModel::LifeColumn), QStringLiteral("00%"));
        QCOMPARE(f.t.logCount(QStringLiteral("LifeRemaining Error: Division by zero")), 1);
    }

    void movesKeepTheirStopRules()
    {
        Fixture f;
        f.queue("ABCDE");
        using Move = QList<int> (Batch::*)(const QList<int>&);
        // A selected row at the edge stops the whole command, without saving.
        const struct {
            Move move;
            QList<int> rows, selected;
            const char* order;
        } moves[] = { { &Batch::MoveToTop, { 1, 3 }, { 0, 1 }, "BDACE" },
            { &Batch::MoveToBottom, { 0, 1 }, { 3, 4 }, "ACEBD" },
            { &Batch::MoveToBottom, { 0, 2 }, { 3, 4 }, "CBDAE" }, { &Batch::MoveDown, { 1, 4 }, { 1, 4 }, "CBDAE" },
            { &Batch::MoveUp, { 0, 3 }, { 0, 3 }, "CBDAE" }, { &Batch::MoveUp, { 2, 3 }, { 1, 2 }, "CDABE" },
            { &Batch::MoveDown, { 0, 1 }, { 1, 2 }, "ACDBE" } };
        for (const auto& m : moves) {
            const bool stopped = m.rows == m.selected;
            if (stopped)
                QFile::remove(f.t.path(QStringLiteral("batch.twb")));
            QCOMPARE((f.batch().*m.move)(m.rows), m.selected);
            QCOMPARE(f.rows(), QLatin1String(m.order));
            QVERIFY(!stopped || f.file().isEmpty());
        }
        f.batch().FinishBatchEntry(1); // the row index follows the moves
        QCOMPARE(f.rows(), QStringLiteral("CDBE"));
        QVERIFY(!f.batch().InBatch(1000, f.key) && f.batch().InBatch(1020, f.key));
        QVERIFY(f.batch().SaveBatch());
        f.restart().LoadBatch();
        QCOMPARE(f.rows(), QStringLiteral("CDBE"));

        // Sorting asks first; the next run finds the sorted order.
        QVERIFY(!f.batch().SortByColumn(BatchModel::SubjectColumn));
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
        QVERIFY(batch.InBatch(5000, f.key) && !batch.InBatch(1010, f.key));
        QVERIFY(batch.SaveBatch());
        QCOMPARE(f.file(), saved);

        // Emptied, the file says so; loaded, it leaves a batch whose saves change nothing.
        batch.Remove({ 0, 1, 2 });
        QCOMPARE(f.file(), QByteArray("TWB_01.00\0\0\0\0", 13));
        f.restart().LoadBatch();
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
        QVERIFY(!f.batch().InBatch(1000, f.key));

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
        // The disk has room again: the end of the run writes what the failed save could not.
        f.restart();
        QCOMPARE(Fixture::fileCount(f.file()), 2);

        // A change made just before the end of the run, its save still pending, reaches the file.
        f.queue("B");
        f.restart();
        QCOMPARE(Fixture::fileCount(f.file()), 1);
    }
};

TW_TEST(BatchTest)
#include "batch_test.moc"
