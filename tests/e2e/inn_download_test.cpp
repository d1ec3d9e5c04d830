#include "batch/nzb_items.h"
#include "nntp/connections.h"
#include "support/articles.h"
#include "support/inn_server.h"
#include "support/program_run.h"
#include "support/test_context.h"
#include "support/test_registry.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QRegularExpression>
#include <QTest>

#include <algorithm>
#include <optional>

namespace {

constexpr const char* kGroup = "alt.binaries.test";
constexpr int kRunMs = 120'000;

struct Posted {
    QString name;
    bool complete = false;
};

// The FILE lines of tools/make_articles.py: "FILE name bytes posted/total".
QList<Posted> postedFiles(const QByteArray& summary)
{
    QList<Posted> files;
    for (const QByteArray& line : summary.split('\n')) {
        const QList<QByteArray> f = line.split(' ');
        if (f.size() == 4 && f[0] == "FILE") {
            const QList<QByteArray> parts = f[3].split('/');
            files.append({ QString::fromLatin1(f[1]), parts.size() == 2 && parts[0] == parts[1] });
        }
    }
    return files;
}

// The cache files of the item's parts.
QStringList cacheFiles(const ItemTable& view, int slot, const QString& cache)
{
    QStringList files;
    for (quint32 p = view.item(slot).firstPart; p != 0; p = view.part(p).next)
        files << cache + QString::number(view.part(p).article) + QStringLiteral(".UUE");
    return files;
}

// The view table's slot of the multipart item holding the file; 0 for none.
int slotOf(const ItemTable& view, const QString& name)
{
    for (int slot = 1; slot <= view.count(); ++slot) {
        if (view.str(view.item(slot).key).contains(name.toLatin1()) && view.item(slot).partCount > 1)
            return slot;
    }
    return 0;
}

QByteArray fileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// The log lines the program wrote to OPSLOG.TXT from byte `from` on.
QStringList opsLog(const TestContext& t, qsizetype from)
{
    return QString::fromUtf8(t.readFile(QStringLiteral("OPSLOG.TXT")).mid(from)).remove(u'\r').split(u'\n');
}

// The last lines from byte `from` on, to say where a download stopped.
QString logTail(const TestContext& t, qsizetype from)
{
    const QStringList log = opsLog(t, from);
    return log.sliced(std::max<qsizetype>(0, log.size() - 12)).join(u'\n');
}

// Restarts the context on the program folder and queues the group's binaries as a user would.
QList<QByteArray> queueAll(TestContext& t, const char* group = kGroup)
{
    return queueBinaries(t.reload(), QLatin1String(group));
}

// Runs "/DOWNLOAD" until the batch is empty and every queued item has its outcome logged.
bool download(const TestContext& t, qsizetype logFrom, qsizetype items)
{
    static const QString kOutcomes[] = { QStringLiteral(" Decode successful"), QStringLiteral("Decode error: "),
        QStringLiteral("Article expired!  Skipping ") };
    return runProgram(
        QStringLiteral(TW_EXECUTABLE), t.dir.path(), QStringLiteral("/DOWNLOAD"),
        [&] {
            if (batchFileEntries(t.path(QLatin1String(Batch::kFileName))) != 0)
                return false;
            const QStringList log = opsLog(t, logFrom);
            qsizetype outcomes = 0;
            for (const QString& o : kOutcomes)
                outcomes += log.filter(o).size();
            return outcomes >= items;
        },
        kRunMs);
}

// Posts generated binaries to a new group of the server, keeping their originals in `originals`.
QList<Posted> postToNewGroup(const InnServer& inn, const char* group, const QStringList& args, const QString& originals)
{
    QByteArray summary;
    if (!inn.addGroup(QLatin1String(group))
        || !inn.postGenerated(QStringList { "--group", group, "--keep", originals } + args, &summary))
        return {};
    return postedFiles(summary);
}

// Saves the settings with the group in the list, scans it with the real program and queues its
// binaries; how many, or -1 when the scan failed.
qsizetype scanAndQueue(TestContext& t, const char* group)
{
    t.ctx->settings.chkLogFile = 1;
    t.ctx->settingsFile.SaveOptions();
    t.ctx->groups.ngAddGroup(group);
    if (!t.ctx->groups.ngSaveFavs() || !scanWithProgram(QStringLiteral(TW_EXECUTABLE), t.dir.path(), kRunMs))
        return -1;
    return queueAll(t, group).size();
}

} // namespace

// Files posted to a private INN 2 come back byte for byte through the real program's scan and
// download switches; a file with a part missing on the server is never reported as good.
class InnDownloadTest : public InnTestCase {
    Q_OBJECT

private slots:

    void downloadsPostedFilesAndFetchesOnlyMissingCacheFilesAgain()
    {
        TestContext t;
        const QString originals = t.path(QStringLiteral("originals"));
        // Seven binaries of four parts in turn yEnc "(k/m)", uuencode "[k/m]", yEnc "[k/m]", posted
        // shuffled with a text post; the fourth misses its second part. Their yEnc lines may start
        // with a dot, so the server's dot-stuffing has to be undone. Then one single part of each.
        QByteArray multi;
        QByteArray single;
        QVERIFY(m_inn->postGenerated(
            { "--group", kGroup, "--binaries", "7", "--parts", "4", "--part-size", "60000", "--text", "1", "--shuffle",
                "--unescaped-dots", "--leave-out", "4:2", "--keep", originals, "--seed", "31" },
            &multi));
        QVERIFY(m_inn->postGenerated({ "--group", kGroup, "--binaries", "2", "--parts", "1", "--part-size", "30000",
                                         "--keep", originals, "--seed", "32" },
            &single));
        const QList<Posted> files = postedFiles(multi + single);
        QCOMPARE(files.size(), 9);

        Settings& s = t.ctx->settings;
        m_inn->pointAt(s, t);
        s.chkLogFile = 1;
        s.chkSaveDecodes2 = 1;
        s.Download_Connections = 4;
        t.ctx->settingsFile.SaveOptions();
        t.ctx->groups.ngAddGroup(kGroup);
        QVERIFY(t.ctx->groups.ngSaveFavs());
        QVERIFY(scanWithProgram(QStringLiteral(TW_EXECUTABLE), t.dir.path(), kRunMs));

        // Every binary is queued, the text post is not. Then a part of the seventh is taken off
        // the server: it is asked for by message-id and by number, and its file is given up.
        QCOMPARE(queueAll(t).size(), files.size());
        const Posted& cancelled = files[6];
        const ItemTable& view = t.ctx->view.table;
        const int slot = slotOf(view, cancelled.name);
        QVERIFY(slot != 0);
        const ItemPart& first = view.part(view.item(slot).firstPart);
        QVERIFY(m_inn->cancel(FullMessageId(view.str(first.messageId), view.str(view.part(first.next).messageId))));
        qsizetype logFrom = t.readFile(QStringLiteral("OPSLOG.TXT")).size();
        QVERIFY2(download(t, logFrom, files.size()), qPrintable(logTail(t, logFrom)));

        const QString out = t.path(QStringLiteral("download/") + QLatin1String(kGroup) + u'/');
        QStringList log = opsLog(t, logFrom);
        static const QRegularExpression failure(QStringLiteral("Decode error: |Article expired!  Skipping "));
        for (const Posted& f : files) {
            const QStringList lines = log.filter(f.name);
            const bool good = f.complete && &f != &cancelled;
            QCOMPARE(lines.filter(QStringLiteral(" Decode successful")).size(), good ? 1 : 0);
            if (good)
                QVERIFY2(fileBytes(out + f.name) == fileBytes(originals + u'/' + f.name), qPrintable(f.name));
            else
                QVERIFY2(!lines.filter(failure).isEmpty(), qPrintable(f.name));
        }
        QVERIFY(!log.filter(QStringLiteral("Article expired!  Skipping ")).filter(cancelled.name).isEmpty());

        // The caches are kept; with one part file gone, the next download fetches just that article.
        const QString cache = t.path(QStringLiteral("cache/") + QLatin1String(kGroup) + u'/');
        // Of the seventh file the part before the missing one was fetched, and the connections that
        // were not asking for the missing one may have fetched those after it.
        const qsizetype cachedParts = QDir(cache).entryList({ QStringLiteral("*.UUE") }, QDir::Files).size();
        QVERIFY2(cachedParts >= 7 * 4 - 1 + 2 - 3 && cachedParts <= 7 * 4 - 1 + 2 - 1,
            qPrintable(QString::number(cachedParts)));
        QVERIFY(QDir(out).removeRecursively());
        const QList<QByteArray> keys = queueAll(t);
        QCOMPARE(keys.size(), files.size());
        const ItemTable& again = t.ctx->view.table;
        const int refetch = slotOf(again, files[0].name);
        QVERIFY(refetch != 0);
        const qint64 article = again.part(again.part(again.item(refetch).firstPart).next).article;
        const QString refetched = cache + QString::number(article) + QStringLiteral(".UUE");
        QVERIFY(QFile::remove(refetched));
        logFrom = t.readFile(QStringLiteral("OPSLOG.TXT")).size();
        QVERIFY2(download(t, logFrom, files.size()), qPrintable(logTail(t, logFrom)));
        log = opsLog(t, logFrom);
        // Parts after the cancelled one of the seventh file may be fetched now; nothing else is.
        const QStringList cancelledFiles = cacheFiles(again, slotOf(again, cancelled.name), cache);
        QStringList saved = log.filter(QStringLiteral("File saved: "));
        saved.removeIf([&](const QString& line) {
            return std::any_of(
                cancelledFiles.cbegin(), cancelledFiles.cend(), [&](const QString& f) { return line.endsWith(f); });
        });
        QCOMPARE(saved.size(), 1);
        QVERIFY2(saved[0].endsWith(QStringLiteral("File saved: ") + refetched), qPrintable(saved[0]));
        QCOMPARE(fileBytes(out + files[0].name), fileBytes(originals + u'/' + files[0].name));
    }

    // The real program scans and downloads over STARTTLS and over NNTPS, trusting the pinned certificate.
    void downloadsOverEachSecureLine()
    {
        const char* group = "alt.binaries.secure";
        TempFolder posted;
        const QString originals = posted.path(QStringLiteral("originals"));
        const QList<Posted> files = postToNewGroup(
            *m_inn, group, { "--binaries", "3", "--parts", "3", "--part-size", "40000", "--seed", "41" }, originals);
        QCOMPARE(files.size(), 3);
        for (const Encryption e : { Encryption::StartTls, Encryption::Tls }) {
            TestContext t;
            m_inn->pointAt(t.ctx->settings, t, e);
            t.ctx->settings.Download_Connections = 3;
            QCOMPARE(scanAndQueue(t, group), files.size());
            QVERIFY2(download(t, 0, files.size()), qPrintable(logTail(t, 0)));
            const QStringList log = opsLog(t, 0);
            QVERIFY(!log.filter(QStringLiteral("Connection encrypted")).isEmpty());
            QVERIFY(log.filter(QStringLiteral("could not be verified")).isEmpty());
            const QString out = t.path(QStringLiteral("download/") + QLatin1String(group) + u'/');
            for (const Posted& f : files)
                QVERIFY2(fileBytes(out + f.name) == fileBytes(originals + u'/' + f.name), qPrintable(f.name));
        }
    }

    // An NZB written from the program's batch is read by nzbget and by the program itself, which
    // fetches its files by message-id without the group in its list.
    void exportedNzbIsFetchedByNzbgetAndByUs()
    {
        const char* group = "alt.binaries.nzb";
        TempFolder posted;
        const QString originals = posted.path(QStringLiteral("originals"));
        // yEnc only: the peer does not join uuencoded parts.
        const QList<Posted> files = postToNewGroup(*m_inn, group,
            { "--binaries", "2", "--parts", "3", "--part-size", "30000", "--encoding", "yenc", "--seed", "51" },
            originals);
        QCOMPARE(files.size(), 2);
        const QString nzb = posted.path(QStringLiteral("posted.nzb"));
        {
            TestContext t;
            m_inn->pointAt(t.ctx->settings, t);
            QCOMPARE(scanAndQueue(t, group), files.size());
            QList<nzbitems::Source> items;
            for (int entry = 1; entry <= t.ctx->batch.count(); ++entry)
                items.append({ *t.ctx->batch.entryRecord(entry), group });
            QVERIFY(t.ctx->nzb.exportFile(nzb, items));
        }

        QProcess nzbget;
        nzbget.setProcessChannelMode(QProcess::ForwardedChannels);
        nzbget.start(InnServer::tool(QStringLiteral("nzbget-fetch")),
            { QString::number(m_inn->port()), nzb, posted.path(QStringLiteral("nzbget")) });
        QVERIFY(nzbget.waitForFinished(90'000));
        if (nzbget.exitCode() != 3) {
            QCOMPARE(nzbget.exitCode(), 0);
            for (const Posted& f : files) {
                QVERIFY2(fileBytes(posted.path(QStringLiteral("nzbget/dst/posted/") + f.name))
                        == fileBytes(originals + u'/' + f.name),
                    qPrintable(f.name));
            }
        }

        TestContext t;
        m_inn->pointAt(t.ctx->settings, t);
        t.ctx->settings.chkLogFile = 1;
        t.ctx->settingsFile.SaveOptions();
        QCOMPARE(t.ctx->nzb.importFile(nzb), files.size());
        QVERIFY(t.ctx->batch.SaveBatch());
        QVERIFY2(download(t, 0, files.size()), qPrintable(logTail(t, 0)));
        for (const Posted& f : files)
            QVERIFY2(fileBytes(t.path(QStringLiteral("download/") + f.name)) == fileBytes(originals + u'/' + f.name),
                qPrintable(f.name));
    }

    // A 7z volume set with par2 recovery volumes, two articles withheld: the queued volumes and
    // index come down short, the fewest recovery volumes from the header view are queued and
    // fetched, and the set is repaired and unpacked to the original bytes.
    void damagedSetIsRepairedWithQueuedVolumesAndUnpacked()
    {
        const char* group = "alt.binaries.sets";
        QVERIFY(m_inn->addGroup(QLatin1String(group)));
        TempFolder made;
        const QByteArray original = articles::randomBytes(300'000, 61);
        made.writeFile(QStringLiteral("data.bin"), original);
        auto run = [&made](const QString& program, const QStringList& args) {
            QProcess p;
            p.setWorkingDirectory(made.path(QString()));
            p.start(program, args);
            return p.waitForFinished(60'000) && p.exitCode() == 0;
        };
        const QString sevenZip = QStandardPaths::findExecutable(QStringLiteral("7zz")).isEmpty()
            ? QStringLiteral("7z") : QStringLiteral("7zz");
        if (QStandardPaths::findExecutable(sevenZip).isEmpty() || QStandardPaths::findExecutable("par2").isEmpty())
            QSKIP("7-Zip and par2 are needed to make the set");
        QVERIFY(run(sevenZip, { "a", "-v80k", "-mx0", "set.7z", "data.bin" }));
        QVERIFY(run(QStringLiteral("par2"),
            { "create", "-q", "-s16384", "-c12", "-n3", "set.7z.par2", "set.7z.001", "set.7z.002", "set.7z.003",
                "set.7z.004" }));
        QStringList args { "--group", group, "--part-size", "40000" };
        for (const QString& name : QDir(made.path(QString())).entryList({ QStringLiteral("set.7z.*") }, QDir::Files))
            args << QStringLiteral("--file") << made.path(name);
        // The first and third volume each lose one article: ten blocks missing.
        args << "--leave-out" << "1:2" << "--leave-out" << "3:1";
        QVERIFY(m_inn->postGenerated(args));

        TestContext t;
        m_inn->pointAt(t.ctx->settings, t);
        t.ctx->groups.ngAddGroup(group);
        t.ctx->scanConnection.StartScan();
        QTRY_VERIFY_WITH_TIMEOUT(t.logCount(QStringLiteral("Scan Complete.")) == 1, 30000);
        QTRY_COMPARE(t.ctx->connections.state(Conn::Scan), 0);
        HeaderView& headers = t.ctx->headerView;
        headers.selectGroupEntry(QLatin1String(group));
        QList<int> wanted;
        for (int row = 0; row < headers.rowCount(); ++row) {
            const int slot = headers.index(row, 0).data(HeaderView::SlotRole).toInt();
            if (!t.ctx->view.table.str(t.ctx->view.table.item(slot).key).contains(".vol"))
                wanted.append(slot);
        }
        QCOMPARE(wanted.size(), 5);
        t.ctx->batch.AddSelectedToBatch(wanted);
        t.ctx->startDownload();
        const QString out = t.path(QStringLiteral("download/") + QLatin1String(group) + QStringLiteral("/"));
        QTRY_VERIFY2_WITH_TIMEOUT(fileBytes(out + QStringLiteral("data.bin")) == original,
            qPrintable(t.ctx->log.entries().stringList().mid(0, 40).join(u'\n')), 50'000);
        QVERIFY(t.logged(QStringLiteral("set: 10 more recovery blocks needed; queued set.7z.vol02+4.par2, "
                                        "set.7z.vol06+6.par2")));
        QTRY_VERIFY(!t.ctx->sets.busy());
        const ProcessedModel& rows = t.ctx->batch.processed();
        QCOMPARE(rows.row(rows.rowCount() - 1).status, QStringLiteral("unpacked"));
    }
};

TW_TEST(InnDownloadTest)
#include "inn_download_test.moc"
