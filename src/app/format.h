#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringView>
#include <QTime>

#include <optional>

// Number and date formatting shared by every log line and label.
namespace fmt {

// Numeric masks of the form "#,##0.00": '0' forces a digit, '#' allows one, a ',' in the
// integer part groups thousands. Halves round away from zero.
[[nodiscard]] QString Format(double value, QStringView mask);

// Lenient number reading: skips blanks, takes an optional sign, digits, one decimal point and an
// exponent, and stops at the first other character; "&H" and "&O" prefixes read hex and octal.
// Text without a leading number gives 0.
[[nodiscard]] double Val(QStringView text);
[[nodiscard]] double Val(const QByteArray& text);

// "True"/"False" in any case, or a number (0 false, anything else true); nothing for other text.
[[nodiscard]] std::optional<bool> parseBoolean(QByteArrayView text);

// Round half to even, as integer conversions do.
[[nodiscard]] qint64 roundHalfEven(double value);

// Dates as days since 1899-12-30 with the time of day as the fraction, in local time.
[[nodiscard]] double toOleDate(const QDateTime& dateTime);
// Invalid for values outside the years 100 to 9999 (and for NaN).
[[nodiscard]] QDateTime fromOleDate(double oleDate);

[[nodiscard]] QString hhmmss(const QTime& time);
[[nodiscard]] QString shortDate(const QDate& date);

} // namespace fmt
