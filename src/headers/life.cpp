#include "headers/life.h"

#include "app/format.h"
#include "app/ops_log.h"
#include "groups/newsgroups.h"

#include <limits>

namespace {

void logError(OpsLog& log, const char* description, bool* errorLogged)
{
    if (errorLogged && *errorLogged)
        return;
    log.WriteLog(QStringLiteral("LifeRemaining Error: ") + QLatin1String(description), true);
    if (errorLogged)
        *errorLogged = true;
}

} // namespace

int LifeRemaining(const Newsgroups& groups, OpsLog& log, qint64 article, quint8 groupKey, bool* errorLogged)
{
    const GroupRecord* group = groups.recordByKey(groupKey);
    if (!group || group->first == 0)
        return 0;
    // In floating point: article numbers from files and servers may be anything, and their
    // difference must not overflow.
    const double span = static_cast<double>(group->last) - static_cast<double>(group->first);
    if (span == 0) {
        logError(log, "Division by zero", errorLogged);
        return 0;
    }
    const double percent = (static_cast<double>(article) - static_cast<double>(group->first)) / span * 100;
    if (!(percent >= std::numeric_limits<int>::min() && percent <= std::numeric_limits<int>::max())) {
        logError(log, "Overflow", errorLogged);
        return 0;
    }
    return static_cast<int>(std::min<qint64>(fmt::roundHalfEven(percent), 99));
}

QString lifeText(int life)
{
    if (life == kLifeNeedScan)
        return QStringLiteral("need scan");
    return fmt::Format(life, u"00") + u'%';
}
