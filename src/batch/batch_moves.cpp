#include "batch/batch_moves.h"

#include <algorithm>
#include <utility>

bool moveRowsUp(std::vector<QueueRow>& rows)
{
    if (!rows.empty() && rows.front().selected)
        return false;
    for (size_t i = 1; i < rows.size(); ++i) {
        if (rows[i].selected)
            std::swap(rows[i - 1], rows[i]);
    }
    return true;
}

bool moveRowsDown(std::vector<QueueRow>& rows)
{
    if (!rows.empty() && rows.back().selected)
        return false;
    for (size_t i = rows.size(); i-- > 1;) {
        if (rows[i - 1].selected)
            std::swap(rows[i - 1], rows[i]);
    }
    return true;
}

namespace {

// One pass from the first row to the last, putting each selected row below the first at the top:
// the rows visited later end up above those visited earlier.
void topPass(std::vector<QueueRow>& rows)
{
    if (rows.size() < 2)
        return;
    std::vector<QueueRow> moved, rest;
    rest.push_back(rows.front());
    for (size_t i = 1; i < rows.size(); ++i)
        (rows[i].selected ? moved : rest).push_back(rows[i]);
    std::reverse(moved.begin(), moved.end());
    moved.insert(moved.end(), rest.begin(), rest.end());
    rows = std::move(moved);
}

// One pass from the last row to the first, appending each selected row above the last: the rows
// visited later end up below those visited earlier.
void bottomPass(std::vector<QueueRow>& rows)
{
    if (rows.size() < 2)
        return;
    std::vector<QueueRow> kept, moved;
    for (size_t i = 0; i + 1 < rows.size(); ++i)
        (rows[i].selected ? moved : kept).push_back(rows[i]);
    kept.push_back(rows.back());
    kept.insert(kept.end(), moved.rbegin(), moved.rend());
    rows = std::move(kept);
}

} // namespace

void moveRowsToTop(std::vector<QueueRow>& rows)
{
    topPass(rows);
    topPass(rows);
}

void moveRowsToBottom(std::vector<QueueRow>& rows)
{
    bottomPass(rows);
    bottomPass(rows);
}
