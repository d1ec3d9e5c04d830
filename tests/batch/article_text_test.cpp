#include "batch/article_text.h"
#include "batch/eta.h"
#include "nntp/reply_reader.h"
#include "support/test_registry.h"

#include <QTest>

class ArticleTextTest : public QObject {
    Q_OBJECT
private slots:
    // The reply as the server sends it and the article the cache stores, whatever the split.
    void cleansReplies()
    {
        const QByteArray reply = "220 5 <a@b> article\r\nSubject: x\r\n\r\n..dot\r\nline\r\n..\r\n...\r\n.\r\n";
        const QByteArray article = "Subject: x\r\n\r\n.dot\r\nline\r\n.\r\n..\r\n";
        QCOMPARE(CleanArticle(reply), article);
        QCOMPARE(CleanArticle("220 0 x\r\n.\r\n"), QByteArray());
        for (qsizetype split = 1; split < reply.size(); ++split) {
            ReplyReader reader;
            reader.append(QByteArrayView(reply).first(split));
            std::optional<Reply> r = reader.next(isMultiLineCode);
            reader.append(QByteArrayView(reply).sliced(split));
            if (!r)
                r = reader.next(isMultiLineCode);
            while (r && !r->multiLine)
                r = reader.next(isMultiLineCode);
            QVERIFY(r);
            QCOMPARE(r->body, article);
        }

        QVERIFY(holdsMessageId(article + "Message-ID: <a@b>\r\n", "<x@y>") == false);
        QVERIFY(holdsMessageId("Message-ID: <a@b>\r\n\r\nbody", "<a@b>"));
        QVERIFY(!holdsMessageId("Subject: x\r\n\r\nquoting <a@b>", "<a@b>"));
    }

    void fixesSubjectParentheses()
    {
        const struct {
            QByteArray in;
            QByteArray out;
        } cases[] = {
            { "Subject: Holiday (old) pictures (03/12)\r\n\r\n(a) (b)", "Subject: Holiday [old] pictures (03/12)\r\n\r\n(a) (b)" },
            { "From: x\r\nSubject: one (1/2)\r\n\r\n", "From: x\r\nSubject: one (1/2)\r\n\r\n" },
            { "Subject: ((a) (b) (c)\r\n", "Subject: [[a] [b] (c)\r\n" },
            { "From: x\r\n\r\nSubject: (a) (b)\r\n", "From: x\r\n\r\nSubject: (a) (b)\r\n" },
        };
        for (const auto& c : cases) {
            QByteArray text = c.in;
            FixSubjectParentheses(text);
            QCOMPARE(text, c.out);
        }
    }

    void etaInWords()
    {
        const struct {
            qint64 seconds;
            const char* words;
        } cases[] = { { 29, "less than a minute" }, { 31, "about a minute" }, { 90, "2 minutes" },
                      { 3600, "about an hour" }, { 65 * 60, "1 hour, 5 minutes" }, { 185 * 60, "3 hours, 5 minutes" },
                      { 7200, "about 2 hours" }, { 425 * 60, "about 7 hours" } };
        for (const auto& c : cases)
            QCOMPARE(EtaWords(c.seconds), QLatin1String(c.words));
        const QDateTime noon(QDate(2026, 12, 7), QTime(12, 0));
        QVERIFY(!EtaClock(60, noon).contains(QLatin1String("2026")));
        QVERIFY(EtaClock(2 * 86400, noon).contains(QLatin1String("2026")));
    }
};

TW_TEST(ArticleTextTest)
#include "article_text_test.moc"
