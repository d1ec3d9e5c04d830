#include "headers/header_columns.h"

#include "app/format.h"
#include "app/text.h"
#include "headers/item_key.h"
#include "headers/life.h"

#include <cmath>

namespace columns {

namespace {
// OLE dates the calendar can show: years 100 to 9999.
constexpr double kFirstDate = -657434.0;
constexpr double kLastDate = 2958466.0;
} // namespace

QString subject(QByteArrayView key)
{
    return displayText(itemkey::baseName(key).toByteArray());
}

QString parts(qint64 held, qint64 total)
{
    if (total != 0)
        return fmt::Format(static_cast<double>(held), u"000") + u'/' + fmt::Format(static_cast<double>(total), u"000");
    if (held < 2)
        return {};
    return fmt::Format(static_cast<double>(held), u"0") + QStringLiteral("/???");
}

QString megabytes(qint64 bytes)
{
    return fmt::Format(static_cast<double>(bytes) / 1000000.0, u"000.000");
}

QString kilobytes(qint64 bytes)
{
    return fmt::Format(static_cast<double>(bytes) / 1000.0, u"000.0");
}

QString life(int percent)
{
    if (percent == kLifeNeedScan)
        return QStringLiteral("need scan");
    return fmt::Format(percent, u"00") + u'%';
}

bool hasDate(double oleDate)
{
    if (!std::isfinite(oleDate) || oleDate <= kFirstDate || oleDate >= kLastDate)
        return false;
    // Worked out on the number: this runs for every row when a list is sorted by date.
    const double whole = std::trunc(oleDate);
    if (whole != 0)
        return true;
    // Day 0 is the zero date, unless its time rounds up to the next (or previous) day.
    constexpr double kMsPerDay = 86'400'000.0;
    return std::llround(std::fabs(oleDate) * kMsPerDay) >= static_cast<qint64>(kMsPerDay);
}

QString date(double oleDate)
{
    if (!hasDate(oleDate))
        return QStringLiteral("?");
    return fmt::fromOleDate(oleDate).toString(QStringLiteral("yyyy-MM-dd"));
}

QByteArrayView shortPoster(QByteArrayView poster)
{
    const qsizetype open = poster.indexOf('<');
    if (open >= 0) {
        const QByteArrayView rest = poster.sliced(open + 1);
        const qsizetype close = rest.indexOf('>');
        return close >= 0 ? rest.first(close) : rest;
    }
    const qsizetype paren = poster.indexOf('(');
    return paren >= 0 ? poster.first(paren) : poster;
}

} // namespace columns
