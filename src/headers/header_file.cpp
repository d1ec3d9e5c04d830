#include "headers/header_file.h"

#include <QSaveFile>

#include <cstring>
#include <memory>
#include <span>
#include <vector>

#include <unistd.h>

namespace twb {

namespace {

constexpr qint64 kMinItemBytes = 2 + 2 + 2 + 8 + 10 + 12 + 2 + 1;
constexpr qint64 kPartBytes32 = 2 + 4 + 2 + 4;
constexpr qint64 kPartBytes64 = 2 + 8 + 2 + 4;
// An item record without its two strings and its parts: total, date, array header, deleted, group.
constexpr qint64 kItemFixedBytes = 2 + 8 + 10 + 2 + 1;

// Small enough that writing and syncing one chunk keeps the window responsive (well under 50 ms).
constexpr qsizetype kWriteChunk = 1024 * 1024;

qsizetype storedLength(QByteArrayView s)
{
    return std::min<qsizetype>(s.size(), 65535);
}
qint64 stringBytes(QByteArrayView s)
{
    return 2 + storedLength(s);
}

// Writes into a buffer already sized for everything that follows.
struct Writer {
    char* p;

    template <class T> void put(T v)
    {
        std::memcpy(p, &v, sizeof(T)); // the file is little-endian, like every machine we run on
        p += sizeof(T);
    }
    void bytes(QByteArrayView s)
    {
        if (!s.isEmpty())
            std::memcpy(p, s.data(), static_cast<size_t>(s.size()));
        p += s.size();
    }
    void string(QByteArrayView s)
    {
        const qsizetype n = storedLength(s);
        put<quint16>(static_cast<quint16>(n));
        bytes(s.first(n));
    }
    void zeros(qint64 n)
    {
        std::memset(p, 0, static_cast<size_t>(n));
        p += n;
    }
};

} // namespace

RecordReader::RecordReader(const QString& path, Access access, qint64 streamChunk)
    : m_file(path)
    , m_chunk(std::max<qint64>(streamChunk, 1))
    , m_stream(access == Access::Stream)
{
    if (!m_file.exists()) {
        m_status = Status::Missing;
        return;
    }
    if (!m_file.open(m_stream ? QIODevice::ReadOnly | QIODevice::Unbuffered : QIODevice::ReadOnly)) {
        m_status = Status::Corrupt;
        return;
    }
    m_fileSize = m_file.size();
    if (m_stream) {
        fill(13);
    } else {
        m_data = m_fileSize > 0 ? m_file.map(0, m_fileSize) : nullptr;
        if (!m_data && m_fileSize > 0) {
            m_copy = m_file.readAll();
            m_data = reinterpret_cast<const uchar*>(m_copy.constData());
            m_fileSize = m_copy.size();
        }
        m_size = m_fileSize;
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
    if (m_count < 0) {
        m_count = 0; // so nothing is sized from it
        m_status = Status::Corrupt;
    }
}

RecordReader::~RecordReader() = default;

qint32 RecordReader::plausibleCount() const
{
    return static_cast<qint32>(std::min<qint64>(m_count, (m_fileSize - position()) / kMinItemBytes));
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

bool RecordReader::fill(qint64 bytes)
{
    if (need(bytes))
        return true;
    if (bytes > kMaxRecordBytes)
        return false;
    // What is still unread moves to the front; the window grows only for a record larger than it.
    const qint64 kept = m_size - m_pos;
    if (m_pos > 0 && kept > 0)
        std::memmove(m_copy.data(), m_copy.constData() + m_pos, static_cast<size_t>(kept));
    m_base += m_pos;
    m_pos = 0;
    m_size = kept;
    const qint64 capacity = std::min(
        std::max({ bytes, m_chunk, static_cast<qint64>(m_copy.size()) }), std::max<qint64>(m_fileSize - m_base, bytes));
    if (m_copy.size() < capacity)
        m_copy.resize(static_cast<qsizetype>(capacity));
    while (m_size < m_copy.size()) {
        const qint64 n = m_file.read(m_copy.data() + m_size, m_copy.size() - m_size);
        if (n <= 0)
            break;
        m_size += n;
    }
    m_data = reinterpret_cast<const uchar*>(m_copy.constData());
    return need(bytes);
}

qint64 RecordReader::recordEnd() const
{
    const uchar* d = m_data;
    qint64 p = m_pos;
    auto skipString = [&] {
        if (m_size - p < 2)
            return false;
        quint16 n;
        std::memcpy(&n, d + p, 2);
        p += 2 + n;
        return p <= m_size;
    };
    if (!skipString())
        return -1;
    p += 2;
    if (!skipString() || m_size - p < 18)
        return -1;
    qint16 dims;
    qint32 elements, lower;
    std::memcpy(&dims, d + p + 8, 2);
    std::memcpy(&elements, d + p + 10, 4);
    std::memcpy(&lower, d + p + 14, 4);
    p += 18;
    const qint64 partBytes = m_wide ? kPartBytes64 : kPartBytes32;
    if (dims != 1 || lower != 0 || elements < 1 || elements > (m_fileSize - m_base - p) / partBytes)
        return m_pos;
    const qint64 articleBytes = m_wide ? 8 : 4;
    for (qint32 e = 0; e < elements; ++e) {
        if (!skipString())
            return -1;
        p += articleBytes;
        if (!skipString())
            return -1;
        p += 4;
    }
    p += 3;
    return p <= m_size ? p : -1;
}

bool RecordReader::haveRecord()
{
    while (recordEnd() < 0) {
        const qint64 left = m_fileSize - m_base - m_pos;
        const qint64 inWindow = m_size - m_pos;
        if (inWindow >= left)
            return true; // truncated: the parser rejects it
        const qint64 want = std::min(std::max(2 * inWindow, m_chunk), left);
        if (!fill(want))
            return false;
    }
    return true;
}

bool RecordReader::readNext(ItemTable& into)
{
    if (m_status != Status::Ok || m_read >= m_count)
        return false;
    if (m_stream && !haveRecord())
        return fail();
    return parseRecord(into);
}

bool RecordReader::readNextMatching(ItemTable& into, const std::function<bool(QByteArrayView key)>& keep)
{
    if (m_status != Status::Ok || m_read >= m_count)
        return false;
    if (m_stream && !haveRecord())
        return fail();
    const qint64 end = recordEnd();
    if (end <= m_pos)
        return parseRecord(into); // damaged: let the parser say so
    const qint64 start = m_pos;
    QByteArrayView key;
    takeString(key);
    if (keep(key)) {
        m_pos = start;
        return parseRecord(into);
    }
    m_pos = end;
    ++m_read;
    return true;
}

bool RecordReader::parseRecord(ItemTable& into)
{
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

namespace {

// The items a file holds: the table's live items in slot order, or the given slots in their order.
struct Selection {
    const ItemTable& table;
    std::span<const int> order;
    bool liveOnly;

    template <class F> void each(F&& f) const
    {
        if (liveOnly) {
            for (int slot = 1; slot <= table.count(); ++slot) {
                if (!table.item(slot).isDeleted())
                    f(table.item(slot));
            }
            return;
        }
        for (int slot : order)
            f(table.item(slot));
    }
};

// What the records of a file depend on: whether any article number needs 64 bits. Found by one
// walk over the live items, which also sizes the whole file.
struct Layout {
    bool wide = false;
    qint32 live = 0;
    qint64 parts = 0;
    qint64 textBytes = 0; // strings of every live item and part, length fields excluded

    [[nodiscard]] qint64 partBytes() const { return wide ? kPartBytes64 : kPartBytes32; }
    [[nodiscard]] qint64 fileBytes() const
    {
        // Every item also writes the empty entry 0.
        return 13 + live * (kItemFixedBytes + 4) + textBytes + (parts + live) * partBytes();
    }
};

qint64 storedLength(StrRef s)
{
    return std::min<qint64>(s.length, 65535);
}

// perItem runs after each item: on a large table this walk alone is long enough to be felt.
Layout layoutOf(const Selection& sel, const std::function<void()>& perItem)
{
    Layout l;
    const ItemTable& table = sel.table;
    sel.each([&](const Item& it) {
        ++l.live;
        l.parts += it.partCount;
        l.textBytes += storedLength(it.key) + storedLength(it.poster);
        table.forEachPart(it, [&](const ItemPart& p) {
            l.wide = l.wide || p.article > 2147483647LL || p.article < 0;
            l.textBytes += storedLength(p.tail) + storedLength(p.messageId);
        });
        if (perItem)
            perItem();
    });
    return l;
}

qint64 recordBytes(const ItemTable& table, const Item& it, const Layout& l)
{
    qint64 n = kItemFixedBytes + stringBytes(table.str(it.key)) + stringBytes(table.str(it.poster))
        + (it.partCount + 1) * l.partBytes();
    table.forEachPart(it, [&](const ItemPart& p) { n += storedLength(p.tail) + storedLength(p.messageId); });
    return n;
}

void writeHeader(Writer& w, const Layout& l)
{
    w.bytes(l.wide ? kMagic64 : kMagic32);
    w.put<qint32>(l.live);
}

void writeRecord(Writer& w, const ItemTable& table, const Item& it, const Layout& l)
{
    w.string(table.str(it.key));
    w.put<qint16>(it.totalParts);
    w.string(table.str(it.poster));
    w.put<double>(it.date);
    w.put<qint16>(1);
    w.put<qint32>(static_cast<qint32>(it.partCount + 1));
    w.put<qint32>(0);
    w.zeros(l.partBytes());
    table.forEachPart(it, [&](const ItemPart& p) {
        w.string(table.str(p.tail));
        if (l.wide)
            w.put<qint64>(p.article);
        else
            w.put<qint32>(static_cast<qint32>(p.article));
        w.string(table.str(p.messageId));
        w.put<qint32>(p.bytes);
    });
    w.put<qint16>(0);
    w.put<quint8>(it.groupKey);
}

// Writes the part of a saved file that is ready, syncing it to disk when asked.
bool writeOut(QSaveFile& file, const char* data, qsizetype size, bool sync)
{
    if (file.write(data, size) != size)
        return false;
    // Syncing as we go keeps the commit's final sync short, so a large file never holds the
    // event loop up for long in one piece.
    return !sync || (file.flush() && ::fdatasync(file.handle()) == 0);
}

bool commitOrExplain(QSaveFile& file, bool ok, QString* errorText)
{
    if (ok && file.commit())
        return true;
    if (errorText)
        *errorText = file.errorString();
    return false;
}

QByteArray serializeSelection(const Selection& sel, const std::function<void()>& perItem)
{
    // Sized exactly first, then written through a raw pointer: appending field by field costs
    // more than the copying itself on tables of a million parts.
    const Layout l = layoutOf(sel, perItem);
    QByteArray out(static_cast<qsizetype>(l.fileBytes()), Qt::Uninitialized);
    Writer w { out.data() };
    writeHeader(w, l);
    sel.each([&](const Item& it) {
        writeRecord(w, sel.table, it, l);
        if (perItem)
            perItem();
    });
    Q_ASSERT(w.p == out.constData() + out.size());
    return out;
}

bool writeSelection(const QString& path, const Selection& sel, QString* errorText, const std::function<void()>& perItem)
{
    const Layout l = layoutOf(sel, perItem);
    // One buffer, written out whenever it fills: a large table never has its whole file in memory.
    auto capacity = static_cast<size_t>(std::min<qint64>(kWriteChunk, l.fileBytes()));
    auto buffer = std::make_unique_for_overwrite<char[]>(capacity);
    const bool sync = l.fileBytes() > kWriteChunk;
    QSaveFile file(path);
    bool ok = file.open(QIODevice::WriteOnly);
    qint64 used = 13;
    Writer header { buffer.get() };
    writeHeader(header, l);
    sel.each([&](const Item& it) {
        if (!ok)
            return;
        const qint64 need = recordBytes(sel.table, it, l);
        if (used + need > static_cast<qint64>(capacity)) {
            ok = writeOut(file, buffer.get(), used, sync);
            used = 0;
            if (need > static_cast<qint64>(capacity)) {
                capacity = static_cast<size_t>(need);
                buffer = std::make_unique_for_overwrite<char[]>(capacity);
            }
        }
        Writer w { buffer.get() + used };
        writeRecord(w, sel.table, it, l);
        Q_ASSERT(w.p == buffer.get() + used + need);
        used += need;
        if (perItem)
            perItem();
    });
    ok = ok && writeOut(file, buffer.get(), used, false);
    return commitOrExplain(file, ok, errorText);
}

} // namespace

QByteArray serialize(const ItemTable& table, const std::function<void()>& perItem)
{
    return serializeSelection({ table, {}, true }, perItem);
}

QByteArray serialize(const ItemTable& table, std::span<const int> order)
{
    return serializeSelection({ table, order, false }, {});
}

bool writeTable(const QString& path, const ItemTable& table, QString* errorText, const std::function<void()>& perItem)
{
    return writeSelection(path, { table, {}, true }, errorText, perItem);
}

bool writeTable(const QString& path, const ItemTable& table, std::span<const int> order, QString* errorText)
{
    return writeSelection(path, { table, order, false }, errorText, {});
}

bool writeFile(
    const QString& path, const QByteArray& content, QString* errorText, const std::function<void()>& perChunk)
{
    QSaveFile file(path);
    bool ok = file.open(QIODevice::WriteOnly);
    const bool chunked = content.size() > kWriteChunk;
    for (qsizetype pos = 0; ok && pos < content.size(); pos += kWriteChunk) {
        const qsizetype n = std::min(kWriteChunk, content.size() - pos);
        ok = writeOut(file, content.constData() + pos, n, chunked);
        if (ok && chunked && perChunk)
            perChunk();
    }
    return commitOrExplain(file, ok, errorText);
}

} // namespace twb
