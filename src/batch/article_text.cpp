#include "batch/article_text.h"

#include "nntp/reply_reader.h"

#include <algorithm>

QByteArray CleanArticle(QByteArrayView reply)
{
    // The same framing as the connection's reply reader, so a stored article never depends on
    // how the bytes arrived.
    qsizetype from = 0;
    if (reply.startsWith("220 ") || reply.startsWith("222 ")) {
        const qsizetype eol = reply.indexOf('\n');
        if (eol >= 0)
            from = eol + 1;
    }
    QByteArrayView body = reply.sliced(from);
    if (body.startsWith(".\r\n"))
        return {};
    const qsizetype end = reply.indexOf("\n.\r\n", std::max<qsizetype>(from - 1, 0));
    if (end >= from - 1 && end >= 0)
        body = reply.sliced(from, end + 1 - from);
    return DotUnstuff(body);
}

QByteArrayView articleHead(QByteArrayView article)
{
    if (article.startsWith("\r\n"))
        return {};
    const qsizetype blank = article.indexOf("\r\n\r\n");
    return blank < 0 ? article : article.first(blank + 2);
}

bool holdsMessageId(QByteArrayView article, QByteArrayView messageId)
{
    return !messageId.isEmpty() && articleHead(article).indexOf(messageId) >= 0;
}

void FixSubjectParentheses(QByteArray& article)
{
    const QByteArrayView head = articleHead(article);
    qsizetype start = head.startsWith("Subject:") ? 0 : head.indexOf("\nSubject:");
    if (start < 0)
        return;
    if (start > 0)
        ++start;
    qsizetype end = head.indexOf("\r\n", start);
    if (end < 0)
        end = head.size();
    char* line = article.data() + start;
    const qsizetype length = end - start;
    const auto opens = std::count(line, line + length, '(');
    if (opens <= 1)
        return;
    const auto closes = std::count(line, line + length, ')');
    // All but the last of each turn into brackets, counted from the front.
    auto replaceFirst = [line, length](char from, char to, qsizetype times) {
        for (qsizetype i = 0; i < length && times > 0; ++i) {
            if (line[i] == from) {
                line[i] = to;
                --times;
            }
        }
    };
    replaceFirst('(', '[', opens - 1);
    replaceFirst(')', ']', closes - 1);
}
