#pragma once

#include <QtGlobal>

class AppContext;

// Marks deleted every item of the scan table with a part below the group's new first article:
// the server no longer holds all of it. The batch drops its entry of each, by part 1's article.
void AutoExpire(AppContext& ctx, quint8 groupKey, qint64 first);
