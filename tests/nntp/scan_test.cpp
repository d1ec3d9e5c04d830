#include "headers/header_file.h"
#include "nntp/scan.h"
#include "support/fake_nntp_server.h"
#include "support/test_context.h"
#include "support/test_registry.h"

#include <QTest>

namespace {

QByteArray overview(qint64 first, qint64 last)
{
    QByteArray out = "224 overview follows\r\n";
    for (qint64 n = first; n <= last; ++n)
        out += QByteArray::number(n) + "\tpost" + QByteArray::number(n) + ".bin (1/1)\tA <a@b.c>\t04 Dec 2002\t<m"
            + QByteArray::number(n) + "@x>\t\t100\t1\r\n";
    return out + ".\r\n";
}

// Serves GROUP and XOVER for alt.test holding articles 1..last.
struct Fixture {
    TestContext t;
    FakeNntpServer server;
    AppContext& ctx = *t.ctx;
    qint64 last = 250;

    explicit Fixture(const Delivery& delivery = Delivery::whole())
    {
        server.setDelivery(delivery);
        ctx.settings.News_Host = QStringLiteral("127.0.0.1");
        ctx.settings.News_Port = QString::number(server.port());
        ctx.settings.chkEnableLogging = 1;
        ctx.settings.Cache_Path = t.dir.path() + QStringLiteral("/cache/");
        ctx.settings.sldXOVER = 100;
        server.on(QStringLiteral("GROUP alt.test")).reply([this](const QString&) {
            return "211 " + QByteArray::number(last) + " 1 " + QByteArray::number(last) + " alt.test\r\n";
        });
        server.onPrefix(QStringLiteral("XOVER ")).reply([this](const QString& command) {
            const QStringList range = command.mid(6).split(u'-');
            const qint64 from = range.value(0).toLongLong();
            const qint64 to = std::min(range.value(1).toLongLong(), last);
            return from > to ? QByteArray("224 none\r\n.\r\n") : overview(from, to);
        });
        server.on(QStringLiteral("QUIT")).reply("205 bye\r\n");
    }
    quint8 addGroup(const char* name)
    {
        ctx.groups.ngAddGroup(name);
        return ctx.groups.ngFindKeyByGroupName(name);
    }
    qint32 storedItems(quint8 key) { return twb::RecordReader(ctx.headers.headerPath(key)).count(); }
};

} // namespace

class ScanTest : public QObject {
    Q_OBJECT
private slots:
    void scansEveryGroupInBurstsAndOnlyNewArticlesNextTime()
    {
        for (const Delivery& d : {Delivery::whole(), Delivery::chunks(7)}) {
            Fixture f(d);
            const quint8 key = f.addGroup("alt.test");
            f.addGroup("alt.off");
            f.ctx.groups.toggleRows({1});
            f.server.on(QStringLiteral("GROUP alt.none")).reply("411 no such group\r\n");
            f.addGroup("alt.none");
            f.ctx.scanConnection.StartScan();
            QTRY_VERIFY_WITH_TIMEOUT(f.t.logged(QStringLiteral(" HPS.")), 60000);
            QTRY_COMPARE(f.ctx.connections.state(Conn::Scan), 0);
            QCOMPARE(f.server.commands(), (QStringList{"GROUP alt.test", "XOVER 2-101", "XOVER 102-201",
                                                       "XOVER 202-301", "GROUP alt.none", "QUIT"}));
            QCOMPARE(f.ctx.groups.ngReadMarkByKey(key), 250);
            QCOMPARE(f.storedItems(key), 249);
            QVERIFY(f.t.logged(QStringLiteral("Error, no such news group alt.none")));
            QVERIFY(!f.ctx.scanConnection.scanning());
            QVERIFY(f.ctx.window.text(MainWindowState::Label::LastScan).endsWith(QStringLiteral(" (complete)")));

            // A second scan finds nothing new; a third only what was posted since.
            f.ctx.scanConnection.StartScan();
            QTRY_VERIFY_WITH_TIMEOUT(f.t.logged(QStringLiteral("0 new articles in alt.test")), 60000);
            QTRY_COMPARE(f.ctx.connections.state(Conn::Scan), 0);
            f.last = 260;
            f.ctx.scanConnection.StartScan();
            QTRY_VERIFY_WITH_TIMEOUT(f.t.logged(QStringLiteral("10 new articles in alt.test")), 60000);
            QTRY_COMPARE_WITH_TIMEOUT(f.storedItems(key), 259, 10000);
            QCOMPARE(f.ctx.groups.ngReadMarkByKey(key), 260);
        }
    }

    void silentServerTripsTheWatchdog()
    {
        Fixture f;
        f.addGroup("alt.test");
        f.ctx.settings.chkAllowRestart = 0;
        f.ctx.settings.sldTimeout = 60;
        f.server.clearRules();
        f.server.on(QStringLiteral("GROUP alt.test")).reply("211 250 1 250 alt.test\r\n");
        f.server.onPrefix(QStringLiteral("XOVER ")).stall();
        f.ctx.scanConnection.StartScan();
        QTRY_VERIFY_WITH_TIMEOUT(f.server.commands().contains(QStringLiteral("XOVER 2-101")), 5000);
        f.t.clock.advance(60'000);
        f.ctx.scanConnection.watchdogTick();
        QCOMPARE(f.ctx.connections.state(Conn::Scan), 7);
        f.t.clock.advance(1'000);
        f.ctx.scanConnection.watchdogTick();
        QVERIFY(f.t.logged(QStringLiteral("WARNING: Server not responding -- 60 second timeout triggered, closing connection")));
        QCOMPARE(f.ctx.connections.state(Conn::Scan), 0);
        QVERIFY(f.ctx.window.isEnabled(MainWindowState::Control::Scan));

        // The user's abort logs the short line when almost nothing was read.
        f.ctx.scanConnection.AbortScan(true);
        QVERIFY(!f.ctx.scanConnection.scanning());
        QCOMPARE(f.ctx.scanConnection.groupIndex(), 0);
    }
};

TW_TEST(ScanTest)
#include "scan_test.moc"
