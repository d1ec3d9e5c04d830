#include "fuzz_support.h"

#include "batch/yenc.h"

#include <QBuffer>

namespace {

using fuzz::require;

// Every vector path decodes exactly as the scalar one, and never writes past the room it has.
void requireSamePaths(const char* in, size_t n)
{
    QByteArray scalar(qsizetype(n) + 64, '\x5a');
    const size_t expected = yenc::decodeWith(yenc::Path::Scalar, in, n, scalar.data());
    require(expected <= n, "decoding never grows");
    for (yenc::Path p : { yenc::Path::Ssse3, yenc::Path::Avx2 }) {
        if (!yenc::available(p))
            continue;
        QByteArray out(qsizetype(n) + 64, '\x5a');
        require(yenc::decodeWith(p, in, n, out.data()) == expected, "a vector path writes as many bytes");
        require(
            out.first(qsizetype(expected)) == scalar.first(qsizetype(expected)), "a vector path writes the same bytes");
        require(out.sliced(qsizetype(n)) == QByteArray(64, '\x5a'), "a vector path stays within its room");
    }
}

} // namespace

// The input is a stored article. Its bytes decode alike on every path; the article parses to a
// region inside it; and a usable part lands at its offset in a buffer that keeps what it held.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArrayView article(reinterpret_cast<const char*>(data), qsizetype(size));
    requireSamePaths(article.data(), size);

    const yenc::Parsed parsed = yenc::parse(article);
    const yenc::Part& p = parsed.part;
    require(yenc::IsYEnc(article) == (parsed.error != QStringLiteral("yEnc decoder: no =ybegin")),
        "IsYEnc agrees with the parser");
    require(parsed.error.isEmpty() || parsed.error.startsWith(QStringLiteral("yEnc decoder")), "errors say who");
    if (!parsed.error.isEmpty())
        return 0;
    require(p.dataStart > 0 && p.dataStart <= p.dataEnd && p.dataEnd <= article.size(), "the region lies inside");
    require(p.begin >= 1 && (p.size < 0 || !p.multipart || p.begin <= p.size), "begin is a place in the file");
    require(p.name == yenc::yEncGetFilename(article), "the name is the one yEncGetFilename reads");
    // A buffer is filled up to the offset: only modest ones are tried.
    if (p.begin > (1 << 20))
        return 0;

    const QByteArray before(qsizetype(data[size - 1] % 64), '\x7e');
    QBuffer out;
    out.setData(before);
    require(out.open(QIODevice::ReadWrite), "the buffer opens");
    const yenc::Written w = yenc::YDecodePart(article, out);
    require(w.offset == p.begin - 1, "the part lands at begin - 1");
    QByteArray region(p.dataEnd - p.dataStart, Qt::Uninitialized);
    region.truncate(qsizetype(yenc::decode(article.data() + p.dataStart, size_t(region.size()), region.data())));
    require(w.bytes == region.size(), "every decoded byte is written");
    require(w.crc == yenc::crc32(0, region.constData(), size_t(region.size())), "the CRC is of the decoded bytes");
    const QByteArray& now = out.data();
    require(now.size() == std::max<qsizetype>(before.size(), w.offset + w.bytes), "the buffer is never cut");
    require(now.sliced(w.offset, w.bytes) == region, "the part's bytes are at its offset");
    require(now.first(std::min<qsizetype>(before.size(), w.offset))
            == before.first(std::min<qsizetype>(before.size(), w.offset)),
        "the bytes before the part stay");
    if (w.offset > before.size())
        require(now.sliced(before.size(), w.offset - before.size()).count('\0') == w.offset - before.size(),
            "a gap before the part is zeros");
    return 0;
}
