#include "batch/served_parts.h"
#include "support/test_registry.h"

#include <QTemporaryDir>

namespace {

using articles::randomBytes;

const QByteArray kHead = "Path: news!not-shown\r\nFrom: A <a@x>\r\nSubject: s\r\n";

QString text(const QByteArray& bytes)
{
    return QString::fromLatin1(bytes);
}

} // namespace

class ViewerTest : public QObject {
    Q_OBJECT
private slots:
    void rendersHeaderAndBodyOrTheDecodedAttachment()
    {
        const QByteArray body = "line one\r\nline two\r\n";
        const QByteArray dos = QByteArray(30, 'd') + "\r\nend\r\n";
        const QByteArray unix = QByteArray(30, 'u') + "\nend\n";
        const QString shown = text("From: A <a@x>\r\nSubject: s\r\n\r\n");
        const struct {
            const char* name;
            DecodedAttachment decoded;
            QString expected;
        } cases[] = {
            { "no attachment", { {}, QStringLiteral("<Attachment Decode Error: x>") }, shown + text(body) },
            { "too short to count", { "short\r\n", {} }, shown + text(body) },
            { "dos text", { dos, {} }, shown + QStringLiteral("<decoded attachment below>\r\n\r\n") + text(dos) },
            { "unix text", { unix, {} },
                shown + QStringLiteral("<decoded attachment below (converted from unix format)>\r\n\r\n")
                    + text(QByteArray(30, 'u') + "\r\nend\r\n") },
        };
        for (const auto& c : cases) {
            const RenderedArticle r = RenderArticle(kHead + "\r\n" + body, c.decoded);
            QVERIFY2(r.text == c.expected, c.name);
        }
        QCOMPARE(UnixToDos("a\nb\r\n\nc"), QByteArray("a\r\nb\r\n\r\nc"));

        // Long text is cut with a note.
        const RenderedArticle big = RenderArticle(kHead + "\r\n" + QByteArray(40000, 'x'), {});
        const QString note = QStringLiteral("\r\n\r\n... <file too large for full display>");
        QCOMPARE(big.text.size(), viewer::kMaxDisplay + note.size());
        QVERIFY(big.text.endsWith(note));

        // The charset the header names, else Latin-1; markup stays text.
        const QByteArray word = "caf\xc3\xa9 <b>x</b>";
        for (const auto& [type, expected] : std::initializer_list<std::pair<QByteArray, QString>> {
                 { "Content-Type: text/plain; charset=\"UTF-8\"\r\n", QStringLiteral("café <b>x</b>") },
                 { "content-type: text/plain;\r\n\tcharset=utf-8; format=flowed\r\n", QStringLiteral("café <b>x</b>") },
                 { "Content-Type: text/plain; charset=no-such-set\r\n", QStringLiteral("cafÃ© <b>x</b>") },
                 { "", QStringLiteral("cafÃ© <b>x</b>") } }) {
            const RenderedArticle r = RenderArticle("From: A\r\n" + type + "\r\n" + word, {});
            QVERIFY2(r.text.endsWith(expected), type.constData());
        }

        QCOMPARE(viewerCaption("  My file.rar [xx/0000012] "), QStringLiteral("My file.rar"));
        QCOMPARE(viewerCaption("[xx/0000012]"), QStringLiteral("[xx/0000012]"));
        QCOMPARE(OpenItem("text", "song.mp3 [xx/0000003]"), OpenAction::ViewText);
        QCOMPARE(OpenItem("complete", "song.MP3 [xx/0000003]"), OpenAction::Preview);
        QCOMPARE(OpenItem("complete", "readme.nfo"), OpenAction::ViewText);
        QCOMPARE(OpenItem("complete", "files.rar [xx/0000003]"), OpenAction::Parts);
        QCOMPARE(OpenItem("complete", "a.mp3"), OpenAction::Parts);
    }

    // Each decode starts from empty temporary files, so a short attachment never shows the tail of
    // a longer one before it.
    void decodesAttachmentsThroughFreshTemporaryFiles()
    {
        QTemporaryDir work;
        const QByteArray big = randomBytes(3000, 1);
        const QByteArray small = "a small text file\r\nof two lines\r\n";
        const auto yenc = [](const QByteArray& data) {
            return articles::article("t", "<y@x>", articles::yencBody(data, "f.txt", 1, 1, 1, data.size()));
        };
        QCOMPARE(DecodeAttachment(yenc(big), work.path()).bytes, big);
        QCOMPARE(DecodeAttachment(yenc(small), work.path()).bytes, small);
        // A later part is shown alone, never as the zeros before its place in a huge file.
        const QByteArray n = QByteArray::number(small.size());
        QByteArray farBody = articles::yencBody(small, "f.txt", 2, 2, 1, small.size());
        farBody.replace("size=" + n + " name", "size=2000000000000 name")
            .replace("begin=1 end=" + n, "begin=1000000000001 end=" + QByteArray::number(1000000000000 + small.size()));
        farBody.truncate(farBody.indexOf(" crc32="));
        const QByteArray far = articles::article("t", "<f@x>", farBody + "\r\n");
        QCOMPARE(DecodeAttachment(far, work.path()).bytes, small);
        const QByteArray uu = articles::article("u", "<u@x>", articles::uuBody(small, "f.nfo", true, true));
        QCOMPARE(DecodeAttachment(uu, work.path()).bytes, small);

        const DecodedAttachment plain
            = DecodeAttachment(articles::article("p", "<p@x>", "just words\r\n"), work.path());
        QVERIFY(plain.bytes.isEmpty());
        QCOMPARE(plain.error, QStringLiteral("<Attachment Decode Error: decoder didn't find any data>"));
        QByteArray broken = yenc(small);
        broken.truncate(broken.indexOf("=yend"));
        QVERIFY(DecodeAttachment(broken, work.path()).error.startsWith(QStringLiteral("<Attachment Decode Error")));
    }

    // However the article arrives, a body line that looks like a reply is article text: ARTICLE is
    // sent once, and the article is shown.
    void showsAnArticleFetchedByIdThenByNumber()
    {
        for (const Delivery& d : { Delivery::whole(), Delivery::chunks(5) }) {
            ViewerParts f(d);
            const QByteArray body = "first\r\n211 1 1 1 alt.test\r\n.dotted\r\nlast\r\n";
            f.server.on(QStringLiteral("ARTICLE <p100@x>")).reply("430 no such article\r\n");
            f.serve(0, kHead + "\r\n" + body);
            f.viewer.ViewArticle(f.item("note", { "" }));
            QTRY_VERIFY_WITH_TIMEOUT(f.viewer.text().contains(QStringLiteral("last")), 10000);
            f.waitClosed(Conn::Viewer);
            QCOMPARE(f.viewer.text(), text("From: A <a@x>\r\nSubject: s\r\n\r\n") + text(body));
            QCOMPARE(f.server.commands(),
                (QStringList { QStringLiteral("GROUP alt.test"), QStringLiteral("ARTICLE <p100@x>"),
                    QStringLiteral("ARTICLE 100"), QStringLiteral("QUIT") }));
        }
    }

    // Every way the article can fail to come ends the wait with a line in the text box.
    void endsTheWaitWithAMessage()
    {
        const struct {
            const char* name;
            std::function<void(FakeNntpServer&)> script;
            QString shown;
        } cases[] = {
            { "expired twice", [](FakeNntpServer& s) { s.onPrefix(QStringLiteral("ARTICLE")).reply("430 gone\r\n"); },
                QStringLiteral("Article expired.  This article has been deleted from server.") },
            { "bad number", [](FakeNntpServer& s) { s.onPrefix(QStringLiteral("ARTICLE")).reply("423 bad\r\n"); },
                QStringLiteral("Bad article number!  This article has been deleted from server.") },
            { "closed by the server", [](FakeNntpServer& s) { s.onPrefix(QStringLiteral("ARTICLE")).drop(); },
                QStringLiteral("Server closed connection before the article arrived.") },
            { "closed mid-article",
                [](FakeNntpServer& s) {
                    s.onPrefix(QStringLiteral("ARTICLE")).reply("220 0 a\r\nFrom: x\r\n\r\npartial\r\n").thenClose();
                },
                QStringLiteral("Server closed connection before the article arrived.") },
            { "no such group", [](FakeNntpServer& s) { s.on(QStringLiteral("GROUP alt.none")).reply("411 no\r\n"); },
                QStringLiteral("Error: 411 no") },
            { "authentication", [](FakeNntpServer& s) { s.onPrefix(QStringLiteral("ARTICLE")).reply("502 no\r\n"); },
                QStringLiteral("Authentication Error.  Check Username/Password...") },
        };
        for (const auto& c : cases) {
            ViewerParts f;
            c.script(f.server);
            ItemRecord item = f.item("note", { "" });
            if (QByteArrayView(c.name) == "no such group") {
                f.groups.ngAddGroup("alt.none");
                item.groupKey = f.groups.ngFindKeyByGroupName("alt.none");
            }
            f.viewer.ViewArticle(item);
            QTRY_VERIFY2_WITH_TIMEOUT(f.viewer.text().endsWith(c.shown),
                qPrintable(QString::fromLatin1(c.name) + u' ' + f.viewer.text()), 10000);
            f.waitClosed(Conn::Viewer);
        }
    }

    // A part of 100,000 bytes is fetched; one byte more is refused. In save mode the article becomes
    // its cache file, folder created and an older, longer file replaced whole.
    void sizeLimitAndSaveMode()
    {
        ViewerParts f;
        f.viewer.ViewArticle(f.item("big", { "" }, viewer::kMaxPartBytes + 1));
        QCOMPARE(f.t.prompts.messages,
            QStringList { QStringLiteral("This article is too large for internal text viewer.") });
        QCOMPARE(f.server.connectionCount(), 0);
        f.t.settings.News_Host = QStringLiteral(" ");
        f.viewer.ViewArticle(f.item("small", { "" }, viewer::kMaxPartBytes));
        QVERIFY(f.t.prompts.messages.last().startsWith(QStringLiteral("Enter News Server name")));
        QCOMPARE(f.server.connectionCount(), 0);
        f.t.settings.News_Host = QStringLiteral("127.0.0.1");

        const QByteArray article = articles::article("part (1/2)", "<p101@x>", "data\r\n");
        f.serve(1, article);
        f.t.writeFile(QStringLiteral("cache/alt.test/101.UUE"), QByteArray(50000, 'o'));
        f.viewer.SaveArticle(f.item("big", { " (1/2)", " (2/2)" }, viewer::kMaxPartBytes + 1), 1);
        QTRY_VERIFY_WITH_TIMEOUT(f.viewer.text().contains(QStringLiteral("Saved as:")), 10000);
        QCOMPARE(f.t.readFile(QStringLiteral("cache/alt.test/101.UUE")), article);
        QVERIFY(f.viewer.text().endsWith(QStringLiteral("Saved as:") + f.cached(101)));
        f.waitClosed(Conn::Viewer);
    }
};

TW_TEST(ViewerTest)
#include "viewer_test.moc"
