#pragma once

#include "headers/item_table.h"
#include "headers/subject.h"

#include <array>
#include <set>

class OpsLog;
class WatchRules;

// The items of the group being scanned, with the lookup by (key, poster) that files each new
// article into its item, the reuse of deleted slots and the scan's header counters.
class ScanTable {
public:
    static constexpr int kCapacityStep = 1000;
    static constexpr int kQuickSaveMinimum = 900;

    // watch: the add rules offered every item that reaches its announced part count; none when null.
    explicit ScanTable(OpsLog& log, WatchRules* watch = nullptr);

    ItemTable table;

    // Counters of the running scan and burst; new items since the last quick save.
    qint64 scanHeaderCount = 0;
    qint64 burstHeaderCount = 0;
    qint64 newItemCount = 0;
    quint8 groupKey = 0;
    // "now" for articles whose date does not parse, refreshed by the crunch once per burst.
    double nowOle = 0;
    // Whether the add rules are asked, set by the crunch from the settings.
    bool watchEnabled = false;

    void add_articleheader(QByteArrayView poster, QByteArrayView subject, qint64 article, QByteArrayView bytesText,
                           QByteArrayView dateText, QByteArrayView messageId);
    void maketree(QByteArrayView key, QByteArrayView fullSubject, qint64 article, QByteArrayView countText,
                  QByteArrayView bytesText, quint8 group, QByteArrayView poster, QByteArrayView dateText,
                  QByteArrayView messageId);

    // The first live slot, in insertion order, holding exactly this key and poster; -1 if none.
    [[nodiscard]] int FindHash(QByteArrayView key, QByteArrayView poster) const;
    void AddHash(int slot);
    void ClearHash();
    // The lowest deleted slot, or -1.
    [[nodiscard]] int FindFreeSlot() const;
    void deleteSlot(int slot);

    [[nodiscard]] int capacity() const { return m_capacity; }
    void setCapacity(int capacity) { m_capacity = capacity; }
    [[nodiscard]] int freeSlotCount() const { return static_cast<int>(m_free.size()); }
    // A quick save is due after this many new items: at least 900, else a quarter of the table,
    // so a huge group is not rewritten over and over.
    [[nodiscard]] qint64 quickSaveThreshold() const;

    // Empties the table, the index and the free slots.
    void reset();

private:
    struct Entry {
        quint64 hash = 0; // 0 = empty
        qint32 slot = 0;
    };
    [[nodiscard]] quint64 hashOf(QByteArrayView key, QByteArrayView poster) const;
    [[nodiscard]] int find(quint64 hash, QByteArrayView key, QByteArrayView poster) const;
    // Indexes a slot whose pair the index does not hold yet.
    void insert(quint64 hash, int slot);
    [[nodiscard]] bool holds(int slot, QByteArrayView key, QByteArrayView poster) const;
    void growIndex();
    void forgetRecent() { m_recent.fill(Entry()); }
    int newItemSlot();

    OpsLog& m_log;
    WatchRules* m_watch;
    std::vector<Entry> m_index;
    qsizetype m_indexed = 0;
    // The lines of a burst mostly continue the few posts in progress. Remembering their recent
    // lookups spares a probe into the whole index, which on a large table misses every cache.
    // Entries are what the index answered; any change to its answers (a deletion, a clear) empties it.
    static constexpr size_t kRecent = 64;
    mutable std::array<Entry, kRecent> m_recent {};
    // The index probes with the low bits of a hash; the recent lookups are spread by the high ones.
    Entry& recentFor(quint64 hash) const
    {
        static_assert(kRecent == 64);
        return m_recent[hash >> 58];
    }
    std::set<int> m_free;
    int m_capacity = 0;
    SubjectAnalysis m_analysis;
};

// Numeric value of a count or bytes text: its leading digits, 0 when there are none.
[[nodiscard]] qint64 leadingNumber(QByteArrayView text);
