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
    // In floating point: article numbers from files and servers may be anything, and their
    // difference must not overflow.
    const double percent
        = (static_cast<double>(article) - static_cast<double>(first)) / static_cast<double>(span) * 100.0;
    // Far below the range the value only has to stay clear of the "need scan" marker and of int.
    return { static_cast<int>(fmt::roundHalfEven(std::clamp(percent, -99999.0, 99.0))), false };
}

int LifeRemaining(const Newsgroups& groups, OpsLog& log, qint64 article, quint8 groupKey, bool* errorLogged)
{
    const GroupRecord* group = groups.recordByKey(groupKey);
    if (!group)
        return 0;
    const LifeResult life = lifeInRange(article, group->first, group->last - group->first);
    if (life.failed && !(errorLogged && *errorLogged)) {
        if (errorLogged)
            *errorLogged = true;
        log.WriteLog(QStringLiteral("LifeRemaining Error: Division by zero"), true);
    }
    return life.value;
}

QString lifeText(int life)
{
    if (life == kLifeNeedScan)
        return QStringLiteral("need scan");
    return fmt::Format(life, u"00") + u'%';
}
