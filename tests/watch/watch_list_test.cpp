#include "headers/item_table.h"
#include "support/fake_nntp_server.h"
#include "support/ground.h"
#include "support/server_settings.h"
#include "support/stored_items.h"
#include "support/test_context.h"
#include "support/test_registry.h"
#include "watch/filters_file.h"
#include "watch/watch_list.h"
#include "watch/watch_matcher.h"

#include <QAbstractItemModelTester>
#include <QRandomGenerator>
#include <QTest>

#include <csignal>
#include <sys/resource.h>

namespace {

struct Fixture : Ground {
    WatchList watch { { log, settings, prompts, path(QLatin1String(WatchList::kFileName)) } };

    Fixture()
    {
        settings.chkEnableWatch = 1;
        settings.chkEnableLogging = 1;
    }
    void add(QList<QByteArray> phrases, WatchField where, bool matchCase, WatchAction action)
    {
        QVERIFY(watch.WatchList_Add(std::move(phrases), where, matchCase, action));
    }
    [[nodiscard]] QByteArray file() const { return readFile(QLatin1String(WatchList::kFileName)); }
    [[nodiscard]] bool fileExists() const { return QFileInfo::exists(path(QLatin1String(WatchList::kFileName))); }
    // Loads the file into a fresh list, as the next start of the program would.
    [[nodiscard]] QList<WatchEntry> reload()
    {
        WatchList fresh({ log, settings, prompts, path(QLatin1String(WatchList::kFileName)) });
        fresh.WatchList_Get();
        return fresh.entries();
    }
};

// The matching rule, read straight: every must phrase in the text, no must-not phrase.
bool naiveMatch(const WatchEntry& e, QByteArray text)
{
    if (text.isEmpty())
        return false;
    if (!e.matchCase)
        text = text.toUpper();
    for (QByteArray p : e.phrases) {
        const bool negative = p.startsWith('-');
        if (negative)
            p.remove(0, 1);
        if (!e.matchCase)
            p = p.toUpper();
        if (text.contains(p) == negative)
            return false;
    }
    return true;
}

const QByteArray kTwoEntries
    = " 2\r\n 1\r\nlinux\r\n\r\n 0\r\nFalse\r\n1\r\n 2\r\nrar\r\n-Spam\r\n\r\n 1\r\nTrue\r\n0\r\n";

} // namespace

class WatchListTest : public QObject {
    Q_OBJECT
private slots:
    void killRules()
    {
        const QList<QByteArray> linuxNotIso { "linux", "-iso" };
        struct Case {
            QList<QByteArray> phrases;
            WatchField where;
            bool matchCase;
            QByteArray subject, poster;
            bool killed;
        };
        const Case cases[] = {
            { linuxNotIso, WatchField::Subject, false, "Linux Tools (1/3)", "p", true },
            { linuxNotIso, WatchField::Subject, false, "LINUX.ISO image", "p", false },
            { linuxNotIso, WatchField::Subject, true, "Linux Tools", "p", false },
            { linuxNotIso, WatchField::Subject, true, "linux tools", "p", true },
            { { "rar" }, WatchField::Subject, true, "the library", "p", true },
            { { "-iso" }, WatchField::Subject, false, "", "p", false }, // nothing is in an empty text
            { { "a", "-" }, WatchField::Subject, false, "a", "p", false }, // "" is in every text
            { { "Bob" }, WatchField::From, true, "Bob", "Alice", false },
            { { "Bob" }, WatchField::From, true, "x", "Bob Poster", true },
        };
        for (const Case& c : cases) {
            Fixture f;
            f.add(c.phrases, c.where, c.matchCase, WatchAction::Kill);
            QVERIFY2(f.watch.WatchList_Check_KILL(c.subject, c.poster) == c.killed, c.subject.constData());
            // An add rule never kills, and the option off stops every rule.
            f.settings.chkEnableWatch = 0;
            QVERIFY(!f.watch.WatchList_Check_KILL(c.subject, c.poster));
        }
        Fixture f;
        f.add({ "linux" }, WatchField::Subject, false, WatchAction::AddToBatch);
        QVERIFY(!f.watch.WatchList_Check_KILL("linux", "linux"));
    }

    void addRulesSeeTheKeyAndPosterWithABlank()
    {
        ItemTable table;
        auto item = [&](const QByteArray& key, const QByteArray& poster) {
            const int slot = table.appendItem();
            table.item(slot).key = table.addString(key);
            table.item(slot).poster = table.addPoster(poster);
            return slot;
        };
        const int smith = item("holiday [xx/0000003]", "John Smith");
        const int smithers = item("holiday [xx/0000003]", "John Smithers");
        const int suffix = item("tools.rar [xx/0000003]", "Ann");
        Fixture f;
        f.add({ "Smith " }, WatchField::From, true, WatchAction::AddToBatch);
        f.add({ "0003]" }, WatchField::Subject, true, WatchAction::AddToBatch);
        f.add({ "tools" }, WatchField::Subject, false, WatchAction::Kill);
        QVERIFY(f.watch.WatchList_Check_ADD(table, smith));
        QVERIFY(f.watch.WatchList_Check_ADD(table, suffix));
        QVERIFY(!f.watch.WatchList_Check_ADD(table, 4));
        f.watch.WatchList_RemoveItem(2);
        QCOMPARE(f.prompts.questions.last(), QStringLiteral("Are you sure you want to remove:0003]"));
        QCOMPARE(f.watch.entries().size(), 3); // answered No
        f.prompts.yesNoAnswers = { true };
        f.watch.WatchList_RemoveItem(2);
        QVERIFY(f.watch.WatchList_Check_ADD(table, smith));
        QVERIFY(!f.watch.WatchList_Check_ADD(table, smithers));
        QVERIFY(!f.watch.WatchList_Check_ADD(table, suffix)); // a kill rule does not add
        f.settings.chkEnableWatch = 0;
        QVERIFY(!f.watch.WatchList_Check_ADD(table, smith));
    }

    // Many phrases that overlap and nest are found as a plain search finds them.
    void matchesAsPlainSearchesDo()
    {
        QRandomGenerator rng(15);
        auto word = [&](int max) {
            QByteArray w;
            for (int n = rng.bounded(1, max + 1); n > 0; --n)
                w += "abAB"[rng.bounded(4)];
            return w;
        };
        for (int round = 0; round < 300; ++round) {
            QList<WatchEntry> entries;
            for (int n = rng.bounded(1, 6); n > 0; --n) {
                WatchEntry e { {}, WatchField::Subject, rng.bounded(2) == 1, WatchAction::Kill };
                for (int p = rng.bounded(1, 4); p > 0; --p)
                    e.phrases << (rng.bounded(3) == 0 ? "-" : "") + word(4);
                entries << e;
            }
            WatchMatcher matcher;
            matcher.build(entries);
            for (int t = 0; t < 20; ++t) {
                const QByteArray text = word(12);
                const bool expected = std::any_of(
                    entries.cbegin(), entries.cend(), [&](const WatchEntry& e) { return naiveMatch(e, text); });
                QCOMPARE(matcher.matches(WatchAction::Kill, WatchField::Subject, text), expected);
            }
        }
    }

    void fileRoundTripAndRemoval()
    {
        Fixture f;
        QAbstractItemModelTester tester(&f.watch.model());
        f.add({ "linux" }, WatchField::Subject, false, WatchAction::Kill);
        f.add({ "rar", "-Spam" }, WatchField::From, true, WatchAction::AddToBatch);
        QCOMPARE(f.file(), kTwoEntries);
        QCOMPARE(f.file().count("\r\n"), 14);
        QCOMPARE(f.reload(), f.watch.entries());
        const QAbstractItemModel& m = f.watch.model();
        QCOMPARE(m.rowCount(), 2);
        const QStringList row { m.index(1, 0).data().toString(), m.index(1, 1).data().toString(),
            m.index(1, 2).data().toString(), m.index(1, 3).data().toString() };
        QCOMPARE(row, (QStringList { " rar -Spam ", "From", "Sensitive", "Add to Batch" }));
        QCOMPARE(m.index(0, 3).data().toString(), QStringLiteral("Kill"));

        f.prompts.yesNoAnswers = { true, true };
        f.watch.WatchList_RemoveItem(1);
        QCOMPARE(f.reload().size(), 1);
        QCOMPARE(m.rowCount(), 1);
        f.watch.WatchList_RemoveItem(1);
        QVERIFY(!f.fileExists());
        QVERIFY(f.reload().isEmpty());

        // A phrase list without text is refused; line breaks would split a phrase in the file.
        QVERIFY(!f.watch.WatchList_Add({ "" }, WatchField::Subject, false, WatchAction::AddToBatch));
        f.add({ "two\r\nlines" }, WatchField::Subject, false, WatchAction::AddToBatch);
        QCOMPARE(f.reload(), f.watch.entries());
    }

    void damagedFilesKeepOnlyWholeEntries()
    {
        struct Case {
            QByteArray content;
            int entries;
            bool error;
        };
        QList<Case> cases {
            { "", 0, false },
            // Cut short after the count: once an add rule that matched every item.
            { " 1\r\n", 0, true },
            { " 1\r\n 1\r\nlinux\r\n\r\n 0\r\nFalse\r\n", 0, true },
            // The count is not trusted for the table's size.
            { " 2000000000\r\n 1\r\nx\r\n\r\n 0\r\nFalse\r\n1\r\n", 1, true },
            { " 1\r\n 2147483647\r\nx\r\n", 0, true },
            { " 1\r\n 0\r\n\r\n 0\r\nFalse\r\n0\r\n", 0, true },
            { " 1\r\n 1\r\n\r\n\r\n 0\r\nFalse\r\n0\r\n", 0, true }, // only an empty phrase
            { " 1\r\n 1\r\nx\r\ny\r\n 0\r\nFalse\r\n0\r\n", 0, true },
            { " 1\r\n 1\r\nx\r\n\r\n 2\r\nFalse\r\n0\r\n", 0, true },
            { " 1\r\n 1\r\nx\r\n\r\n 0\r\nmaybe\r\n0\r\n", 0, true },
            { " 1\r\n 1\r\nx\r\n\r\n 0\r\n-1\r\n1", 1, false }, // a number as match case, no last line end
            { "1\n1\nx\n\n0\nfalse\n1\n", 1, false },
        };
        // Every cut of a good file at a line end keeps the entries completed before it.
        const QList<QByteArray> lines = kTwoEntries.split('\n');
        for (int n = 1; n < lines.size(); ++n)
            cases.append({ lines.mid(0, n).join('\n') + '\n', n >= 14 ? 2 : n >= 7 ? 1 : 0, n < 14 });
        for (const Case& c : cases) {
            Fixture f;
            f.writeFile(QLatin1String(WatchList::kFileName), c.content);
            f.watch.WatchList_Get();
            QVERIFY2(f.watch.entries().size() == c.entries, c.content.constData());
            QVERIFY2(f.logCount(QStringLiteral("WatchList_Get Error:")) == (c.error ? 1 : 0), c.content.constData());
        }
    }

    void aFailedSaveKeepsTheOldFile()
    {
        Fixture f;
        f.add({ "keep" }, WatchField::Subject, false, WatchAction::Kill);
        const QByteArray before = f.file();
        // Writes past a few bytes fail: so does the rewrite, and the old file must survive it.
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit old {};
        getrlimit(RLIMIT_FSIZE, &old);
        rlimit small = old;
        small.rlim_cur = static_cast<rlim_t>(before.size());
        setrlimit(RLIMIT_FSIZE, &small);
        const bool added = f.watch.WatchList_Add(
            { "a much longer phrase than before" }, WatchField::Subject, false, WatchAction::Kill);
        setrlimit(RLIMIT_FSIZE, &old);
        QVERIFY(added);
        QCOMPARE(f.logCount(QStringLiteral("WatchList_Save Error:")), 1);
        QCOMPARE(f.file(), before);
        QVERIFY(f.watch.WatchList_Save());
        QCOMPARE(f.reload(), f.watch.entries());
    }

    // A scan against a server: kill rules drop headers before they are filed, add rules queue
    // items as they complete, and a header both kill and add rules match is dropped.
    void scanKillsAndQueues()
    {
        TestContext t;
        AppContext& ctx = *t.ctx;
        FakeNntpServer server;
        pointAtServer(ctx.settings, server.port(), t);
        ctx.settings.chkEnableWatch = 1;
        ctx.watch.WatchList_Add({ "linux", "-iso" }, WatchField::Subject, false, WatchAction::Kill);
        ctx.watch.WatchList_Add({ "spam" }, WatchField::Subject, false, WatchAction::Kill);
        ctx.watch.WatchList_Add({ "wanted" }, WatchField::Subject, false, WatchAction::AddToBatch);
        ctx.groups.ngAddGroup("alt.test");
        const quint8 key = ctx.groups.ngFindKeyByGroupName("alt.test");
        const QByteArray subjects[] = { "Linux Tools (1/2)", "wanted.rar (1/2)", "Linux Tools (2/2)",
            "wanted spam (1/1)", "linux.iso (1/1)", "wanted.rar (2/2)" };
        QByteArray xover = "224 overview follows\r\n";
        for (int n = 1; n <= 6; ++n)
            xover += QByteArray::number(n) + '\t' + subjects[n - 1] + "\tA <a@b.c>\t04 Dec 2002\t<m"
                + QByteArray::number(n) + "@x>\t\t100\t1\r\n";
        server.on(QStringLiteral("GROUP alt.test")).reply("211 6 1 6 alt.test\r\n");
        server.onPrefix(QStringLiteral("XOVER ")).reply(xover + ".\r\n");
        server.on(QStringLiteral("QUIT")).reply("205 bye\r\n");
        ctx.scanConnection.StartScan();
        QTRY_VERIFY_WITH_TIMEOUT(!ctx.scanConnection.scanning() && ctx.connections.state(Conn::Scan) == 0, 20000);
        QCOMPARE(storedArticles(ctx.headers.headerPath(key)).keys(), (QList<qint64> { 2, 5, 6 }));
        QVERIFY(t.logged(QStringLiteral("Kill Filtered: Linux Tools (1/2) : 1")));
        QVERIFY(t.logged(QStringLiteral("Kill Filtered: wanted spam (1/1) : 4")));
        QCOMPARE(ctx.batch.model().rowCount(), 1);
        QVERIFY(ctx.batch.store().str(ctx.batch.store().item(1).key).startsWith("wanted.rar"));
    }
};

TW_TEST(WatchListTest)
#include "watch_list_test.moc"
