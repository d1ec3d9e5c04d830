#pragma once

#include "headers/item_table.h"

#include <QFile>
#include <QString>

#include <functional>
#include <span>

// "headers.twb": magic, item count, then the item records. Article numbers are 32-bit under
// "TWB_01.00"; a table holding a larger one is written as "TWB_02.00" with 64-bit numbers.
namespace twb {

inline constexpr QByteArrayView kMagic32 = "TWB_01.00";
inline constexpr QByteArrayView kMagic64 = "TWB_02.00";

// Reads a header file record by record without trusting it: every count and length is checked
// against the bytes left, and a bad record ends the reading with what was read still usable.
// Mapped, the whole file is in reach at once; streamed, only a window holding the current record
// is read, so a walk over a large file costs a fixed amount of memory.
class RecordReader {
public:
    enum class Status { Ok, Missing, UnknownFormat, Corrupt };
    enum class Access { Map, Stream };
    static constexpr qint64 kStreamChunk = 1 << 20;
    // A streamed record larger than this counts as damaged: no sane item comes near it.
    static constexpr qint64 kMaxRecordBytes = 64 << 20;

    explicit RecordReader(const QString& path, Access access = Access::Map, qint64 streamChunk = kStreamChunk);
    ~RecordReader();
    RecordReader(const RecordReader&) = delete;
    RecordReader& operator=(const RecordReader&) = delete;

    [[nodiscard]] Status status() const { return m_status; }
    [[nodiscard]] qint32 count() const { return m_count; }
    // The count as far as the bytes left can hold it; for sizing tables before reading.
    [[nodiscard]] qint32 plausibleCount() const;
    [[nodiscard]] qint64 fileSize() const { return m_fileSize; }
    [[nodiscard]] qint64 position() const { return m_base + m_pos; }
    // Records read or stepped over so far.
    [[nodiscard]] qint32 recordsRead() const { return m_read; }
    // Appends the next record to the table; false at the end or on a bad record (status Corrupt).
    bool readNext(ItemTable& into);
    // Steps over the next record, appending it to the table only when keep(its key) is true.
    bool readNextMatching(ItemTable& into, const std::function<bool(QByteArrayView key)>& keep);

private:
    bool fail();
    bool need(qint64 bytes) const { return m_size - m_pos >= bytes; }
    template <class T> T take();
    bool takeString(QByteArrayView& out);
    // Streamed: makes sure at least `bytes` from the current position are in the window.
    bool fill(qint64 bytes);
    // The window offset where the record at the current position ends; -1 when the window ends
    // first. A record whose counts cannot be right is left to the parser to reject.
    [[nodiscard]] qint64 recordEnd() const;
    // Streamed: brings the whole next record into the window.
    bool haveRecord();
    bool parseRecord(ItemTable& into);

    QFile m_file;
    const uchar* m_data = nullptr; // the window: the mapped file, a copy of it, or the stream buffer
    QByteArray m_copy; // the file when it cannot be mapped, or the stream buffer
    qint64 m_size = 0; // bytes in the window
    qint64 m_pos = 0; // read position in the window
    qint64 m_base = 0; // file offset of the window's first byte
    qint64 m_fileSize = 0;
    qint64 m_chunk = kStreamChunk;
    qint32 m_count = 0;
    qint32 m_read = 0;
    bool m_wide = false;
    bool m_stream = false;
    Status m_status = Status::Ok;
};

// The bytes of a header file holding the table's live items (or those the filter keeps).
[[nodiscard]] QByteArray serialize(const ItemTable& table, const std::function<void()>& perItem = {});
// The bytes of a file holding the slots of order in that order, each written as live.
[[nodiscard]] QByteArray serialize(const ItemTable& table, std::span<const int> order);
// Writes through a temporary file and a rename; false with errorText on failure (the old file stays).
// A large content is written in chunks, each synced to disk, with perChunk called between them.
[[nodiscard]] bool writeFile(
    const QString& path, const QByteArray& content, QString* errorText, const std::function<void()>& perChunk = {});
// Writes serialize(table) as writeFile does, a few megabytes at a time, so the whole file is
// never held in memory.
[[nodiscard]] bool writeTable(
    const QString& path, const ItemTable& table, QString* errorText, const std::function<void()>& perItem = {});
// Writes serialize(table, order) the same way.
[[nodiscard]] bool writeTable(
    const QString& path, const ItemTable& table, std::span<const int> order, QString* errorText);

} // namespace twb
