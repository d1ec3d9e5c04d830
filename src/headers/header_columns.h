#pragma once

#include <QByteArrayView>
#include <QString>

// The texts of the header view's and the parts window's columns.
namespace columns {

// The key's base name.
[[nodiscard]] QString subject(QByteArrayView key);
// "005/012"; without an announced count "3/???", or empty for a lone part.
[[nodiscard]] QString parts(qint64 held, qint64 total);
[[nodiscard]] QString megabytes(qint64 bytes);
[[nodiscard]] QString kilobytes(qint64 bytes);
// "42%", or "need scan".
[[nodiscard]] QString life(int percent);
// Whether an OLE date has a calendar date to show: not the zero date (day 1899-12-30), not out of range.
[[nodiscard]] bool hasDate(double oleDate);
// "yyyy-mm-dd", or "?" without a date.
[[nodiscard]] QString date(double oleDate);
// A poster without its address: the text inside "<...>", else the text before "(".
[[nodiscard]] QByteArrayView shortPoster(QByteArrayView poster);

} // namespace columns
