#include "app/event_yield.h"
#include "headers/crunch.h"
#include "headers/header_file.h"
#include "store_fixture.h"
#include "support/fake_watch_rules.h"
#include "support/test_registry.h"

#include <QTest>

namespace {

struct Fixture : StoreFixture {
    FakeWatchRules rules;
    Cruncher cruncher{{log, settings, groups, window, clock, store, scan, view, yield, &rules}};

    Fixture()
        : StoreFixture("alt.binaries.test")
    {
        groups.groupSelected = true;
        groups.ngUpdateRange(key, 1, 100000);
        store.GNload(key);
    }
    Cruncher::Burst burst(qint64 rangeEnd, qint64 groupLast = 100000) const { return {key, groupLast, rangeEnd, {}}; }
};

QByteArray line(qint64 article, const QByteArray& subject, const QByteArray& from = "Poster <poster@example.com>")
{
    return QByteArray::number(article) + '\t' + subject + '\t' + from + "\tWed, 04 Dec 2002 10:11:12 +0000\t<id"
        + QByteArray::number(article) + "$abc@example.com>\t\t12345\t20\r\n";
}

QByteArray lines(qint64 first, int count, const QByteArray& base = "file")
{
    QByteArray out;
    for (int i = 0; i < count; ++i)
        out += line(first + i, base + QByteArray::number(first + i) + ".rar (1/1)");
    return out;
}

} // namespace

class CrunchTest : public QObject {
    Q_OBJECT
private slots:
    void filesEveryLineAndAdvancesTheMark()
    {
        Fixture f;
        QByteArray body;
        for (int part = 1; part <= 3; ++part)
            body += line(100 + part, "My file.zip (" + QByteArray::number(part) + "/3) yEnc");
        body += "no tab here\r\n" + line(200, "hello world") + ".\r\n" + line(300, "after the end");
        f.cruncher.parse_xoverdata(body, f.burst(250));
        QCOMPARE(f.scan.table.count(), 2);
        const ItemRecord multipart = f.scan.table.record(1);
        QCOMPARE(multipart.key, QByteArray("My file.zip [xx/0000003]"));
        QCOMPARE(multipart.parts.size(), 3);
        QCOMPARE(multipart.parts[1].messageId, QByteArray("id102$"));
        QCOMPARE(multipart.parts[2].bytes, 12345);
        QCOMPARE(f.groups.ngReadMarkByKey(f.key), 250);
        QVERIFY(f.logged(QStringLiteral("Crunched burst of 4 headers.")));
        // An empty burst still moves the mark, without a crunch line.
        f.cruncher.parse_xoverdata(QByteArray(), f.burst(500, 900));
        QCOMPARE(f.groups.ngReadMarkByKey(f.key), 500);
        QCOMPARE(f.logCount(QStringLiteral("Crunched burst")), 1);
        // The group's last burst leaves the mark at the highest article it held, not its range end.
        f.cruncher.parse_xoverdata(line(700, "a (1/1)") + line(702, "b (1/1)"), f.burst(710, 710));
        QCOMPARE(f.groups.ngReadMarkByKey(f.key), 702);
    }

    void killFilterAndOverlongFields()
    {
        Fixture f;
        f.rules.kill = [](QByteArrayView subject, QByteArrayView poster) {
            return subject.contains("spam") && poster == "Poster";
        };
        f.cruncher.parse_xoverdata(line(10, "good (1/1)") + line(11, "buy spam now"), f.burst(11));
        QCOMPARE(f.scan.table.count(), 1);
        QVERIFY(f.logged(QStringLiteral("Kill Filtered: buy spam now : 11")));
        QCOMPARE(f.cruncher.burstHighest(), 11);

        // Overlong fields keep their item through a save and load.
        const QByteArray subject = QByteArray(70'000, 's') + " (1/2)";
        const QByteArray poster = QByteArray(70'000, 'p');
        f.cruncher.parse_xoverdata(line(1, subject, poster), f.burst(1));
        QVERIFY(f.store.GNsave(f.key));
        f.store.GNload(f.key);
        f.cruncher.parse_xoverdata(line(2, QByteArray(70'000, 's') + " (2/2)", poster), f.burst(2));
        QCOMPARE(f.scan.table.count(), 2);
        QCOMPARE(f.scan.table.item(2).partCount, 2u);
    }

    void largeItemsRefuseRepeatsAndRepostsAcrossReloadAndSlotReuse()
    {
        Fixture f;
        const QByteArray key = "big.series.name [xx/0000900]";
        auto part = [](qint64 article, int k) {
            return line(article, "big.series.name (" + QByteArray::number(k) + "/900)");
        };
        auto crunch = [&](const QByteArray& body) { f.cruncher.parse_xoverdata(body, f.burst(100000)); };
        auto partsOf = [&] { return f.scan.table.item(f.scan.FindHash(key, "Poster")).partCount; };
        QByteArray body;
        for (int k = 1; k <= 200; ++k)
            body += part(k, k);
        crunch(body);
        QCOMPARE(partsOf(), 200u);
        struct Case {
            QByteArray line;
            quint32 parts; // afterwards
        };
        auto check = [&](const char* stage, qint64 firstNew, int newK) {
            const Case cases[] = {
                { part(150, 700), partsOf() }, // a held article under a new subject
                { part(firstNew, 150), partsOf() }, // a held part reposted
                { part(firstNew + 1, newK), partsOf() + 1 }, // new
            };
            for (const Case& c : cases) {
                crunch(c.line);
                QVERIFY2(partsOf() == c.parts, stage);
            }
        };
        check("fresh", 5000, 701);
        QVERIFY(f.store.GNsave(f.key));
        f.store.GNload(f.key);
        check("reloaded", 6000, 702);

        // The slot of a deleted item is taken by a new one, which holds none of the old parts.
        f.scan.deleteSlot(f.scan.FindHash(key, "Poster"));
        body.clear();
        for (int k = 1; k <= 100; ++k)
            body += part(7000 + k, k);
        crunch(body);
        QCOMPARE(f.scan.FindHash(key, "Poster"), 1);
        crunch(part(150, 500) + part(5000, 150));
        QCOMPARE(partsOf(), 102u);
    }

    void burstsShrinkNearTheTimeout()
    {
        Fixture f;
        // The kill test is the one place that runs per line: let it move the clock.
        qint64 perLine = 50000;
        f.rules.kill = [&](QByteArrayView, QByteArrayView) {
            f.clock.advance(perLine);
            return false;
        };
        f.settings.sldTimeout = 60;
        f.settings.sldXOVER = 500;
        f.cruncher.parse_xoverdata(lines(601, 1), f.burst(601));
        QCOMPARE(f.settings.sldXOVER, 500); // exactly 50 s is not too close
        perLine = 50001;
        f.cruncher.parse_xoverdata(lines(602, 1), f.burst(602));
        QCOMPARE(f.settings.sldXOVER, 400);
        f.settings.sldXOVER = 150;
        f.cruncher.parse_xoverdata(lines(603, 1), f.burst(603));
        QCOMPARE(f.settings.sldXOVER, 150);
    }

    void quickSaveAfterEnoughNewItems()
    {
        Fixture f;
        f.clock.advance(Cruncher::kQuickSaveIntervalMs);
        f.cruncher.parse_xoverdata(lines(1, 899), f.burst(899));
        QVERIFY(!QFileInfo::exists(f.store.headerPath(f.key)));
        // Enough new items, but too soon after the scan started.
        f.cruncher.parse_xoverdata(lines(900, 1), f.burst(900));
        QVERIFY(!QFileInfo::exists(f.store.headerPath(f.key)));
        f.clock.advance(Cruncher::kQuickSaveIntervalMs);
        f.cruncher.parse_xoverdata(lines(901, 1), f.burst(901));
        QVERIFY(f.logged(QStringLiteral("----Qsave---------")));
        twb::RecordReader reader(f.store.headerPath(f.key));
        QCOMPARE(reader.count(), 901);
    }
};

TW_TEST(CrunchTest)
#include "crunch_test.moc"
