#include "headers/life.h"

#include "app/format.h"
#include "app/ops_log.h"
#include "groups/newsgroups.h"

#include <algorithm>

LifeResult lifeInRange(qint64 article, qint64 first, qint64 span)
{
    if (first == 0)
        return {};
    if (span <= 0)
        return { 0, true };
    const double percent = static_cast<double>(article - first) / static_cast<double>(span) * 100.0;
    // Far below the range the value only has to stay clear of the "need scan" marker and of int.
    return { static_cast<int>(fmt::roundHalfEven(std::clamp(percent, -99999.0, 99.0))), false };
}

int LifeRemaining(const Newsgroups& groups, OpsLog& log, qint64 article, quint8 groupKey, bool& logged)
{
    const GroupRecord* group = groups.recordByKey(groupKey);
    if (!group)
        return 0;
    const LifeResult life = lifeInRange(article, group->first, group->total);
    if (life.failed && !logged) {
        logged = true;
        log.WriteLog(QStringLiteral("LifeRemaining Error: Division by zero"), true);
    }
    return life.value;
}

int LifeRemaining(const Newsgroups& groups, OpsLog& log, qint64 article, quint8 groupKey)
{
    bool logged = false;
    return LifeRemaining(groups, log, article, groupKey, logged);
}
