#pragma once

#include "batch/yenc.h"

#include <QByteArray>
#include <QByteArrayView>

#include <random>

// A small yEnc encoder for tests, benchmarks and fuzz seeds, escaping as posting programs do.
namespace yenctest {

inline QByteArray encode(QByteArrayView data, int line = 128)
{
    QByteArray out;
    out.reserve(data.size() * 103 / 100 + data.size() / line * 2 + 16);
    int col = 0;
    for (qsizetype i = 0; i < data.size(); ++i) {
        const char c = char(uchar(data[i]) + 42);
        const bool edge = col == 0 || col + 1 >= line || i + 1 == data.size();
        if (c == 0 || c == '\n' || c == '\r' || c == '=' || (edge && (c == '\t' || c == ' '))
            || (col == 0 && c == '.')) {
            out.append('=').append(char(c + 64));
            col += 2;
        } else {
            out.append(c);
            ++col;
        }
        if (col >= line && i + 1 < data.size()) {
            out.append("\r\n");
            col = 0;
        }
    }
    return out;
}

// Headers whose Subject carries keywords of its own, which the decoder must not read.
inline const QByteArray kDecoyHeaders = "Subject: \"decoy.bin\" name=decoy.bin size=7 part=9 begin=5 =ybegin x\r\n"
                                        "From: p@x\r\nMessage-ID: <1@x>\r\n\r\n";

// Bytes [begin, end] (1-based) of `file` as an article; part 0 makes a single-part post.
inline QByteArray article(
    QByteArrayView file, qint64 begin, qint64 end, int part = 0, int total = 0, QByteArrayView name = "file.bin")
{
    const QByteArrayView data = file.sliced(begin - 1, end - begin + 1);
    const quint32 crc = yenc::crc32(0, data.data(), size_t(data.size()));
    const QByteArray hexCrc = QByteArray::number(crc, 16).rightJustified(8, '0');
    const QByteArray fileCrc
        = QByteArray::number(yenc::crc32(0, file.data(), size_t(file.size())), 16).rightJustified(8, '0');
    QByteArray a = kDecoyHeaders;
    if (part == 0) {
        a += "=ybegin line=128 size=" + QByteArray::number(file.size()) + " name=" + name.toByteArray() + "\r\n";
    } else {
        a += "=ybegin part=" + QByteArray::number(part) + " total=" + QByteArray::number(total)
            + " line=128 size=" + QByteArray::number(file.size()) + " name=" + name.toByteArray() + "\r\n";
        a += "=ypart begin=" + QByteArray::number(begin) + " end=" + QByteArray::number(end) + "\r\n";
    }
    a += encode(data) + "\r\n=yend size=" + QByteArray::number(data.size());
    a += part == 0 ? " crc32=" + hexCrc
                   : " part=" + QByteArray::number(part) + " pcrc32=" + hexCrc + " crc32=" + fileCrc;
    return a + "\r\n";
}

inline QByteArray randomBytes(qsizetype n, unsigned seed)
{
    std::mt19937 gen(seed);
    QByteArray out(n, Qt::Uninitialized);
    for (char& c : out)
        c = char(gen());
    return out;
}

} // namespace yenctest
