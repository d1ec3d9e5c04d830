#include "headers/life.h"
#include "support/test_context.h"
#include "support/test_registry.h"

#include <QTest>

class LifeTest : public QObject {
    Q_OBJECT
private slots:
    void percentOfTheGroupRange()
    {
        TestContext t;
        AppContext& ctx = *t.ctx;
        ctx.settings.chkEnableLogging = 1;
        ctx.groups.ngAddGroup("alt.test");
        const quint8 key = ctx.groups.ngFindKeyByGroupName("alt.test");
        auto life = [&](qint64 article, bool* logged = nullptr) {
            return LifeRemaining(ctx.groups, ctx.log, article, key, logged);
        };
        QCOMPARE(life(500), 0); // never scanned
        QCOMPARE(LifeRemaining(ctx.groups, ctx.log, 500, key + 1), 0);
        ctx.groups.ngUpdateRange(key, 1, 201);
        QCOMPARE(life(101), 50);
        QCOMPARE(life(2), 0); // 0.5 rounds to even
        QCOMPARE(life(4), 2); // 1.5 too
        QCOMPARE(life(200), 99);
        QCOMPARE(life(5000), 99);
        QCOMPARE(life(-199), -100);
        // Far below the range the value stays clear of the "need scan" marker.
        QCOMPARE(life(-(1LL << 62)), -99999);
        QCOMPARE(t.logCount(QStringLiteral("LifeRemaining")), 0);

        ctx.groups.ngUpdateRange(key, 7, 7);
        bool logged = false;
        QCOMPARE(life(7, &logged), 0);
        QCOMPARE(life(8, &logged), 0);
        QCOMPARE(ctx.log.entries().stringList().filter(QStringLiteral("Division by zero")).size(), 1);

        QCOMPARE(lifeText(kLifeNeedScan), QStringLiteral("need scan"));
        QCOMPARE(lifeText(7), QStringLiteral("07%"));
    }
};

TW_TEST(LifeTest)
#include "life_test.moc"
