#pragma once

#include "headers/item_table.h"

#include <QMap>
#include <QString>

// A group's "headers.twb" read back whole, as the program would load it.
[[nodiscard]] ItemTable loadStoredItems(const QString& path);
// How often each article number is a part in the file.
[[nodiscard]] QMap<qint64, int> storedArticles(const QString& path);
// Whether every article first..last is a part exactly once and no other article is.
[[nodiscard]] bool holdsEachArticleOnce(const QMap<qint64, int>& seen, qint64 first, qint64 last);
