#include "batch/article_text.h"

#include "nntp/reply_reader.h"

#include <algorithm>

QByteArray CleanArticle(QByteArrayView reply)
{
    QByteArrayView text = reply;
    if (const qsizetype end = text.indexOf("\r\n.\r\n"); end >= 0)
        text = text.first(end + 2);
    else if (text.startsWith(".\r\n"))
        text = {};
    for (const char* status : { "220 ", "222 " }) {
        if (text.startsWith(status)) {
            const qsizetype eol = text.indexOf("\r\n");
            if (eol >= 0)
                text = text.sliced(eol + 2);
        }
    }
    return DotUnstuff(text);
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
