#include "headers/subject.h"

#include "app/ascii_case.h"
#include "app/text.h"
#include "headers/item_key.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

constexpr qint64 kMaxParts = 2600;
constexpr QByteArrayView kSinglePart = "(1/1)";
constexpr QByteArrayView kNoSubject = "(no subject?)";

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Blanks are spaces only: overview fields never hold other white space.
QByteArrayView trimBlanks(QByteArrayView v)
{
    qsizetype b = 0, e = v.size();
    while (b < e && v[b] == ' ')
        ++b;
    while (e > b && v[e - 1] == ' ')
        --e;
    return v.sliced(b, e - b);
}

qsizetype indexOf(QByteArrayView v, char c, qsizetype from = 0)
{
    if (from >= v.size())
        return -1;
    const void* hit = std::memchr(v.data() + from, c, static_cast<size_t>(v.size() - from));
    return hit ? static_cast<const char*>(hit) - v.data() : -1;
}

qsizetype lastIndexOf(QByteArrayView v, char c)
{
    for (qsizetype i = v.size() - 1; i >= 0; --i) {
        if (v[i] == c)
            return i;
    }
    return -1;
}

QByteArrayView afterLast(QByteArrayView v, char c)
{
    return v.sliced(lastIndexOf(v, c) + 1);
}

// Index of the digit of the next "d)" or "d]" at or after `from`, -1 if none.
qsizetype nextPair(QByteArrayView v, char digit, char closer, qsizetype from)
{
    for (qsizetype i = indexOf(v, closer, from + 1); i >= 0; i = indexOf(v, closer, i + 1)) {
        if (i > 0 && v[i - 1] == digit)
            return i - 1;
    }
    return -1;
}

void setBytes(QByteArray& dst, QByteArrayView src)
{
    dst.resize(src.size());
    if (!src.isEmpty())
        std::memcpy(dst.data(), src.data(), static_cast<size_t>(src.size()));
}

void removeAllInto(QByteArrayView text, QByteArrayView pattern, QByteArray& out)
{
    out.resize(text.size());
    const qsizetype m = pattern.size();
    qsizetype n = 0;
    for (qsizetype i = 0; i < text.size();) {
        if (m > 0 && ascii::startsWithFolded(text.sliced(i), pattern)) {
            i += m;
        } else {
            out.data()[n++] = text[i++];
        }
    }
    out.resize(n);
}

// One pass over the subject collects what the parenthesis and bracket searches start from.
struct Marks {
    std::array<qsizetype, 10> paren; // first "d)" per digit d, -1 if none
    std::array<qsizetype, 10> bracket; // first "d]" per digit d
    bool slash = false;
    bool singlePart = false;
};

// The bytes scanSubject looks at; a subject is mostly other bytes.
constexpr std::array<bool, 256> kMarkBytes = [] {
    std::array<bool, 256> t {};
    for (const char c : { '/', '(', ')', ']' })
        t[static_cast<unsigned char>(c)] = true;
    return t;
}();

Marks scanSubject(QByteArrayView s)
{
    Marks m;
    m.paren.fill(-1);
    m.bracket.fill(-1);
    const char* p = s.data();
    const qsizetype n = s.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char c = p[i];
        if (!kMarkBytes[static_cast<unsigned char>(c)])
            continue;
        if (c == '/') {
            m.slash = true;
        } else if (c == '(') {
            m.singlePart = m.singlePart || s.sliced(i).startsWith(kSinglePart);
        } else if (i > 0 && isDigit(p[i - 1])) {
            // A digit before ")" or "]": the first of each digit counts.
            qsizetype& first = (c == ')' ? m.paren : m.bracket)[static_cast<size_t>(p[i - 1] - '0')];
            if (first < 0)
                first = i - 1;
        }
    }
    return m;
}

bool slashIn(QByteArrayView s, qsizetype from, qsizetype to)
{
    return indexOf(s.first(to), '/', from) >= 0;
}

// Length of the subject after the part-counter search, or -1 when it stays whole.
qsizetype cutLength(QByteArrayView s, const Marks& m)
{
    // Positions compare against the working subject, which carries one extra trailing blank.
    const qsizetype workLength = s.size() + 1;
    for (int d = 0; d < 10; ++d) {
        const qsizetype p1 = m.paren[d];
        if (p1 < 0)
            continue;
        // A window reaching before the first character is not looked at.
        bool slash = false;
        if (workLength > 5) {
            slash = p1 >= 5 && slashIn(s, p1 - 5, p1);
            if (!slash && workLength > 15)
                slash = p1 >= 15 && slashIn(s, p1 - 15, p1);
        }
        const char digit = static_cast<char>('0' + d);
        const qsizetype p2 = nextPair(s, digit, ')', p1 + 1);
        if (p2 >= 0) {
            const qsizetype p3 = nextPair(s, digit, ')', p2 + 1);
            return (p3 >= 0 ? p3 : p2) + 2;
        }
        if (slash)
            return p1 + 2;
    }
    // Only the smallest digit before "]" is tried.
    for (int d = 0; d < 10; ++d) {
        const qsizetype p1 = m.bracket[d];
        if (p1 < 0)
            continue;
        const char digit = static_cast<char>('0' + d);
        const qsizetype p2 = nextPair(s, digit, ']', p1 + 1);
        if (p2 >= 0) {
            const qsizetype p3 = nextPair(s, digit, ']', p2 + 1);
            return (p3 >= 0 ? p3 : p2) + 2;
        }
        return m.slash ? p1 + 2 : -1;
    }
    return -1;
}

// The count after the last "/" of the subject's last word, "(3/12)" -> "12".
QByteArrayView countOfLastWord(QByteArrayView s, char opener, char closer)
{
    const QByteArrayView word = afterLast(afterLast(s, ' '), opener);
    const qsizetype slash = lastIndexOf(word, '/');
    if (slash < 0)
        return {};
    const QByteArrayView count = word.sliced(slash + 1);
    return trimBlanks(indexOf(count, closer) >= 0 ? count.chopped(1) : QByteArrayView());
}

// Everything up to and including the last blank, or "(no subject?)" when nothing precedes it.
QByteArrayView upToLastBlank(QByteArrayView s)
{
    const qsizetype blank = lastIndexOf(s, ' ');
    return blank < 0 ? kNoSubject : s.first(blank + 1);
}

// Leading decimal digits only: a sign, point or exponent would break the fixed-length key suffix.
qint64 leadingDigits(QByteArrayView text)
{
    qint64 v = 0;
    for (qsizetype i = 0; i < text.size() && isDigit(text[i]); ++i)
        v = v * 10 + (text[i] - '0');
    return v;
}

void buildKey(QByteArray& key, QByteArrayView name, QByteArrayView count, qint64 value)
{
    name = trimBlanks(name);
    if (count.isEmpty())
        setBytes(key, name);
    else
        itemkey::make(key, name, value);
}

} // namespace

void analyseSubject(QByteArrayView subject, SubjectAnalysis& out)
{
    const QByteArrayView full = trimBlanks(subject);
    setBytes(out.fullSubject, full);
    out.rejected = false;
    if (!out.rejectLog.isEmpty())
        out.rejectLog.clear();

    const Marks marks = scanSubject(full);
    if (marks.singlePart) {
        removeAllInto(full, kSinglePart, out.key);
        const QByteArrayView trimmed = trimBlanks(out.key);
        const qsizetype from = trimmed.data() - out.key.constData();
        std::memmove(out.key.data(), out.key.constData() + from, static_cast<size_t>(trimmed.size()));
        out.key.resize(trimmed.size());
        setBytes(out.countText, "1");
        return;
    }

    // The working subject is `full` plus one blank; cuts always end before that blank.
    const qsizetype cut = full.size() + 1 < 5 ? -1 : cutLength(full, marks);
    const QByteArrayView s = cut < 0 ? full : full.first(cut);
    const bool trailingBlank = cut < 0;
    QByteArrayView name = s;
    QByteArrayView count;
    if (cut >= 5 && s.back() == ')') {
        count = countOfLastWord(s, '(', ')');
        if (count.isEmpty()) {
            buildKey(out.key, s, {}, 0);
            out.countText.resize(0);
            return;
        }
        const qsizetype paren = lastIndexOf(s, '(');
        if (paren == 0)
            name = kNoSubject;
        else
            name = paren > 0 ? s.first(paren) : upToLastBlank(s);
    } else if (cut >= 5 && s.back() == ']') {
        count = countOfLastWord(s, '[', ']');
        name = upToLastBlank(s);
    } else {
        // On purpose: a short subject without a counter is its own count ("2600" -> "2600 [xx/0002600]"),
        // as the keys in stored header and batch files have it.
        count = s.size() + (trailingBlank ? 1 : 0) >= 10 ? QByteArrayView() : trimBlanks(s);
    }
    if (count.size() >= 10)
        count = {};

    const qint64 value = leadingDigits(count);
    if (value > kMaxParts) {
        out.rejected = true;
        out.key.resize(0);
        setBytes(out.countText, count);
        QByteArray line
            = "Invalid post filtered -- too many parts: (" + count.toByteArray() + "?) -- " + name.toByteArray();
        if (trailingBlank)
            line += ' ';
        out.rejectLog = displayText(line);
        return;
    }
    buildKey(out.key, name, count, value);
    setBytes(out.countText, count);
}

QByteArray parseFrom(QByteArrayView from)
{
    return fromName(from).toByteArray();
}

QByteArrayView fromName(QByteArrayView from)
{
    QByteArrayView f = from;
    if (f.startsWith('<')) {
        f = f.sliced(1);
        if (f.endsWith('>'))
            f.chop(1);
    }
    if (!f.startsWith('<')) {
        const qsizetype lt = indexOf(f, '<');
        if (lt < 0) {
            // "user@host (Name)"
            const qsizetype open = indexOf(f, '(');
            if (open >= 0 && indexOf(f, ')') >= 0) {
                f = f.sliced(open + 1);
                if (!f.isEmpty())
                    f.chop(1);
            }
        } else if (indexOf(f, '>') >= 0) {
            // "Name <user@host>": drop the address and the blank before it.
            f = f.first(lt - 1);
            if (indexOf(f, '"') >= 0 && !f.isEmpty())
                f = f.sliced(1);
        }
    }
    // Short local parts are kept with their host so they stay recognisable.
    const qsizetype at = indexOf(f, '@');
    if (at >= 4)
        f = f.first(at);
    if (f.endsWith('"'))
        f.chop(1);
    return f;
}

namespace {

constexpr qint64 daysFromCivil(qint64 y, int m, int d)
{
    y -= m <= 2;
    const qint64 era = (y >= 0 ? y : y - 399) / 400;
    const qint64 yoe = y - era * 400;
    const qint64 doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const qint64 doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}
constexpr qint64 kOleEpochDays = daysFromCivil(1899, 12, 30);
static_assert(kOleEpochDays == -25569);
constexpr double kMsPerDay = 86'400'000.0;

bool isLeap(int y)
{
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int daysInMonth(int y, int m)
{
    static constexpr std::array<int, 12> kDays = { 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31 };
    return m == 2 && isLeap(y) ? 29 : kDays[static_cast<size_t>(m - 1)];
}

constexpr std::array<QByteArrayView, 12> kMonths = { "JANUARY", "FEBRUARY", "MARCH", "APRIL", "MAY", "JUNE", "JULY",
    "AUGUST", "SEPTEMBER", "OCTOBER", "NOVEMBER", "DECEMBER" };

// Three letters in upper case as one number, to compare a short name at once.
constexpr quint32 threeLetters(const char* p)
{
    return quint32(quint8(ascii::upper(p[0]))) << 16 | quint32(quint8(ascii::upper(p[1]))) << 8
        | quint8(ascii::upper(p[2]));
}

constexpr std::array<quint32, 12> kMonthCodes = [] {
    std::array<quint32, 12> codes {};
    for (size_t m = 0; m < 12; ++m)
        codes[m] = threeLetters(kMonths[m].data());
    return codes;
}();

struct DateReader {
    QByteArrayView s;
    qsizetype i = 0;

    [[nodiscard]] bool atEnd() const { return i >= s.size(); }
    [[nodiscard]] char peek() const { return atEnd() ? '\0' : s[i]; }
    bool take(char c)
    {
        if (peek() != c)
            return false;
        ++i;
        return true;
    }
    bool blanks()
    {
        const qsizetype start = i;
        while (peek() == ' ')
            ++i;
        return i > start;
    }
    // Up to `maxDigits` digits; more digits, or none, fail.
    bool number(int maxDigits, int& value, int& digits)
    {
        value = 0;
        digits = 0;
        while (isDigit(peek())) {
            if (++digits > maxDigits)
                return false;
            value = value * 10 + (s[i++] - '0');
        }
        return digits > 0;
    }
    bool number(int maxDigits, int& value)
    {
        int digits = 0;
        return number(maxDigits, value, digits);
    }
    bool year(int& value)
    {
        int digits = 0;
        if (!number(4, value, digits) || (digits != 2 && digits != 4))
            return false;
        if (digits == 2)
            value += value < 50 ? 2000 : 1900;
        return true;
    }
    // English month name, three letters or in full, any case.
    bool month(int& value)
    {
        const qsizetype start = i;
        while ((peek() >= 'A' && peek() <= 'Z') || (peek() >= 'a' && peek() <= 'z'))
            ++i;
        const qsizetype length = i - start;
        if (length == 3) {
            const auto it = std::find(kMonthCodes.begin(), kMonthCodes.end(), threeLetters(s.data() + start));
            if (it == kMonthCodes.end())
                return false;
            value = static_cast<int>(it - kMonthCodes.begin()) + 1;
            return true;
        }
        for (int m = 0; m < 12; ++m) {
            const QByteArrayView name = kMonths[static_cast<size_t>(m)];
            if (length != 3 && length != name.size())
                continue;
            if (ascii::equalFolded(s.sliced(start, length), name.first(length))) {
                value = m + 1;
                return true;
            }
        }
        return false;
    }
    bool fieldSeparator() { return take('-') || blanks(); }
};

// Forms that parse, with an optional " h:mm" or " h:mm:ss" after the date:
//   4 Dec 2002, 04-dec-02, 4 December 2002   day, English month name, year
//   2002-12-04                               year first, numeric
//   12/04/2002, 12/4/02                      month first (US order)
// Two-digit years below 50 are 20xx, others 19xx.
bool parseDateTime(QByteArrayView text, double& result)
{
    DateReader r { trimBlanks(text) };
    int first = 0, firstDigits = 0, y = 0, m = 0, d = 0;
    if (!r.number(4, first, firstDigits))
        return false;
    if (firstDigits == 4 && r.take('-')) {
        y = first;
        if (!r.number(2, m) || !r.take('-') || !r.number(2, d))
            return false;
    } else if (firstDigits <= 2 && r.take('/')) {
        m = first;
        if (!r.number(2, d) || !r.take('/') || !r.year(y))
            return false;
    } else if (firstDigits <= 2) {
        d = first;
        if (!r.fieldSeparator() || !r.month(m) || !r.fieldSeparator() || !r.year(y))
            return false;
    } else {
        return false;
    }
    int hh = 0, mm = 0, ss = 0;
    if (!r.atEnd()) {
        if (!r.blanks() || !r.number(2, hh) || !r.take(':') || !r.number(2, mm))
            return false;
        if (r.take(':') && !r.number(2, ss))
            return false;
        if (!r.atEnd())
            return false;
    }
    if (y < 1 || m < 1 || m > 12 || d < 1 || d > daysInMonth(y, m) || hh > 23 || mm > 59 || ss > 59)
        return false;

    const qint64 days = daysFromCivil(y, m, d) - kOleEpochDays;
    const double fraction = static_cast<double>((hh * 3600 + mm * 60 + ss) * 1000) / kMsPerDay;
    // Before the epoch the fraction still counts forward from midnight, as OLE dates do.
    result = days >= 0 ? static_cast<double>(days) + fraction : static_cast<double>(days) - fraction;
    return true;
}

QByteArrayView dropLastWord(QByteArrayView text)
{
    while (!text.isEmpty() && text.back() != ' ')
        text.chop(1);
    return trimBlanks(text);
}

constexpr std::array<QByteArrayView, 7> kShortDays = { "SUN, ", "MON, ", "TUE, ", "WED, ", "THU, ", "FRI, ", "SAT, " };
// On purpose exactly this list, "WENESDAY" too: a date after "Wednesday, " never parses and gets `now`,
// as stored item dates have it.
constexpr std::array<QByteArrayView, 7> kLongDays
    = { "SUNDAY, ", "MONDAY, ", "TUESDAY, ", "WENESDAY, ", "THURSDAY, ", "FRIDAY, ", "SATURDAY, " };

// The day of "Wed, 04 Dec 2002 10:11:12 +0000", the form nearly every server sends: the steps of
// ParseHeaderDate drop its zone and then its time, and parse what is left. Empty for other forms.
QByteArrayView dayOfZonedDate(QByteArrayView date)
{
    auto digits = [&](qsizetype from, qsizetype n) {
        for (qsizetype i = from; i < from + n; ++i) {
            if (!isDigit(date[i]))
                return false;
        }
        return true;
    };
    auto isLetter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
    if (date.size() > 5 && date[3] == ',' && !isDigit(date[0])) {
        static constexpr std::array<quint32, 7> kDayCodes = [] {
            std::array<quint32, 7> codes {};
            for (size_t d = 0; d < 7; ++d)
                codes[d] = threeLetters(kShortDays[d].data());
            return codes;
        }();
        if (date[4] != ' '
            || std::find(kDayCodes.begin(), kDayCodes.end(), threeLetters(date.data())) == kDayCodes.end())
            return {};
        date = date.sliced(5);
    }
    // "4 Dec 2002 10:11:12 Z" is the shortest.
    const qsizetype dayDigits = date.size() > 1 && isDigit(date[1]) ? 2 : 1;
    const qsizetype year = dayDigits + 5;
    const qsizetype time = year + 5;
    if (date.size() < time + 10 || !digits(0, dayDigits) || date[dayDigits] != ' ' || !isLetter(date[dayDigits + 1])
        || !isLetter(date[dayDigits + 2]) || !isLetter(date[dayDigits + 3]) || date[year - 1] != ' ' || !digits(year, 4)
        || date[time - 1] != ' ' || !digits(time, 2) || date[time + 2] != ':' || !digits(time + 3, 2)
        || date[time + 5] != ':' || !digits(time + 6, 2) || date[time + 8] != ' ')
        return {};
    // A zone of one word: with more, the time would be kept.
    if (indexOf(date, ' ', time + 9) >= 0)
        return {};
    return date.first(time - 1);
}

} // namespace

double ParseHeaderDate(QByteArrayView date, double now)
{
    // Parsing is pure, so a text that did not change since the last failed attempt is not tried again.
    double result = 0;
    if (const QByteArrayView day = dayOfZonedDate(date); !day.isEmpty())
        return parseDateTime(day, result) ? result : now;
    QByteArrayView d = date;
    if (parseDateTime(d, result))
        return result;

    bool changed = false;
    for (QByteArrayView prefix : kShortDays) {
        if (ascii::startsWithFolded(d, prefix)) {
            d = d.sliced(prefix.size());
            changed = true;
        }
    }
    if (changed && parseDateTime(d, result))
        return result;

    changed = false;
    for (QByteArrayView prefix : kLongDays) {
        if (ascii::startsWithFolded(d, prefix)) {
            d = d.sliced(prefix.size());
            changed = true;
        }
    }
    if (changed && parseDateTime(d, result))
        return result;

    // An unlisted day name: "Xyz, 04 Dec 2002 10:11:12" keeps "04 Dec 2002".
    if (d.size() >= 4 && d[3] == ',') {
        d = d.first(std::min<qsizetype>(d.size(), 16));
        d = d.size() > 5 ? d.sliced(5) : QByteArrayView();
        if (parseDateTime(d, result))
            return result;
    }

    // On purpose the time goes with the zone word, untried in between: stored item dates of such headers are days.
    if (indexOf(d, ' ') >= 0)
        d = dropLastWord(d);
    if (indexOf(d, ':') >= 0 && indexOf(d, ' ') >= 0)
        d = dropLastWord(d);
    return parseDateTime(d, result) ? result : now;
}

QByteArray RemoveAll(QByteArrayView text, QByteArrayView pattern)
{
    QByteArray out;
    removeAllInto(text, pattern, out);
    return out;
}
