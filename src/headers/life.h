#pragma once

#include <QString>
#include <QtGlobal>

class Newsgroups;
class OpsLog;

// The Life column's reading for a group that has never been scanned.
inline constexpr int kLifeNeedScan = -100000;

// How far above the oldest article the server still holds an article lies, as a percentage of the
// group's range (at most 99): small values are about to expire. 0 for an unknown or unscanned group.
// A range it cannot divide by gives 0 and one "LifeRemaining Error: " log line; callers that compute
// many rows pass errorLogged, so a whole rebuild logs that line at most once.
[[nodiscard]] int LifeRemaining(
    const Newsgroups& groups, OpsLog& log, qint64 article, quint8 groupKey, bool* errorLogged = nullptr);

// The Life column text: "need scan" for kLifeNeedScan, else the value formatted "00" and "%".
[[nodiscard]] QString lifeText(int life);
