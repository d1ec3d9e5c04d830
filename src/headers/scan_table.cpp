#include "headers/scan_table.h"

#include "app/ops_log.h"
#include "headers/item_key.h"
#include "headers/watch_rules.h"

#include "headers/byte_hash.h"

#include <cstring>

namespace {
constexpr qint64 kMaxQint32 = 2147483647;

// QByteArrayView's own searches and comparisons are out-of-line calls; these run several times per line.
bool containsByte(QByteArrayView v, char c)
{
    return !v.isEmpty() && std::memchr(v.data(), c, static_cast<size_t>(v.size())) != nullptr;
}

bool sameBytes(QByteArrayView a, QByteArrayView b)
{
    return a.size() == b.size() && (a.isEmpty() || std::memcmp(a.data(), b.data(), static_cast<size_t>(a.size())) == 0);
}
} // namespace

qint64 leadingNumber(QByteArrayView text)
{
    qsizetype i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    qint64 v = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        if (v < kMaxQint32 * 10)
            v = v * 10 + (text[i] - '0');
    }
    return v;
}

ScanTable::ScanTable(OpsLog& log, WatchRules* watch)
    : m_log(log)
    , m_watch(watch)
{
    table.setPartIndex(true);
}

quint64 ScanTable::hashOf(QByteArrayView key, QByteArrayView poster) const
{
    return bytehash::mix(bytehash::add(bytehash::add(0x1234, key), poster)) | 1;
}

void ScanTable::growIndex()
{
    std::vector<Entry> old = std::move(m_index);
    m_index.assign(std::max<size_t>(1024, old.size() * 2), Entry());
    const size_t mask = m_index.size() - 1;
    for (const Entry& e : old) {
        if (e.hash == 0)
            continue;
        size_t i = e.hash & mask;
        while (m_index[i].hash != 0)
            i = (i + 1) & mask;
        m_index[i] = e;
    }
}

bool ScanTable::holds(int slot, QByteArrayView key, QByteArrayView poster) const
{
    const Item& it = table.item(slot);
    return sameBytes(table.str(it.key), key) && sameBytes(table.str(it.poster), poster);
}

int ScanTable::FindHash(QByteArrayView key, QByteArrayView poster) const
{
    return find(hashOf(key, poster), key, poster);
}

int ScanTable::find(quint64 h, QByteArrayView key, QByteArrayView poster) const
{
    if (m_index.empty())
        return -1;
    Entry& recent = recentFor(h);
    if (recent.hash == h && recent.slot <= table.count() && holds(recent.slot, key, poster))
        return recent.slot;
    const size_t mask = m_index.size() - 1;
    for (size_t i = h & mask; m_index[i].hash != 0; i = (i + 1) & mask) {
        const Entry& e = m_index[i];
        if (e.hash != h || e.slot <= 0)
            continue;
        if (holds(e.slot, key, poster)) {
            recent = e;
            return e.slot;
        }
    }
    return -1;
}

void ScanTable::AddHash(int slot)
{
    const Item& it = table.item(slot);
    const QByteArrayView key = table.str(it.key);
    const QByteArrayView poster = table.str(it.poster);
    const quint64 h = hashOf(key, poster);
    // The first slot of a (key, poster) pair answers lookups; later ones are not indexed.
    if (find(h, key, poster) < 0)
        insert(h, slot);
}

void ScanTable::insert(quint64 h, int slot)
{
    if (static_cast<size_t>(m_indexed + 1) * 2 > m_index.size())
        growIndex();
    const size_t mask = m_index.size() - 1;
    size_t i = h & mask;
    while (m_index[i].hash != 0)
        i = (i + 1) & mask;
    m_index[i] = {h, slot};
    recentFor(h) = m_index[i];
    ++m_indexed;
}

void ScanTable::ClearHash()
{
    m_index.clear();
    m_indexed = 0;
    forgetRecent();
}

int ScanTable::FindFreeSlot() const { return m_free.empty() ? -1 : *m_free.begin(); }

void ScanTable::deleteSlot(int slot)
{
    Item& it = table.item(slot);
    if (it.isDeleted())
        return;
    // Articles still arriving for a deleted item start a new one instead of vanishing with it.
    const QByteArrayView key = table.str(it.key);
    const QByteArrayView poster = table.str(it.poster);
    if (FindHash(key, poster) == slot) {
        const quint64 h = hashOf(key, poster);
        const size_t mask = m_index.size() - 1;
        for (size_t i = h & mask; m_index[i].hash != 0; i = (i + 1) & mask) {
            if (m_index[i].slot == slot) {
                m_index[i].slot = -1; // a tombstone keeps the probe chains intact
                break;
            }
        }
        forgetRecent();
    }
    it.deleted = -1;
    m_free.insert(slot);
    table.changed = true;
}

qint64 ScanTable::quickSaveThreshold() const
{
    return std::max<qint64>(kQuickSaveMinimum, static_cast<qint64>(table.count() - freeSlotCount()) / 4);
}

void ScanTable::reset()
{
    table.clear();
    ClearHash();
    m_free.clear();
    m_capacity = 0;
}

int ScanTable::newItemSlot()
{
    if (!m_free.empty()) {
        const int slot = *m_free.begin();
        m_free.erase(m_free.begin());
        return slot;
    }
    const int slot = table.appendItem();
    if (slot > m_capacity)
        m_capacity += kCapacityStep;
    return slot;
}

void ScanTable::add_articleheader(QByteArrayView poster, QByteArrayView subject, qint64 article,
                                  QByteArrayView bytesText, QByteArrayView dateText, QByteArrayView messageId)
{
    ++scanHeaderCount;
    ++burstHeaderCount;
    table.changed = true;
    analyseSubject(subject, m_analysis);
    if (m_analysis.rejected) {
        m_log.WriteLog(m_analysis.rejectLog, true);
        return;
    }
    maketree(m_analysis.key, m_analysis.fullSubject, article, m_analysis.countText, bytesText, groupKey, poster,
             dateText, messageId);
}

void ScanTable::maketree(QByteArrayView rawKey, QByteArrayView fullSubject, qint64 article, QByteArrayView countText,
                         QByteArrayView bytesText, quint8 group, QByteArrayView poster, QByteArrayView dateText,
                         QByteArrayView messageId)
{
    const QByteArrayView key = rawKey.trimmed();
    const auto bytes = static_cast<qint32>(std::min(leadingNumber(bytesText), kMaxQint32));
    const quint64 h = hashOf(key, poster);
    int slot = table.count() > 0 ? find(h, key, poster) : -1;
    if (slot > 0) {
        const Item& it = table.item(slot);
        const bool mayBeRepost = key.size() > 18 && containsByte(fullSubject, '/');
        // A repost repeats a held part's whole subject: the key's base name, then that part's tail.
        // (Keys shorter than the part-count suffix have no base name.)
        std::optional<QByteArrayView> repostTail;
        if (mayBeRepost) {
            const qsizetype baseLength = itemkey::tailStart(key);
            if (fullSubject.size() >= baseLength && sameBytes(fullSubject.first(baseLength), key.first(baseLength)))
                repostTail = fullSubject.sliced(baseLength);
        }
        if (table.hasPart(it, article, repostTail))
            return;
        // The shortened id is a view into messageId, so it survives the pool growing below.
        const QByteArrayView stored = compressMessageId(table.str(table.part(it.firstPart).messageId), messageId);
        table.appendPart(slot, article, bytes, itemkey::partTail(key, fullSubject), stored);
        table.item(slot).groupKey = group;
    } else {
        slot = newItemSlot();
        Item& it = table.item(slot);
        it = Item();
        it.key = table.addString(key);
        it.poster = table.addPoster(poster);
        it.date = ParseHeaderDate(dateText, nowOle);
        it.totalParts = static_cast<qint16>(std::min<qint64>(leadingNumber(countText), 32767));
        it.groupKey = group;
        table.appendPart(slot, article, bytes, itemkey::partTail(key, fullSubject), messageId);
        insert(h, slot);
        ++newItemCount;
    }
    const Item& it = table.item(slot);
    if (watchEnabled && m_watch && it.totalParts > 0 && it.partCount == static_cast<quint32>(it.totalParts)
        && m_watch->WatchList_Check_ADD(table, slot))
        m_watch->watchedItemComplete(slot);
}
