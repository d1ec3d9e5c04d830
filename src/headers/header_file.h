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
class RecordReader {
public:
    enum class Status { Ok, Missing, UnknownFormat, Corrupt };

    explicit RecordReader(const QString& path);
    ~RecordReader();
    RecordReader(const RecordReader&) = delete;
    RecordReader& operator=(const RecordReader&) = delete;

    [[nodiscard]] Status status() const { return m_status; }
    [[nodiscard]] qint32 count() const { return m_count; }
    // The count as far as the bytes left can hold it; for sizing tables before reading.
    [[nodiscard]] qint32 plausibleCount() const;
    [[nodiscard]] qint64 fileSize() const { return m_size; }
    [[nodiscard]] qint64 position() const { return m_pos; }
    // Appends the next record to the table; false at the end or on a bad record (status Corrupt).
    bool readNext(ItemTable& into);

private:
    bool fail();
    bool need(qint64 bytes) const { return m_size - m_pos >= bytes; }
    template <class T> T take();
    bool takeString(QByteArrayView& out);

    QFile m_file;
    const uchar* m_data = nullptr;
    QByteArray m_copy; // when the file cannot be mapped
    qint64 m_size = 0;
    qint64 m_pos = 0;
    qint32 m_count = 0;
    qint32 m_read = 0;
    bool m_wide = false;
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
