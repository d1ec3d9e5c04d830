#pragma once

#include <QDateTime>
#include <QString>

// When a transfer will be done, as the ETA labels show it.

// The clock time `seconds` after `now`, with the date when that is more than a day away.
[[nodiscard]] QString EtaClock(qint64 seconds, const QDateTime& now);
// Rough words for a duration: "less than a minute", "about a minute", "5 minutes", "about an hour",
// "1 hour, 5 minutes", "3 hours, 5 minutes", "about 7 hours".
[[nodiscard]] QString EtaWords(qint64 seconds);
