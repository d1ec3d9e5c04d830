#include "headers/header_view.h"

#include "app/ascii_case.h"
#include "app/event_yield.h"
#include "app/main_window_state.h"
#include "app/ops_log.h"
#include "app/settings.h"
#include "groups/newsgroups.h"
#include "headers/header_store.h"
#include "headers/queue_lookup.h"
#include "headers/scan_activity.h"
#include "headers/scan_table.h"
#include "headers/header_columns.h"
#include "headers/item_key.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <functional>
#include <limits>

namespace {

// One row to sort: an order-preserving number (two for texts), and for text columns the text.
struct SortEntry {
    quint64 key = 0;
    quint64 low = 0;
    QByteArrayView text;
    int row = 0;
};

bool entryLess(const SortEntry& a, const SortEntry& b)
{
    if (a.key != b.key)
        return a.key < b.key;
    return a.low != b.low ? a.low < b.low : a.row < b.row;
}

inline uchar fold(uchar c)
{
    return static_cast<uchar>(ascii::upper(static_cast<char>(c)));
}

int compareFolded(QByteArrayView a, QByteArrayView b)
{
    const qsizetype n = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < n; ++i) {
        const uchar x = fold(static_cast<uchar>(a[i]));
        const uchar y = fold(static_cast<uchar>(b[i]));
        if (x != y)
            return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

// Fifteen letters of a text from `offset`, case folded, then how many of them the text has: equal
// keys with a full count go on to the next fifteen, and a text that ends sorts before its longer
// relatives.
constexpr qsizetype kChunk = 15;
void chunkKey(SortEntry& e, qsizetype offset)
{
    const QByteArrayView text = e.text;
    auto letter = [&](qsizetype i) -> quint64 { return i < text.size() ? fold(static_cast<uchar>(text[i])) : 0; };
    quint64 high = 0, low = 0;
    for (qsizetype i = 0; i < 8; ++i)
        high = (high << 8) | letter(offset + i);
    for (qsizetype i = 8; i < kChunk; ++i)
        low = (low << 8) | letter(offset + i);
    e.key = high;
    e.low = (low << 8) | static_cast<quint64>(std::clamp<qsizetype>(text.size() - offset, 0, kChunk));
}

// Sorts texts fifteen letters at a time, refining only the runs that still tie. Comparisons stay on
// numbers, and each text is read once per round it takes part in, not once per comparison. Within
// a round ties go by where the texts lie in memory, so the next round reads them in passing order;
// texts found equal end up in row order.
void sortTexts(std::vector<SortEntry>& entries)
{
    struct Run {
        size_t begin, end;
        qsizetype offset;
    };
    const auto inMemoryOrder = [](const SortEntry& a, const SortEntry& b) {
        if (a.key != b.key)
            return a.key < b.key;
        if (a.low != b.low)
            return a.low < b.low;
        if (a.text.data() != b.text.data())
            return std::less<const char*>()(a.text.data(), b.text.data());
        return a.row < b.row;
    };
    const auto byRow = [](const SortEntry& a, const SortEntry& b) { return a.row < b.row; };
    std::vector<Run> work { { 0, entries.size(), 0 } };
    while (!work.empty()) {
        const Run run = work.back();
        work.pop_back();
        for (size_t i = run.begin; i < run.end; ++i)
            chunkKey(entries[i], run.offset);
        std::sort(entries.begin() + static_cast<qsizetype>(run.begin),
            entries.begin() + static_cast<qsizetype>(run.end), inMemoryOrder);
        for (size_t i = run.begin; i < run.end;) {
            size_t j = i + 1;
            while (j < run.end && entries[j].key == entries[i].key && entries[j].low == entries[i].low)
                ++j;
            if (j - i > 1 && (entries[i].low & 0xff) == kChunk)
                work.push_back({ i, j, run.offset + kChunk });
            else if (j - i > 1)
                std::sort(
                    entries.begin() + static_cast<qsizetype>(i), entries.begin() + static_cast<qsizetype>(j), byRow);
            i = j;
        }
    }
}

quint64 signedKey(qint64 v)
{
    return static_cast<quint64>(v) ^ (quint64(1) << 63);
}

quint64 doubleKey(double v)
{
    const auto bits = std::bit_cast<quint64>(v);
    return (bits >> 63) ? ~bits : bits | (quint64(1) << 63);
}

} // namespace

void HeaderView::sort(int column, Qt::SortOrder order)
{
    // No column: later rebuilds list in table order.
    if (column < 0 || column >= ColumnCount) {
        m_sortColumn = -1;
        return;
    }
    m_sortColumn = column;
    m_sortOrder = order;
    applySort();
}

void HeaderView::applySort()
{
    if (m_sortColumn < 0 || m_rows.size() < 2)
        return;
    const ItemTable& table = m.view.table;
    const bool textual = m_sortColumn == SubjectColumn || m_sortColumn == FromColumn;
    // Group names are few: each group's rank among them stands in for its name.
    std::array<quint64, 256> groupRank {};
    if (m_sortColumn == NewsgroupColumn) {
        std::array<QByteArray, 256> names;
        std::array<int, 256> keys {};
        for (int k = 0; k < 256; ++k) {
            names[static_cast<size_t>(k)] = m.groups.ngGroupNameByKey(static_cast<quint8>(k));
            keys[static_cast<size_t>(k)] = k;
        }
        std::stable_sort(keys.begin(), keys.end(), [&](int a, int b) {
            return compareFolded(names[static_cast<size_t>(a)], names[static_cast<size_t>(b)]) < 0;
        });
        for (size_t rank = 0; rank < keys.size(); ++rank)
            groupRank[static_cast<size_t>(keys[rank])] = rank;
    }
    const GroupRanges ranges = m_sortColumn == LifeColumn ? groupRanges() : GroupRanges {};

    auto entryFor = [&](int slot, int row) {
        SortEntry e;
        e.row = row;
        if (slot > table.count())
            return e;
        const Item& it = table.item(slot);
        switch (m_sortColumn) {
        case SubjectColumn:
            e.text = itemkey::baseName(table.str(it.key));
            break;
        case FromColumn:
            e.text = table.str(it.poster);
            break;
        case PartsColumn: {
            // An empty cell first, then by parts held and by total.
            const bool empty = it.totalParts == 0 && it.partCount < 2;
            e.key = empty ? 0 : ((quint64(it.partCount) + 1) << 16) | quint16(it.totalParts + 32768);
            break;
        }
        case MegabytesColumn:
            e.key = signedKey(table.ItemBytes(slot));
            break;
        case LifeColumn:
            e.key = signedKey(lifeOf(it, ranges));
            break;
        case NewsgroupColumn:
            e.key = groupRank[it.groupKey];
            break;
        case DateColumn:
            // "?" sorts before every date.
            e.key = columns::hasDate(it.date) ? doubleKey(it.date) : 0;
            break;
        default:
            break;
        }
        return e;
    };
    // Entries are made in table order, whatever the rows' order: the table is read front to back.
    std::vector<SortEntry> entries;
    entries.reserve(m_rows.size());
    (void)rowOfSlot(1);
    for (size_t slot = 1; slot < m_rowOfSlot.size(); ++slot) {
        if (const int row = m_rowOfSlot[slot]; row >= 0)
            entries.push_back(entryFor(static_cast<int>(slot), row));
    }
    if (entries.size() != m_rows.size()) {
        entries.clear();
        for (size_t row = 0; row < m_rows.size(); ++row)
            entries.push_back(entryFor(m_rows[row], static_cast<int>(row)));
    }
    if (textual)
        sortTexts(entries);
    else
        std::sort(entries.begin(), entries.end(), entryLess);
    if (m_sortOrder == Qt::DescendingOrder)
        std::reverse(entries.begin(), entries.end());

    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<int> newRowOf(m_rows.size());
    std::vector<int> rows(m_rows.size());
    for (size_t i = 0; i < entries.size(); ++i) {
        rows[i] = m_rows[static_cast<size_t>(entries[i].row)];
        newRowOf[static_cast<size_t>(entries[i].row)] = static_cast<int>(i);
    }
    m_rows = std::move(rows);
    rowsChanged();
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex& old : before)
        after.append(index(newRowOf[static_cast<size_t>(old.row())], old.column()));
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}
