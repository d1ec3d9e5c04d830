#pragma once

#include <QString>
#include <QtGlobal>

class Newsgroups;
class OpsLog;

// The Life column's reading for a group that has never been scanned.
inline constexpr int kLifeNeedScan = -100000;

struct LifeResult {
    int value = 0;
    bool failed = false; // the range was empty or inverted; value is the fallback 0
};

// Where an article lies within a group's server range (first article, span = last - first), as a
// percentage: 0 near the oldest article, at most 99. 0 for a group never scanned.
[[nodiscard]] LifeResult lifeInRange(qint64 article, qint64 first, qint64 span);

// lifeInRange for the group's recorded range; 0 for an unknown group. A range it cannot divide by
// gives 0 and a "LifeRemaining Error: " log line; callers that compute many rows pass errorLogged,
// so a whole pass logs that line at most once.
[[nodiscard]] int LifeRemaining(
    const Newsgroups& groups, OpsLog& log, qint64 article, quint8 groupKey, bool* errorLogged = nullptr);
[[nodiscard]] inline int LifeRemaining(
    const Newsgroups& groups, OpsLog& log, qint64 article, quint8 groupKey, bool& errorLogged)
{
    return LifeRemaining(groups, log, article, groupKey, &errorLogged);
}

// The Life column text: "need scan" for kLifeNeedScan, else the value formatted "00" and "%".
[[nodiscard]] QString lifeText(int life);
