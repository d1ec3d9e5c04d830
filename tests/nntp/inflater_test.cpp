#include "nntp/inflater.h"
#include "support/test_registry.h"

#include <QTest>

namespace {

// Inflates everything queued, one bounded step at a time.
QByteArray drain(Inflater& inflater, qsizetype step = Inflater::kStep)
{
    QByteArray out;
    while (inflater.hasMore()) {
        const QByteArrayView piece = inflater.inflate(step);
        if (piece.size() > step || (piece.isEmpty() && inflater.hasMore() && !inflater.corrupt()))
            qFatal("a step gave %lld bytes", static_cast<long long>(piece.size()));
        out += piece;
    }
    return out;
}

// Flushed messages, as a server sends its replies.
const QList<QByteArray> kMessages { "211 300 1 300 alt.test\r\n",
    "224 overview follows\r\n" + QByteArray("1\tpost.rar (1/9)\tA <a@b.c>\t\r\n").repeated(300) + ".\r\n",
    "205 bye\r\n" };

} // namespace

class InflaterTest : public QObject {
    Q_OBJECT
private slots:
    void anySplitGivesTheSameBytes()
    {
        Deflater deflater;
        QByteArray plain, compressed;
        for (const QByteArray& m : kMessages) {
            plain += m;
            compressed += deflater.deflate(m);
        }
        for (qsizetype cut = 0; cut <= compressed.size(); ++cut) {
            Inflater inflater, reference;
            inflater.append(QByteArrayView(compressed).first(cut));
            reference.append(QByteArrayView(compressed).first(cut));
            QByteArray out = drain(inflater, 7);
            // Small steps hold nothing back that the bytes so far can give.
            QCOMPARE(out, drain(reference, plain.size()));
            inflater.append(QByteArrayView(compressed).sliced(cut));
            out += drain(inflater, 7);
            QVERIFY2(out == plain, qPrintable(QStringLiteral("cut at %1").arg(cut)));
        }
    }

    void corruptStreamStopsForGood()
    {
        const QByteArray garbage(6, '\xff');
        const QByteArray good = Deflater().deflate(kMessages[0]);
        // A final empty block ends the stream; a server never ends its own.
        const QByteArray ended = good + QByteArray("\x03\x00", 2);
        for (const QByteArray& stream : { garbage + good, good + garbage, ended + good }) {
            Inflater inflater;
            inflater.append(stream);
            QVERIFY(kMessages[0].startsWith(drain(inflater)));
            QVERIFY(inflater.corrupt() && !inflater.errorText().isEmpty());
            inflater.append(good);
            QVERIFY(!inflater.hasMore() && inflater.inflate().isEmpty());
        }
        // The step that meets the end says so, even when it gives nothing: a caller stopping at
        // an empty step would otherwise take the bytes after it for more to come.
        Inflater endFirst;
        endFirst.append(QByteArray("\x03\x00", 2) + good);
        QVERIFY(endFirst.inflate().isEmpty() && endFirst.corrupt());
    }

    void tinyInputExpandsOnlyOneStepAtATime()
    {
        const qsizetype size = 48 * 1024 * 1024;
        const QByteArray bomb = Deflater().deflate(QByteArray(size, 'A'));
        QVERIFY(bomb.size() < 100 * 1024);
        Inflater inflater;
        inflater.append(bomb);
        // Nothing is held back inside zlib once there is said to be no more.
        QCOMPARE(drain(inflater), QByteArray(size, 'A'));
    }
};

TW_TEST(InflaterTest)
#include "inflater_test.moc"
