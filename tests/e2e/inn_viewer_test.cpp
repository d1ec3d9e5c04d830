#include "support/articles.h"
#include "support/inn_server.h"
#include "support/test_context.h"
#include "support/test_registry.h"

#include <QDateTime>
#include <QFile>
#include <QTest>

#include <optional>

namespace {

constexpr const char* kGroup = "alt.binaries.test";

// One article as the posting script takes it: headers, dot-stuffed body, "." line.
QByteArray feedArticle(const QByteArray& subject, const QByteArray& id, const QByteArray& body)
{
    const QByteArray text = "From: Viewer Test <v@example.invalid>\r\nNewsgroups: " + QByteArray(kGroup)
        + "\r\nSubject: " + subject + "\r\nDate: Mon, 07 Dec 2026 10:00:00 +0000\r\nMessage-ID: " + id + "\r\n\r\n"
        + body;
    return articles::articleReply(text).sliced(QByteArrayView("220 0 article\r\n").size());
}

// The view-table item whose key starts with `name`.
std::optional<ItemRecord> itemNamed(const AppContext& ctx, const QByteArray& name)
{
    for (int slot = 1; slot <= ctx.view.table.count(); ++slot) {
        if (ctx.view.table.str(ctx.view.table.item(slot).key).startsWith(name))
            return ctx.view.table.record(slot);
    }
    return std::nullopt;
}

} // namespace

// Articles posted to a private INN 2 are scanned, then shown by the viewer and previewed.
class InnViewerTest : public InnTestCase {
    Q_OBJECT

private slots:

    void showsPostedArticlesAndPreviewsAnMp3()
    {
        TestContext t;
        AppContext& ctx = *t.ctx;
        const QByteArray tag = "vw" + QByteArray::number(QDateTime::currentMSecsSinceEpoch(), 16);
        const QByteArray note = "Tide tables for the week.\r\n\r\nHigh water at six; <b>not markup</b>.\r\n";
        const QByteArray nfo = "release notes\r\nline two of the attached text file\r\n";
        const QByteArray song = articles::randomBytes(30000, 5);
        QByteArray feed = feedArticle("tide notes", "<n." + tag + "@x>", note)
            + feedArticle("\"notes.nfo\" yEnc (1/1)", "<y." + tag + "@x>",
                articles::yencBody(nfo, "notes.nfo", 1, 1, 1, nfo.size()));
        const QList<QByteArray> parts = articles::yencBodies(song, "whelk song.mp3", 3);
        for (int i = 0; i < 3; ++i) {
            feed += feedArticle("\"whelk song.mp3\" yEnc (" + QByteArray::number(i + 1) + "/3)",
                "<m" + QByteArray::number(i) + "." + tag + "@x>", parts[i]);
        }
        t.writeFile(QStringLiteral("feed.txt"), feed);
        QVERIFY(m_inn->postFile(t.path(QStringLiteral("feed.txt"))));

        m_inn->pointAt(ctx.settings, t);
        ctx.groups.ngAddGroup(kGroup);
        ctx.scanConnection.StartScan();
        QTRY_VERIFY_WITH_TIMEOUT(t.logCount(QStringLiteral("Scan Complete.")) > 0, 60000);
        QTRY_COMPARE_WITH_TIMEOUT(ctx.connections.state(Conn::Scan), 0, 10000);
        ctx.headerView.selectGroupEntry(QLatin1String(kGroup));

        const std::optional<ItemRecord> text = itemNamed(ctx, "tide notes");
        QVERIFY(text);
        ctx.viewer.ViewArticle(*text);
        QTRY_VERIFY_WITH_TIMEOUT(ctx.viewer.text().contains(QStringLiteral("High water at six")), 20000);
        QVERIFY(ctx.viewer.text().startsWith(QStringLiteral("From: Viewer Test <v@example.invalid>\r\n")));
        QVERIFY(ctx.viewer.text().endsWith(QString::fromLatin1(note)));
        QTRY_COMPARE_WITH_TIMEOUT(ctx.connections.state(Conn::Viewer), 0, 10000);

        const std::optional<ItemRecord> attached = itemNamed(ctx, "\"notes.nfo\"");
        QVERIFY(attached);
        ctx.viewer.ViewArticle(*attached);
        QTRY_VERIFY_WITH_TIMEOUT(ctx.viewer.text().contains(QStringLiteral("<decoded attachment below>")), 20000);
        QVERIFY(ctx.viewer.text().endsWith(QString::fromLatin1(nfo)));
        QTRY_COMPARE_WITH_TIMEOUT(ctx.connections.state(Conn::Viewer), 0, 10000);

        const std::optional<ItemRecord> mp3 = itemNamed(ctx, "\"whelk song.mp3\"");
        QVERIFY(mp3);
        ctx.preview.PreviewItem(*mp3);
        QTRY_COMPARE_WITH_TIMEOUT(t.desktop.openedTargets.size(), 1, 20000);
        const QString opened = t.desktop.openedTargets.first();
        QCOMPARE(opened, t.path(QStringLiteral("cache/previews/TW preview of whelk song.mp3")));
        QFile preview(opened);
        QVERIFY(preview.open(QIODevice::ReadOnly));
        QCOMPARE(preview.readAll(), song.first(10000));
    }
};

TW_TEST(InnViewerTest)
#include "inn_viewer_test.moc"
