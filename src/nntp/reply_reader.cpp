#include "nntp/reply_reader.h"

#include <cstring>

namespace {

int parseCode(QByteArrayView line)
{
    if (line.size() < 3)
        return 0;
    int code = 0;
    for (int i = 0; i < 3; ++i) {
        const char c = line[i];
        if (c < '0' || c > '9')
            return 0;
        code = code * 10 + (c - '0');
    }
    return code;
}

// The first LF at or after `from` that `next` follows. A generic substring search costs a
// third of a download's CPU; LFs are the rare byte here, so memchr leaps from one to the next.
qsizetype findAfterLf(QByteArrayView text, qsizetype from, QByteArrayView next)
{
    const char* const begin = text.data();
    const char* const end = begin + text.size();
    const char* p = begin + from;
    while (p < end) {
        const auto* lf = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
        if (!lf)
            return -1;
        if (end - lf - 1 >= next.size() && std::memcmp(lf + 1, next.data(), static_cast<size_t>(next.size())) == 0)
            return lf - begin;
        p = lf + 1;
    }
    return -1;
}

} // namespace

QByteArray DotUnstuff(QByteArrayView body)
{
    QByteArray out;
    qsizetype from = 0;
    if (body.startsWith("..")) {
        out.reserve(body.size());
        from = 1;
    }
    while (true) {
        const qsizetype hit = findAfterLf(body, from, "..");
        if (hit < 0)
            break;
        if (out.capacity() == 0)
            out.reserve(body.size());
        out.append(body.sliced(from, hit + 1 - from));
        from = hit + 2;
    }
    if (from == 0)
        return body.toByteArray();
    out.append(body.sliced(from));
    return out;
}

bool isMultiLineCode(int code)
{
    switch (code) {
    case 100:
    case 101:
    case 215:
    case 220:
    case 221:
    case 222:
    case 224:
    case 225:
    case 230:
    case 231:
    case 282:
        return true;
    default:
        return false;
    }
}

void ReplyReader::append(QByteArrayView bytes)
{
    if (m_error != Error::None)
        return;
    m_buffer.append(bytes);
}

QByteArrayView ReplyReader::pending() const { return QByteArrayView(m_buffer).sliced(m_pos); }

bool ReplyReader::pendingStartsLineWith(QByteArrayView prefix) const
{
    const QByteArrayView rest = pending();
    if (rest.startsWith(prefix))
        return true;
    const QByteArray needle = "\r\n" + prefix.toByteArray();
    return rest.indexOf(needle) >= 0;
}

void ReplyReader::clear()
{
    m_buffer.clear();
    m_pos = 0;
    m_searchFrom = -1;
    m_current = {};
    m_error = Error::None;
}

void ReplyReader::compact()
{
    if (m_pos == m_buffer.size()) {
        m_buffer.clear();
        m_pos = 0;
    } else if (m_pos > 64 * 1024 && m_pos > m_buffer.size() / 2) {
        m_buffer.remove(0, m_pos);
        if (m_searchFrom >= 0)
            m_searchFrom -= m_pos;
        m_pos = 0;
    }
}

std::optional<Reply> ReplyReader::next(const MultiLineRule& isMultiLine)
{
    if (m_error != Error::None)
        return std::nullopt;
    if (m_searchFrom >= 0)
        return takeBody();

    const qsizetype eol = m_buffer.indexOf('\n', m_pos);
    if (eol < 0) {
        // A CR at the end may be the line's own, waiting for its LF.
        const qsizetype held = m_buffer.size() - m_pos - (m_buffer.endsWith('\r') ? 1 : 0);
        if (held > m_limits.statusLine)
            m_error = Error::StatusLineTooLong;
        return std::nullopt;
    }
    qsizetype end = eol;
    if (end > m_pos && m_buffer[end - 1] == '\r')
        --end;
    if (end - m_pos > m_limits.statusLine) {
        m_error = Error::StatusLineTooLong;
        return std::nullopt;
    }
    Reply reply;
    reply.statusLine = m_buffer.sliced(m_pos, end - m_pos);
    reply.code = parseCode(reply.statusLine);
    m_pos = eol + 1;
    if (reply.code != 0 && isMultiLine && isMultiLine(reply.code)) {
        reply.multiLine = true;
        m_current = std::move(reply);
        // The status line's own LF may be the one before an empty body's ".".
        m_searchFrom = eol;
        return takeBody();
    }
    compact();
    return reply;
}

std::optional<Reply> ReplyReader::takeBody()
{
    // Only the newly arrived tail is searched; the terminator may straddle the old end.
    const qsizetype start = std::max(m_searchFrom, m_pos - 1);
    const qsizetype hit = findAfterLf(m_buffer, start, ".\r\n");
    if (hit < 0) {
        // The last line's LF may already be followed by the "." and CR of the terminator.
        const qsizetype partEnd = m_buffer.endsWith("\n.") ? 1 : m_buffer.endsWith("\n.\r") ? 2 : 0;
        if (m_buffer.size() - m_pos - partEnd > m_limits.body)
            m_error = Error::BodyTooLarge;
        else
            m_searchFrom = std::max(start, m_buffer.size() - 4);
        return std::nullopt;
    }
    if (hit + 1 - m_pos > m_limits.body) {
        m_error = Error::BodyTooLarge;
        return std::nullopt;
    }
    Reply reply = std::move(m_current);
    m_current = {};
    // Body: from the unread start to the LF that ends its last line.
    reply.body = hit + 1 > m_pos ? DotUnstuff(QByteArrayView(m_buffer).sliced(m_pos, hit + 1 - m_pos)) : QByteArray();
    m_pos = hit + 4;
    m_searchFrom = -1;
    compact();
    return reply;
}
