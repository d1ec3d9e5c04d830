#include "batch/post_process.h"
#include "support/temp_folder.h"
#include "support/test_registry.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>

namespace {

QString tool(std::initializer_list<const char*> names)
{
    for (const char* name : names) {
        if (const QString path = QStandardPaths::findExecutable(QLatin1String(name)); !path.isEmpty())
            return path;
    }
    return {};
}

bool run(const QString& folder, const QString& program, const QStringList& arguments)
{
    QProcess p;
    p.setWorkingDirectory(folder);
    p.start(program, arguments);
    return p.waitForFinished(60000) && p.exitCode() == 0;
}

void python(const QString& folder, const QString& script)
{
    QVERIFY(
        run(folder, tool({ "python3" }), { QStringLiteral("-c"), QStringLiteral("import zipfile, stat\n") + script }));
}

struct Finish {
    PostOutcome outcome = PostOutcome::Failed;
    QString text;
};

Finish process(PostProcessor& post, const PostSet& set)
{
    QSignalSpy done(&post, &PostProcessor::finished);
    post.start(set);
    if (!done.wait(60000))
        return { PostOutcome::Failed, QStringLiteral("no finish") };
    return { done.first().at(0).value<PostOutcome>(), done.first().at(1).toString() };
}

PostSet only(const QString& folder)
{
    const QList<PostSet> sets = scanPostSets(folder);
    return sets.size() == 1 ? sets.first() : PostSet {};
}

// A 7z volume set with par2 recovery volumes of 20%, as posted; returns the packed file.
QByteArray postedSevenZip(const TempFolder& t)
{
    QByteArray data(200000, Qt::Uninitialized);
    QRandomGenerator(7).fillRange(reinterpret_cast<quint32*>(data.data()), data.size() / 4);
    t.writeFile(QStringLiteral("data.bin"), data);
    const QString folder = t.dir.path();
    if (!run(folder, tool({ "7z", "7zz" }), { "a", "-v40k", "-mx0", "set.7z", "data.bin" }))
        return {};
    const QStringList volumes = QDir(folder).entryList({ QStringLiteral("set.7z.*") }, QDir::Files, QDir::Name);
    if (!run(folder, tool({ "par2" }), QStringList { "create", "-q", "-r20", "-n3", "set.par2" } + volumes))
        return {};
    QFile::remove(t.path(QStringLiteral("data.bin")));
    return data;
}

} // namespace

class PostProcessTest : public QObject {
    Q_OBJECT
private slots:
    void recognisesSets()
    {
        const QStringList names { "a.part01.rar", "a.part02.rar", "a.par2", "a.vol00+01.par2", "a.VOL01-02.PAR2",
            "a.nfo", "b.7z.001", "b.7z.002", "b.7z.par2", "c.rar", "c.r00", "c.r01", "d.zip", "d.z01", "e.7z",
            "f.zip.001", "f.zip.002", "g.part2.rar", "g.part1.rar", "g.part10.rar", "movie.mkv", "movie.mkv.par2",
            "lonely.txt" };
        const struct {
            const char* base;
            QStringList archives, index, volumes, others, first;
        } expected[] = {
            { "a", { "a.part01.rar", "a.part02.rar" }, { "a.par2" }, { "a.vol00+01.par2", "a.VOL01-02.PAR2" },
                { "a.nfo" }, { "a.part01.rar" } },
            { "b", { "b.7z.001", "b.7z.002" }, { "b.7z.par2" }, {}, {}, { "b.7z.001" } },
            { "c", { "c.r00", "c.r01", "c.rar" }, {}, {}, {}, { "c.rar" } },
            { "d", { "d.z01", "d.zip" }, {}, {}, {}, { "d.zip" } },
            { "e", { "e.7z" }, {}, {}, {}, { "e.7z" } },
            { "f", { "f.zip.001", "f.zip.002" }, {}, {}, {}, { "f.zip.001" } },
            { "g", { "g.part1.rar", "g.part10.rar", "g.part2.rar" }, {}, {}, {}, { "g.part1.rar" } },
            { "movie.mkv", {}, { "movie.mkv.par2" }, {}, { "movie.mkv" }, {} },
        };
        const QList<PostSet> sets = groupPostSets(QStringLiteral("/dl"), names);
        QCOMPARE(sets.size(), std::size(expected));
        for (qsizetype i = 0; i < sets.size(); ++i) {
            const auto& e = expected[i];
            QCOMPARE(sets[i].baseName, QLatin1String(e.base));
            QCOMPARE(sets[i].archives, e.archives);
            QCOMPARE(sets[i].par2Index, e.index);
            QCOMPARE(sets[i].recoveryVolumes, e.volumes);
            QCOMPARE(sets[i].others, e.others);
            QCOMPARE(firstVolumes(sets[i]), e.first);
        }
        QCOMPARE(par2VolumeBlocks(QStringLiteral("a.VOL01-02.PAR2")), 2);
        QCOMPARE(par2VolumeBlocks(QStringLiteral("a.vol127+128.par2")), 128);
        QCOMPARE(par2VolumeBlocks(QStringLiteral("a.par2")), -1);
    }

    void choosesFewestRecoveryVolumes()
    {
        const struct {
            int need;
            QMap<QString, int> volumes;
            QStringList chosen;
        } cases[] = {
            { 5, { { "v1", 1 }, { "v2", 2 }, { "v4", 4 }, { "v8", 8 } }, { "v1", "v4" } },
            // Same blocks either way: one file beats two.
            { 6, { { "a", 4 }, { "b", 4 }, { "c", 8 } }, { "c" } },
            { 7, { { "a", 4 }, { "b", 4 }, { "c", 16 } }, { "a", "b" } },
            { 3, { { "a", 1 }, { "b", 2 }, { "c", 3 } }, { "c" } },
            { 20, { { "a", 4 }, { "b", 8 } }, {} },
            { 0, { { "a", 4 } }, {} },
        };
        for (const auto& c : cases)
            QCOMPARE(fewestRecoveryVolumes(c.need, c.volumes), c.chosen);
    }

    // A damaged volume is found, mended with the recovery volumes and the set unpacks as posted.
    void repairsThenUnpacks()
    {
        if (tool({ "7z", "7zz" }).isEmpty() || tool({ "par2" }).isEmpty() || tool({ "unar" }).isEmpty())
            QSKIP("7z, par2 or unar is not installed");
        TempFolder t;
        const QByteArray data = postedSevenZip(t);
        QVERIFY(!data.isEmpty());
        QFile volume(t.path(QStringLiteral("set.7z.003")));
        QVERIFY(volume.open(QIODevice::ReadWrite) && volume.seek(1000));
        volume.write(QByteArray(300, 'X'));
        volume.close();

        PostTools tools;
        Par2Job verify(tools);
        QSignalSpy verified(&verify, &Par2Job::finished);
        QSignalSpy progress(&verify, &Par2Job::progress);
        verify.start(Par2Job::Mode::Verify, t.path(QStringLiteral("set.par2")));
        QVERIFY(verified.wait(60000));
        QCOMPARE(verify.result().kind, Par2Result::Kind::Damaged);
        QVERIFY(verify.result().repairable);
        QVERIFY(verify.result().blocksNeeded > 0);
        QVERIFY(verify.result().blocksAvailable > verify.result().blocksNeeded);
        QVERIFY(!progress.isEmpty());

        PostProcessor post({ t.path(QStringLiteral("out")), true, tools });
        QSignalSpy steps(&post, &PostProcessor::stepStarted);
        const Finish f = process(post, only(t.dir.path()));
        QCOMPARE(f.outcome, PostOutcome::Unpacked);
        QVERIFY(f.text.contains(QLatin1String("after repair")));
        QCOMPARE(t.readFile(QStringLiteral("out/data.bin")), data);
        QList<PostStep> seen;
        for (const QList<QVariant>& s : steps)
            seen << s.at(0).value<PostStep>();
        QCOMPARE(seen, (QList<PostStep> { PostStep::Verify, PostStep::Repair, PostStep::Unpack, PostStep::Cleanup }));
        // Clean-up leaves only what was unpacked.
        QCOMPARE(QDir(t.dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList { "out" });
        QCOMPARE(QDir(t.path(QStringLiteral("out"))).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            QStringList { "data.bin" });
    }

    // Too few recovery blocks: the run says how many more, the fewest held-back volumes that supply
    // them are fetched, and the next run mends and unpacks.
    void missingBlocksAreFetchedAndRunAgain()
    {
        if (tool({ "7z", "7zz" }).isEmpty() || tool({ "par2" }).isEmpty() || tool({ "unar" }).isEmpty())
            QSKIP("7z, par2 or unar is not installed");
        TempFolder t;
        const QByteArray data = postedSevenZip(t);
        QVERIFY(!data.isEmpty());
        QDir().mkpath(t.path(QStringLiteral("held")));
        QMap<QString, int> held;
        for (const QString name : { "set.vol064+128.par2", "set.vol192+193.par2", "set.7z.002" }) {
            QVERIFY(QFile::rename(t.path(name), t.path(QStringLiteral("held/") + name)));
            if (par2VolumeBlocks(name) > 0)
                held[name] = par2VolumeBlocks(name);
        }
        PostTools tools;
        Par2Job verify(tools);
        QSignalSpy verified(&verify, &Par2Job::finished);
        verify.start(Par2Job::Mode::Verify, t.path(QStringLiteral("set.par2")));
        QVERIFY(verified.wait(60000));
        const Par2Result r = verify.result();
        QCOMPARE(r.kind, Par2Result::Kind::Damaged);
        QVERIFY(!r.repairable);
        QCOMPARE(r.blocksAvailable, 64);
        QCOMPARE(r.moreBlocksNeeded, r.blocksNeeded - r.blocksAvailable);

        PostProcessor post({ t.path(QStringLiteral("out")), false, tools });
        Finish f = process(post, only(t.dir.path()));
        QCOMPARE(f.outcome, PostOutcome::NeedsBlocks);
        QCOMPARE(post.moreBlocksNeeded(), r.moreBlocksNeeded);
        QCOMPARE(f.text, QStringLiteral("needs %1 more recovery blocks").arg(r.moreBlocksNeeded));

        // The volume comes back with a stretch of it damaged, a hundred-odd blocks.
        QByteArray volume = t.readFile(QStringLiteral("held/set.7z.002"));
        volume.replace(5000, 12000, QByteArray(12000, 'X'));
        t.writeFile(QStringLiteral("set.7z.002"), volume);
        f = process(post, only(t.dir.path()));
        QCOMPARE(f.outcome, PostOutcome::NeedsBlocks);
        const QStringList fetch = fewestRecoveryVolumes(post.moreBlocksNeeded(), held);
        QCOMPARE(fetch, QStringList { "set.vol064+128.par2" });
        QVERIFY(QFile::copy(t.path(QStringLiteral("held/") + fetch.first()), t.path(fetch.first())));
        f = process(post, only(t.dir.path()));
        QCOMPARE(f.outcome, PostOutcome::Unpacked);
        QCOMPARE(t.readFile(QStringLiteral("out/data.bin")), data);
    }

    // Nothing leaves the destination, and protected archives are reported once without unpacking.
    void refusesUnsafeAndProtectedArchives()
    {
        if (tool({ "unar" }).isEmpty() || tool({ "python3" }).isEmpty() || tool({ "7z", "7zz" }).isEmpty())
            QSKIP("unar, python3 or 7z is not installed");
        TempFolder t;
        const QString root = t.dir.path();
        const struct {
            const char* folder;
            const char* script;
            PostOutcome outcome;
            const char* reason;
        } cases[] = {
            { "dots", "z=zipfile.ZipFile('x.zip','w'); z.writestr('ok.txt','ok'); z.writestr('../evil','bad')",
                PostOutcome::Failed, "unsafe entry \"../evil\"" },
            { "absolute", "z=zipfile.ZipFile('x.zip','w'); z.writestr('ROOT/evil','bad')", PostOutcome::Failed,
                "unsafe entry" },
            { "through",
                "z=zipfile.ZipFile('x.zip','w'); i=zipfile.ZipInfo('ln'); i.create_system=3;"
                "i.external_attr=(stat.S_IFLNK|0o777)<<16; z.writestr(i,'../..'); z.writestr('ln/evil','bad')",
                PostOutcome::Failed, "inside link" },
            { "link",
                "z=zipfile.ZipFile('x.zip','w'); i=zipfile.ZipInfo('up'); i.create_system=3;"
                "i.external_attr=(stat.S_IFLNK|0o777)<<16; z.writestr(i,'../../evil')",
                PostOutcome::Failed, "unsafe link \"up\"" },
            { "secret", nullptr, PostOutcome::PasswordProtected, "password protected" },
            { "hidden", nullptr, PostOutcome::PasswordProtected, "password protected" },
        };
        for (const auto& c : cases) {
            const QString folder = t.path(QLatin1String(c.folder));
            QDir().mkpath(folder);
            if (c.script) {
                python(folder, QString::fromLatin1(c.script).replace(QLatin1String("ROOT"), root));
            } else {
                t.writeFile(QStringLiteral("%1/s.txt").arg(QLatin1String(c.folder)), "secret");
                QStringList args { "a", "-pSECRET", "x.7z", "s.txt" };
                if (QLatin1String(c.folder) == QLatin1String("hidden"))
                    args << "-mhe=on";
                QVERIFY(run(folder, tool({ "7z", "7zz" }), args));
                QFile::remove(folder + QStringLiteral("/s.txt"));
            }
            PostProcessor post({ folder + QStringLiteral("/out"), false, {} });
            QSignalSpy done(&post, &PostProcessor::finished);
            const Finish f = process(post, only(folder));
            QVERIFY2(f.outcome == c.outcome, qPrintable(f.text));
            QVERIFY2(f.text.contains(QLatin1String(c.reason)), qPrintable(f.text));
            QTest::qWait(50);
            QCOMPARE(done.size(), 1);
            QVERIFY(!QFileInfo::exists(t.path(QStringLiteral("evil"))));
            QStringList left = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
            left.removeAll(QStringLiteral("out"));
            QCOMPARE(left.size(), 1);
            QCOMPARE(
                QDir(folder + QStringLiteral("/out")).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                QStringList {});
        }
    }

    void neverOverwritesExistingFiles()
    {
        if (tool({ "unar" }).isEmpty() || tool({ "python3" }).isEmpty())
            QSKIP("unar or python3 is not installed");
        TempFolder t;
        python(t.dir.path(),
            QStringLiteral("z=zipfile.ZipFile('x.zip','w'); z.writestr('b.txt','new');"
                           "z.writestr('dir/c.txt','new c'); z.writestr('dir/d.txt','d')"));
        t.writeFile(QStringLiteral("out/b.txt"), "old");
        t.writeFile(QStringLiteral("out/dir/c.txt"), "old c");
        PostProcessor post({ t.path(QStringLiteral("out")), false, {} });
        QCOMPARE(process(post, only(t.dir.path())).outcome, PostOutcome::Unpacked);
        QCOMPARE(t.readFile(QStringLiteral("out/b.txt")), "old");
        QCOMPARE(t.readFile(QStringLiteral("out/b (2).txt")), "new");
        QCOMPARE(t.readFile(QStringLiteral("out/dir/c.txt")), "old c");
        QCOMPARE(t.readFile(QStringLiteral("out/dir/c (2).txt")), "new c");
        QStringList files = post.unpackedFiles();
        files.sort();
        QCOMPARE(
            files, (QStringList { t.path("out/b (2).txt"), t.path("out/dir/c (2).txt"), t.path("out/dir/d.txt") }));
        QVERIFY(QFileInfo::exists(t.path(QStringLiteral("x.zip"))));
    }

    // A missing, stuck or cancelled tool ends the run with a reason instead of hanging it.
    void toolTroubleEndsTheRun()
    {
        TempFolder t;
        t.writeFile(QStringLiteral("set.par2"), "");
        t.writeFile(QStringLiteral("stuck"), "#!/bin/sh\nexec sleep 30\n");
        QFile::setPermissions(t.path(QStringLiteral("stuck")), QFile::ReadOwner | QFile::ExeOwner);
        PostTools missing;
        missing.par2 = t.path(QStringLiteral("none/par2"));
        PostTools stuck;
        stuck.par2 = t.path(QStringLiteral("stuck"));
        stuck.timeoutMs = 200;
        const PostSet set = only(t.dir.path());
        {
            PostProcessor post({ {}, false, missing });
            const Finish f = process(post, set);
            QCOMPARE(f.outcome, PostOutcome::Failed);
            QCOMPARE(f.text, QStringLiteral("par2 is not installed"));
        }
        {
            PostProcessor post({ {}, false, stuck });
            QCOMPARE(process(post, set).text, QStringLiteral("stuck timed out"));
        }
        {
            stuck.timeoutMs = 60000;
            PostProcessor post({ {}, false, stuck });
            QTimer::singleShot(100, &post, &PostProcessor::cancel);
            QCOMPARE(process(post, set).text, QStringLiteral("cancelled"));
        }
    }
};

TW_TEST(PostProcessTest)
#include "post_process_test.moc"
