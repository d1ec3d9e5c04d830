#include "headers/item_table.h"
#include "nntp/connections.h"
#include "support/inn_server.h"
#include "support/program_run.h"
#include "support/stored_items.h"
#include "support/test_context.h"
#include "support/test_registry.h"

#include <QElapsedTimer>
#include <QTest>

#include <optional>

namespace {

struct PostedGroup {
    const char* name;
    qint64 articles;
    int items;
};

// alt.binaries.test: four binaries of five parts in the three subject styles, three text posts.
const PostedGroup kBinaries { "alt.binaries.test", 23, 7 };
// alt.test: one binary of two parts, four text posts.
const PostedGroup kText { "alt.test", 6, 5 };

void pointAt(AppContext& ctx, const InnServer& inn, const TestContext& t)
{
    inn.pointAt(ctx.settings, t);
    ctx.settings.sldXOVER = 20;
}

// Checks the written files of one group: each posted article a part exactly once, the read
// mark at the last article, the multipart items complete.
void checkGroup(TestContext& t, const PostedGroup& g, qint64 articles, int items)
{
    AppContext& fresh = t.reload();
    const quint8 key = fresh.groups.ngFindKeyByGroupName(g.name);
    QVERIFY(key != 0);
    QCOMPARE(fresh.groups.ngReadMarkByKey(key), articles);
    const QString path = fresh.headers.headerPath(key);
    QVERIFY2(holdsEachArticleOnce(storedArticles(path), 1, articles), g.name);
    const ItemTable table = loadStoredItems(path);
    QCOMPARE(table.count(), items);
    for (int slot = 1; slot <= table.count(); ++slot) {
        const Item& it = table.item(slot);
        if (it.totalParts > 0)
            QCOMPARE(it.partCount, static_cast<quint32>(it.totalParts));
    }
}

// Sends GROUP until told to stop, counting the round trips.
class GroupLoop final : public ConnectionHandler {
public:
    explicit GroupLoop(Connections& c)
        : m_connections(c)
    {
    }
    void startWork() override
    {
        ++started;
        m_connections.SendLine(Conn::Scan, "GROUP alt.test");
    }
    void reply(const Reply& r) override
    {
        last = r.statusLine;
        if (r.code == 211 && ++groups < wanted)
            m_connections.SendLine(Conn::Scan, "GROUP alt.test");
    }

    int started = 0;
    int groups = 0;
    int wanted = 1;
    QByteArray last;

private:
    Connections& m_connections;
};

} // namespace

// Both cases run against one private INN 2; the session's GROUP needs no articles.
class InnTest : public InnTestCase {
    Q_OBJECT

private slots:

    void loginGroupAndQuit()
    {
        TestContext t;
        AppContext& ctx = *t.ctx;
        pointAt(ctx, *m_inn, t);
        GroupLoop loop(ctx.connections);
        ctx.connections.setHandler(Conn::Scan, &loop);
        ctx.connections.setModeReaderPending(Conn::Scan, true);
        QVERIFY(ctx.connections.OpenConnection(Conn::Scan));
        QTRY_COMPARE_WITH_TIMEOUT(loop.groups, 1, 10000);
        QCOMPARE(loop.started, 1);
        QVERIFY(loop.last.startsWith("211 ") && loop.last.endsWith(" alt.test"));
        QCOMPARE(t.logCount(QStringLiteral("Sending MODE READER request")), 1);

        // Delayed-ACK stalls would cost 40 ms per round trip, 8 s in all; a busy machine stays far below.
        loop.groups = 0;
        loop.wanted = 200;
        QElapsedTimer timer;
        timer.start();
        ctx.connections.SendLine(Conn::Scan, "GROUP alt.test");
        QTRY_COMPARE_WITH_TIMEOUT(loop.groups, 200, 20000);
        const qint64 ms = timer.elapsed();
        qInfo("200 GROUP round trips took %lld ms", ms);
        QVERIFY2(ms < 4000, qPrintable(QStringLiteral("%1 ms").arg(ms)));

        ctx.connections.QuitConnection(Conn::Scan);
        QCOMPARE(ctx.connections.state(Conn::Scan), 0);
        QVERIFY(ctx.log.entries().stringList().first().endsWith(QStringLiteral("Connection Closed")));
    }

    void scanFindsEveryPostedArticleOnceAndLaterOnlyNewOnes()
    {
        const InnServer& inn = *m_inn;
        TestContext t;
        pointAt(*t.ctx, inn, t);
        t.ctx->groups.ngAddGroup(kBinaries.name);
        t.ctx->groups.ngAddGroup(kText.name);
        QVERIFY(inn.postGenerated(
            { "--group", kBinaries.name, "--binaries", "4", "--parts", "5", "--text", "3", "--seed", "7" }));
        QVERIFY(inn.postGenerated(
            { "--group", kText.name, "--binaries", "1", "--parts", "2", "--text", "4", "--seed", "8" }));
        t.ctx->settings.chkLogFile = 1;
        t.ctx->settingsFile.SaveOptions();
        QVERIFY(t.ctx->groups.ngSaveFavs());

        // The first scan is the real program's, started by its scan switch.
        QVERIFY(scanWithProgram(QStringLiteral(TW_EXECUTABLE), t.dir.path(), 70'000));
        QVERIFY(t.readFile(QStringLiteral("OPSLOG.TXT")).contains("23 new articles in alt.binaries.test"));
        checkGroup(t, kBinaries, kBinaries.articles, kBinaries.items);
        checkGroup(t, kText, kText.articles, kText.items);

        auto scan = [&] {
            pointAt(*t.ctx, inn, t);
            const int done = t.logCount(QStringLiteral("Scan Complete."));
            t.ctx->scanConnection.StartScan();
            QTRY_VERIFY_WITH_TIMEOUT(t.logCount(QStringLiteral("Scan Complete.")) == done + 1, 30000);
            QTRY_COMPARE(t.ctx->connections.state(Conn::Scan), 0);
            t.ctx->settingsFile.SaveOptions();
        };
        scan();
        QVERIFY(t.logged(QStringLiteral("0 new articles in alt.binaries.test")));
        QCOMPARE(t.logCount(QStringLiteral("Scan Complete. No new headers read in")), 1);

        QVERIFY(inn.postGenerated(
            { "--group", kBinaries.name, "--binaries", "1", "--parts", "3", "--text", "2", "--seed", "9" }));
        scan();
        QVERIFY(t.logged(QStringLiteral("5 new articles in alt.binaries.test")));
        checkGroup(t, kBinaries, kBinaries.articles + 5, kBinaries.items + 3);
        checkGroup(t, kText, kText.articles, kText.items);
    }

    // Runs last: it adds to the groups the case above counts.
    void compressedScanWritesTheSameHeaders()
    {
        QVERIFY(m_inn->postGenerated(
            { "--group", kText.name, "--binaries", "30", "--parts", "4", "--text", "60", "--seed", "10" }));
        QByteArray headers[2];
        for (const int compress : { 0, 1 }) {
            TestContext t;
            pointAt(*t.ctx, *m_inn, t);
            t.ctx->settings.chkCompress = compress;
            t.ctx->groups.ngAddGroup(kBinaries.name);
            t.ctx->groups.ngAddGroup(kText.name);
            t.ctx->scanConnection.StartScan();
            QTRY_VERIFY_WITH_TIMEOUT(t.logCount(QStringLiteral("Scan Complete.")) == 1, 30000);
            QTRY_COMPARE(t.ctx->connections.state(Conn::Scan), 0);
            QCOMPARE(t.logged(QStringLiteral("Compression on")), compress == 1);
            for (const char* group : { kBinaries.name, kText.name })
                headers[compress] += t.readFile(QStringLiteral("cache/%1/headers.twb").arg(QLatin1String(group)));
        }
        QVERIFY(headers[0].size() > 1000);
        QCOMPARE(headers[1], headers[0]);
    }

    // Runs after the compressed scan and adds nothing: every secure line reads the same headers.
    void secureScansWriteTheSameHeadersAndAskAboutTheCertificate()
    {
        QByteArray headers[3];
        for (const Encryption e : { Encryption::None, Encryption::StartTls, Encryption::Tls }) {
            TestContext t;
            const int i = static_cast<int>(e);
            pointAt(*t.ctx, *m_inn, t);
            // Not trusted yet: the first attempt over TLS is refused, the second trusts and pins.
            m_inn->pointAt(t.ctx->settings, t, e, false);
            t.ctx->settings.chkCompress = 1;
            t.ctx->groups.ngAddGroup(kBinaries.name);
            t.ctx->groups.ngAddGroup(kText.name);
            if (e != Encryption::None) {
                t.prompts.yesNoAnswers = { false };
                t.ctx->scanConnection.StartScan();
                QTRY_VERIFY_WITH_TIMEOUT(t.logged(QStringLiteral("Certificate not trusted, connection closed")), 10000);
                QTRY_COMPARE(t.ctx->connections.state(Conn::Scan), 0);
                QVERIFY(t.ctx->settings.News_SSL_Pins.isEmpty());
                t.prompts.yesNoAnswers = { true };
            }
            t.ctx->scanConnection.StartScan();
            QTRY_VERIFY_WITH_TIMEOUT(t.logCount(QStringLiteral("Scan Complete.")) == 1, 30000);
            QTRY_COMPARE(t.ctx->connections.state(Conn::Scan), 0);
            QCOMPARE(t.logged(QStringLiteral("Connection encrypted")), e != Encryption::None);
            QCOMPARE(t.ctx->settings.News_SSL_Pins.size(), e != Encryption::None ? 1 : 0);
            // Kept on disk at once, not only when the program closes.
            QCOMPARE(
                t.readFile(QStringLiteral("TWHELK.INI")).contains("[Trusted Certificates]"), e != Encryption::None);
            QCOMPARE(t.prompts.questions.size(), e != Encryption::None ? 2 : 0);
            QVERIFY(t.logged(QStringLiteral("Compression on")));
            for (const char* group : { kBinaries.name, kText.name })
                headers[i] += t.readFile(QStringLiteral("cache/%1/headers.twb").arg(QLatin1String(group)));
        }
        QVERIFY(headers[0].size() > 1000);
        QCOMPARE(headers[1], headers[0]);
        QCOMPARE(headers[2], headers[0]);
    }
};

TW_TEST(InnTest)
#include "inn_test.moc"
