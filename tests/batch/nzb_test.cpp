#include "batch/nzb.h"
#include "support/temp_folder.h"
#include "support/test_registry.h"

#include <QBuffer>
#include <QTest>

#include <algorithm>

namespace {

// A pipe-like device: no size to look at beforehand, so only the bytes read can bound it.
class Pipe : public QIODevice {
public:
    explicit Pipe(const QByteArray& data)
        : m_data(data)
    {
        open(QIODevice::ReadOnly);
    }
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char* to, qint64 max) override
    {
        const qint64 n = std::min<qint64>(max, m_data.size());
        std::copy_n(m_data.constData(), n, to);
        m_data.remove(0, n);
        return n;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    QByteArray m_data;
};

NzbReadResult parse(const QByteArray& xml, const NzbLimits& limits = {}, bool sequential = false)
{
    if (sequential) {
        Pipe pipe(xml);
        return readNzb(pipe, limits);
    }
    QBuffer buffer;
    buffer.setData(xml);
    buffer.open(QIODevice::ReadOnly);
    return readNzb(buffer, limits);
}

QByteArray wrap(const QByteArray& segments)
{
    return "<nzb xmlns=\"http://www.newzbin.com/DTD/2003/nzb\"><file poster=\"p\" date=\"1\" subject=\"s\">"
           "<groups><group>a.b</group></groups><segments>"
        + segments + "</segments></file></nzb>";
}

// "number:bytes:id" per segment, files apart by "|".
QString segmentList(const NzbDocument& doc)
{
    QStringList files;
    for (const NzbFile& f : doc.files) {
        QStringList s;
        for (const NzbSegment& seg : f.segments)
            s << QStringLiteral("%1:%2:%3").arg(seg.number).arg(seg.bytes).arg(QString::fromUtf8(seg.messageId));
        files << s.join(u' ');
    }
    return files.join(u'|');
}

NzbDocument sample()
{
    NzbDocument doc;
    doc.meta = { { QStringLiteral("title"), QStringLiteral("Shells & <reefs> \"1\"") }, { QStringLiteral("tag"), {} },
        { QStringLiteral("note"), QStringLiteral("one\rtwo\r\nthree") } };
    doc.files.push_back({ QStringLiteral("Ann <ann@example.invalid> (Ann's)"), 1071674882,
        QStringLiteral("Here's your file!  abc-mr2a.r01 (1/2)\tü"),
        { QStringLiteral("alt.binaries.a"), QStringLiteral("alt.b") },
        { { 102394, 1, "123456789abcdef@news.example.com" }, { 7, 2, "a&b\"c'd@x" } } });
    doc.files.push_back({ {}, 0, QStringLiteral("line\nbreak\r"), {}, { { 0, 5, "only@x" } } });
    return doc;
}

} // namespace

class NzbTest : public QObject {
    Q_OBJECT
private slots:
    void writtenFilesReadBackTheSame()
    {
        const NzbDocument doc = sample();
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        QVERIFY(writeNzb(buffer, doc));
        const QByteArray bytes = buffer.data();
        QVERIFY(bytes.startsWith("<?xml version=\"1.0\" encoding=\"UTF-8\"?>"));
        QVERIFY(bytes.contains("<!DOCTYPE nzb PUBLIC \"-//newzBin//DTD NZB 1.1//EN\""));
        QVERIFY(bytes.contains("<nzb xmlns=\"http://www.newzbin.com/DTD/2003/nzb\">"));
        const NzbReadResult back = parse(bytes, {}, true);
        QVERIFY2(back.document, qPrintable(back.error));
        QVERIFY(*back.document == doc);

        TempFolder t;
        const QString path = t.path(QStringLiteral("post.nzb"));
        QVERIFY(writeNzb(path, doc));
        QCOMPARE(t.readFile(QStringLiteral("post.nzb")), bytes);
        QVERIFY(*readNzb(path).document == doc);
        QVERIFY(!writeNzb(t.path(QStringLiteral("missing/post.nzb")), doc));
        QVERIFY(readNzb(t.path(QStringLiteral("missing.nzb"))).error.startsWith(QLatin1String("Cannot open NZB file")));

        // Header text may hold what XML cannot: it is written replaced rather than breaking the file.
        NzbDocument odd = doc;
        odd.files[0].subject = QStringLiteral("bell\x07") + QChar(0xD800);
        QVERIFY(writeNzb(path, odd));
        QCOMPARE(readNzb(path).document->files[0].subject, QStringLiteral("bell\uFFFD\uFFFD"));

        QBuffer readOnly;
        readOnly.open(QIODevice::ReadOnly);
        QTest::ignoreMessage(QtWarningMsg, "QIODevice::write (QBuffer): ReadOnly device");
        QVERIFY(!writeNzb(readOnly, doc));
    }

    void realWorldVariantsAreRead()
    {
        const struct {
            const char* name;
            QByteArray xml;
            const char* segments;
        } cases[] = {
            { "brackets and whitespace", wrap("<segment bytes=\"9\" number=\"1\">\n  &lt;a@b&gt;\n </segment>"),
                "1:9:a@b" },
            { "missing bytes", wrap("<segment number=\"1\">a@b</segment>"), "1:0:a@b" },
            { "out of order, duplicates keep the first",
                wrap("<segment number=\"3\">c@x</segment><segment number=\"1\">a@x</segment>"
                     "<segment number=\"3\">d@x</segment><segment number=\"2\">b@x</segment>"),
                "1:0:a@x 2:0:b@x 3:0:c@x" },
            { "unusable segments skipped",
                wrap("<segment number=\"0\">a@x</segment><segment>b@x</segment><segment number=\"2\"> </segment>"
                     "<segment number=\"3\">&lt;&gt;</segment><segment number=\"-1\">c@x</segment>"
                     "<segment number=\"4\">d@x</segment>"),
                "4:0:d@x" },
            { "no namespace, unknown elements, CDATA",
                "<?xml version=\"1.0\"?><nzb><x><file><segments><segment "
                "number=\"9\">no@x</segment></segments></file></x>"
                "<file><y/><segments><z>1</z><segment number=\"1\" bytes=\"5\"><![CDATA[<c@x>]]><q>z</q></segment>"
                "</segments></file><file><segments/></file></nzb>",
                "1:5:c@x" },
            { "several files",
                wrap("<segment number=\"1\">a@x</segment></segments></file><file><segments>"
                     "<segment number=\"1\">b@x</segment>"),
                "1:0:a@x|1:0:b@x" },
        };
        for (const auto& c : cases) {
            for (const bool sequential : { false, true }) {
                const NzbReadResult r = parse(c.xml, {}, sequential);
                QVERIFY2(r.document, qPrintable(QString::fromLatin1(c.name) + QStringLiteral(": ") + r.error));
                QCOMPARE(segmentList(*r.document), QLatin1String(c.segments));
                QVERIFY(r.error.isEmpty());
            }
        }

        const NzbReadResult r = parse(wrap("<segment number=\"1\">a@x</segment>")
                                          .replace("<nzb ",
                                              "<!DOCTYPE nzb PUBLIC \"-//newzBin//DTD NZB 1.1//EN\" "
                                              "\"http://www.newzbin.com/DTD/nzb/nzb-1.1.dtd\">\n<nzb ")
                                          .replace("<file", "<head><meta type=\"title\"> T </meta></head><file")
                                          .replace("<group>a.b</group>", "<group> a.b </group><group/>"));
        QVERIFY2(r.document, qPrintable(r.error));
        QCOMPARE(r.document->meta,
            (QList<std::pair<QString, QString>> { { QStringLiteral("title"), QStringLiteral("T") } }));
        const NzbFile& f = r.document->files.at(0);
        QCOMPARE(f.poster, QStringLiteral("p"));
        QCOMPARE(f.date, 1);
        QCOMPARE(f.subject, QStringLiteral("s"));
        QCOMPARE(f.groups, QStringList { QStringLiteral("a.b") });
    }

    void refusalsSayWhyAndReturnNothing()
    {
        const QByteArray good = wrap("<segment number=\"1\">a@x</segment><segment number=\"2\">b@x</segment>");
        const QByteArray laughs
            = "<?xml version=\"1.0\"?><!DOCTYPE nzb [<!ENTITY a \"aaaaaaaaaa\">"
              "<!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\"><!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\">"
              "<!ENTITY d \"&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;\"><!ENTITY e \"&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;\">"
              "<!ENTITY f \"&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;\"><!ENTITY g \"&f;&f;&f;&f;&f;&f;&f;&f;&f;&f;\">"
              "<!ENTITY h \"&g;&g;&g;&g;&g;&g;&g;&g;&g;&g;\"><!ENTITY i \"&h;&h;&h;&h;&h;&h;&h;&h;&h;&h;\">]>";
        const struct {
            QByteArray xml;
            NzbLimits limits;
            const char* error;
        } cases[] = {
            { good, { qint64(good.size()) - 1, 10 }, "NZB file too large (over 221 bytes)" },
            { QByteArray(1 << 20, ' ') + good, { 1 << 20, 10 }, "NZB file too large (over 1 MB)" },
            { good, { qint64(good.size()), 1 }, "NZB file has too many segments (over 1)" },
            { "<nzb><file>\n  <segments></file></nzb>", {},
                "Malformed NZB file: Opening and ending tag mismatch. at line 2, column 19" },
            { good.chopped(6), {}, "Malformed NZB file: Premature end of document. at line 1, column" },
            { "", {}, "Malformed NZB file: Premature end of document. at line 1, column 0" },
            { "<nzb><file/></nzb>", {}, "NZB file lists no segments" },
            { "<html/>", {}, "Not an NZB file: the root element is <html>" },
            { laughs + wrap("<segment number=\"1\">&i;</segment>"), {}, "NZB file declares entities at line 1" },
            { "<!DOCTYPE nzb [<!ENTITY % p \"<!ENTITY q 'x'>\"> %p;]>" + wrap("<segment number=\"1\">&q;</segment>"),
                {}, "NZB file declares entities" },
            { wrap("<segment number=\"1\">a&unknown;b</segment>"), {},
                "Malformed NZB file: Entity 'unknown' not declared." },
            { wrap("<segment number=\"1\">a b@x</segment>"), {}, "NZB file has an unusable message-id at line 1" },
            { wrap("<segment number=\"1\">a&#9;b@x</segment>"), {}, "NZB file has an unusable message-id" },
            { wrap("<segment number=\"1\">&lt;a&lt;b@x&gt;</segment>"), {}, "NZB file has an unusable message-id" },
            { wrap("<segment number=\"1\">a>b@x</segment>"), {}, "NZB file has an unusable message-id" },
            { wrap("<segment number=\"1\">a\x7f@x</segment>"), {}, "NZB file has an unusable message-id" },
            { wrap("<segment number=\"1\">a&#1;b@x</segment>"), {}, "Malformed NZB file" },
        };
        for (const auto& c : cases) {
            for (const bool sequential : { false, true }) {
                const NzbReadResult r = parse(c.xml, c.limits, sequential);
                QVERIFY2(!r.document, c.error);
                QVERIFY2(r.error.startsWith(QLatin1String(c.error)),
                    qPrintable(r.error + QStringLiteral(" / ") + QLatin1String(c.error)));
            }
        }
        QVERIFY(parse(good, { qint64(good.size()), 2 }, true).document);
    }
};

TW_TEST(NzbTest)
#include "nzb_test.moc"
