#include "batch/eta.h"

#include "app/format.h"

#include <QLocale>

QString EtaClock(qint64 seconds, const QDateTime& now)
{
    const QDateTime t = now.addSecs(seconds);
    const QLocale locale = QLocale::system();
    const QString time = locale.toString(t.time(), QLocale::ShortFormat);
    if (seconds < 86401)
        return time;
    return locale.toString(t.date(), QLocale::LongFormat) + u' ' + time;
}

QString EtaWords(qint64 seconds)
{
    const qint64 m = fmt::roundHalfEven(static_cast<double>(seconds) / 60.0);
    if (m <= 0)
        return QStringLiteral("less than a minute");
    if (m < 60)
        return m == 1 ? QStringLiteral("about a minute") : QString::number(m) + QStringLiteral(" minutes");
    const qint64 r = m % 60;
    const qint64 h = m / 60;
    if (r == 0)
        return h == 1 ? QStringLiteral("about an hour") : QStringLiteral("about %1 hours").arg(h);
    if (h == 1)
        return QStringLiteral("1 hour, %1 minutes").arg(r);
    if (h <= 5)
        return QStringLiteral("%1 hours, %2 minutes").arg(h).arg(r);
    return QStringLiteral("about %1 hours").arg(h);
}
