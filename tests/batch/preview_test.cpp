#include "batch/served_parts.h"
#include "support/test_registry.h"

#include <QDir>
#include <QFile>

namespace {

using articles::randomBytes;

// A three-part yEnc post of `file` as the cache stores its parts.
QList<QByteArray> yencParts(const QByteArray& file, const QByteArray& name)
{
    QList<QByteArray> parts;
    const QList<QByteArray> bodies = articles::yencBodies(file, name, 3);
    for (qsizetype i = 0; i < bodies.size(); ++i)
        parts.append(articles::article(
            name + " (" + QByteArray::number(i + 1) + "/3)", "<p" + QByteArray::number(100 + i) + "@x>", bodies[i]));
    return parts;
}

} // namespace

class PreviewTest : public QObject {
    Q_OBJECT
private slots:
    // A cached first part opens without a connection; its file is made anew each time, named
    // inside the previews folder whatever name the post gives; other types are opened only on Yes.
    void previewsTheCachedFirstPart()
    {
        ViewerParts f;
        const QByteArray file = randomBytes(9000, 3);
        const QList<QByteArray> parts = yencParts(file, "../../song.mp3");
        const QByteArray firstSlice = file.first(3000);
        f.t.writeFile(QStringLiteral("cache/alt.test/100.UUE"), parts[0]);
        const QString opened = f.t.path(QStringLiteral("cache/previews/TW preview of .._.._song.mp3"));
        f.t.writeFile(QStringLiteral("cache/previews/TW preview of .._.._song.mp3"), QByteArray(20000, 'o'));

        const ItemRecord song = f.item("song.mp3 [xx/0000003]", { " (1/3)", " (2/3)", " (3/3)" });
        f.preview.PreviewItem(song);
        QCOMPARE(f.t.desktop.openedTargets, QStringList { opened });
        QCOMPARE(f.t.readFile(QStringLiteral("cache/previews/TW preview of .._.._song.mp3")), firstSlice);
        QCOMPARE(f.server.connectionCount(), 0);
        QVERIFY(f.t.logged(QStringLiteral("Launching partial file preview...")));

        f.t.writeFile(QStringLiteral("cache/alt.test/100.UUE"), yencParts(file, "tool.exe")[0]);
        f.t.prompts.yesNoAnswers = { false, true };
        f.preview.PreviewItem(song);
        QCOMPARE(f.t.prompts.questions.size(), 1);
        QVERIFY(f.t.prompts.questions[0].startsWith(QStringLiteral("Filename:TW preview of tool.exe indicates")));
        QCOMPARE(f.t.desktop.openedTargets.size(), 1);
        f.preview.PreviewItem(song);
        QCOMPARE(f.t.desktop.openedTargets.last(), f.t.path(QStringLiteral("cache/previews/TW preview of tool.exe")));
    }

    // The part whose counter says it is the first is fetched, stored in the cache and opened.
    void fetchesTheFirstPartAndOpensIt()
    {
        for (const Delivery& d : { Delivery::whole(), Delivery::chunks(999) }) {
            ViewerParts f(d);
            const QByteArray file = randomBytes(9000, 4);
            const QList<QByteArray> parts = yencParts(file, "tune.mp3");
            // A near-empty part that also claims to be the first is passed over.
            ItemRecord item = f.item("tune.mp3 [xx/0000003]", { " (001/003)", " (01/03)", " (03/03)" });
            item.parts[0].bytes = 10;
            f.serve(1, parts[0]);
            f.preview.PreviewItem(item);
            QTRY_COMPARE_WITH_TIMEOUT(f.t.desktop.openedTargets.size(), 1, 10000);
            QCOMPARE(f.t.readFile(QStringLiteral("cache/previews/TW preview of tune.mp3")), file.first(3000));
            QCOMPARE(f.t.readFile(QStringLiteral("cache/alt.test/101.UUE")), parts[0]);
            QVERIFY(f.t.logged(QStringLiteral("File saved: ") + f.cached(101)));
            QVERIFY(f.server.commands().contains(QStringLiteral("ARTICLE <p101@x>")));
            f.waitClosed(Conn::Preview);
        }

        ViewerParts f;
        f.server.onPrefix(QStringLiteral("ARTICLE")).reply("430 gone\r\n");
        f.preview.PreviewItem(f.item("gone.mp3 [xx/0000002]", { " (1/2)", " (2/2)" }));
        QTRY_COMPARE_WITH_TIMEOUT(f.preview.label(), QStringLiteral("Article has expired!  "), 10000);
        QCOMPARE(f.server.commands().filter(QStringLiteral("ARTICLE")).size(), 2);
        QVERIFY(!QFile::exists(f.cached(100)));
        f.waitClosed(Conn::Preview);
    }
};

TW_TEST(PreviewTest)
#include "preview_test.moc"
