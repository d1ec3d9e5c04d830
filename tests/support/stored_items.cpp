#include "support/stored_items.h"

#include "headers/header_file.h"

#include <algorithm>

ItemTable loadStoredItems(const QString& path)
{
    twb::RecordReader reader(path);
    ItemTable table;
    while (reader.readNext(table)) {
    }
    return table;
}

QMap<qint64, int> storedArticles(const QString& path)
{
    const ItemTable table = loadStoredItems(path);
    QMap<qint64, int> seen;
    for (int slot = 1; slot <= table.count(); ++slot)
        table.forEachPart(table.item(slot), [&seen](const ItemPart& p) { ++seen[p.article]; });
    return seen;
}

bool holdsEachArticleOnce(const QMap<qint64, int>& seen, qint64 first, qint64 last)
{
    if (seen.size() != last - first + 1 || seen.isEmpty() || seen.firstKey() != first || seen.lastKey() != last)
        return false;
    return std::all_of(seen.cbegin(), seen.cend(), [](int n) { return n == 1; });
}
