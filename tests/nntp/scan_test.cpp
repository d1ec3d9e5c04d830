#include "headers/crunch.h"
#include "headers/header_file.h"
#include "nntp/scan.h"
#include "support/fake_nntp_server.h"
#include "support/header_parts.h"
#include "support/server_settings.h"
#include "support/stored_items.h"
#include "support/test_registry.h"

#include <QDir>
#include <QMap>
#include <QTest>

#include <algorithm>
#include <functional>

namespace {

QByteArray overview(qint64 first, qint64 last)
{
    QByteArray out = "224 overview follows\r\n";
    for (qint64 n = first; n <= last; ++n)
        out += QByteArray::number(n) + "\tpost" + QByteArray::number(n) + ".bin (1/1)\tA <a@b.c>\t04 Dec 2002\t<m"
            + QByteArray::number(n) + "@x>\t\t100\t1\r\n";
    return out + ".\r\n";
}

// The scan and the parts it drives over the header parts, connected as the program connects them.
struct ScanParts : HeaderParts {
    ScanParts(Ground& g, const DownloadActivity* download)
        : HeaderParts(g)
        , cruncher({ g.log, g.settings, groups, g.window, g.clock, headers, scan, view, g.yield })
        , connections({ g.settings, g.log, g.clock, g.prompts, g.window })
        , scanConnection({ g.settings, g.log, g.window, g.prompts, g.cues, g.clock, groups, scan, headers, cruncher,
              connections, activity, download })
    {
        QObject::connect(
            &cruncher, &Cruncher::stillCrunching, &connections, [this] { connections.markActivity(Conn::Scan); });
    }

    Cruncher cruncher;
    Connections connections;
    ScanConnection scanConnection;
};

// Serves GROUP and XOVER for alt.test holding articles 1..last; a test's own rules go first.
struct Fixture {
    Ground t;
    FakeNntpServer server;
    ScanParts ctx;
    qint64 last = 250;

    explicit Fixture(const Delivery& delivery = Delivery::whole(), const DownloadActivity* download = nullptr)
        : ctx(t, download)
    {
        server.setDelivery(delivery);
        pointAtServer(t.settings, server.port(), t);
        t.settings.sldXOVER = 100;
    }
    void serveGroup()
    {
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
    QMap<qint64, int> storedArticles(quint8 key) { return ::storedArticles(ctx.headers.headerPath(key)); }
    void waitForScanEnd()
    {
        QTRY_VERIFY_WITH_TIMEOUT(!ctx.scanConnection.scanning() && ctx.connections.state(Conn::Scan) == 0, 30000);
    }
    void scanToEnd()
    {
        ctx.scanConnection.StartScan();
        waitForScanEnd();
    }
};

} // namespace

class ScanTest : public QObject {
    Q_OBJECT
private slots:
    void scansEveryGroupInBurstsAndOnlyNewArticlesNextTime()
    {
        for (const Delivery& d : { Delivery::whole(), Delivery::chunks(61) }) {
            Fixture f(d);
            f.server.on(QStringLiteral("GROUP alt.none")).reply("411 no such group\r\n");
            f.serveGroup();
            const quint8 key = f.addGroup("alt.test");
            f.addGroup("alt.off");
            f.ctx.groups.toggleRows({ 1 });
            f.addGroup("alt.none");
            f.ctx.scanConnection.StartScan();
            QTRY_VERIFY_WITH_TIMEOUT(f.t.logged(QStringLiteral(" HPS.")), 60000);
            QTRY_COMPARE(f.ctx.connections.state(Conn::Scan), 0);
            QTRY_COMPARE(f.server.commands(),
                (QStringList {
                    "GROUP alt.test", "XOVER 1-100", "XOVER 101-200", "XOVER 201-300", "GROUP alt.none", "QUIT" }));
            QCOMPARE(f.ctx.groups.ngReadMarkByKey(key), 250);
            QCOMPARE(f.storedItems(key), 250);
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
            QTRY_COMPARE_WITH_TIMEOUT(f.storedItems(key), 260, 10000);
            QCOMPARE(f.ctx.groups.ngReadMarkByKey(key), 260);
        }
    }

    void silentServerTripsTheWatchdog()
    {
        Fixture f;
        f.addGroup("alt.test");
        f.ctx.settings.chkAllowRestart = 0;
        f.ctx.settings.sldTimeout = 60;
        f.server.on(QStringLiteral("GROUP alt.test")).reply("211 250 1 250 alt.test\r\n");
        f.server.onPrefix(QStringLiteral("XOVER ")).stall();
        f.ctx.scanConnection.StartScan();
        QTRY_VERIFY_WITH_TIMEOUT(f.server.commands().contains(QStringLiteral("XOVER 1-100")), 5000);
        f.t.clock.advance(60'000);
        f.ctx.scanConnection.watchdogTick();
        QCOMPARE(f.ctx.connections.state(Conn::Scan), 7);
        f.t.clock.advance(1'000);
        f.ctx.scanConnection.watchdogTick();
        QVERIFY(f.t.logged(
            QStringLiteral("WARNING: Server not responding -- 60 second timeout triggered, closing connection")));
        QCOMPARE(f.ctx.connections.state(Conn::Scan), 0);
        QVERIFY(f.ctx.window.isEnabled(MainWindowState::Control::Scan));

        // The user's abort logs the short line when almost nothing was read.
        f.ctx.scanConnection.AbortScan(true);
        QVERIFY(!f.ctx.scanConnection.scanning());
        QCOMPARE(f.ctx.scanConnection.groupIndex(), 0);
    }

    void interruptedScanResumesAfterTheCountdownWithNothingLostOrTwice()
    {
        struct Fault {
            const char* name;
            std::function<void(FakeNntpServer&)> script;
        };
        const QByteArray half = overview(101, 200).left(3000);
        const QList<Fault> faults {
            { "drop mid-burst",
                [half](FakeNntpServer& s) { s.on(QStringLiteral("XOVER 101-200")).reply(half).thenClose().once(); } },
            { "503", [](FakeNntpServer& s) { s.on(QStringLiteral("XOVER 101-200")).reply("503 timeout\r\n").once(); } },
            { "400",
                [](FakeNntpServer& s) { s.on(QStringLiteral("XOVER 201-300")).reply("400 going down\r\n").once(); } },
            { "dropped at GROUP", [](FakeNntpServer& s) { s.on(QStringLiteral("GROUP alt.test")).drop().once(); } },
        };
        for (const Fault& fault : faults) {
            Fixture f(Delivery::chunks(997));
            fault.script(f.server);
            f.serveGroup();
            const quint8 key = f.addGroup("alt.test");
            f.ctx.settings.chkAllowRestart = 1;
            f.ctx.settings.chkRestart500 = 1;
            f.ctx.settings.Rescan_Time = 3;
            f.ctx.scanConnection.StartScan();
            QTRY_VERIFY2_WITH_TIMEOUT(
                f.t.logged(QStringLiteral("Emergency Reconnect in 3 seconds.")), fault.name, 20000);
            QVERIFY2(!f.ctx.scanConnection.scanning(), fault.name);
            QVERIFY(f.ctx.window.text(MainWindowState::Label::LastScan).endsWith(QStringLiteral(" (incomplete)")));
            const qint64 markAtBreak = f.ctx.groups.ngReadMarkByKey(key);

            for (int i = 0; i < 3; ++i)
                f.ctx.scanConnection.countdownTick();
            QVERIFY(!f.ctx.scanConnection.countdownArmed());
            f.waitForScanEnd();
            QVERIFY2(f.t.logged(QStringLiteral(" HPS.")), fault.name);
            QVERIFY(f.ctx.groups.ngReadMarkByKey(key) >= markAtBreak);
            QCOMPARE(f.ctx.groups.ngReadMarkByKey(key), 250);
            QVERIFY2(holdsEachArticleOnce(f.storedArticles(key), 1, 250), fault.name);
            QCOMPARE(f.server.connectionCount(), 2);
            // The resumed scan picks up the interrupted group; it is not a new scan.
            QCOMPARE(f.t.logCount(QStringLiteral("Scan Initiated...")), 1);
        }
    }

    // Lines whose article number was not asked for are skipped and counted; they never move the
    // read mark, so the next scan still reads every article after it.
    void badOverviewLinesCannotMoveTheReadMark()
    {
        Fixture f;
        QByteArray hostile = overview(1, 100);
        hostile.chop(3); // the terminator goes after the bad lines
        for (const QByteArray& number : { QByteArray("900000"), QByteArray(25, '9'), QByteArray("-5"), QByteArray("0"),
                 QByteArray("12\0"
                            "3",
                     4),
                 QByteArray("\xff"
                            "77"),
                 QByteArray("101") })
            hostile += number + "\tbad (1/1)\tA <a@b.c>\t04 Dec 2002\t<bad" + number.toHex() + "@x>\t\t100\t1\r\n";
        hostile += "55\r\n\t\t\r\n77\tshort\r\n.\r\n";
        f.server.on(QStringLiteral("XOVER 1-100")).reply(hostile).once();
        f.serveGroup();
        const quint8 key = f.addGroup("alt.test");
        f.scanToEnd();
        QVERIFY(f.t.logged(QStringLiteral("Skipped 9 unusable overview lines (article numbers must lie in 1-100)")));
        QCOMPARE(f.ctx.groups.ngReadMarkByKey(key), 250);
        QVERIFY(holdsEachArticleOnce(f.storedArticles(key), 1, 250));
    }

    void errorAnswersEndTheBurstOrTheGroupAtOnce()
    {
        Fixture f;
        f.server.on(QStringLiteral("XOVER 101-200")).reply("423 no articles in that range\r\n").once();
        f.serveGroup();
        const quint8 key = f.addGroup("alt.test");
        f.scanToEnd();
        QTRY_COMPARE(f.server.commands(),
            (QStringList { "GROUP alt.test", "XOVER 1-100", "XOVER 101-200", "XOVER 201-300", "QUIT" }));
        QVERIFY(f.t.logged(QStringLiteral("423 no articles in that range")));
        QCOMPARE(f.storedItems(key), 150);

        // 421, 423 and 205 in answer to GROUP, and 500 without restart: each as the table says.
        Fixture g;
        g.server.on(QStringLiteral("GROUP alt.a")).reply("421 no next article\r\n");
        g.server.on(QStringLiteral("GROUP alt.b")).reply("423 bad number\r\n");
        g.server.on(QStringLiteral("GROUP alt.c")).reply("500 what?\r\n");
        g.serveGroup();
        for (const char* name : { "alt.a", "alt.b", "alt.c" })
            g.addGroup(name);
        g.ctx.settings.chkRestart500 = 0;
        g.ctx.scanConnection.StartScan();
        QTRY_VERIFY_WITH_TIMEOUT(g.t.prompts.messages.contains(QStringLiteral("Error: 500 what?")), 10000);
        QCOMPARE(g.server.commands(), (QStringList { "GROUP alt.a", "GROUP alt.b", "GROUP alt.c" }));
        QVERIFY(g.t.logged(QStringLiteral("423 no such article number in this group")));
        QCOMPARE(g.ctx.connections.state(Conn::Scan), 0);
        QVERIFY(g.ctx.window.isEnabled(MainWindowState::Control::Scan));

        // A range at the ends of 64 bits overflows nothing (the sanitizer build would stop here).
        Fixture h;
        h.server.on(QStringLiteral("GROUP alt.test")).reply("211 5 -9223372036854775807 300 alt.test\r\n");
        h.server.onPrefix(QStringLiteral("XOVER ")).reply("224 none\r\n.\r\n");
        const quint8 wide = h.addGroup("alt.test");
        h.ctx.scanConnection.StartScan();
        h.waitForScanEnd();
        QVERIFY(h.ctx.groups.ngReadMarkByKey(wide) >= 0 && h.ctx.groups.ngReadMarkByKey(wide) <= 300);
    }

    void anotherConnectionFailingLeavesTheScanAlone()
    {
        Fixture f(Delivery::chunks(997));
        f.last = 1000;
        f.serveGroup();
        const quint8 key = f.addGroup("alt.test");
        f.ctx.scanConnection.StartScan();
        QTRY_VERIFY_WITH_TIMEOUT(f.server.commands().contains(QStringLiteral("XOVER 101-200")), 10000);
        // A second connection is dropped at its greeting and closed by its owner mid-scan.
        f.server.greeting().drop();
        QVERIFY(f.ctx.connections.OpenConnection(Conn::Download));
        QTRY_COMPARE(f.server.connectionCount(), 2);
        f.ctx.connections.CloseSocket(Conn::Download);
        f.ctx.scanConnection.watchdogTick();
        QVERIFY(f.ctx.scanConnection.watchdogActive());
        f.waitForScanEnd();
        QVERIFY(f.t.logged(QStringLiteral(" HPS.")));
        QCOMPARE(f.ctx.groups.ngReadMarkByKey(key), 1000);
        QCOMPARE(f.storedItems(key), 1000);

        // While the download holds the line, a stopped scan leaves Scan switched off.
        struct Busy final : DownloadActivity {
            bool downloadBusy() const override { return true; }
        } busy;
        Fixture g(Delivery::whole(), &busy);
        g.serveGroup();
        g.addGroup("alt.test");
        g.ctx.scanConnection.StartScan();
        QTRY_VERIFY_WITH_TIMEOUT(g.server.commands().contains(QStringLiteral("XOVER 101-200")), 10000);
        g.ctx.scanConnection.AbortScan(true);
        QVERIFY(!g.t.window.isEnabled(MainWindowState::Control::Scan));
    }

    void failedSaveStopsTheScanAndTheNextScanFillsTheGap()
    {
        auto scanned = [](Fixture& f) {
            f.last = 3000;
            f.ctx.settings.sldXOVER = 1000;
            f.serveGroup();
            return f.addGroup("alt.test");
        };
        Fixture reference;
        const quint8 refKey = scanned(reference);
        reference.scanToEnd();
        const QByteArray undisturbed = reference.t.readFile(QStringLiteral("cache/alt.test/headers.twb"));
        QVERIFY(undisturbed.size() > 1000 && reference.ctx.groups.ngReadMarkByKey(refKey) == 3000);

        for (const bool quickSave : { true, false }) {
            Fixture f;
            const quint8 key = scanned(f);
            // A folder in the file's place: the header file cannot be written, as on a full disk.
            const QString blocker = f.t.path(QStringLiteral("cache/alt.test/headers.twb"));
            QVERIFY(QDir().mkpath(blocker + QStringLiteral("/x")));
            // Half a minute passes after the first burst, so the second one is quick-saved.
            bool advanced = !quickSave;
            QObject::connect(&f.ctx.log.entries(), &QAbstractItemModel::rowsInserted, [&] {
                if (!advanced && f.t.logged(QStringLiteral("Crunched burst of 1000 headers."))) {
                    advanced = true;
                    f.t.clock.advance(31'000);
                }
            });
            f.scanToEnd();
            QCOMPARE(f.t.prompts.messages.size(), 1);
            QVERIFY(f.t.prompts.messages[0].startsWith(QStringLiteral("The headers could not be saved: ") + blocker));
            QCOMPARE(f.t.logged(QStringLiteral("----Qsave---------")), quickSave);
            QCOMPARE(f.t.logCount(QStringLiteral("Crunched burst of")), quickSave ? 1 : 3);
            QCOMPARE(f.ctx.groups.ngReadMarkByKey(key), 0);
            QVERIFY(!f.t.readFile(QStringLiteral("favs.txt")).contains("alt.test,3000"));

            QVERIFY(QDir(blocker).removeRecursively());
            f.scanToEnd();
            QCOMPARE(f.ctx.groups.ngReadMarkByKey(key), 3000);
            QCOMPARE(f.t.readFile(QStringLiteral("cache/alt.test/headers.twb")), undisturbed);
        }
    }

    void compressedScanStoresWhatAPlainOneDoes()
    {
        auto scanned = [](Fixture& f) {
            f.last = 1000;
            f.ctx.settings.sldXOVER = 300;
            f.server.on(QStringLiteral("CAPABILITIES")).reply("101 list\r\nREADER\r\nCOMPRESS DEFLATE\r\n.\r\n");
            f.server.on(QStringLiteral("COMPRESS DEFLATE")).reply("206 on\r\n").thenCompress();
            f.serveGroup();
            return f.addGroup("alt.test");
        };
        Fixture plain;
        scanned(plain);
        plain.scanToEnd();
        const QByteArray reference = plain.t.readFile(QStringLiteral("cache/alt.test/headers.twb"));
        QVERIFY(reference.size() > 1000);

        for (const Delivery& d : { Delivery::whole(), Delivery::chunks(31) }) {
            Fixture f(d);
            scanned(f);
            f.ctx.settings.chkCompress = 1;
            f.scanToEnd();
            QTRY_COMPARE(f.server.commands(),
                (QStringList { "CAPABILITIES", "COMPRESS DEFLATE", "GROUP alt.test", "XOVER 1-300", "XOVER 301-600",
                    "XOVER 601-900", "XOVER 901-1200", "QUIT" }));
            QVERIFY(f.t.logged(QStringLiteral("Compression on")));
            QCOMPARE(f.t.readFile(QStringLiteral("cache/alt.test/headers.twb")), reference);
        }

        // A corrupt stream mid-scan fails the connection with one line; the restart resumes the group.
        Fixture f;
        f.server.on(QStringLiteral("XOVER 301-600")).stall().once();
        const quint8 key = scanned(f);
        f.ctx.settings.chkCompress = 1;
        f.ctx.settings.chkAllowRestart = 1;
        f.ctx.settings.Rescan_Time = 3;
        f.ctx.scanConnection.StartScan();
        QTRY_VERIFY_WITH_TIMEOUT(f.server.commands().contains(QStringLiteral("XOVER 301-600")), 10000);
        f.server.push(QByteArray(64, '\xff'));
        QTRY_VERIFY_WITH_TIMEOUT(f.t.logged(QStringLiteral("Emergency Reconnect in 3 seconds.")), 10000);
        QCOMPARE(f.t.logCount(QStringLiteral("Compressed data from the server is corrupt")), 1);
        for (int i = 0; i < 3; ++i)
            f.ctx.scanConnection.countdownTick();
        f.waitForScanEnd();
        QCOMPARE(f.server.connectionCount(), 2);
        QCOMPARE(f.ctx.groups.ngReadMarkByKey(key), 1000);
        QVERIFY(holdsEachArticleOnce(f.storedArticles(key), 1, 1000));
    }

    void userAbortDuringABurstKeepsWhatWasCrunched()
    {
        Fixture f;
        f.last = 3000;
        f.ctx.settings.sldXOVER = 1000;
        f.server.on(QStringLiteral("XOVER 1001-2000")).stall();
        f.serveGroup();
        const quint8 key = f.addGroup("alt.test");
        f.ctx.scanConnection.StartScan();
        QTRY_VERIFY_WITH_TIMEOUT(f.server.commands().contains(QStringLiteral("XOVER 1001-2000")), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(f.ctx.groups.ngReadMarkByKey(key) == 1000, 10000);
        f.ctx.scanConnection.AbortScan(true);
        QCOMPARE(f.t.logCount(QStringLiteral("Scan Aborted by user. 1000 headers read in")), 1);
        QCOMPARE(f.storedItems(key), 1000);
        QCOMPARE(f.ctx.groups.recordByKey(key)->unread, 2000);
        QTRY_COMPARE(f.ctx.connections.state(Conn::Scan), 0);
    }
};

TW_TEST(ScanTest)
#include "scan_test.moc"
