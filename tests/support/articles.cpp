#include "support/articles.h"

#include "support/yenc_encode.h"

#include <libdeflate.h>

namespace articles {

namespace {

quint32 crcOf(QByteArrayView bytes)
{
    return libdeflate_crc32(0, bytes.data(), static_cast<size_t>(bytes.size()));
}

QByteArray hex(quint32 v)
{
    return QByteArray::number(v, 16).rightJustified(8, '0');
}

} // namespace

QByteArray yencBody(const QByteArray& file, const QByteArray& name, int part, int total, qint64 begin, qint64 end)
{
    const QByteArray slice = file.mid(begin - 1, end - begin + 1);
    QByteArray out = "=ybegin part=" + QByteArray::number(part) + " total=" + QByteArray::number(total)
        + " line=128 size=" + QByteArray::number(file.size()) + " name=" + name + "\r\n";
    if (total > 1)
        out += "=ypart begin=" + QByteArray::number(begin) + " end=" + QByteArray::number(end) + "\r\n";
    out += yenctest::encode(slice) + "\r\n=yend size=" + QByteArray::number(slice.size())
        + " part=" + QByteArray::number(part);
    if (total > 1)
        out += " pcrc32=" + hex(crcOf(slice));
    if (part == total)
        out += " crc32=" + hex(crcOf(file));
    return out + "\r\n";
}

QList<QByteArray> yencBodies(const QByteArray& file, const QByteArray& name, int total)
{
    QList<QByteArray> parts;
    const qint64 step = (file.size() + total - 1) / total;
    for (int p = 1; p <= total; ++p) {
        const qint64 begin = (p - 1) * step + 1;
        parts.append(yencBody(file, name, p, total, begin, std::min<qint64>(file.size(), p * step)));
    }
    return parts;
}

QByteArray uuBody(const QByteArray& slice, const QByteArray& name, bool first, bool last)
{
    QByteArray out;
    if (first)
        out += "begin 644 " + name + "\r\n";
    for (qsizetype at = 0; at < slice.size(); at += 45) {
        const QByteArray chunk = slice.mid(at, 45);
        QByteArray line(1, static_cast<char>(32 + chunk.size()));
        for (qsizetype i = 0; i < chunk.size(); i += 3) {
            const auto b = [&](qsizetype k) { return k < chunk.size() ? static_cast<unsigned char>(chunk[k]) : 0u; };
            const unsigned v = (b(i) << 16) | (b(i + 1) << 8) | b(i + 2);
            for (int s = 18; s >= 0; s -= 6) {
                const unsigned sextet = (v >> s) & 63;
                line += static_cast<char>(sextet == 0 ? '`' : 32 + sextet);
            }
        }
        out += line + "\r\n";
    }
    if (last)
        out += "`\r\nend\r\n";
    return out;
}

QList<QByteArray> uuBodies(const QByteArray& file, const QByteArray& name, int total)
{
    // Slices of whole lines, as posters cut them.
    const qsizetype lines = (file.size() + 44) / 45;
    const qsizetype perPart = (lines + total - 1) / total;
    QList<QByteArray> parts;
    for (int p = 0; p < total; ++p)
        parts.append(uuBody(file.mid(p * perPart * 45, perPart * 45), name, p == 0, p == total - 1));
    return parts;
}

QByteArray article(
    const QByteArray& subject, const QByteArray& messageId, const QByteArray& body, const QByteArray& extra)
{
    return "From: Poster <poster@example.invalid>\r\nNewsgroups: alt.test\r\nSubject: " + subject
        + "\r\nMessage-ID: " + messageId + "\r\n" + extra + "\r\n" + body;
}

QByteArray articleReply(const QByteArray& article)
{
    QByteArray out = "220 0 article\r\n";
    qsizetype from = 0;
    while (from < article.size()) {
        qsizetype eol = article.indexOf("\r\n", from);
        eol = eol < 0 ? article.size() : eol + 2;
        if (article[from] == '.')
            out += '.';
        out += article.sliced(from, eol - from);
        from = eol;
    }
    if (!out.endsWith("\r\n"))
        out += "\r\n";
    return out + ".\r\n";
}

} // namespace articles
