#pragma once

#include "headers/item_table.h"
#include "headers/watch_rules.h"

#include <QList>

#include <functional>

// Watch rules as a test scripts them, recording what the crunch asked and queued.
class FakeWatchRules final : public WatchRules {
public:
    bool WatchList_Check_KILL(QByteArrayView subject, QByteArrayView poster) override
    {
        return kill && kill(subject, poster);
    }
    bool WatchList_Check_ADD(const ItemTable& table, int slot) override
    {
        offered << slot;
        return add && add(table, slot);
    }
    void watchedItemComplete(int slot) override { queued << slot; }

    std::function<bool(QByteArrayView subject, QByteArrayView poster)> kill;
    std::function<bool(const ItemTable& table, int slot)> add;
    QList<int> offered;
    QList<int> queued;
};
