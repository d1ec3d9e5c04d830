#include "batch/yenc.h"

#include "batch/yenc_kernels.h"

#include <QFileDevice>
#include <QIODevice>

#include <libdeflate.h>

#include <charconv>
#include <cstring>
#include <limits>

namespace yenc {

namespace kernel {

size_t scalar(const unsigned char* in, size_t n, unsigned char* out, bool escaped)
{
    unsigned char* const first = out;
    size_t i = 0;
    if (escaped && n > 0) {
        *out++ = static_cast<unsigned char>(in[0] - 64 - 42);
        i = 1;
    }
    while (i < n) {
        const unsigned char c = in[i++];
        if (c == '\r' || c == '\n')
            continue;
        if (c == '=') {
            if (i == n)
                break;
            *out++ = static_cast<unsigned char>(in[i++] - 64 - 42);
            continue;
        }
        *out++ = static_cast<unsigned char>(c - 42);
    }
    return size_t(out - first);
}

} // namespace kernel

namespace {

using Kernel = size_t (*)(const unsigned char*, size_t, unsigned char*);

size_t scalarKernel(const unsigned char* in, size_t n, unsigned char* out)
{
    return kernel::scalar(in, n, out);
}

Kernel kernelFor(Path p)
{
    if (!available(p))
        return scalarKernel;
    switch (p) {
    case Path::Avx2:
        return kernel::avx2;
    case Path::Ssse3:
        return kernel::ssse3;
    case Path::Scalar:
        break;
    }
    return scalarKernel;
}

} // namespace

bool available(Path p)
{
    switch (p) {
    case Path::Scalar:
        return true;
#if defined(__x86_64__) || defined(__i386__)
    case Path::Ssse3:
        return __builtin_cpu_supports("ssse3");
    case Path::Avx2:
        return __builtin_cpu_supports("avx2");
#else
    case Path::Ssse3:
    case Path::Avx2:
        return false;
#endif
    }
    return false;
}

size_t decode(const char* in, size_t n, char* out)
{
    static const Kernel best = available(Path::Avx2) ? kernelFor(Path::Avx2) : kernelFor(Path::Ssse3);
    return best(reinterpret_cast<const unsigned char*>(in), n, reinterpret_cast<unsigned char*>(out));
}

size_t decodeWith(Path p, const char* in, size_t n, char* out)
{
    return kernelFor(p)(reinterpret_cast<const unsigned char*>(in), n, reinterpret_cast<unsigned char*>(out));
}

quint32 crc32(quint32 crc, const void* data, size_t n)
{
    return libdeflate_crc32(crc, data, n);
}

namespace {

constexpr QByteArrayView kBeginLine = "=ybegin ";
constexpr QByteArrayView kPartLine = "=ypart";
constexpr QByteArrayView kEndLine = "=yend";

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

// A keyword line found at a line start: the text after its keyword (starting with the blank that
// ends the keyword) up to the line's CR LF, and where the next line starts.
struct Line {
    QByteArrayView text;
    qsizetype next = 0;
};

Line lineAfter(QByteArrayView article, qsizetype keywordAt, qsizetype keywordSize)
{
    const qsizetype from = keywordAt + keywordSize;
    const qsizetype lf = article.indexOf('\n', from);
    const qsizetype next = lf < 0 ? article.size() : lf + 1;
    qsizetype end = lf < 0 ? article.size() : lf;
    if (end > from && article[end - 1] == '\r')
        --end;
    return { article.sliced(from, end - from), next };
}

// The first `keyword` at a line start at or after `from`, or -1.
qsizetype findAtLineStart(QByteArrayView text, QByteArrayView keyword, qsizetype from)
{
    if ((from == 0 || text[from - 1] == '\n') && text.sliced(from).startsWith(keyword))
        return from;
    // Only line starts are candidates: memchr leaps from one LF to the next.
    const char* const first = text.data();
    const char* const end = first + text.size();
    for (const char* p = first + from; p < end; ++p) {
        p = static_cast<const char*>(std::memchr(p, '\n', size_t(end - p)));
        if (!p)
            break;
        if (end - (p + 1) >= keyword.size() && std::memcmp(p + 1, keyword.data(), size_t(keyword.size())) == 0)
            return p + 1 - first;
    }
    return -1;
}

qsizetype findBeginLine(QByteArrayView article)
{
    return findAtLineStart(article.first(std::min(article.size(), kHeaderWindow)), kBeginLine, 0);
}

// The value of "key=" where a blank precedes the key: up to the next blank, CR or LF.
std::optional<QByteArrayView> field(QByteArrayView text, QByteArrayView key)
{
    for (qsizetype at = text.indexOf(key); at >= 0; at = text.indexOf(key, at + 1)) {
        if (at == 0 || !isBlank(text[at - 1]))
            continue;
        const qsizetype from = at + key.size();
        qsizetype end = from;
        while (end < text.size() && !isBlank(text[end]) && text[end] != '\r' && text[end] != '\n')
            ++end;
        return text.sliced(from, end - from);
    }
    return std::nullopt;
}

// Where " name=" starts on the "=ybegin" line, or the line's length: the name may hold anything.
qsizetype nameAt(QByteArrayView beginText)
{
    for (qsizetype at = beginText.indexOf("name="); at >= 0; at = beginText.indexOf("name=", at + 1)) {
        if (at > 0 && isBlank(beginText[at - 1]))
            return at;
    }
    return beginText.size();
}

QByteArray nameOf(QByteArrayView beginText)
{
    const qsizetype at = nameAt(beginText);
    if (at == beginText.size())
        return {};
    QByteArrayView name = beginText.sliced(at + 5);
    while (!name.isEmpty() && (isBlank(name.front()) || name.front() == '\r'))
        name = name.sliced(1);
    while (!name.isEmpty() && (isBlank(name.back()) || name.back() == '\r'))
        name.chop(1);
    return name.toByteArray();
}

template <typename T> std::optional<T> number(QByteArrayView text, int base)
{
    T value {};
    const char* end = text.data() + text.size();
    if (text.isEmpty() || text.front() == '-' || text.front() == '+')
        return std::nullopt;
    const auto [ptr, ec] = std::from_chars(text.data(), end, value, base);
    if (ec != std::errc() || ptr != end)
        return std::nullopt;
    return value;
}

QString shown(QByteArrayView text)
{
    return QString::fromLatin1(text.first(std::min<qsizetype>(text.size(), 24)));
}

QString failure(const Part& p, const QString& what, const QString& detail = {})
{
    QString text = QStringLiteral("yEnc decoder Error: ") + what;
    if (!p.partText.isEmpty())
        text += QStringLiteral(" in part ") + QString::fromLatin1(p.partText);
    if (!detail.isEmpty())
        text += QStringLiteral(" (") + detail + QLatin1Char(')');
    return text;
}

// Reads "key=" of a keyword line as a number into `into`; false with r.error set when it is there
// but no number.
template <typename T>
bool readNumber(Parsed& r, QByteArrayView text, QByteArrayView key, const char* line, T& into, int base = 10)
{
    const std::optional<QByteArrayView> value = field(text, key);
    if (!value)
        return true;
    const std::optional<T> n = number<T>(*value, base);
    if (!n) {
        r.error = failure(r.part,
            QStringLiteral("bad %1 value \"%2\" on %3")
                .arg(QString::fromLatin1(key), shown(*value), QString::fromLatin1(line)));
        return false;
    }
    into = *n;
    return true;
}

bool readPartLine(Parsed& r, QByteArrayView partText)
{
    Part& p = r.part;
    if (!field(partText, "begin=")) {
        r.error = failure(p, QStringLiteral("no begin= on =ypart"));
        return false;
    }
    if (!readNumber(r, partText, "begin=", "=ypart", p.begin) || !readNumber(r, partText, "end=", "=ypart", p.end))
        return false;
    QString wrong;
    if (p.begin < 1)
        wrong = QStringLiteral("begin= %1 is below 1").arg(p.begin);
    else if (p.size >= 0 && p.begin > p.size)
        wrong = QStringLiteral("begin= %1 beyond the file's size %2").arg(p.begin).arg(p.size);
    else if (field(partText, "end=") && p.end < p.begin)
        wrong = QStringLiteral("end= %1 before begin= %2").arg(p.end).arg(p.begin);
    else if (p.size >= 0 && p.end > p.size)
        wrong = QStringLiteral("end= %1 beyond the file's size %2").arg(p.end).arg(p.size);
    if (!wrong.isEmpty())
        r.error = failure(p, wrong);
    return wrong.isEmpty();
}

bool readEndLine(Parsed& r, QByteArrayView endText)
{
    Part& p = r.part;
    quint32 pcrc = 0, crc = 0;
    if (!readNumber(r, endText, "size=", "=yend", p.endSize) || !readNumber(r, endText, "pcrc32=", "=yend", pcrc, 16)
        || !readNumber(r, endText, "crc32=", "=yend", crc, 16))
        return false;
    if (field(endText, "pcrc32="))
        p.pcrc32 = pcrc;
    if (field(endText, "crc32="))
        p.crc32 = crc;
    return true;
}

QString hex(quint32 v)
{
    return QStringLiteral("%1").arg(v, 8, 16, QLatin1Char('0'));
}

// The first fault of a decoded part against what its keyword lines say, or empty.
QString verify(const Part& p, qint64 bytes, quint32 crc)
{
    if (p.endSize >= 0 && p.endSize != bytes)
        return failure(
            p, QStringLiteral("size mismatch"), QStringLiteral("=yend size %1, decoded %2").arg(p.endSize).arg(bytes));
    if (p.multipart && p.end > 0 && p.end - p.begin + 1 != bytes)
        return failure(p, QStringLiteral("part length mismatch"),
            QStringLiteral("=ypart spans %1, decoded %2").arg(p.end - p.begin + 1).arg(bytes));
    // A single part's crc32= is its own; a multipart's belongs to the whole file.
    const std::optional<quint32> expected = p.multipart ? p.pcrc32 : (p.crc32 ? p.crc32 : p.pcrc32);
    if (expected && *expected != crc)
        return failure(
            p, QStringLiteral("CRC mismatch"), QStringLiteral("expected %1, got %2").arg(hex(*expected), hex(crc)));
    return {};
}

} // namespace

bool IsYEnc(QByteArrayView article)
{
    return findBeginLine(article) >= 0;
}

QByteArray yEncGetFilename(QByteArrayView article)
{
    const qsizetype at = findBeginLine(article);
    return at < 0 ? QByteArray() : nameOf(lineAfter(article, at, kBeginLine.size() - 1).text);
}

Parsed parse(QByteArrayView article)
{
    Parsed r;
    Part& p = r.part;
    const qsizetype beginAt = findBeginLine(article);
    if (beginAt < 0) {
        r.error = QStringLiteral("yEnc decoder: no =ybegin");
        return r;
    }
    const Line begin = lineAfter(article, beginAt, kBeginLine.size() - 1);
    p.name = nameOf(begin.text);
    const QByteArrayView keywords = begin.text.first(nameAt(begin.text));
    qint64 partNumber = 0;
    if (!readNumber(r, keywords, "part=", "=ybegin", partNumber)
        || !readNumber(r, keywords, "size=", "=ybegin", p.size))
        return r;
    if (const std::optional<QByteArrayView> part = field(keywords, "part="))
        p.partText = part->toByteArray();

    p.dataStart = begin.next;
    if (article.sliced(begin.next).startsWith(kPartLine)) {
        const Line part = lineAfter(article, begin.next, kPartLine.size());
        p.multipart = true;
        p.dataStart = part.next;
        if (!readPartLine(r, part.text))
            return r;
    }

    const qsizetype endAt = findAtLineStart(article, kEndLine, p.dataStart);
    if (endAt < 0) {
        r.error = QStringLiteral("yEnc decoder Error: no =yend");
        return r;
    }
    // The line break that ends the last data line is not data: a "=" before it escapes nothing.
    qsizetype dataEnd = endAt - 1;
    if (dataEnd > p.dataStart && article[dataEnd - 1] == '\r')
        --dataEnd;
    p.dataEnd = std::max(dataEnd, p.dataStart);
    readEndLine(r, lineAfter(article, endAt, kEndLine.size()).text);
    return r;
}

Written YDecodePart(QByteArrayView article, QIODevice& out)
{
    Written w;
    const Parsed parsed = parse(article);
    const Part& p = parsed.part;
    if (!parsed.error.isEmpty()) {
        w.error = parsed.error;
        return w;
    }
    w.offset = p.begin - 1;
    // One buffer of the region's length: decoding only ever shrinks.
    QByteArray decoded(p.dataEnd - p.dataStart, Qt::Uninitialized);
    w.bytes = qint64(decode(article.data() + p.dataStart, size_t(decoded.size()), decoded.data()));
    w.crc = crc32(0, decoded.constData(), size_t(w.bytes));

    if (w.bytes > std::numeric_limits<qint64>::max() - w.offset) {
        w.error = failure(p, QStringLiteral("part ends beyond the largest file offset"));
        return w;
    }
    if (!out.isWritable() || !out.seek(w.offset)) {
        w.error = failure(p, QStringLiteral("cannot seek to offset %1").arg(w.offset), out.errorString());
        return w;
    }
    auto* file = qobject_cast<QFileDevice*>(&out);
    if (out.write(decoded.constData(), w.bytes) != w.bytes || (file && !file->flush())) {
        w.error = failure(
            p, QStringLiteral("cannot write %1 bytes at offset %2").arg(w.bytes).arg(w.offset), out.errorString());
        return w;
    }
    w.error = verify(p, w.bytes, w.crc);
    return w;
}

} // namespace yenc

namespace yenc {

Written YDecodeFile(QByteArrayView article, QIODevice& out)
{
    Written w = YDecodePart(article, out);
    if (w.error == QLatin1String("yEnc decoder: no =ybegin"))
        w.error = QStringLiteral("yEnc decoder Error: no ybegin=!");
    return w;
}

} // namespace yenc
