#include "headers/header_file.h"

#include <QSaveFile>

#include <cstring>

namespace twb {

namespace {

constexpr qint64 kMinItemBytes = 2 + 2 + 2 + 8 + 10 + 12 + 2 + 1;
constexpr qint64 kPartBytes32 = 2 + 4 + 2 + 4;
constexpr qint64 kPartBytes64 = 2 + 8 + 2 + 4;

template <class T> void put(QByteArray& out, T v)
{
    char b[sizeof(T)];
    std::memcpy(b, &v, sizeof(T)); // the file is little-endian, like every machine we run on
    out.append(b, sizeof(T));
}

void putString(QByteArray& out, QByteArrayView s)
{
    const auto n = static_cast<quint16>(std::min<qsizetype>(s.size(), 65535));
    put<quint16>(out, n);
    out.append(s.first(n));
}

} // namespace

RecordReader::RecordReader(const QString& path)
    : m_file(path)
{
    if (!m_file.exists()) {
        m_status = Status::Missing;
        return;
    }
    if (!m_file.open(QIODevice::ReadOnly)) {
        m_status = Status::Corrupt;
        return;
    }
    m_size = m_file.size();
    m_data = m_size > 0 ? m_file.map(0, m_size) : nullptr;
    if (!m_data && m_size > 0) {
        m_copy = m_file.readAll();
        m_data = reinterpret_cast<const uchar*>(m_copy.constData());
        m_size = m_copy.size();
    }
    const QByteArrayView magic(reinterpret_cast<const char*>(m_data), std::min<qint64>(m_size, 9));
    if (magic == kMagic64)
        m_wide = true;
    else if (magic != kMagic32) {
        m_status = Status::UnknownFormat;
        return;
    }
    m_pos = 9;
    if (!need(4)) {
        m_status = Status::Corrupt;
        return;
    }
    m_count = take<qint32>();
    if (m_count < 0)
        m_status = Status::Corrupt;
}

RecordReader::~RecordReader() = default;

qint32 RecordReader::plausibleCount() const
{
    return static_cast<qint32>(std::min<qint64>(m_count, (m_size - m_pos) / kMinItemBytes));
}

template <class T> T RecordReader::take()
{
    T v;
    std::memcpy(&v, m_data + m_pos, sizeof(T));
    m_pos += sizeof(T);
    return v;
}

bool RecordReader::takeString(QByteArrayView& out)
{
    if (!need(2))
        return false;
    const auto n = take<quint16>();
    if (!need(n))
        return false;
    out = QByteArrayView(reinterpret_cast<const char*>(m_data + m_pos), n);
    m_pos += n;
    return true;
}

bool RecordReader::fail()
{
    m_status = Status::Corrupt;
    return false;
}

bool RecordReader::readNext(ItemTable& into)
{
    if (m_status != Status::Ok || m_read >= m_count)
        return false;
    QByteArrayView key, poster;
    if (!takeString(key) || !need(2))
        return fail();
    const auto total = take<qint16>();
    if (!takeString(poster) || !need(8 + 2 + 4 + 4))
        return fail();
    const auto date = take<double>();
    const auto dims = take<qint16>();
    const auto elements = take<qint32>();
    const auto lower = take<qint32>();
    const qint64 partBytes = m_wide ? kPartBytes64 : kPartBytes32;
    if (dims != 1 || lower != 0 || elements < 1 || elements > (m_size - m_pos) / partBytes)
        return fail();

    const int slot = into.appendItem();
    {
        Item& it = into.item(slot);
        it.key = into.addString(key);
        it.poster = into.addPoster(poster);
        it.date = date;
        it.totalParts = total;
    }
    auto damaged = [&] {
        into.dropLastItem();
        return fail();
    };
    for (qint32 e = 0; e < elements; ++e) {
        QByteArrayView tail, id;
        if (!takeString(tail) || !need(m_wide ? 8 : 4))
            return damaged();
        const qint64 article = m_wide ? take<qint64>() : take<qint32>();
        if (!takeString(id) || !need(4))
            return damaged();
        const auto bytes = take<qint32>();
        if (e > 0) // entry 0 is always empty
            into.appendPart(slot, article, bytes, tail, id);
    }
    if (!need(3))
        return damaged();
    Item& it = into.item(slot);
    it.deleted = take<qint16>();
    it.groupKey = take<quint8>();
    ++m_read;
    return true;
}

QByteArray serialize(const ItemTable& table, const std::function<void()>& perItem)
{
    bool wide = false;
    qint32 live = 0;
    for (int slot = 1; slot <= table.count(); ++slot) {
        const Item& it = table.item(slot);
        if (it.isDeleted())
            continue;
        ++live;
        table.forEachPart(it, [&](const ItemPart& p) { wide = wide || p.article > 2147483647LL || p.article < 0; });
    }
    QByteArray out;
    out.reserve(13 + qsizetype(live) * 64 + table.partTotal() * 48);
    out.append(wide ? kMagic64 : kMagic32);
    put<qint32>(out, live);
    for (int slot = 1; slot <= table.count(); ++slot) {
        const Item& it = table.item(slot);
        if (it.isDeleted())
            continue;
        putString(out, table.str(it.key));
        put<qint16>(out, it.totalParts);
        putString(out, table.str(it.poster));
        put<double>(out, it.date);
        put<qint16>(out, 1);
        put<qint32>(out, static_cast<qint32>(it.partCount + 1));
        put<qint32>(out, 0);
        out.append(wide ? kPartBytes64 : kPartBytes32, '\0');
        table.forEachPart(it, [&](const ItemPart& p) {
            putString(out, table.str(p.tail));
            if (wide)
                put<qint64>(out, p.article);
            else
                put<qint32>(out, static_cast<qint32>(p.article));
            putString(out, table.str(p.messageId));
            put<qint32>(out, p.bytes);
        });
        put<qint16>(out, 0);
        put<quint8>(out, it.groupKey);
        if (perItem)
            perItem();
    }
    return out;
}

bool writeFile(const QString& path, const QByteArray& content, QString* errorText)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size() || !file.commit()) {
        if (errorText)
            *errorText = file.errorString();
        return false;
    }
    return true;
}

} // namespace twb
