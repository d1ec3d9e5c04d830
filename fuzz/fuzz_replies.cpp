// A server's byte stream, split wherever the input says: the replies framed are those a plain
// line-by-line reading of the whole stream gives, the same whatever the splits, and the reader
// never holds more than its bounds and one chunk. The bounds are the real ones or small ones of
// the same code; filling the 64 MiB body bound costs a second an input and is left to the unit test.
#include "fuzz_support.h"

#include "nntp/reply_reader.h"

#include <QList>

namespace {

using fuzz::require;
using Error = ReplyReader::Error;

// The stream as pieces fed one append each; a literal piece is cut further into chunks of `step`
// bytes, a filler piece (a run near one of the bounds) goes in whole.
struct Piece {
    QByteArray bytes;
    bool filler = false;
};

struct Script {
    ReplyReader::MultiLineRule rule;
    ReplyReader::Limits limits { ReplyReader::kMaxStatusLine, ReplyReader::kMaxBody };
    qsizetype step = 1;
    QList<Piece> pieces;
    QByteArray stream;
};

// A run of filler that ends -32..31 bytes from a bound (the body's only when the bounds are small):
// plain bytes, or dot-stuffed lines, which the body's un-stuffing has to walk.
QByteArray filler(quint8 param, const ReplyReader::Limits& limits)
{
    const bool body = (param & 0x80) && limits.body < ReplyReader::kMaxBody;
    const qsizetype size = (body ? limits.body : limits.statusLine) - 32 + (param & 63);
    if (!(param & 0x40))
        return QByteArray(size, 'x');
    static const QByteArray line = ".." + QByteArray(60, 'x') + "\r\n";
    QByteArray out;
    out.reserve(size);
    while (out.size() + line.size() <= size)
        out += line;
    return out + QByteArray(size - out.size(), 'y');
}

// Byte 0 picks the command's multi-line rule and the bounds, byte 1 the chunk size; the rest is the
// stream, where 0xFF escapes: FF FF is a literal FF, FF 00 a split, FF p a filler run.
Script parse(const uint8_t* data, size_t size)
{
    Script s;
    switch (data[0] & 3) {
    case 0:
        s.rule = isMultiLineCode;
        break;
    case 1:
        s.rule = [](int code) { return code == 211 || isMultiLineCode(code); };
        break;
    case 2:
        s.rule = [](int) { return true; };
        break;
    default:
        s.rule = [](int) { return false; };
    }
    if (data[0] & 4)
        s.limits = { 64, 1024 };
    s.step = data[1] + 1;
    s.pieces.append(Piece {});
    for (size_t i = 2; i < size; ++i) {
        if (data[i] != 0xFF) {
            s.pieces.last().bytes += static_cast<char>(data[i]);
            continue;
        }
        const quint8 p = ++i < size ? data[i] : 0;
        if (p == 0xFF) {
            s.pieces.last().bytes += '\xFF';
        } else if (p == 0) {
            s.pieces.append(Piece {});
        } else {
            s.pieces.append(Piece { filler(p, s.limits), true });
            s.pieces.append(Piece {});
        }
    }
    for (const Piece& piece : std::as_const(s.pieces))
        s.stream += piece.bytes;
    return s;
}

bool sameReply(const Reply& a, const Reply& b)
{
    return a.statusLine == b.statusLine && a.code == b.code && a.body == b.body && a.multiLine == b.multiLine;
}

struct Framed {
    QList<Reply> replies;
    Error error = Error::None;
};

// What a reader must take from the whole stream, written as plainly as the protocol says it.
Framed frameByLines(const QByteArray& s, const ReplyReader::MultiLineRule& rule, const ReplyReader::Limits& limits)
{
    const qsizetype lineBound = limits.statusLine, bodyBound = limits.body;
    Framed out;
    qsizetype pos = 0;
    while (pos < s.size()) {
        const qsizetype eol = s.indexOf('\n', pos);
        if (eol < 0) {
            // An unfinished line fails once it is past its bound without the CR it may end with.
            if (s.size() - pos - (s.endsWith('\r') ? 1 : 0) > lineBound)
                out.error = Error::StatusLineTooLong;
            return out;
        }
        Reply r;
        r.statusLine = s.sliced(pos, eol - pos);
        if (r.statusLine.endsWith('\r'))
            r.statusLine.chop(1);
        if (r.statusLine.size() > lineBound) {
            out.error = Error::StatusLineTooLong;
            return out;
        }
        bool digits = r.statusLine.size() >= 3;
        for (int i = 0; digits && i < 3; ++i)
            digits = r.statusLine[i] >= '0' && r.statusLine[i] <= '9';
        r.code = digits ? r.statusLine.left(3).toInt() : 0;
        pos = eol + 1;
        if (r.code != 0 && rule(r.code)) {
            r.multiLine = true;
            // The status line's LF may start the terminator of an empty body.
            const qsizetype end = s.indexOf("\n.\r\n", eol);
            if (end < 0) {
                // Likewise a body without the start of a terminator it may end with.
                if (s.size() - pos - (s.endsWith("\n.") ? 1 : s.endsWith("\n.\r") ? 2 : 0) > bodyBound)
                    out.error = Error::BodyTooLarge;
                return out;
            }
            if (end + 1 - pos > bodyBound) {
                out.error = Error::BodyTooLarge;
                return out;
            }
            for (qsizetype at = pos; at < end + 1;) {
                const qsizetype lf = s.indexOf('\n', at);
                const qsizetype next = lf < 0 || lf > end ? end + 1 : lf + 1;
                const qsizetype from = QByteArrayView(s).sliced(at).startsWith("..") ? at + 1 : at;
                r.body += QByteArrayView(s).sliced(from, next - from);
                at = next;
            }
            pos = end + 4;
        }
        out.replies.append(r);
    }
    return out;
}

// Feeds the pieces as a connection would: append, then take every complete reply.
Framed feed(const Script& s, bool split)
{
    ReplyReader reader(s.limits);
    const qsizetype bound = s.limits.body + 2;
    Framed out;
    auto give = [&](QByteArrayView chunk) {
        const bool failed = reader.error() != Error::None;
        const qsizetype before = reader.pending().size();
        reader.append(chunk);
        if (failed)
            require(reader.pending().size() == before, "after an error nothing more is buffered");
        else
            require(reader.pending().size() <= bound + chunk.size(), "the reader holds its bound and one chunk");
        while (std::optional<Reply> r = reader.next(s.rule)) {
            require(reader.error() == Error::None, "no reply after an error");
            out.replies.append(std::move(*r));
        }
        require(reader.error() != Error::None || reader.pending().size() <= bound,
            "without an error the reader holds no more than a bounded reply");
    };
    if (!split) {
        give(s.stream);
    } else {
        for (const Piece& piece : s.pieces) {
            const qsizetype step = piece.filler ? piece.bytes.size() : s.step;
            for (qsizetype at = 0; at < piece.bytes.size(); at += step)
                give(QByteArrayView(piece.bytes).sliced(at, std::min(step, piece.bytes.size() - at)));
        }
    }
    out.error = reader.error();
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    const Script script = parse(data, size);

    const Framed whole = feed(script, false);
    const Framed split = feed(script, true);
    require(split.error == whole.error, "the same error whatever the splits");
    require(split.replies.size() == whole.replies.size(), "the same number of replies whatever the splits");
    for (qsizetype i = 0; i < whole.replies.size(); ++i)
        require(sameReply(split.replies[i], whole.replies[i]), "the same replies whatever the splits");

    const Framed expected = frameByLines(script.stream, script.rule, script.limits);
    require(whole.replies.size() == expected.replies.size(), "as many replies as the stream holds");
    for (qsizetype i = 0; i < whole.replies.size(); ++i) {
        const Reply& r = whole.replies[i];
        require(sameReply(r, expected.replies[i]), "each reply as a line-by-line reading gives it");
        require(r.statusLine.size() <= script.limits.statusLine && !r.statusLine.contains('\n'),
            "a status line is one bounded line");
    }
    require(whole.error == expected.error, "a reply past its bound fails, one within it does not");
    return 0;
}
