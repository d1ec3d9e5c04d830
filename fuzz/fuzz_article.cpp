// Article replies from a hostile server: however the bytes are split, the reply framing gives the
// same article as cleaning the whole reply at once, and the text operations on it stay in bounds.
#include "fuzz_support.h"

#include "batch/article_text.h"
#include "nntp/reply_reader.h"

namespace {

using fuzz::require;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    // The first two bytes choose where the stream splits; the rest is the server's reply body.
    const size_t split = (static_cast<size_t>(data[0]) << 8 | data[1]);
    const QByteArray body(reinterpret_cast<const char*>(data + 2), static_cast<qsizetype>(size - 2));
    const QByteArray reply = "220 1 <id@x> article\r\n" + body;

    ReplyReader reader;
    const qsizetype cut = std::min<qsizetype>(static_cast<qsizetype>(split), reply.size());
    reader.append(QByteArrayView(reply).first(cut));
    std::optional<Reply> r = reader.next(isMultiLineCode);
    reader.append(QByteArrayView(reply).sliced(cut));
    if (!r)
        r = reader.next(isMultiLineCode);

    const QByteArray cleaned = CleanArticle(reply);
    if (r && r->multiLine) {
        require(r->code == 220, "the status line is read");
        require(r->body == cleaned, "split framing equals whole cleaning");
    }
    require(cleaned.size() <= reply.size(), "cleaning never grows the text");

    QByteArray fixed = cleaned;
    FixSubjectParentheses(fixed);
    require(fixed.size() == cleaned.size(), "parentheses are swapped in place");
    (void)holdsMessageId(cleaned, "<id@x>");
    return 0;
}
