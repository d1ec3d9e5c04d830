#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QtEndian>

#include <cstring>

// Little-endian writers for hand-built files.
struct Bytes {
    QByteArray b;
    Bytes& u8(quint8 v) { b.append(char(v)); return *this; }
    Bytes& i16(qint16 v) { char c[2]; qToLittleEndian(v, c); b.append(c, 2); return *this; }
    Bytes& i32(qint32 v) { char c[4]; qToLittleEndian(v, c); b.append(c, 4); return *this; }
    Bytes& i64(qint64 v) { char c[8]; qToLittleEndian(v, c); b.append(c, 8); return *this; }
    Bytes& f64(double v) { char c[8]; std::memcpy(c, &v, 8); b.append(c, 8); return *this; }
    Bytes& str(QByteArrayView s) { i16(qint16(s.size())); b.append(s); return *this; }
};
