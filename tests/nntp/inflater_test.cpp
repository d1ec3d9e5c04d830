#include "nntp/inflater.h"
#include "support/test_registry.h"

#include <QRandomGenerator>
#include <QTest>

#include <algorithm>

namespace {

// Inflates everything queued, one bounded step at a time.
QByteArray drain(Inflater& inflater, qsizetype step = Inflater::kStep)
{
    QByteArray out;
    while (inflater.hasMore()) {
        const QByteArrayView piece = inflater.inflate(step);
        if (piece.size() > step)
            qFatal("a step gave %lld bytes", static_cast<long long>(piece.size()));
        out += piece;
        if (piece.isEmpty() && !inflater.hasMore())
            break;
    }
    return out;
}

// Several flushed messages, as a server sends its replies: text that packs well and bytes that do not.
struct Stream {
    QByteArray plain;
    QByteArray compressed;
};

Stream serverStream()
{
    Stream s;
    Deflater deflater;
    QByteArray overview = "224 overview follows\r\n";
    for (int n = 1; n <= 300; ++n)
        overview += QByteArray::number(n) + "\tpost" + QByteArray::number(n) + ".rar (1/9)\tA <a@b.c>\t\r\n";
    overview += ".\r\n";
    QByteArray noise(3000, '\0');
    QRandomGenerator rng(5);
    rng.fillRange(reinterpret_cast<quint32*>(noise.data()), noise.size() / 4);
    for (const QByteArray& message :
        { QByteArray("211 300 1 300 alt.test\r\n"), overview, noise, QByteArray("205\r\n") }) {
        s.plain += message;
        s.compressed += deflater.deflate(message);
    }
    return s;
}

} // namespace

class InflaterTest : public QObject {
    Q_OBJECT
private slots:
    void anySplitGivesTheSameBytes()
    {
        const Stream s = serverStream();
        QVERIFY(s.compressed.size() < s.plain.size() / 2);
        for (qsizetype cut = 0; cut <= s.compressed.size(); ++cut) {
            Inflater inflater;
            inflater.append(QByteArrayView(s.compressed).first(cut));
            QByteArray out = drain(inflater);
            inflater.append(QByteArrayView(s.compressed).sliced(cut));
            out += drain(inflater);
            QVERIFY2(out == s.plain, qPrintable(QStringLiteral("cut at %1").arg(cut)));
        }
        // Byte by byte, with output steps too small for what one byte can give.
        Inflater inflater;
        QByteArray out;
        for (char c : s.compressed) {
            inflater.append(QByteArrayView(&c, 1));
            out += drain(inflater, 7);
        }
        QCOMPARE(out, s.plain);
        QVERIFY(!inflater.corrupt());
    }

    void corruptStreamStopsForGood()
    {
        const Stream s = serverStream();
        struct Case {
            const char* name;
            QByteArray stream;
            QByteArray good; // what may come out, in part, before the fault
        };
        const QByteArray tail = QByteArray("\xff\xff\xff\xff\xff\xff", 6);
        Deflater ended;
        QByteArray finished = ended.deflate("200 hi\r\n");
        finished += QByteArray("\x03\x00", 2); // a final empty block: the stream is over
        const QList<Case> cases {
            { "garbage from the start", tail + s.compressed, {} },
            { "garbage after good data", s.compressed + tail, s.plain },
            { "bytes after the end", finished + s.compressed.left(20), "200 hi\r\n" },
        };
        for (const Case& c : cases) {
            Inflater inflater;
            inflater.append(c.stream);
            const QByteArray out = drain(inflater);
            QVERIFY2(inflater.corrupt(), c.name);
            QVERIFY2(!inflater.errorText().isEmpty(), c.name);
            QVERIFY2(c.good.startsWith(out), c.name);
            // Nothing more is taken or given once it failed.
            inflater.append(s.compressed);
            QVERIFY2(!inflater.hasMore() && inflater.inflate().isEmpty(), c.name);
        }
    }

    void tinyInputExpandsOnlyOneStepAtATime()
    {
        Deflater deflater;
        const qsizetype size = 48 * 1024 * 1024;
        const QByteArray bomb = deflater.deflate(QByteArray(size, 'A'));
        QVERIFY(bomb.size() < 100 * 1024);
        Inflater inflater;
        inflater.append(bomb);
        qsizetype total = 0;
        int steps = 0;
        while (inflater.hasMore()) {
            const QByteArrayView piece = inflater.inflate();
            QVERIFY(piece.size() <= Inflater::kStep);
            QVERIFY(std::all_of(piece.begin(), piece.end(), [](char c) { return c == 'A'; }));
            total += piece.size();
            ++steps;
        }
        // Nothing is held back inside zlib once it says there is no more.
        QCOMPARE(total, size);
        QVERIFY(steps >= size / Inflater::kStep);
    }
};

TW_TEST(InflaterTest)
#include "inflater_test.moc"
