#pragma once

#include "headers/item_table.h"

#include <QByteArray>

// The states an item of the header view can be in; their keys double as icon keys.
enum class ItemState : quint8 { Complete, Incomplete, Unknown, Text, InBatch };

inline constexpr int kItemStateCount = 5;

[[nodiscard]] const char* statusKey(ItemState state);

// What an item's parts make of it, before the batch is asked: whether every announced part is
// there (a part 0 counts as an extra), or for a single small post whether it is text.
[[nodiscard]] ItemState partsState(const ItemTable& table, int slot);

// Whether a part subject tail announces a part 0 of `total` ("(0/12", "(00/12", "(000/012").
[[nodiscard]] bool tailHasPartZero(QByteArrayView tail, int total);
