#include "nntp/reply_reader.h"
#include "support/test_registry.h"

#include <QTest>

namespace {

// Feeds the stream to the reader in pieces of the given size and collects every reply.
QList<Reply> frame(const QByteArray& stream, qsizetype piece, ReplyReader& reader)
{
    QList<Reply> replies;
    for (qsizetype at = 0; at < stream.size(); at += piece) {
        reader.append(QByteArrayView(stream).sliced(at, std::min(piece, stream.size() - at)));
        while (std::optional<Reply> r = reader.next(isMultiLineCode))
            replies.append(*r);
    }
    return replies;
}

} // namespace

class ReplyReaderTest : public QObject {
    Q_OBJECT
private slots:
    void framesRepliesHoweverTheyArrive()
    {
        const QByteArray stream = "200 welcome\r\n"
                                  "211 3 1 3 alt.test\r\n"
                                  "224 overview follows\r\n"
                                  "1\tsubject\r\n"
                                  "..leading dot\r\n"
                                  "...two dots\r\n"
                                  "2\tnot . the end\r\n"
                                  ".\r\n"
                                  "224 empty\r\n"
                                  ".\r\n"
                                  "224 stuffed\r\n"
                                  "..first\r\n"
                                  ".\r\n"
                                  "205 bye\r\n";
        for (qsizetype piece : { stream.size(), qsizetype(1), qsizetype(2), qsizetype(3), qsizetype(7) }) {
            ReplyReader reader;
            const QList<Reply> replies = frame(stream, piece, reader);
            QCOMPARE(replies.size(), 6);
            QCOMPARE(replies[0].codeText(), QByteArray("200 "));
            QCOMPARE(replies[1].statusLine, QByteArray("211 3 1 3 alt.test"));
            QVERIFY(!replies[1].multiLine);
            QCOMPARE(replies[2].code, 224);
            QCOMPARE(replies[2].body, QByteArray("1\tsubject\r\n.leading dot\r\n..two dots\r\n2\tnot . the end\r\n"));
            QVERIFY(replies[3].multiLine);
            QCOMPARE(replies[3].body, QByteArray());
            QCOMPARE(replies[4].body, QByteArray(".first\r\n"));
            QCOMPARE(replies[5].statusLine, QByteArray("205 bye"));
        }
    }

    void aStatusLineWaitsForItsLineEnd()
    {
        ReplyReader reader;
        reader.append("281 Authentication acc");
        QVERIFY(!reader.next(isMultiLineCode));
        reader.append("epted\r\n381 more");
        QCOMPARE(reader.next(isMultiLineCode)->code, 281);
        QVERIFY(reader.pendingStartsLineWith("381"));
        QVERIFY(!reader.next(isMultiLineCode));
        reader.clear();
        QVERIFY(reader.pending().isEmpty());
        // A body line that starts with the code text is not a status line.
        reader.append("224 x\r\n381 in a body\r\n");
        QVERIFY(!reader.next(isMultiLineCode));
        QVERIFY(!reader.pendingStartsLineWith("224"));
    }

    void hostileRepliesAreBounded()
    {
        ReplyReader reader;
        reader.append(QByteArray(ReplyReader::kMaxStatusLine + 1, 'x'));
        QVERIFY(!reader.next(isMultiLineCode));
        QCOMPARE(reader.error(), ReplyReader::Error::StatusLineTooLong);
        ReplyReader whole;
        whole.append("200 " + QByteArray(ReplyReader::kMaxStatusLine, 'x') + "\r\n");
        QVERIFY(!whole.next(isMultiLineCode));
        QCOMPARE(whole.error(), ReplyReader::Error::StatusLineTooLong);

        ReplyReader body;
        body.append("224 flood\r\n");
        QVERIFY(!body.next(isMultiLineCode));
        const QByteArray block(1024 * 1024, 'a');
        for (int i = 0; i <= 64 && body.error() == ReplyReader::Error::None; ++i) {
            body.append(block);
            QVERIFY(!body.next(isMultiLineCode));
        }
        QCOMPARE(body.error(), ReplyReader::Error::BodyTooLarge);
        // After an error nothing more is buffered.
        body.append(block);
        QVERIFY(body.pending().size() <= ReplyReader::kMaxBody + 2 * block.size());

        // A reply at its bound passes and one byte more fails, however the bytes arrive.
        using enum ReplyReader::Error;
        const struct {
            QByteArray stream;
            ReplyReader::Error error;
        } cases[] = {
            { "200 abcd\r\n", None },
            { "200 abcde\r\n", StatusLineTooLong },
            { "224 x\r\n" + QByteArray(14, 'b') + "\r\n.\r\n", None },
            { "224 x\r\n" + QByteArray(15, 'b') + "\r\n.\r\n", BodyTooLarge },
        };
        for (const auto& c : cases) {
            for (qsizetype piece : { c.stream.size(), qsizetype(1) }) {
                ReplyReader small({ 8, 16 });
                QCOMPARE(frame(c.stream, piece, small).size(), c.error == None ? 1 : 0);
                QCOMPARE(small.error(), c.error);
            }
        }
    }

    void theCommandDecidesWhetherABodyFollows()
    {
        ReplyReader reader;
        reader.append("211 2 1 2 alt.test\r\n1\r\n2\r\n.\r\n");
        auto listgroup = [](int code) { return code == 211 || isMultiLineCode(code); };
        const std::optional<Reply> r = reader.next(listgroup);
        QVERIFY(r && r->multiLine);
        QCOMPARE(r->body, QByteArray("1\r\n2\r\n"));
    }
};

TW_TEST(ReplyReaderTest)
#include "reply_reader_test.moc"
