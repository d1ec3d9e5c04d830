#include "headers/scan_table.h"
#include "support/fake_watch_rules.h"
#include "support/ground.h"
#include "support/test_registry.h"

#include <QTest>

namespace {

struct Fixture : Ground {
    FakeWatchRules rules;
    ScanTable scan { log, &rules };

    // Files one article the way the crunch does after analysing its subject.
    void file(const char* key, const char* subject, qint64 article, const char* poster = "Alpha Beta",
        const char* id = "part@host", const char* count = "3")
    {
        scan.maketree(key, subject, article, count, "1000", 7, poster, "04 Dec 2002 10:11:12", id);
    }
    QList<qint64> articles(int slot) const
    {
        QList<qint64> out;
        scan.table.forEachPart(scan.table.item(slot), [&](const ItemPart& p) { out << p.article; });
        return out;
    }
};

} // namespace

class ScanTableTest : public QObject {
    Q_OBJECT
private slots:
    void partsMeetInTheirItem()
    {
        Fixture f;
        f.file("name [xx/0000003]", "name (1/3)", 10);
        f.file("name [xx/0000003]", "name (2/3)", 11);
        f.file("name [xx/0000003]", "name (2/3) again", 11); // known article number
        f.file("name [xx/0000003]", "name (3/3)", 12, "Someone Else");
        QCOMPARE(f.scan.table.count(), 2);
        QCOMPARE(f.articles(1), (QList<qint64> { 10, 11 }));
        QCOMPARE(f.scan.FindHash("name [xx/0000003]", "Someone Else"), 2);
        QCOMPARE(f.scan.FindHash("name [xx/0000003]", "nobody"), -1);
        const Item& it = f.scan.table.item(1);
        QCOMPARE(f.scan.table.str(f.scan.table.part(it.firstPart).tail), QByteArrayView(" (1/3)"));
        QCOMPARE(f.scan.table.ItemBytes(1), 2000);

        // Reposts of a long key are ignored.
        const char* longKey = "holiday.pictures [xx/0000003]"; // 29 characters
        f.file(longKey, "holiday.pictures (3/3)", 1);
        f.file(longKey, "holiday.pictures (3/3)", 2);
        QCOMPARE(f.articles(3), QList<qint64> { 1 });
        const char* shortKey = "hol [xx/0000003]"; // 16 characters
        f.file(shortKey, "hol (3/3)", 1);
        f.file(shortKey, "hol (3/3)", 2);
        QCOMPARE(f.articles(4), (QList<qint64> { 1, 2 }));
        // A key shorter than the part-count suffix has no base name to compare reposts against.
        f.file("notes", "notes", 3);
        f.file("notes", "notes", 4);
        QCOMPARE(f.articles(5), (QList<qint64> { 3, 4 }));

        // A part's message-id is stored as far as it differs from the item's first one.
        f.file("k [xx/0000002]", "k (1/2)", 21, "p", "abc$xyz@host");
        f.file("k [xx/0000002]", "k (2/2)", 22, "p", "def$xyz@host");
        const Item& k = f.scan.table.item(6);
        const QByteArrayView first = f.scan.table.str(f.scan.table.part(k.firstPart).messageId);
        const QByteArrayView second = f.scan.table.str(f.scan.table.part(k.lastPart).messageId);
        QCOMPARE(second, QByteArrayView("def$"));
        QCOMPARE(FullMessageId(first, second), QByteArray("<def$xyz@host>"));
        QCOMPARE(compressMessageId("abc@host", "def@other"), QByteArrayView("def@other"));
        QCOMPARE(compressMessageId("abc$x@host", "def@host"), QByteArrayView("def@"));
        QCOMPARE(compressMessageId("nohost", "def@host"), QByteArrayView("def@host"));
        QCOMPARE(FullMessageId("abc@host", "def@"), QByteArray("<def@host>"));
        QCOMPARE(FullMessageId("abc@host", "abc@host"), QByteArray("<abc@host>"));
    }

    void slotsGrowDeletedOnesAreReusedAndWatched()
    {
        Fixture f;
        for (int i = 1; i <= 1000; ++i)
            f.file(QByteArray("item " + QByteArray::number(i)).constData(), "s", i);
        f.file("item 1001", "s", 1001);
        QCOMPARE(f.scan.capacity(), 2000);

        f.scan.deleteSlot(9);
        f.scan.deleteSlot(5);
        QCOMPARE(f.scan.FindFreeSlot(), 5);
        f.file("new a", "s", 2001);
        f.file("new b", "s", 2002);
        f.file("new c", "s", 2003);
        QCOMPARE(f.scan.FindHash("new a", "Alpha Beta"), 5);
        QCOMPARE(f.scan.FindHash("new c", "Alpha Beta"), 1002);
        QCOMPARE(f.scan.FindFreeSlot(), -1);
        // An article for a deleted item starts a new item rather than vanishing with the old one.
        f.scan.deleteSlot(3);
        f.file("item 3", "s", 3003);
        QCOMPARE(f.scan.FindHash("item 3", "Alpha Beta"), 3);
        QCOMPARE(f.articles(3), QList<qint64> { 3003 });
        // Deletions leave every other item reachable, so new parts still join it.
        for (int slot = 10; slot <= 1000; slot += 2)
            f.scan.deleteSlot(slot);
        for (int slot = 11; slot <= 1000; slot += 2)
            QCOMPARE(f.scan.FindHash("item " + QByteArray::number(slot), "Alpha Beta"), slot);
        f.file("item 11", "s", 4011);
        QCOMPARE(f.articles(11), (QList<qint64> { 11, 4011 }));

        // The watch hook fires once, when an item completes, and queues it when the rules say so.
        f.rules.add = [](const ItemTable& table, int slot) { return table.str(table.item(slot).key).startsWith('w'); };
        f.scan.watchEnabled = true;
        f.file("w [xx/0000002]", "w (1/2)", 1, "p", "a@h", "2");
        QVERIFY(f.rules.offered.isEmpty());
        f.file("w [xx/0000002]", "w (2/2)", 2, "p", "b@h", "2");
        const int watched = f.scan.FindHash("w [xx/0000002]", "p");
        f.file("w [xx/0000002]", "w (2/2) repost", 3, "p", "c@h", "2");
        f.file("single", "single", 4, "p", "d@h", "");
        f.file("u [xx/0000001]", "u (1/1)", 5, "p", "e@h", "1");
        const int unwanted = f.scan.FindHash("u [xx/0000001]", "p");
        f.scan.watchEnabled = false;
        f.file("v [xx/0000001]", "v (1/1)", 6, "p", "f@h", "1");
        QCOMPARE(f.rules.offered, (QList<int> { watched, unwanted }));
        QCOMPARE(f.rules.queued, QList<int> { watched });
    }
};

TW_TEST(ScanTableTest)
#include "scan_table_test.moc"
