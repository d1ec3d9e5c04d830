// A compressed server stream, split wherever the input says: the inflated bytes are those of the
// stream taken in one piece, a corrupt stream ends with an error in both, and neither the inflater's
// steps nor the reply reader behind it ever hold more than their bound and one step.
#include "fuzz_support.h"

#include "nntp/inflater.h"
#include "nntp/reply_reader.h"

#include <QList>

namespace {

using fuzz::require;

// Byte 0: bit 0 picks a stream of our own deflated messages (the rest of the input is their text,
// 0xFF ends a message and 0xFE k adds a run of (k + 1) * 4 KiB, a small bomb) or the input itself as the
// compressed stream; bits 1-3 the inflate step. Byte 1 seeds the split sizes.
struct Script {
    QByteArray plain; // empty when the stream is the input's own
    QByteArray compressed;
    qsizetype step = Inflater::kStep;
    quint32 seed = 1;
    // A stream of the input's own may expand a thousandfold: feeding stops after this much.
    qsizetype outputLimit = 0;
};

Script parse(const uint8_t* data, size_t size)
{
    static constexpr qsizetype kSteps[] = { 1, 2, 7, 64, 1000, 4096, 65536, Inflater::kStep };
    Script s;
    s.step = kSteps[(data[0] >> 1) & 7];
    s.seed = data[1] + 1u;
    s.outputLimit = std::min<qsizetype>(s.step * 4096, 4 * 1024 * 1024);
    const QByteArrayView rest(reinterpret_cast<const char*>(data) + 2, static_cast<qsizetype>(size) - 2);
    if (!(data[0] & 1)) {
        s.compressed = rest.toByteArray();
        return s;
    }
    Deflater deflater;
    QByteArray message;
    auto flush = [&] {
        s.plain += message;
        s.compressed += deflater.deflate(message);
        message.clear();
    };
    for (qsizetype i = 0; i < rest.size(); ++i) {
        const auto c = static_cast<quint8>(rest[i]);
        if (c == 0xFF) {
            flush();
        } else if (c == 0xFE && i + 1 < rest.size()) {
            // Runs stop at 4096 steps or 4 MiB in all, so an input costs milliseconds, not seconds.
            const qsizetype run = (static_cast<quint8>(rest[++i]) + 1) * 4096;
            if (s.plain.size() + message.size() + run <= s.outputLimit)
                message += QByteArray(run, 'A');
        } else {
            message += static_cast<char>(c);
        }
    }
    flush();
    s.outputLimit = s.plain.size() + 1; // our own is inflated whole
    return s;
}

struct Result {
    QByteArray out;
    bool corrupt = false;
    bool stopped = false; // at the output limit
};

// Feeds the stream as a connection does: each piece appended, then inflated step by step into a reader
// with small bounds that takes every complete reply.
Result feed(const Script& s, bool split)
{
    Inflater inflater;
    ReplyReader reader(ReplyReader::Limits { 64, 1024 });
    const qsizetype bound = 1024 + 2;
    Result r;
    quint32 state = s.seed;
    qsizetype at = 0;
    while (at < s.compressed.size()) {
        state = state * 1103515245u + 12345u;
        const qsizetype piece = split ? 1 + (state >> 16) % 97 : s.compressed.size();
        const qsizetype n = std::min(piece, s.compressed.size() - at);
        inflater.append(QByteArrayView(s.compressed).sliced(at, n));
        at += n;
        while (inflater.hasMore()) {
            const QByteArrayView step = inflater.inflate(s.step);
            require(step.size() <= s.step, "a step gives at most its bound");
            r.out += step;
            if (reader.error() == ReplyReader::Error::None) {
                reader.append(step);
                require(reader.pending().size() <= bound + s.step, "the reader holds its bound and one step");
                while (reader.next(isMultiLineCode)) { }
            }
            if (step.isEmpty())
                break;
            if (r.out.size() >= s.outputLimit) {
                r.stopped = true;
                return r;
            }
        }
        if (inflater.corrupt()) {
            require(!inflater.hasMore() && inflater.inflate(s.step).isEmpty(), "a corrupt stream gives nothing more");
            r.corrupt = true;
            return r;
        }
    }
    return r;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    const Script script = parse(data, size);
    const Result whole = feed(script, false);
    const Result split = feed(script, true);
    if (!whole.stopped && !split.stopped)
        require(whole.corrupt == split.corrupt, "corrupt whatever the splits");
    if (!whole.corrupt && !split.corrupt && !whole.stopped && !split.stopped) {
        require(split.out == whole.out, "the same bytes whatever the splits");
    } else {
        // Where the fault shows, the bytes before it may come out or not; none other may.
        const QByteArray& longer = split.out.size() > whole.out.size() ? split.out : whole.out;
        const QByteArray& shorter = split.out.size() > whole.out.size() ? whole.out : split.out;
        require(longer.startsWith(shorter), "what comes out of a corrupt stream is one stream's start");
    }
    if (data[0] & 1) {
        require(!whole.corrupt, "our own stream is never corrupt");
        require(whole.out == script.plain, "our own stream inflates to its text");
    }
    return 0;
}
