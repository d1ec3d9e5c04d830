#include "batch/served_parts.h"
#include "support/test_registry.h"

#include <QFile>
#include <QSignalSpy>

namespace {

using articles::randomBytes;
using articles::yencBodies;

// ARTICLE commands over every connection, sorted.
QStringList allArticleCommands(const DownloadParts& f, qsizetype fromConnection = 0)
{
    QStringList all;
    const QList<QStringList> byConnection = f.server.commandsByConnection();
    for (qsizetype c = fromConnection; c < byConnection.size(); ++c)
        all += byConnection[c].filter(QStringLiteral("ARTICLE"));
    all.sort();
    return all;
}

QStringList articleCommandsFor(const QList<DownloadParts::Post>& posts)
{
    QStringList all;
    for (const DownloadParts::Post& p : posts) {
        for (const QByteArray& id : p.ids)
            all.append(QStringLiteral("ARTICLE ") + QString::fromLatin1(id));
    }
    all.sort();
    return all;
}

// A reply for the first `accepted` times it is asked for, `refusal` after that.
std::function<QByteArray(const QString&)> refuseAfter(int accepted, QByteArray ok, QByteArray refusal)
{
    return [n = 0, accepted, ok, refusal](const QString&) mutable { return ++n > accepted ? refusal : ok; };
}

} // namespace

class DownloadTest : public QObject {
    Q_OBJECT
private slots:
    // Two posts of one group, however the replies are split: one GROUP, every part fetched once,
    // the files decoded byte for byte, the cache emptied and the batch done.
    void downloadsAndDecodesTheBatch()
    {
        for (const Delivery& d : { Delivery::whole(), Delivery::chunks(997) }) {
            DownloadParts f(d);
            const QByteArray one = randomBytes(40000, 1);
            const QByteArray two = randomBytes(5000, 2);
            const auto a = f.post("one.bin", yencBodies(one, "one.bin", 3));
            const auto b = f.post("two.bin", articles::uuBodies(two, "two.bin", 2));
            f.server.on(QStringLiteral("GROUP alt.other")).reply("211 1 1 1 alt.other\r\n");
            const auto c = f.post("three.bin", yencBodies(two, "three.bin", 1));
            f.moveTo(c, "alt.other");
            f.queue(a);
            f.queue(b);
            f.queue(c);
            f.runToEnd();

            // GROUP only when the group changes.
            QCOMPARE(f.server.commands().filter(QStringLiteral("GROUP")),
                (QStringList { QStringLiteral("GROUP alt.test"), QStringLiteral("GROUP alt.other") }));
            QCOMPARE(f.articleCommands().size(), 6);
            QCOMPARE(f.t.readFile(QStringLiteral("download/three.bin")), two);
            QCOMPARE(f.t.readFile(QStringLiteral("download/one.bin")), one);
            QCOMPARE(f.t.readFile(QStringLiteral("download/two.bin")), two);
            QVERIFY(!f.batch.hasWork());
            QCOMPARE(f.batch.processed().rowCount(), 3);
            QCOMPARE(f.batch.processed().row(0).status, QStringLiteral("Decode successful"));
            QCOMPARE(f.batch.processed().row(1).filePath, f.downloaded(QStringLiteral("two.bin")));
            QVERIFY(!QFile::exists(f.cached(a.numbers[0])));
            QVERIFY(!f.t.window.indicatorBusy());
            QVERIFY(f.t.window.isEnabled(MainWindowState::Control::Scan));
        }
    }

    void articleSplitAtEveryByte()
    {
        DownloadParts f(Delivery::chunks(1));
        const QByteArray data = randomBytes(60, 8);
        f.queue(f.post("tiny.bin", yencBodies(data, "tiny.bin", 1)));
        f.runToEnd();
        QCOMPARE(f.t.readFile(QStringLiteral("download/tiny.bin")), data);
    }

    // A part already in the cache is never fetched again: an entry with all its parts cached is
    // decoded without a connection, and one deleted cache file is all that is fetched.
    void resumesFromTheCache()
    {
        DownloadParts f;
        f.t.settings.chkSaveDecodes2 = 1; // keep the cache
        const QByteArray data = randomBytes(30000, 3);
        const auto p = f.post("keep.bin", yencBodies(data, "keep.bin", 4));
        f.queue(p);
        f.runToEnd();
        QCOMPARE(f.articleCommands().size(), 4);
        QCOMPARE(
            f.t.readFile(QStringLiteral("cache/alt.test/") + QString::number(p.numbers[1]) + ".UUE"), p.articles[1]);

        f.batch.AddBatchRow(1);
        f.runToEnd();
        QCOMPARE(f.server.connectionCount(), 1);
        QCOMPARE(f.t.readFile(QStringLiteral("download/keep.2.bin")), data);

        QVERIFY(QFile::remove(f.cached(p.numbers[2])));
        f.batch.AddBatchRow(1);
        f.runToEnd();
        QCOMPARE(f.articleCommands(), QStringList { QStringLiteral("ARTICLE ") + p.ids[2] });
        QCOMPARE(f.t.readFile(QStringLiteral("download/keep.3.bin")), data);
    }

    // The answers that give up a part: 430 asks again by number once, then the entry is skipped;
    // 423 and an unknown group skip it at once, and that group is asked for again by the next
    // entry in it; the batch goes on with the next entry.
    void missingArticlesSkipTheEntry()
    {
        DownloadParts f;
        const QByteArray data = randomBytes(9000, 4);
        const auto gone = f.post("gone.bin", yencBodies(data, "gone.bin", 3), 2);
        const auto byNumber = f.post("late.bin", yencBodies(data, "late.bin", 2), 1);
        const auto expired = f.post("expired.bin", yencBodies(data, "expired.bin", 2), 2);
        const auto lost = f.post("lost.bin", yencBodies(data, "lost.bin", 1));
        const auto lostToo = f.post("lost2.bin", yencBodies(data, "lost2.bin", 1));
        const auto fine = f.post("fine.bin", yencBodies(data, "fine.bin", 1));
        f.moveTo(lost, "alt.gone");
        f.moveTo(lostToo, "alt.gone");
        f.server.on(QStringLiteral("GROUP alt.gone")).reply("411 no such group\r\n");
        f.server.on(QStringLiteral("ARTICLE ") + gone.ids[1]).reply("430 no such article\r\n");
        f.server.on(QStringLiteral("ARTICLE %1").arg(gone.numbers[1])).reply("430 no such article\r\n");
        f.server.on(QStringLiteral("ARTICLE ") + byNumber.ids[0]).reply("430 no such article\r\n");
        f.server.on(QStringLiteral("ARTICLE %1").arg(byNumber.numbers[0]))
            .reply(articles::articleReply(byNumber.articles[0]));
        f.server.on(QStringLiteral("ARTICLE ") + expired.ids[1]).reply("423 no such article number\r\n");
        for (const auto& p : { gone, byNumber, expired, lost, lostToo, fine })
            f.queue(p);
        f.runToEnd();

        const QStringList statuses = [&] {
            QStringList s;
            for (int r = 0; r < f.batch.processed().rowCount(); ++r)
                s << f.batch.processed().row(r).status;
            return s;
        }();
        const QString gave = QStringLiteral("Item no longer available on server");
        const QString noGroup = QStringLiteral("Error: the server does not carry alt.gone");
        QCOMPARE(statuses,
            (QStringList { gave, QStringLiteral("Decode successful"), gave, noGroup, noGroup,
                QStringLiteral("Decode successful") }));
        QCOMPARE(f.server.commands().filter(QStringLiteral("GROUP")),
            (QStringList { "GROUP alt.test", "GROUP alt.gone", "GROUP alt.gone", "GROUP alt.test" }));
        QCOMPARE(f.t.logCount(QStringLiteral("No such group: alt.gone; skipping lost")), 2);
        QVERIFY(f.t.logged(QStringLiteral("Article expired!  Skipping gone.bin [xx/0000003].")));
        QCOMPARE(f.t.readFile(QStringLiteral("download/late.bin")), data);
        QCOMPARE(f.t.readFile(QStringLiteral("download/fine.bin")), data);
        QVERIFY(!QFile::exists(f.downloaded(QStringLiteral("gone.bin"))));
        QVERIFY(!f.batch.hasWork());
    }

    // Server failures end the download: a critical error with or without the restart, a silent
    // server, the server closing mid-article, an article that is not the one asked for.
    void failuresStopOrRestart()
    {
        const QByteArray data = randomBytes(4000, 5);
        {
            DownloadParts f;
            const auto p = f.post("x.bin", yencBodies(data, "x.bin", 1), 1);
            f.server.on(QStringLiteral("ARTICLE ") + p.ids[0]).reply("503 program fault\r\n");
            f.queue(p);
            f.runToEnd();
            QCOMPARE(f.t.prompts.messages.value(0), QStringLiteral("Error: 503 program fault"));
            QVERIFY(f.batch.hasWork());
            QVERIFY(f.t.window.isEnabled(MainWindowState::Control::Scan));

            f.t.settings.chkRestart500 = 1;
            QSignalSpy restarts(&f.download, &BatchDownload::restartNeeded);
            f.runToEnd();
            QCOMPARE(restarts.size(), 1);
            QVERIFY(f.t.logged(QStringLiteral("critical server error detected.  Emergency restart pending...")));
        }
        {
            DownloadParts f;
            const auto p = f.post("x.bin", yencBodies(data, "x.bin", 1), 1);
            f.server.on(QStringLiteral("ARTICLE ") + p.ids[0]).stall();
            f.queue(p);
            QSignalSpy restarts(&f.download, &BatchDownload::restartNeeded);
            f.download.DownloadBatch();
            QTRY_COMPARE(f.articleCommands().size(), 1);
            f.t.settings.sldTimeout = 60;
            f.t.clock.advance(60'000);
            f.download.watchdogTick();
            QCOMPARE(restarts.size(), 0);
            f.t.clock.advance(1'000);
            f.download.watchdogTick();
            QCOMPARE(restarts.size(), 1);
            QVERIFY(f.t.logged(
                QStringLiteral("WARNING: Server not responding -- 60 second timeout triggered, closing connection")));
            QVERIFY(!f.download.running());
        }
        {
            // The wrong article three times in a row: the part is given up, nothing is cached.
            DownloadParts f;
            const auto p = f.post("x.bin", yencBodies(data, "x.bin", 1), 1);
            const QByteArray other = articles::article("other", "<other@x>", "body\r\n");
            f.server.on(QStringLiteral("ARTICLE ") + p.ids[0]).reply(articles::articleReply(other));
            f.queue(p);
            QSignalSpy restarts(&f.download, &BatchDownload::restartNeeded);
            for (int i = 0; i < BatchDownload::kCorruptTries && f.batch.hasWork(); ++i)
                f.runToEnd();
            QCOMPARE(restarts.size(), BatchDownload::kCorruptTries - 1);
            QVERIFY(!f.batch.hasWork());
            QVERIFY(!QFile::exists(f.cached(p.numbers[0])));
            QCOMPARE(f.batch.processed().rowCount(), 1);
        }
    }

    // A cache file that cannot be written stops the download, leaves no file and counts as missing.
    void failedCacheWriteStops()
    {
        DownloadParts f;
        const QByteArray data = randomBytes(4000, 6);
        const auto p = f.post("x.bin", yencBodies(data, "x.bin", 2));
        f.queue(p);
        // A folder where the part's file should go: the rename onto it fails.
        QVERIFY(QDir().mkpath(f.cached(p.numbers[0])));
        f.runToEnd();
        QVERIFY(f.t.logCount(QStringLiteral("ArticleReceived Error: ")) == 1);
        QVERIFY(!f.t.logged(QStringLiteral("File saved: ") + f.cached(p.numbers[0])));
        QCOMPARE(f.t.prompts.messages.size(), 1);
        QVERIFY(f.batch.hasWork());
        QCOMPARE(QDir(f.t.path(QStringLiteral("cache/alt.test"))).entryList(QDir::Files), QStringList());

        QVERIFY(QDir(f.cached(p.numbers[0])).removeRecursively());
        f.runToEnd();
        QCOMPARE(f.t.readFile(QStringLiteral("download/x.bin")), data);
    }

    // Stop during a decode that lets events run, then Download: the entry is decoded once and the
    // batch goes on with the next.
    void stopAndStartDuringADecode()
    {
        DownloadParts f;
        const QByteArray data = randomBytes(6000, 7);
        const auto a = f.post("a.bin", yencBodies(data, "a.bin", 2));
        const auto b = f.post("b.bin", yencBodies(data, "b.bin", 1));
        f.queue(a);
        f.queue(b);
        bool clicked = false;
        QObject::connect(&f.decoder, &EntryDecoder::stillDecoding, &f.download, [&] {
            if (clicked)
                return;
            clicked = true;
            f.download.Stop();
            f.download.DownloadBatch();
        });
        f.runToEnd();
        QCOMPARE(f.batch.processed().rowCount(), 2);
        QCOMPARE(f.t.readFile(QStringLiteral("download/a.bin")), data);
        QVERIFY(!QFile::exists(f.downloaded(QStringLiteral("a.2.bin"))));
        QCOMPARE(f.t.readFile(QStringLiteral("download/b.bin")), data);
    }
};

class MultiConnectionDownloadTest : public QObject {
    Q_OBJECT
private slots:
    // Three connections, however the replies are split: every part fetched exactly once, GROUP on
    // a connection only when its group changes, the entries decoded in batch order byte for byte,
    // and the status line telling how many connections are busy.
    void everyPartOnceOverSeveralConnections()
    {
        for (const Delivery& d : { Delivery::whole(), Delivery::chunks(997) }) {
            DownloadParts f(d);
            f.t.settings.Download_Connections = 3;
            QStringList statusLines;
            QObject::connect(&f.t.window, &MainWindowState::textChanged, &f.download,
                [&](MainWindowState::Label label, const QString& text) {
                    if (label == MainWindowState::Label::Status)
                        statusLines << text;
                });
            const QByteArray one = randomBytes(90000, 11);
            const QByteArray two = randomBytes(7000, 12);
            f.server.on(QStringLiteral("GROUP alt.other")).reply("211 1 1 1 alt.other\r\n");
            const QList<DownloadParts::Post> posts { f.post("one.bin", yencBodies(one, "one.bin", 7)),
                f.post("two.bin", articles::uuBodies(two, "two.bin", 2)),
                f.post("three.bin", yencBodies(two, "three.bin", 1)),
                f.post("four.bin", yencBodies(two, "four.bin", 2)) };
            f.moveTo(posts[2], "alt.other");
            for (const auto& p : posts)
                f.queue(p);
            f.runToEnd();

            QCOMPARE(allArticleCommands(f), articleCommandsFor(posts));
            QCOMPARE(f.server.connectionCount(), 3);
            for (const QStringList& commands : f.server.commandsByConnection()) {
                const QStringList groups = commands.filter(QStringLiteral("GROUP"));
                for (qsizetype i = 1; i < groups.size(); ++i)
                    QVERIFY2(groups[i] != groups[i - 1], qPrintable(commands.join(u',')));
            }
            const QStringList names { "one.bin", "two.bin", "three.bin", "four.bin" };
            QCOMPARE(f.batch.processed().rowCount(), names.size());
            for (int r = 0; r < names.size(); ++r)
                QCOMPARE(f.batch.processed().row(r).filePath, f.downloaded(names[r]));
            QCOMPARE(f.t.readFile(QStringLiteral("download/one.bin")), one);
            for (const QString& name : names.sliced(1))
                QCOMPARE(f.t.readFile(QStringLiteral("download/") + name), two);
            if (d.mode == Delivery::Mode::Chunks)
                QVERIFY(!statusLines.filter(QStringLiteral(" of 3 connections busy)")).isEmpty());
            QVERIFY(!f.download.downloadBusy());
        }
    }

    // A download stopped while parts are in flight, one of them held up by the server, fetches
    // exactly the parts without a cache file when it starts again.
    void interruptedDownloadFetchesOnlyTheMissingParts()
    {
        DownloadParts f(Delivery::chunks(4096));
        f.t.settings.Download_Connections = 3;
        const QByteArray data = randomBytes(120000, 13);
        const auto p = f.post("big.bin", yencBodies(data, "big.bin", 10), 2);
        f.server.on(QStringLiteral("ARTICLE ") + p.ids[1]).stall().once();
        f.server.on(QStringLiteral("ARTICLE ") + p.ids[1]).reply(articles::articleReply(p.articles[1]));
        f.queue(p);
        auto cached = [&] {
            QStringList have;
            for (qint64 n : p.numbers) {
                if (QFile::exists(f.cached(n)))
                    have << f.cached(n);
            }
            return have;
        };
        f.download.DownloadBatch();
        QTRY_VERIFY_WITH_TIMEOUT(cached().size() >= 4, 10000);
        f.download.Stop();
        QStringList missing;
        for (qsizetype i = 0; i < p.ids.size(); ++i) {
            if (!QFile::exists(f.cached(p.numbers[i])))
                missing << QStringLiteral("ARTICLE ") + QString::fromLatin1(p.ids[i]);
        }
        missing.sort();
        QVERIFY(missing.contains(QStringLiteral("ARTICLE ") + QString::fromLatin1(p.ids[1])));

        const qsizetype before = f.server.connectionCount();
        f.runToEnd();
        QCOMPARE(allArticleCommands(f, before), missing);
        QCOMPARE(f.t.readFile(QStringLiteral("download/big.bin")), data);
    }

    // A server that turns away connections beyond its limit, at the greeting or at the login, costs
    // one log line and the download goes on over the others; refusing every one is a failure.
    void refusedConnectionsLowerTheCount()
    {
        struct Case {
            const char* name;
            QByteArray refusal;
            bool atLogin;
            int accepted;
        };
        const Case cases[] = {
            { "502 at greeting", "502 too many connections\r\n", false, 2 },
            { "400 at greeting", "400 too many connections\r\n", false, 1 },
            { "481 at login", "481 too many connections for your user\r\n", true, 2 },
            { "all refused", "502 too many connections\r\n", false, 0 },
        };
        for (const Case& c : cases) {
            DownloadParts f;
            f.t.settings.Download_Connections = 3;
            if (c.atLogin) {
                f.t.settings.chkAuth = 1;
                f.t.settings.User_Name = QStringLiteral("u");
                f.t.settings.password = "p";
                f.server.on(QStringLiteral("AUTHINFO USER u")).reply("381 more\r\n");
                f.server.on(QStringLiteral("AUTHINFO PASS p")).reply(refuseAfter(c.accepted, "281 ok\r\n", c.refusal));
            } else {
                f.server.greeting().reply(refuseAfter(c.accepted, "200 ready\r\n", c.refusal));
            }
            const QByteArray data = randomBytes(30000, 14);
            const QList<DownloadParts::Post> posts { f.post("a.bin", yencBodies(data, "a.bin", 5)),
                f.post("b.bin", yencBodies(data, "b.bin", 1)) };
            for (const auto& p : posts)
                f.queue(p);
            f.runToEnd();

            const int refused = 3 - std::max(c.accepted, 1);
            QCOMPARE(f.t.logCount(QStringLiteral("The server refused another connection")), refused);
            if (c.accepted == 0) {
                QCOMPARE(f.t.prompts.messages.value(0), QStringLiteral("Error: ") + c.refusal.trimmed());
                QVERIFY(f.batch.hasWork());
                continue;
            }
            QVERIFY2(f.t.logged(QStringLiteral("; connections in use: %1.").arg(c.accepted)), c.name);
            QCOMPARE(allArticleCommands(f), articleCommandsFor(posts));
            QCOMPARE(f.t.readFile(QStringLiteral("download/a.bin")), data);
            QCOMPARE(f.t.readFile(QStringLiteral("download/b.bin")), data);
            QVERIFY(f.t.prompts.messages.isEmpty());
        }
    }

    // One connection failing (the server closing it mid-article, or falling silent) restarts
    // alone: its part is fetched by another connection and the download completes without a
    // restart of the whole.
    void oneFailingConnectionRestartsAlone()
    {
        for (const bool silent : { false, true }) {
            DownloadParts f;
            f.t.settings.Download_Connections = 3;
            f.t.settings.chkRestart500 = 1;
            const QByteArray data = randomBytes(30000, 15);
            const auto p = f.post("a.bin", yencBodies(data, "a.bin", 6), 3);
            FakeNntpRule& fault = f.server.on(QStringLiteral("ARTICLE ") + p.ids[2]).once();
            silent ? fault.stall() : fault.drop();
            f.server.on(QStringLiteral("ARTICLE ") + p.ids[2]).reply(articles::articleReply(p.articles[2]));
            f.queue(p);
            QSignalSpy restarts(&f.download, &BatchDownload::restartNeeded);
            f.download.DownloadBatch();
            if (silent) {
                QTRY_COMPARE(allArticleCommands(f).size(), 6);
                // Let the others finish their parts: only the silent one is past the timeout.
                QTest::qWait(200);
                f.t.clock.advance((f.t.settings.sldTimeout + 1) * 1000);
                f.download.watchdogTick();
            }
            QTRY_VERIFY_WITH_TIMEOUT(!f.download.running(), 10000);
            QCOMPARE(restarts.size(), 0);
            QVERIFY(f.t.logged(QStringLiteral(" reconnects in 90 seconds; the others go on.")));
            QCOMPARE(allArticleCommands(f).count(QStringLiteral("ARTICLE ") + p.ids[2]), 2);
            QCOMPARE(f.t.readFile(QStringLiteral("download/a.bin")), data);
        }
    }
};

TW_TEST(DownloadTest)
TW_TEST(MultiConnectionDownloadTest)
#include "download_test.moc"
