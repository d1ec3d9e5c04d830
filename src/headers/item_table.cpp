#include "headers/item_table.h"

#include "headers/byte_hash.h"
#include "headers/item_status.h"

#include <cstring>

namespace {

quint64 hashBytes(QByteArrayView text) { return bytehash::of(text, 0x5eed); }

quint32 mix32(quint64 x)
{
    return static_cast<quint32>(bytehash::mix(x));
}

quint32 articleTag(quint32 owner, qint64 article)
{
    return mix32(static_cast<quint64>(article) * 0x9e3779b97f4a7c15ULL + owner);
}

quint32 tailTag(quint32 owner, QByteArrayView tail)
{
    return mix32(bytehash::add(quint64(owner) << 1 | 1, tail));
}

// memchr rather than QByteArrayView::indexOf, which goes through a general substring search.
qsizetype indexOfByte(QByteArrayView v, char c)
{
    if (v.isEmpty())
        return -1;
    const void* hit = std::memchr(v.data(), c, static_cast<size_t>(v.size()));
    return hit ? static_cast<const char*>(hit) - v.data() : -1;
}

} // namespace

StrRef ItemTable::addString(QByteArrayView text)
{
    return { m_pool.add(text), static_cast<quint32>(text.size()) };
}

StrRef ItemTable::addPoster(QByteArrayView poster)
{
    if (static_cast<size_t>(m_posters + 1) * 2 > m_posterIndex.size()) {
        std::vector<std::pair<quint64, StrRef>> old = std::move(m_posterIndex);
        m_posterIndex.assign(std::max<size_t>(64, old.size() * 2), {0, {}});
        const size_t mask = m_posterIndex.size() - 1;
        for (const auto& e : old) {
            if (e.first == 0)
                continue;
            size_t i = e.first & mask;
            while (m_posterIndex[i].first != 0)
                i = (i + 1) & mask;
            m_posterIndex[i] = e;
        }
    }
    const quint64 h = hashBytes(poster) | 1; // 0 marks an empty bucket
    const size_t mask = m_posterIndex.size() - 1;
    size_t i = h & mask;
    while (m_posterIndex[i].first != 0) {
        if (m_posterIndex[i].first == h && str(m_posterIndex[i].second) == poster)
            return m_posterIndex[i].second;
        i = (i + 1) & mask;
    }
    const StrRef ref = addString(poster);
    m_posterIndex[i] = {h, ref};
    ++m_posters;
    return ref;
}

int ItemTable::appendItem()
{
    m_items.push_back(Item());
    return count();
}

void ItemTable::appendPart(int slot, qint64 article, qint32 bytes, QByteArrayView tail, QByteArrayView messageId)
{
    ItemPart p;
    p.article = article;
    p.bytes = bytes;
    p.tail = addString(tail);
    p.messageId = addString(messageId);
    m_parts.push_back(p);
    const auto index = static_cast<quint32>(m_parts.size());
    Item& it = item(slot);
    if (it.lastPart != 0)
        m_parts[it.lastPart - 1].next = index;
    else
        it.firstPart = index;
    it.lastPart = index;
    ++it.partCount;
    it.bytes += bytes;
    if (it.partCount == 1 || article > it.maxArticle)
        it.maxArticle = article;
    if (!it.partZero && it.totalParts > 1)
        it.partZero = tailHasPartZero(tail, it.totalParts);
    if (m_indexParts && it.partCount > kPartIndexFrom) {
        if (it.partCount == kPartIndexFrom + 1)
            indexItemParts(it);
        else
            indexPart(it.firstPart, index);
    }
}

void ItemTable::setPartIndex(bool on)
{
    m_indexParts = on;
    m_partIndex.clear();
    if (!on)
        return;
    for (size_t i = 0; i < m_items.size(); ++i) {
        if (m_items[i].partCount > kPartIndexFrom)
            indexItemParts(m_items[i]);
    }
}

void ItemTable::indexItemParts(const Item& it)
{
    for (quint32 p = it.firstPart; p != 0; p = m_parts[p - 1].next)
        indexPart(it.firstPart, p);
}

void ItemTable::indexPart(quint32 owner, quint32 part)
{
    if (m_partIndex.empty())
        m_partIndex.resize(size_t(1) << (32 - kPartShardShift));
    const ItemPart& p = m_parts[part - 1];
    for (const quint32 tag : { articleTag(owner, p.article), tailTag(owner, str(p.tail)) }) {
        PartShard& shard = m_partIndex[tag >> kPartShardShift];
        if ((shard.entries + 1) * 2 > shard.buckets.size())
            growShard(shard);
        const size_t mask = shard.buckets.size() - 1;
        size_t i = tag & mask;
        while (shard.buckets[i].part != 0)
            i = (i + 1) & mask;
        shard.buckets[i] = { tag, owner, part };
        ++shard.entries;
    }
}

void ItemTable::growShard(PartShard& shard)
{
    std::vector<PartEntry> old = std::move(shard.buckets);
    shard.buckets.assign(std::max<size_t>(64, old.size() * 2), PartEntry());
    const size_t mask = shard.buckets.size() - 1;
    for (const PartEntry& e : old) {
        if (e.part == 0)
            continue;
        size_t i = e.tag & mask;
        while (shard.buckets[i].part != 0)
            i = (i + 1) & mask;
        shard.buckets[i] = e;
    }
}

template <class Same> bool ItemTable::findIndexed(quint32 tag, quint32 owner, Same&& same) const
{
    const std::vector<PartEntry>& buckets = m_partIndex[tag >> kPartShardShift].buckets;
    if (buckets.empty())
        return false;
    const size_t mask = buckets.size() - 1;
    for (size_t i = tag & mask; buckets[i].part != 0; i = (i + 1) & mask) {
        const PartEntry& e = buckets[i];
        if (e.tag == tag && e.owner == owner && same(m_parts[e.part - 1]))
            return true;
    }
    return false;
}

bool ItemTable::hasPart(const Item& it, qint64 article, std::optional<QByteArrayView> tail) const
{
    auto sameTail = [&](const ItemPart& p) {
        const auto n = static_cast<size_t>(tail->size());
        if (p.tail.length != n)
            return false;
        if (n == 0)
            return true;
        const char* held = str(p.tail).data();
        // The tails of one item mostly differ in their first bytes: one word settles most of them.
        if (n >= 8) {
            quint64 a, b;
            std::memcpy(&a, held, 8);
            std::memcpy(&b, tail->data(), 8);
            if (a != b)
                return false;
        }
        return std::memcmp(held, tail->data(), n) == 0;
    };
    const bool mayHoldArticle = it.partCount > 0 && article <= it.maxArticle;
    if (!mayHoldArticle && !tail)
        return false;
    if (!m_indexParts || it.partCount <= kPartIndexFrom) {
        for (quint32 p = it.firstPart; p != 0; p = m_parts[p - 1].next) {
            const ItemPart& part = m_parts[p - 1];
            if (part.article == article || (tail && sameTail(part)))
                return true;
        }
        return false;
    }
    if (mayHoldArticle && findIndexed(articleTag(it.firstPart, article), it.firstPart, [&](const ItemPart& p) {
            return p.article == article;
        }))
        return true;
    return tail && findIndexed(tailTag(it.firstPart, *tail), it.firstPart, sameTail);
}

void ItemTable::setRecord(int slot, const ItemRecord& r)
{
    Item& it = item(slot);
    it = Item();
    it.key = addString(r.key);
    it.poster = addPoster(r.poster);
    it.date = r.date;
    it.totalParts = r.totalParts;
    it.deleted = r.deleted;
    it.groupKey = r.groupKey;
    for (const ItemRecord::Part& p : r.parts)
        appendPart(slot, p.article, p.bytes, p.tail, p.messageId);
}

int ItemTable::appendRecord(const ItemRecord& record)
{
    const int slot = appendItem();
    setRecord(slot, record);
    return slot;
}

ItemRecord ItemTable::record(int slot) const
{
    const Item& it = item(slot);
    ItemRecord r;
    r.key = str(it.key).toByteArray();
    r.totalParts = it.totalParts;
    r.poster = str(it.poster).toByteArray();
    r.date = it.date;
    r.deleted = it.deleted;
    r.groupKey = it.groupKey;
    forEachPart(it, [&](const ItemPart& p) {
        r.parts.append({str(p.tail).toByteArray(), p.article, str(p.messageId).toByteArray(), p.bytes});
    });
    return r;
}

void ItemTable::clear()
{
    m_items.clear();
    m_parts.clear();
    m_pool.clear();
    m_posterIndex.clear();
    m_posters = 0;
    m_partIndex.clear();
}

void ItemTable::reserve(int items, qsizetype parts, qsizetype poolBytes)
{
    m_items.reserve(static_cast<size_t>(std::max(items, 0)));
    m_parts.reserve(static_cast<size_t>(std::max<qsizetype>(parts, 0)));
    m_pool.reserve(static_cast<size_t>(std::max<qsizetype>(poolBytes, 0)));
}

qint64 ItemTable::liveCount() const
{
    qint64 n = 0;
    for (size_t i = 0; i < m_items.size(); ++i)
        n += m_items[i].isDeleted() ? 0 : 1;
    return n;
}

qsizetype ItemTable::memoryBytes() const
{
    size_t partIndex = m_partIndex.capacity() * sizeof(PartShard);
    for (const PartShard& shard : m_partIndex)
        partIndex += shard.buckets.capacity() * sizeof(PartEntry);
    // Blocks are touched only as they fill, so what is in use is what the table occupies.
    return static_cast<qsizetype>(m_items.size() * sizeof(Item) + m_parts.size() * sizeof(ItemPart) + m_pool.usedBytes()
        + m_posterIndex.capacity() * sizeof(m_posterIndex[0]) + partIndex);
}

QByteArrayView compressMessageId(QByteArrayView firstId, QByteArrayView id)
{
    const qsizetype firstDollar = indexOfByte(firstId, '$');
    const qsizetype at = firstDollar >= 0 && indexOfByte(id, '$') >= 0 ? firstDollar : indexOfByte(firstId, '@');
    if (at < 0)
        return id;
    const QByteArrayView tailOfFirst = firstId.sliced(at);
    if (id.size() < tailOfFirst.size()
        || std::memcmp(
               id.data() + id.size() - tailOfFirst.size(), tailOfFirst.data(), static_cast<size_t>(tailOfFirst.size()))
            != 0)
        return id;
    return id.first(id.size() - tailOfFirst.size() + 1);
}

QByteArray FullMessageId(QByteArrayView firstId, QByteArrayView stored)
{
    QByteArray r = stored.trimmed().toByteArray();
    if (stored.endsWith('@')) {
        const qsizetype at = firstId.indexOf('@');
        if (at >= 0)
            r += firstId.sliced(at + 1);
    } else if (stored.endsWith('$')) {
        const qsizetype at = firstId.indexOf('$');
        if (at >= 0)
            r += firstId.sliced(at + 1);
    }
    return '<' + r + '>';
}
