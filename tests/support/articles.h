#pragma once

#include <QByteArray>
#include <QList>

#include "support/yenc_encode.h"

#include <cstdint>

// Articles as posters make them: yEnc and uuencoded parts with their headers, and the server's
// ARTICLE reply around them.
namespace articles {

using yenctest::randomBytes;

// One yEnc part of `file`: bytes [begin, end] (1-based), 128-column lines, "=ypart" when total > 1,
// "=yend" with the part's CRC and, on the last part, the whole file's.
QByteArray yencBody(const QByteArray& file, const QByteArray& name, int part, int total, qint64 begin, qint64 end);
// The parts of `file` cut into `total` slices.
QList<QByteArray> yencBodies(const QByteArray& file, const QByteArray& name, int total);

// A slice of a uuencoded file: "begin" on the first part, "end" on the last.
QByteArray uuBody(const QByteArray& slice, const QByteArray& name, bool first, bool last);
QList<QByteArray> uuBodies(const QByteArray& file, const QByteArray& name, int total);

// Headers (`extra` last), a blank line and the body, CR LF throughout.
QByteArray article(
    const QByteArray& subject, const QByteArray& messageId, const QByteArray& body, const QByteArray& extra = {});
// The server's reply to ARTICLE: status line, dot-stuffed article, terminator.
QByteArray articleReply(const QByteArray& article);

} // namespace articles
