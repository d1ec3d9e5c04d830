#include "headers/header_columns.h"
#include "headers/item_status.h"
#include "headers/life.h"
#include "support/test_registry.h"
#include "view_fixture.h"

#include <QTest>

namespace {

// Parts 1..held of a total-part item, with an extra part 0 first when asked for.
ItemRecord parts(qint16 total, int held, bool partZero, QByteArray zeroTail = " (0/12)")
{
    QList<qint64> articles;
    QList<QByteArray> tails;
    if (partZero) {
        articles << 100;
        tails << zeroTail;
    }
    for (int i = 1; articles.size() < held; ++i) {
        articles << 100 + i;
        tails << " (" + QByteArray::number(i) + "/" + QByteArray::number(total) + ")";
    }
    return ViewFixture::item("name.rar [xx/0000012]", total, articles, 500'000, tails);
}

QByteArray stateOf(const ItemRecord& r)
{
    ItemTable table;
    const int slot = table.appendRecord(r);
    return statusKey(partsState(table, slot));
}

} // namespace

class ItemStatusTest : public QObject {
    Q_OBJECT
private slots:
    void statesColumnTextAndLife()
    {
        // Twelve parts held of twelve, one of them a part 0: a numbered part is missing.
        QCOMPARE(stateOf(parts(12, 12, true)), "incomplete");
        QCOMPARE(stateOf(parts(12, 12, true, " [000/012] yEnc")), "complete");
        QCOMPARE(stateOf(parts(12, 12, true, " (000/012) yEnc")), "incomplete");
        QCOMPARE(stateOf(parts(12, 12, false)), "complete");
        QCOMPARE(stateOf(parts(12, 13, true)), "complete");
        QCOMPARE(stateOf(parts(12, 14, true)), "unknown");
        QCOMPARE(stateOf(parts(12, 11, false)), "incomplete");
        QCOMPARE(stateOf(parts(1, 1, false)), "complete");
        const struct {
            const char* tail;
            int total;
            bool zero;
        } zeroTails[] = {
            { " x (1) (0/5)", 5, true },
            { " (0/", 5, false },
            { " (00/05)", 5, true },
            { " (00/5)", 5, false },
            { " (000/012)", 12, true },
            { " (0000/12)", 12, false },
            { " (0/123)", 12, true },
            { " (00/1234)", 1234, true },
            { " ((0/12", 12, true },
            { " (0/0", 0, true },
            { " (00/-5", -5, true },
            { " (000/-05", -5, true },
            { " (000/-5", -5, false },
            { "(0/7", 7, true },
            { " (01/12)", 12, false },
        };
        for (const auto& t : zeroTails)
            QVERIFY2(tailHasPartZero(t.tail, t.total) == t.zero, t.tail);
        // Single posts go by size and name.
        QCOMPARE(stateOf(ViewFixture::item("readme.nfo", 0, { 5 }, 2000)), "complete");
        QCOMPARE(stateOf(ViewFixture::item("notes.txt", 0, { 5 }, 2000)), "text");
        QCOMPARE(stateOf(ViewFixture::item("notes.txt", 0, { 5 }, 20'000)), "complete");
        QCOMPARE(stateOf(ViewFixture::item("notes.txt", 0, { 5, 6 }, 2000)), "unknown");
        QCOMPARE(stateOf(ViewFixture::item("nfo", 0, { 5 }, 2000)), "text");

        // Column text edges; the common cases are read through the header view's columns.
        QCOMPARE(columns::life(kLifeNeedScan), QStringLiteral("need scan"));
        QCOMPARE(columns::date(0.75), QStringLiteral("?"));
        QCOMPARE(columns::date(std::numeric_limits<double>::quiet_NaN()), QStringLiteral("?"));
        QCOMPARE(columns::date(1e300), QStringLiteral("?"));
        QCOMPARE(columns::subject("quoting x [xx/0000005] here"), QStringLiteral("quoting x [xx/0000005] here"));
        // A key no longer than its suffix (from a damaged file) is shown whole, never cut short.
        QCOMPARE(columns::subject("[xx/0000012]"), QStringLiteral("[xx/0000012]"));
        QCOMPARE(columns::subject(" [xx/0000012]"), QStringLiteral(" [xx/0000012]"));
        QCOMPARE(columns::shortPoster("Name <me@host>"), QByteArrayView("me@host"));
        QCOMPARE(columns::shortPoster("Name <me@host"), QByteArrayView("me@host"));
        QCOMPARE(columns::shortPoster("me@host (Name)"), QByteArrayView("me@host "));

        ViewFixture f;
        const quint8 narrow = f.addGroup("alt.narrow", 1000, 1200);
        const quint8 small = f.addGroup("alt.small", 1, 201);
        const quint8 empty = f.addGroup("alt.empty", 500, 500);
        const quint8 unscanned = f.addGroup("alt.unscanned", 0, 0);
        // 12.5, 0.5 and 1.5 round to even; far below the range the value stays clear of the "need scan" marker.
        const struct {
            qint64 article;
            quint8 group;
            int life;
        } rows[] = { { 1500, f.key, 50 }, { 1996, f.key, 99 }, { 5000, f.key, 99 }, { 900, f.key, -10 },
            { 200, small, 99 }, { 1025, narrow, 12 }, { 1027, narrow, 14 }, { 2, small, 0 }, { 4, small, 2 },
            { -199, small, -100 }, { 1500, unscanned, 0 }, { 1500, 200, 0 }, { -4'000'000'000'000LL, narrow, -99999 },
            { -(1LL << 62), small, -99999 } };
        for (const auto& r : rows)
            QCOMPARE(LifeRemaining(f.ctx.groups, f.ctx.log, r.article, r.group), r.life);
        QCOMPARE(f.t.logCount(QStringLiteral("LifeRemaining")), 0);
        bool logged = false;
        QCOMPARE(LifeRemaining(f.ctx.groups, f.ctx.log, 500, empty, logged), 0);
        QCOMPARE(LifeRemaining(f.ctx.groups, f.ctx.log, 501, empty, &logged), 0);
        QCOMPARE(f.t.logCount(QStringLiteral("LifeRemaining Error: Division by zero")), 1);
    }
};

TW_TEST(ItemStatusTest)
#include "item_status_test.moc"
