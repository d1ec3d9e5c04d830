#pragma once

#include "headers/block_storage.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

#include <cstdint>
#include <optional>
#include <set>
#include <vector>

// Strings of a table live in one byte pool; records refer to them by offset and length, so a
// table of millions of parts costs a few dozen bytes per part instead of two heap blocks each.
struct StrRef {
    quint32 offset = 0;
    quint32 length = 0;
};

// One article of an item.
struct ItemPart {
    qint64 article = 0;
    qint32 bytes = 0;
    quint32 next = 0; // index of the item's next part + 1; 0 ends the list
    StrRef tail;      // subject minus the key's base name
    StrRef messageId; // without brackets; later parts possibly shortened to end in "$" or "@"
};

// One post, or one post in several parts, in arrival order.
struct Item {
    StrRef key;
    StrRef poster;
    double date = 0;
    qint64 bytes = 0; // of all parts, kept by appendPart: rows and sorts read it for millions of items
    qint64 maxArticle = 0; // of all parts: articles mostly arrive in order, and a newer one needs no lookup
    qint16 totalParts = 0;
    qint16 deleted = 0; // -1 deleted
    quint8 groupKey = 0;
    // A part's tail announces a part 0 of totalParts (see tailHasPartZero); set as parts are
    // appended, so totalParts must be set first.
    bool partZero = false;
    quint32 partCount = 0;
    quint32 firstPart = 0; // part index + 1; 0 when the item has no parts
    quint32 lastPart = 0;

    [[nodiscard]] bool isDeleted() const { return deleted != 0; }
};

// An item with its own strings, for moving items between tables (view, batch) and for tests.
struct ItemRecord {
    struct Part {
        QByteArray tail;
        qint64 article = 0;
        QByteArray messageId;
        qint32 bytes = 0;
        bool operator==(const Part&) const = default;
    };
    QByteArray key;
    qint16 totalParts = 0;
    QByteArray poster;
    double date = 0;
    QList<Part> parts;
    qint16 deleted = 0;
    quint8 groupKey = 0;
    bool operator==(const ItemRecord&) const = default;
};

// A 1-based table of items: slots 1..count() are in use (live or deleted).
class ItemTable {
public:
    [[nodiscard]] int count() const { return static_cast<int>(m_items.size()); }
    [[nodiscard]] Item& item(int slot) { return m_items[static_cast<size_t>(slot - 1)]; }
    [[nodiscard]] const Item& item(int slot) const { return m_items[static_cast<size_t>(slot - 1)]; }
    [[nodiscard]] QByteArrayView str(StrRef ref) const { return m_pool.view(ref.offset, ref.length); }
    [[nodiscard]] const ItemPart& part(quint32 index1) const { return m_parts[index1 - 1]; }
    [[nodiscard]] qsizetype partTotal() const { return static_cast<qsizetype>(m_parts.size()); }

    // Calls f(const ItemPart&) for the item's parts in arrival order.
    template <class F> void forEachPart(const Item& it, F&& f) const
    {
        for (quint32 p = it.firstPart; p != 0; p = m_parts[p - 1].next)
            f(m_parts[p - 1]);
    }

    [[nodiscard]] StrRef addString(QByteArrayView text);
    // Posters repeat across many items; they are stored once.
    [[nodiscard]] StrRef addPoster(QByteArrayView poster);

    // Appends an empty item and returns its slot.
    int appendItem();
    // Takes back the last item (a record that turned out damaged); its strings stay unused.
    void dropLastItem() { m_items.pop_back(); }
    void appendPart(int slot, qint64 article, qint32 bytes, QByteArrayView tail, QByteArrayView messageId);

    // Indexes the parts of items with many parts, so that hasPart answers without walking them.
    // A table that files new articles wants it; one that is only shown does not pay for it.
    void setPartIndex(bool on);
    // Whether one of the item's parts is this article or, when a tail is given, has exactly that tail.
    [[nodiscard]] bool hasPart(const Item& it, qint64 article, std::optional<QByteArrayView> tail) const;
    // Items with more parts than this are indexed; a walk over fewer is as quick as a lookup.
    static constexpr quint32 kPartIndexFrom = 64;

    // Copies an item in or out with its strings.
    int appendRecord(const ItemRecord& record);
    void setRecord(int slot, const ItemRecord& record);
    [[nodiscard]] ItemRecord record(int slot) const;

    void clear();
    void reserve(int items, qsizetype parts, qsizetype poolBytes);
    [[nodiscard]] qint64 ItemBytes(int slot) const { return item(slot).bytes; }
    [[nodiscard]] qint64 liveCount() const;
    // Bytes the records, strings and indexes take up.
    [[nodiscard]] qsizetype memoryBytes() const;

    bool changed = false;

private:
    // An indexed part, found by its article or by its tail. The owner is the item's first part,
    // which no other item ever has, so entries of a deleted or replaced item never answer for
    // the item that takes its slot. Part 0 marks an empty bucket.
    struct PartEntry {
        quint32 tag = 0;
        quint32 owner = 0;
        quint32 part = 0;
    };
    // The index is split by the tag's top byte into shards that grow on their own, so a growing
    // index never stops the crunch for one large rehash. Within a shard the tag's low bits probe.
    struct PartShard {
        std::vector<PartEntry> buckets;
        size_t entries = 0;
    };
    static constexpr int kPartShardShift = 24;
    void indexPart(quint32 owner, quint32 part);
    void indexItemParts(const Item& it);
    static void growShard(PartShard& shard);
    template <class Same> [[nodiscard]] bool findIndexed(quint32 tag, quint32 owner, Same&& same) const;

    BlockArray<Item, 15> m_items;
    BlockArray<ItemPart, 16> m_parts;
    BytePool m_pool;
    std::vector<std::pair<quint64, StrRef>> m_posterIndex; // open addressing by hash
    qsizetype m_posters = 0;
    std::vector<PartShard> m_partIndex; // two entries per indexed part; no shards until one is indexed
    bool m_indexParts = false;
};

// The message-id a later part stores, shortened against part 1's id.
[[nodiscard]] QByteArrayView compressMessageId(QByteArrayView firstId, QByteArrayView id);
// The complete message-id in angle brackets, from part 1's id and a stored (maybe shortened) id.
[[nodiscard]] QByteArray FullMessageId(QByteArrayView firstId, QByteArrayView stored);
