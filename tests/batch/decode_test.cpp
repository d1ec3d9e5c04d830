#include "batch/served_parts.h"
#include "support/test_registry.h"

#include <QDirIterator>
#include <QFile>

namespace {

using articles::randomBytes;
using articles::yencBodies;

// Puts a post's articles straight into the cache, as a finished download leaves them.
struct Cached : DownloadParts {
    int entry(const QByteArray& name, const QList<QByteArray>& bodies, qint16 total = -1, int leaveOut = 0)
    {
        const Post p = post(name, bodies, 0, total);
        queue(p);
        QDir().mkpath(t.path(QStringLiteral("cache/alt.test")));
        for (qsizetype i = 0; i < p.articles.size(); ++i) {
            if (i + 1 != leaveOut)
                t.writeFile(QStringLiteral("cache/alt.test/%1.UUE").arg(p.numbers[i]), p.articles[i]);
        }
        return batch.count();
    }
    QStringList paths(int entry)
    {
        QStringList out;
        const ItemRecord record = *batch.entryRecord(entry);
        for (const ItemRecord::Part& p : record.parts)
            out << cached(p.article);
        return out;
    }
    EntryDecoder::Result decode(int entry) { return decoder.DecodeBatchEntry(entry, paths(entry)); }
    QString status() { return batch.processed().row(batch.processed().rowCount() - 1).status; }
    // Every file below the program folder, so nothing can land outside the download folder unseen.
    QStringList files() const
    {
        QStringList out;
        QDirIterator it(t.dir.path(), QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext())
            out << QDir(t.dir.path()).relativeFilePath(it.next());
        out.sort();
        return out;
    }
};

} // namespace

class DecodeTest : public QObject {
    Q_OBJECT
private slots:
    // Decoded files never overwrite: numbered names in both styles, one sub-folder per group, and
    // names from the network kept inside the download folder.
    void placesFilesSafely()
    {
        Cached f;
        f.t.settings.chkSaveDecodes2 = 1;
        const QByteArray data = randomBytes(20000, 1);
        const int e = f.entry("movie.avi", yencBodies(data, "movie.avi", 3));
        QVERIFY(f.decode(e).success);
        QVERIFY(f.decode(e).success);
        f.t.settings.chkOldRenameStyle = 1;
        QVERIFY(f.decode(e).success);
        f.t.settings.chkMakeSubDirs = 1;
        QVERIFY(f.decode(e).success);
        for (const char* name : { "movie.avi", "movie.2.avi", "movie.avi.2", "alt.test/movie.avi" })
            QCOMPARE(f.t.readFile(QStringLiteral("download/") + name), data);
        QCOMPARE(f.batch.processed().row(0).filePath, f.downloaded(QStringLiteral("movie.avi")));
        f.t.settings.chkMakeSubDirs = 0;

        const QByteArray small = randomBytes(100, 2);
        const struct {
            QByteArray name;
            const char* file;
        } hostile[] = {
            { "../../evil.bin", "download/.._.._evil.bin" },
            { "..", "download/fallback" },
            { "/etc/passwd", "download/_etc_passwd" },
            { "a\x01\x1f"
              "b",
                "download/a__b" },
        };
        for (const auto& h : hostile) {
            const int entry = f.entry("fallback", yencBodies(small, h.name, 1));
            QVERIFY(f.decode(entry).success);
            QCOMPARE(f.t.readFile(QLatin1String(h.file)), small);
        }
        QVERIFY(
            f.files().filter(QRegularExpression(QStringLiteral("^(?!download/|cache/|OPSLOG|batch|favs)"))).isEmpty());
    }

    // A corrupt or missing part fails the decode instead of passing off a broken file; the
    // settings say whether the cache files and the broken file stay for another try.
    void badPartsFailTheDecode()
    {
        const QByteArray data = randomBytes(30000, 3);
        for (int keep : { 0, 1 }) {
            Cached f;
            f.t.settings.chkSaveDecodes = keep;
            const int e = f.entry("bad.bin", yencBodies(data, "bad.bin", 3));
            QByteArray part = f.t.readFile(QStringLiteral("cache/alt.test/101.UUE"));
            part[part.indexOf("\r\n=ypart") + 140] ^= 1;
            f.t.writeFile(QStringLiteral("cache/alt.test/101.UUE"), part);
            const EntryDecoder::Result r = f.decode(e);
            QVERIFY(!r.success);
            QVERIFY2(f.status().startsWith(QStringLiteral("Error: yEnc decoder Error: CRC mismatch")),
                qPrintable(f.status()));
            QCOMPARE(QFile::exists(f.cached(101)), keep == 1);
            QCOMPARE(QFile::exists(f.downloaded(QStringLiteral("bad.bin"))), keep == 1);
            QVERIFY(!f.batch.hasWork());

            const int gap = f.entry("gap.bin", yencBodies(data, "gap.bin", 3), -1, 2);
            QVERIFY(!f.decode(gap).success);
            QCOMPARE(f.status(), QStringLiteral("Error: needed uue file not found"));
            if (keep) {
                const QByteArray kept = f.t.readFile(QStringLiteral("download/gap.bin"));
                QCOMPARE(kept.size(), data.size());
                QCOMPARE(kept.first(10000), data.first(10000));
                QCOMPARE(kept.sliced(10000, 10000), QByteArray(10000, '\0'));
            } else {
                QVERIFY(!QFile::exists(f.downloaded(QStringLiteral("gap.bin"))));
            }
        }
    }

    // A text part "0" beside the announced parts is left out of a yEnc post; other posts go
    // through the classic-encodings library, which names the file itself.
    void decodesExtraPartsAndClassicEncodings()
    {
        Cached f;
        const QByteArray data = randomBytes(12000, 4);
        QList<QByteArray> bodies = yencBodies(data, "set.rar", 2);
        bodies.prepend("This post holds set.rar in two parts.\r\n");
        ItemRecord r;
        const int e = f.entry("set.rar", bodies, 2);
        QVERIFY(f.decode(e).success);
        QCOMPARE(f.t.readFile(QStringLiteral("download/set.rar")), data);

        const int uu = f.entry("_pic.jpg_", articles::uuBodies(data, "_pic.jpg_", 3));
        QVERIFY(f.decode(uu).success);
        QCOMPARE(f.t.readFile(QStringLiteral("download/pic.jpg")), data);
        QVERIFY(f.t.logged(QStringLiteral("Decoder ready, attachment found.")));

        const int text = f.entry("notes", { QByteArray() });
        QFile::resize(f.cached(f.batch.entryRecord(text)->parts[0].article), 0);
        QVERIFY(!f.decode(text).success);
        QCOMPARE(f.status(), QStringLiteral("Error: nothing to decode"));
    }
};

TW_TEST(DecodeTest)
#include "decode_test.moc"
