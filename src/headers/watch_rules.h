#pragma once

#include <QByteArrayView>

class ItemTable;

// What the crunch asks of the watch list. The crunch holds a null pointer when there is none.
class WatchRules {
public:
    virtual ~WatchRules() = default;
    // True when a header must be dropped before it is filed.
    [[nodiscard]] virtual bool WatchList_Check_KILL(QByteArrayView subject, QByteArrayView poster) = 0;
    // True when the item at the slot, which just received its announced parts, is to be queued.
    [[nodiscard]] virtual bool WatchList_Check_ADD(const ItemTable& table, int slot) = 0;
    // The scan table's item at the slot passed the add test: queue it.
    virtual void watchedItemComplete(int slot) = 0;
};
