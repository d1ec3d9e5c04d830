#pragma once

#include <vector>

// A Batch View row in a move: its entry and whether it is selected. The moves carry the selection
// with the rows, as each moved row is selected again in its new place.
struct QueueRow {
    int entry = 0;
    bool selected = false;
    bool operator==(const QueueRow&) const = default;
};

// The moves of the batch's Up, Down, Top and Bottom commands. Up and Down stop the whole command,
// leaving the rows unchanged, when a selected row is already at the edge; they return false then.
bool moveRowsUp(std::vector<QueueRow>& rows);
bool moveRowsDown(std::vector<QueueRow>& rows);
// Two passes each, so the selected rows keep their relative order at the top or the bottom.
void moveRowsToTop(std::vector<QueueRow>& rows);
void moveRowsToBottom(std::vector<QueueRow>& rows);
