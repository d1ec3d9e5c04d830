#include "app/format.h"

#include <QLocale>

#include <cmath>

namespace fmt {

namespace {

struct Mask {
    int minIntegerDigits = 0;
    int minDecimals = 0;
    int maxDecimals = 0;
    bool grouping = false;
};

Mask parseMask(QStringView mask)
{
    Mask m;
    const qsizetype point = mask.indexOf(u'.');
    const QStringView integerPart = point < 0 ? mask : mask.left(point);
    for (QChar c : integerPart) {
        if (c == u'0')
            ++m.minIntegerDigits;
        else if (c == u',')
            m.grouping = true;
    }
    if (point >= 0) {
        for (QChar c : mask.mid(point + 1)) {
            if (c == u'0') {
                ++m.minDecimals;
                ++m.maxDecimals;
            } else if (c == u'#') {
                ++m.maxDecimals;
            }
        }
    }
    return m;
}

QString groupThousands(const QString& digits)
{
    QString out;
    out.reserve(digits.size() + digits.size() / 3);
    const qsizetype n = digits.size();
    for (qsizetype i = 0; i < n; ++i) {
        if (i > 0 && (n - i) % 3 == 0)
            out += u',';
        out += digits[i];
    }
    return out;
}

int digitValue(QChar c, int base)
{
    int v = -1;
    if (c >= u'0' && c <= u'9')
        v = c.unicode() - '0';
    else if (c >= u'a' && c <= u'f')
        v = c.unicode() - 'a' + 10;
    else if (c >= u'A' && c <= u'F')
        v = c.unicode() - 'A' + 10;
    return v < base ? v : -1;
}

bool isBlank(QChar c) { return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r'; }

} // namespace

QString Format(double value, QStringView mask)
{
    const Mask m = parseMask(mask);
    const double scale = std::pow(10.0, m.maxDecimals);
    const double scaled = std::floor(std::fabs(value) * scale + 0.5);
    QString digits = QString::number(scaled, 'f', 0);
    if (digits.size() <= m.maxDecimals)
        digits = QString(m.maxDecimals - digits.size() + 1, u'0') + digits;

    QString integer = digits.left(digits.size() - m.maxDecimals);
    QString fraction = digits.right(m.maxDecimals);
    while (fraction.size() > m.minDecimals && fraction.endsWith(u'0'))
        fraction.chop(1);

    qsizetype leadingZeros = 0;
    while (leadingZeros < integer.size() && integer[leadingZeros] == u'0')
        ++leadingZeros;
    integer.remove(0, leadingZeros);
    if (integer.size() < m.minIntegerDigits)
        integer = QString(m.minIntegerDigits - integer.size(), u'0') + integer;
    if (m.grouping)
        integer = groupThousands(integer);

    QString out = integer;
    if (m.maxDecimals > 0)
        out += u'.' + fraction;
    const bool negative = value < 0 && scaled != 0;
    return negative ? u'-' + out : out;
}

double Val(QStringView text)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    auto skipBlanks = [&] {
        while (i < n && isBlank(text[i]))
            ++i;
    };
    skipBlanks();
    if (i + 1 < n && text[i] == u'&') {
        const QChar kind = text[i + 1].toUpper();
        const int base = kind == u'H' ? 16 : kind == u'O' ? 8 : 0;
        if (base != 0) {
            i += 2;
            // Accumulated as a double: a long run of digits must not overflow into a small number.
            double v = 0;
            for (; i < n; ++i) {
                if (isBlank(text[i]))
                    continue;
                const int d = digitValue(text[i], base);
                if (d < 0)
                    break;
                v = v * base + d;
            }
            return v;
        }
    }

    // Collect the number's characters with blanks dropped, then let the C library convert it.
    std::string number;
    bool seenDigit = false, seenPoint = false, seenExponent = false;
    if (i < n && (text[i] == u'-' || text[i] == u'+')) {
        number += static_cast<char>(text[i].unicode());
        ++i;
    }
    for (; i < n; ++i) {
        const QChar c = text[i];
        if (isBlank(c))
            continue;
        if (c.isDigit() && c.unicode() < 128) {
            number += static_cast<char>(c.unicode());
            seenDigit = true;
        } else if (c == u'.' && !seenPoint && !seenExponent) {
            number += '.';
            seenPoint = true;
        } else if ((c == u'e' || c == u'E' || c == u'd' || c == u'D') && seenDigit && !seenExponent) {
            std::string exponent = "e";
            qsizetype j = i + 1;
            if (j < n && (text[j] == u'-' || text[j] == u'+'))
                exponent += static_cast<char>(text[j++].unicode());
            if (j < n && text[j].isDigit()) {
                number += exponent;
                seenExponent = true;
                i = j - 1;
            } else {
                break;
            }
        } else {
            break;
        }
    }
    if (!seenDigit)
        return 0.0;
    return std::strtod(number.c_str(), nullptr);
}

double Val(const QByteArray& text) { return Val(QString::fromLatin1(text)); }

std::optional<bool> parseBoolean(QByteArrayView text)
{
    const QByteArrayView t = text.trimmed();
    if (t.compare("true", Qt::CaseInsensitive) == 0)
        return true;
    if (t.compare("false", Qt::CaseInsensitive) == 0)
        return false;
    bool ok = false;
    const double v = t.toByteArray().toDouble(&ok);
    if (!ok)
        return std::nullopt;
    return v != 0;
}

qint64 roundHalfEven(double value) { return static_cast<qint64>(std::nearbyint(value)); }

namespace {
const QDate kOleEpoch(1899, 12, 30);
constexpr qint64 kMsPerDay = 86'400'000;
constexpr double kOleMin = -657434; // 0100-01-01
constexpr double kOleMax = 2958466; // 10000-01-01
} // namespace

double toOleDate(const QDateTime& dateTime)
{
    const qint64 days = kOleEpoch.daysTo(dateTime.date());
    const double fraction = static_cast<double>(dateTime.time().msecsSinceStartOfDay()) / kMsPerDay;
    // Before the epoch the fraction still counts forward from midnight: -1.25 is 1899-12-29 06:00.
    return days >= 0 ? days + fraction : days - fraction;
}

QDateTime fromOleDate(double oleDate)
{
    // Dates come from files too: anything outside the years 100 to 9999 is no date at all.
    if (!(oleDate >= kOleMin && oleDate < kOleMax))
        return {};
    const double whole = std::trunc(oleDate);
    const qint64 ms = std::llround(std::fabs(oleDate - whole) * kMsPerDay);
    QDate date = kOleEpoch.addDays(static_cast<qint64>(whole));
    qint64 msOfDay = ms;
    if (msOfDay >= kMsPerDay) {
        msOfDay -= kMsPerDay;
        date = date.addDays(oleDate >= 0 ? 1 : -1);
    }
    return QDateTime(date, QTime::fromMSecsSinceStartOfDay(static_cast<int>(msOfDay)));
}

QString hhmmss(const QTime& time) { return time.toString(QStringLiteral("HH:mm:ss")); }

QString shortDate(const QDate& date) { return QLocale::system().toString(date, QLocale::ShortFormat); }

} // namespace fmt
