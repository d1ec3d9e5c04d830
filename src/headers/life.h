#pragma once

#include <QtGlobal>

class Newsgroups;
class OpsLog;

// Shown as "need scan" instead of a percentage.
inline constexpr int kLifeNeedScan = -100000;

struct LifeResult {
    int value = 0;
    bool failed = false; // the range was empty or inverted; value is the fallback 0
};

// Where an article lies within a group's server range (first article, span = last - first), as a
// percentage: 0 near the oldest article, at most 99. 0 for a group never scanned.
[[nodiscard]] LifeResult lifeInRange(qint64 article, qint64 first, qint64 span);

// lifeInRange for the group's recorded range; 0 for an unknown group. An empty range is logged
// every time unless `logged` is given: then only while it is false, and it is set, so a pass over
// many rows writes one line.
[[nodiscard]] int LifeRemaining(const Newsgroups& groups, OpsLog& log, qint64 article, quint8 groupKey);
[[nodiscard]] int LifeRemaining(const Newsgroups& groups, OpsLog& log, qint64 article, quint8 groupKey, bool& logged);
