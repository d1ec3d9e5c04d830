#include "headers/item_status.h"

#include "app/ascii_case.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr qint64 kTextBytes = 10000;

// The three spellings of "part 0 of total", each a "(" and zeros and a "/" and the total.
struct PartZeroPatterns {
    explicit PartZeroPatterns(int total)
    {
        for (int width = 1; width <= 3; ++width)
            length[width - 1] = std::snprintf(text[width - 1], sizeof text[0], "(%0*d/%0*d", width, 0, width, total);
    }
    bool matchAt(const char* p, qsizetype left) const
    {
        for (int i = 0; i < 3; ++i) {
            if (left >= length[i] && std::memcmp(p, text[i], static_cast<size_t>(length[i])) == 0)
                return true;
        }
        return false;
    }
    char text[3][24] {};
    int length[3] {};
};

bool anyTailHasPartZero(QByteArrayView tail, const PartZeroPatterns& patterns)
{
    const char* p = tail.data();
    const char* end = p + tail.size();
    while (p < end) {
        const void* open = std::memchr(p, '(', static_cast<size_t>(end - p));
        if (!open)
            return false;
        p = static_cast<const char*>(open);
        if (patterns.matchAt(p, end - p))
            return true;
        ++p;
    }
    return false;
}

} // namespace

const char* statusKey(ItemState state)
{
    switch (state) {
    case ItemState::Complete:
        return "complete";
    case ItemState::Incomplete:
        return "incomplete";
    case ItemState::Unknown:
        return "unknown";
    case ItemState::Text:
        return "text";
    case ItemState::InBatch:
        return "iteminbatch";
    }
    return "unknown";
}

bool tailHasPartZero(QByteArrayView tail, int total)
{
    return anyTailHasPartZero(tail, PartZeroPatterns(total));
}

ItemState partsState(const ItemTable& table, int slot)
{
    const Item& it = table.item(slot);
    const qint64 held = it.partCount;
    const qint64 total = it.totalParts;
    ItemState state;
    if (held == total) {
        state = ItemState::Complete;
        if (total > 1) {
            // As many parts as announced, but one of them is a part 0: a numbered one is missing.
            const PartZeroPatterns patterns(static_cast<int>(total));
            bool partZero = false;
            table.forEachPart(
                it, [&](const ItemPart& p) { partZero = partZero || anyTailHasPartZero(table.str(p.tail), patterns); });
            if (partZero)
                state = ItemState::Incomplete;
        }
    } else if (held == total + 1) {
        state = ItemState::Complete;
    } else {
        state = held < total + 1 ? ItemState::Incomplete : ItemState::Unknown;
    }
    if (total == 0 && held == 1 && table.ItemBytes(slot) < kTextBytes) {
        const QByteArrayView key = table.str(it.key);
        const bool binary = ascii::endsWithFolded(key, ".NFO") || ascii::endsWithFolded(key, ".DIZ")
            || ascii::endsWithFolded(key, ".ZIP");
        state = binary ? ItemState::Complete : ItemState::Text;
    }
    return state;
}
