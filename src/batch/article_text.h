#pragma once

#include <QByteArray>
#include <QByteArrayView>

// Text operations on an article as the server sent it and as the cache stores it.

// The article of a complete ARTICLE reply: the "220 "/"222 " status line and the terminating "."
// line cut off, dot-stuffed lines restored, all in one pass.
[[nodiscard]] QByteArray CleanArticle(QByteArrayView reply);

// The header section: everything before the first empty line (the whole text when there is none).
[[nodiscard]] QByteArrayView articleHead(QByteArrayView article);

// Whether the article's header section holds this message-id (angle brackets included).
[[nodiscard]] bool holdsMessageId(QByteArrayView article, QByteArrayView messageId);

// Makes the last parenthesised group of the Subject header the only one, turning the earlier "("
// and ")" into "[" and "]", so the decoding library reads the part number from the last group.
void FixSubjectParentheses(QByteArray& article);
