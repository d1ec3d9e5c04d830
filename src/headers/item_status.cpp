#include "headers/item_status.h"

#include "app/ascii_case.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr qint64 kTextBytes = 10000;

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
    // "(", one to three zeros, "/" and the total written with at least as many digits, zero-padded.
    // Every appended part asks, so the total is written out only once a "(0.../" turns up.
    char digits[12];
    int n = 0;
    const bool negative = total < 0;
    const char* p = tail.data();
    const char* const end = p + tail.size();
    while (p < end) {
        const void* open = std::memchr(p, '(', static_cast<size_t>(end - p));
        if (!open)
            return false;
        p = static_cast<const char*>(open) + 1;
        const char* q = p;
        while (q < end && *q == '0' && q - p < 4)
            ++q;
        const auto zeros = static_cast<int>(q - p);
        if (zeros < 1 || zeros > 3 || q == end || *q != '/')
            continue;
        ++q;
        if (n == 0) {
            for (auto v = static_cast<unsigned>(negative ? -static_cast<qint64>(total) : total);; v /= 10) {
                digits[n++] = static_cast<char>('0' + v % 10);
                if (v < 10)
                    break;
            }
            if (negative)
                digits[n++] = '-';
            std::reverse(digits, digits + n);
        }
        // A negative total is padded after its sign.
        const int pad = std::max(zeros - n, 0);
        const char* padAt = q + (negative ? 1 : 0);
        if (end - q < pad + n || (negative && *q != '-'))
            continue;
        if (std::all_of(padAt, padAt + pad, [](char c) { return c == '0'; })
            && std::memcmp(padAt + pad, digits + (negative ? 1 : 0), static_cast<size_t>(n - (negative ? 1 : 0))) == 0)
            return true;
    }
    return false;
}

ItemState partsState(const ItemTable& table, int slot)
{
    const Item& it = table.item(slot);
    const qint64 held = it.partCount;
    const qint64 total = it.totalParts;
    ItemState state;
    if (held == total) {
        state = ItemState::Complete;
        // As many parts as announced, but one of them is a part 0: a numbered one is missing.
        if (total > 1 && it.partZero)
            state = ItemState::Incomplete;
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
