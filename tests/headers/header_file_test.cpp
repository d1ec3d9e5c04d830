#include "headers/header_file.h"
#include "store_fixture.h"
#include "support/bytes.h"
#include "support/test_registry.h"

#include <QDir>
#include <QTest>

#include <tuple>

namespace {

// The one-part item with key "a", poster "b", tail "c" and message-id "d" as the file holds it.
QByteArray oneItem(quint8 group, qint32 article = 42, qint16 deleted = 0)
{
    Bytes r;
    r.str("a").i16(1).str("b").f64(37594.5).i16(1).i32(2).i32(0);
    r.str("").i32(0).str("").i32(0);         // entry 0
    r.str("c").i32(article).str("d").i32(99); // part 1
    r.i16(deleted).u8(group);
    return r.b;
}

QByteArray file(QByteArrayView magic, qint32 count, const QByteArray& records)
{
    return magic.toByteArray() + Bytes().i32(count).b + records;
}

struct Fixture : StoreFixture {
    Fixture()
        : StoreFixture("alt.test")
    {
    }
    void writeHeaders(const QByteArray& content) { writeFile(QStringLiteral("cache/alt.test/headers.twb"), content); }
    QByteArray readHeaders() const { return readFile(QStringLiteral("cache/alt.test/headers.twb")); }
    QString lastLog() { return logLines().value(0); }
};

} // namespace

class HeaderFileTest : public QObject {
    Q_OBJECT
private slots:
    void readsAndWritesTheReferenceLayout()
    {
        Fixture f;
        f.writeHeaders(file("TWB_01.00", 2, oneItem(9) + oneItem(9, 43)));
        f.store.GNload(f.key);
        const ItemRecord r = f.scan.table.record(1);
        QCOMPARE(std::tuple(r.key, r.poster, r.totalParts, r.date),
            std::tuple(QByteArray("a"), QByteArray("b"), qint16(1), 37594.5));
        QCOMPARE(r.parts, (QList<ItemRecord::Part>{{"c", 42, "d", 99}}));
        // Items copied from another group's folder belong to the group they were loaded for.
        QCOMPARE(r.groupKey, f.key);
        QCOMPARE(f.scan.FindHash("a", "b"), 1);

        f.scan.table.changed = true;
        QVERIFY(f.store.GNsave(f.key));
        QCOMPARE(f.readHeaders(), file("TWB_01.00", 2, oneItem(f.key) + oneItem(f.key, 43)));
    }

    void rejectsForeignAndDamagedFilesAndFreesDeletedSlots()
    {
        Fixture f;
        f.store.GNload(f.key);
        QCOMPARE(f.scan.table.count(), 0);
        f.writeHeaders(file("TWB_00.99", 1, oneItem(1)));
        f.store.GNload(f.key);
        QCOMPARE(f.scan.table.count(), 0);
        QVERIFY(f.lastLog().endsWith(QStringLiteral("alt.test/headers.twb: is unknown format.")));
        const QByteArray good = oneItem(1) + oneItem(1, 43);
        // Cut anywhere inside the second record: the first survives, nothing crashes.
        for (qsizetype cut = 55; cut < good.size(); ++cut) {
            f.writeHeaders(file("TWB_01.00", 2, good.left(cut)));
            f.store.GNload(f.key);
            QCOMPARE(f.scan.table.count(), 1);
            QVERIFY(f.lastLog().contains(QStringLiteral("GNload Error:")));
        }
        // Nothing is sized from a count larger than the file.
        f.writeHeaders(file("TWB_01.00", 2147483647, oneItem(1)));
        f.store.GNload(f.key);
        QVERIFY(f.scan.table.memoryBytes() < 1024 * 1024);
        QCOMPARE(f.scan.capacity(), 1 + ScanTable::kCapacityStep);
        // A negative count is damage, not a size.
        f.writeHeaders(file("TWB_01.00", -1577058304, oneItem(1)));
        f.store.GNload(f.key);
        QCOMPARE(f.scan.table.count(), 0);
        QVERIFY(f.lastLog().contains(QStringLiteral("GNload Error:")));
        f.store.GTload(f.key);
        QCOMPARE(f.view.table.count(), 0);
        QVERIFY(f.lastLog().contains(QStringLiteral("GTload Error:")));
        Bytes huge;
        huge.str("a").i16(1).str("b").f64(0).i16(1).i32(1 << 30).i32(0);
        f.writeHeaders(file("TWB_01.00", 1, huge.b + QByteArray(40, '\0')));
        f.store.GTload(f.key);
        QCOMPARE(f.view.table.count(), 0);
        QVERIFY(f.lastLog().contains(QStringLiteral("GTload Error:")));

        // A deleted item in the file is a free slot.
        f.writeHeaders(file("TWB_01.00", 2, oneItem(1, 42, -1) + oneItem(1, 43)));
        f.store.GNload(f.key);
        QCOMPARE(f.scan.FindFreeSlot(), 1);
        // The live item with the same key and poster is the one new parts join.
        QCOMPARE(f.scan.FindHash("a", "b"), 2);

        f.writeHeaders(file("TWB_01.00", 1, oneItem(1, 42, 5)));
        f.store.GNload(f.key);
        QCOMPARE(f.scan.FindHash("a", "b"), -1);
        f.scan.maketree("a", "c", 44, "", "1", f.key, "b", "", "e");
        QCOMPARE(f.scan.table.record(1).parts, (QList<ItemRecord::Part>{{"c", 44, "e", 1}}));
        QVERIFY(!f.scan.table.item(1).isDeleted());
    }

    void largeArticleNumbersUseTheWideLayout()
    {
        Fixture f;
        f.scan.table.changed = true;
        f.scan.groupKey = f.key;
        f.scan.maketree("big [xx/0000002]", "big (1/2)", 3'000'000'000LL, "2", "10", f.key, "p", "", "a@h");
        f.scan.maketree("big [xx/0000002]", "big (2/2)", 3'000'000'001LL, "2", "10", f.key, "p", "", "b@h");
        QVERIFY(f.store.GNsave(f.key));
        QVERIFY(f.readHeaders().startsWith("TWB_02.00"));
        f.store.GNload(f.key);
        QCOMPARE(f.scan.table.record(1).parts.last().article, 3'000'000'001LL);

        Bytes wide;
        wide.str("a").i16(1).str("b").f64(1).i16(1).i32(2).i32(0);
        wide.str("").i64(0).str("").i32(0).str("c").i64(1LL << 40).str("d").i32(7).i16(0).u8(1);
        f.writeHeaders(file("TWB_02.00", 1, wide.b));
        f.store.GTload(f.key);
        QCOMPARE(f.view.table.record(1).parts, (QList<ItemRecord::Part>{{"c", 1LL << 40, "d", 7}}));
    }

    void savesLiveItemsViewCopiesAndFailures()
    {
        Fixture f;
        f.writeHeaders(file("TWB_01.00", 2, oneItem(1) + oneItem(1, 43)));
        f.store.GNload(f.key);
        f.scan.deleteSlot(1);
        QVERIFY(f.store.GNsave(f.key)); // only live items are saved
        QCOMPARE(f.readHeaders(), file("TWB_01.00", 1, oneItem(f.key, 43)));
        // An unchanged table is not written again.
        f.writeHeaders("sentinel");
        QVERIFY(f.store.GNsave(f.key));
        QCOMPARE(f.readHeaders(), QByteArray("sentinel"));

        f.store.CopyScanToView();
        QCOMPARE(f.view.table.record(1).parts.first().article, 43);

        f.view.viewedKey = f.key;
        f.view.table.changed = true;
        f.prompts.yesNoAnswers = {false, true};
        f.store.SaveViewChanges();
        QVERIFY(f.view.table.changed);
        f.store.SaveViewChanges();
        QVERIFY(!f.view.table.changed);
        QCOMPARE(f.readHeaders(), file("TWB_01.00", 1, oneItem(f.key, 43)));

        f.scan.table.changed = true;
        // A folder in the file's place cannot be replaced: the save fails and says so.
        const QString blocker = f.path(QStringLiteral("cache/alt.test/headers.twb"));
        QFile::remove(blocker);
        QVERIFY(QDir().mkpath(blocker + QStringLiteral("/inside")));
        QVERIFY(!f.store.GNsave(f.key));
        QVERIFY(f.lastLog().contains(QStringLiteral("GNsave Error:")));
        QVERIFY(f.scan.table.changed);
    }

    void streamingReadsRecordByRecord()
    {
        Fixture f;
        // Records of different sizes, so window edges fall everywhere.
        QByteArray records;
        for (int i = 0; i < 7; ++i) {
            Bytes r;
            const QByteArray key = QByteArray(i * 9 + 1, char('k' + i));
            r.str(key).i16(1).str("b").f64(1).i16(1).i32(2 + i % 3).i32(0);
            r.str("").i32(0).str("").i32(0);
            for (int p = 0; p < 1 + i % 3; ++p)
                r.str(QByteArray(p * 7, 't')).i32(100 * i + p).str("id@h").i32(9);
            r.i16(0).u8(1);
            records += r.b;
        }
        f.writeHeaders(file("TWB_01.00", 7, records));
        const QString path = f.store.headerPath(f.key);
        ItemTable mapped;
        twb::RecordReader map(path);
        while (map.readNext(mapped)) { }
        for (const qint64 chunk : { 1, 2, 13, 40, 1 << 20 }) {
            ItemTable streamed;
            twb::RecordReader stream(path, twb::RecordReader::Access::Stream, chunk);
            while (stream.readNext(streamed)) { }
            QCOMPARE(stream.status(), twb::RecordReader::Status::Ok);
            QCOMPARE(streamed.count(), 7);
            for (int slot = 1; slot <= 7; ++slot)
                QCOMPARE(streamed.record(slot), mapped.record(slot));

            // Records whose key is not wanted are stepped over, not stored.
            ItemTable kept;
            twb::RecordReader matching(path, twb::RecordReader::Access::Stream, chunk);
            while (matching.readNextMatching(kept, [](QByteArrayView key) { return key.startsWith('m') || key.startsWith('p'); })) { }
            QCOMPARE(matching.recordsRead(), 7);
            QCOMPARE(kept.count(), 2);
            QCOMPARE(kept.record(2), mapped.record(6));
        }
        // A cut file keeps what came before the cut.
        f.writeHeaders(file("TWB_01.00", 7, records.left(records.size() - 3)));
        ItemTable cut;
        twb::RecordReader truncated(path, twb::RecordReader::Access::Stream, 16);
        while (truncated.readNextMatching(cut, [](QByteArrayView) { return false; })) { }
        QCOMPARE(truncated.status(), twb::RecordReader::Status::Corrupt);
        QCOMPARE(truncated.recordsRead(), 6);
        // A record claiming more than any item holds ends the reading instead of filling memory.
        Bytes huge;
        huge.str("a").i16(1).str("b").f64(0).i16(1).i32(5'600'000).i32(0);
        QByteArray body = huge.b;
        body.resize(body.size() + 5'600'000 * 12, '\0');
        f.writeHeaders(file("TWB_01.00", 1, body));
        twb::RecordReader big(path, twb::RecordReader::Access::Stream);
        QVERIFY(!big.readNext(cut));
        QCOMPARE(big.status(), twb::RecordReader::Status::Corrupt);
    }
};

TW_TEST(HeaderFileTest)
#include "header_file_test.moc"
