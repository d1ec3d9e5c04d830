#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <cstddef>
#include <optional>

class QIODevice;

// The internal yEnc decoder: pure code over the bytes of one stored article.
namespace yenc {

enum class Path { Scalar, Ssse3, Avx2 };
[[nodiscard]] bool available(Path p);

// Decodes a data region: CR and LF are skipped; "=" escapes the next byte whatever it is (CR, LF
// and "=" included) and yields (d - 64 - 42) mod 256; any other byte c yields (c - 42) mod 256.
// A "=" as the very last input byte is dropped, never read past. `out` has room for n bytes; it
// may be `in` itself (decoding in place) but must not overlap it otherwise. Returns the bytes written.
size_t decode(const char* in, size_t n, char* out);
// A path this CPU cannot run falls back to the scalar one.
size_t decodeWith(Path p, const char* in, size_t n, char* out);
[[nodiscard]] quint32 crc32(quint32 crc, const void* data, size_t n);

// How far into an article the "=ybegin" line is looked for.
constexpr qsizetype kHeaderWindow = 60000;

struct Part {
    QByteArray name; // name= of the "=ybegin" line: rest of that line, blanks trimmed, raw bytes
    QByteArray partText; // part= value text of "=ybegin", empty when absent
    qint64 size = -1; // size= of "=ybegin" (the whole file)
    bool multipart = false; // an "=ypart" line follows "=ybegin"
    qint64 begin = 1, end = 0; // 1-based, from "=ypart" (begin 1 for a single-part post)
    qsizetype dataStart = 0, dataEnd = 0; // the data region [dataStart, dataEnd) of the article
    qint64 endSize = -1; // size= of "=yend"
    std::optional<quint32> pcrc32, crc32; // from "=yend"
};
struct Parsed {
    Part part;
    QString error; // empty when usable
};

// "=ybegin " at a line start in the first kHeaderWindow bytes.
[[nodiscard]] bool IsYEnc(QByteArrayView article);
[[nodiscard]] QByteArray yEncGetFilename(QByteArrayView article); // raw name=, empty when none
[[nodiscard]] Parsed parse(QByteArrayView article);

struct Written {
    QString error;
    qint64 offset = 0;
    qint64 bytes = 0;
    quint32 crc = 0;
};
// Decodes one stored article into `out` (open for writing and seekable: a QFile or a QBuffer) at
// the part's offset (begin - 1), never truncating it, and verifies it. A verification failure is
// reported in `error` after the bytes are written.
Written YDecodePart(QByteArrayView article, QIODevice& out);
// The same for a single article opened from the viewer, which words a missing "=ybegin" its own way.
Written YDecodeFile(QByteArrayView article, QIODevice& out);

} // namespace yenc
