#include "headers/expiry.h"
#include "support/test_registry.h"
#include "view_fixture.h"

#include <QTest>

namespace {

struct ExpiryFixture : ViewFixture {
    QList<QPair<qint64, int>> removed;

    ExpiryFixture()
    {
        QObject::connect(&ctx.expiry, &AutoExpiry::itemExpired,
            [this](qint64 article, quint8 group) { removed.append({ article, group }); });
        ctx.scan.groupKey = key;
    }
    // Files parts into the scan table as a scan does, in arrival order.
    void file(const char* name, QList<qint64> articles)
    {
        for (qint64 a : articles) {
            const QByteArray subject = QByteArray(name) + " (1/3)";
            ctx.scan.maketree(QByteArray(name) + " [xx/0000003]", subject, a, "3", "1000", key, "Poster",
                "04 Dec 2002 10:11:12", "id@host");
        }
    }
};

} // namespace

class ExpiryTest : public QObject {
    Q_OBJECT
private slots:
    void itemsBelowTheFirstArticleExpire()
    {
        ExpiryFixture f;
        f.file("a", { 1100, 1600 });
        f.file("b", { 1200 });
        f.file("c", { 1700, 1400, 1450 }); // part 1 is the first to arrive, above the range
        f.file("d", { 1600, 1700 });
        f.ctx.scan.table.changed = false;
        // A GROUP reply moves the group's first article from 1000 to 1500.
        f.ctx.groups.ngUpdateRange(f.key, 1500, 3000);
        QCOMPARE(f.ctx.scan.freeSlotCount(), 3);
        QVERIFY(f.ctx.scan.table.changed);
        QCOMPARE(f.ctx.scan.FindHash("c [xx/0000003]", "Poster"), -1);
        // The batch knows its entries by part 1.
        QCOMPARE(f.removed, (QList<QPair<qint64, int>> { { 1100, f.key }, { 1200, f.key }, { 1700, f.key } }));
        QVERIFY(f.t.logged(QStringLiteral("Auto-expire: alt.test,3 articles expired")));

        f.file("e", { 1550 });
        f.add(ViewFixture::item("e [xx/0000003]", 3, { 1550 }));
        f.show();
        f.ctx.window.setVisible(MainWindowState::Control::Refresh, false);
        f.ctx.window.setVisible(MainWindowState::Control::SaveHeaders, true);
        f.ctx.expiry.AutoExpire(f.key, 1560);
        QVERIFY(f.t.logged(QStringLiteral("Auto-expire: alt.test, 1 article expired")));
        // A view of the group becomes stale, but its table is left alone until refreshed.
        QVERIFY(f.ctx.window.isVisible(MainWindowState::Control::Refresh));
        QVERIFY(!f.ctx.window.isVisible(MainWindowState::Control::SaveHeaders));
        QCOMPARE(f.view.rowCount(), 1);
        f.ctx.expiry.AutoExpire(f.key, 1560);
        QVERIFY(f.t.logged(QStringLiteral("Auto-expire: alt.test, nothing expired")));
        f.ctx.settings.chkAutoExpire = 0;
        const int entries = f.ctx.log.entries().rowCount();
        f.ctx.expiry.AutoExpire(f.key, 5000);
        QCOMPARE(f.ctx.log.entries().rowCount(), entries);
        QVERIFY(f.ctx.scan.FindHash("d [xx/0000003]", "Poster") > 0);
    }
};

TW_TEST(ExpiryTest)
#include "expiry_test.moc"
