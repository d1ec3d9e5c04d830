#include "watch/filters_file.h"

#include <optional>

namespace filters {
namespace {

// Walks the file a line at a time; lines end with LF, a CR before it is dropped.
class Lines {
public:
    explicit Lines(QByteArrayView file)
        : m_file(file)
    {
    }
    [[nodiscard]] bool atEnd() const { return m_pos >= m_file.size(); }
    [[nodiscard]] std::optional<QByteArrayView> next()
    {
        if (atEnd())
            return std::nullopt;
        qsizetype end = m_file.indexOf('\n', m_pos);
        if (end < 0)
            end = m_file.size();
        QByteArrayView line = m_file.sliced(m_pos, end - m_pos);
        m_pos = end + 1;
        if (line.endsWith('\r'))
            line.chop(1);
        return line;
    }

private:
    QByteArrayView m_file;
    qsizetype m_pos = 0;
};

// The leading whole number of a line (blanks before it allowed, anything after it ignored); none
// when the line does not start with one.
std::optional<qint64> number(QByteArrayView line)
{
    qsizetype i = 0;
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
        ++i;
    bool negative = false;
    if (i < line.size() && (line[i] == '-' || line[i] == '+'))
        negative = line[i++] == '-';
    if (i >= line.size() || line[i] < '0' || line[i] > '9')
        return std::nullopt;
    qint64 v = 0;
    for (; i < line.size() && line[i] >= '0' && line[i] <= '9'; ++i)
        v = std::min<qint64>(v * 10 + (line[i] - '0'), qint64(1) << 40);
    return negative ? -v : v;
}

std::optional<bool> boolean(QByteArrayView line)
{
    const QByteArrayView word = line.trimmed();
    if (word.compare("true", Qt::CaseInsensitive) == 0)
        return true;
    if (word.compare("false", Qt::CaseInsensitive) == 0)
        return false;
    bool ok = false;
    const double v = word.toDouble(&ok);
    if (!ok)
        return std::nullopt;
    return v != 0;
}

enum class Step { Ok, CutShort, Bad };

// Reads one entry; anything but Ok leaves `why` saying what was wrong.
Step readEntry(Lines& lines, WatchEntry& e, QString& why)
{
    auto line = lines.next();
    if (!line)
        return Step::CutShort;
    const std::optional<qint64> count = number(*line);
    if (!count || *count < 1) {
        why = QStringLiteral("phrase count %1 is not a count").arg(QString::fromLatin1(*line));
        return Step::Bad;
    }
    for (qint64 i = 0; i < *count; ++i) {
        if (!(line = lines.next()))
            return Step::CutShort;
        e.phrases.append(line->toByteArray());
    }
    if (!(line = lines.next()))
        return Step::CutShort;
    if (!line->isEmpty()) {
        why = QStringLiteral("more phrases than counted");
        return Step::Bad;
    }
    bool anyText = false;
    for (const QByteArray& p : e.phrases)
        anyText = anyText || !p.isEmpty();
    // An entry of empty phrases would match every header.
    if (!anyText) {
        why = QStringLiteral("an entry without a phrase");
        return Step::Bad;
    }
    if (!(line = lines.next()))
        return Step::CutShort;
    const std::optional<qint64> where = number(*line);
    if (!(line = lines.next()))
        return Step::CutShort;
    const std::optional<bool> matchCase = boolean(*line);
    if (!(line = lines.next()))
        return Step::CutShort;
    const std::optional<qint64> action = number(*line);
    if (!where || (*where != 0 && *where != 1) || !matchCase || !action || (*action != 0 && *action != 1)) {
        why = QStringLiteral("where, match case or action unreadable");
        return Step::Bad;
    }
    e.where = static_cast<WatchField>(*where);
    e.matchCase = *matchCase;
    e.action = static_cast<WatchAction>(*action);
    return Step::Ok;
}

} // namespace

ReadResult parse(QByteArrayView file)
{
    ReadResult out;
    Lines lines(file);
    const std::optional<QByteArrayView> first = lines.next();
    if (!first)
        return out;
    const qint64 count = number(*first).value_or(0);
    // The count is only a promise: entries are taken as they are read.
    for (qint64 i = 1; i <= count; ++i) {
        WatchEntry e;
        QString why;
        switch (readEntry(lines, e, why)) {
        case Step::Ok:
            out.entries.append(std::move(e));
            continue;
        case Step::CutShort:
            out.error = QStringLiteral("Input past end of file (entry %1 of %2 dropped)").arg(i).arg(count);
            return out;
        case Step::Bad:
            out.error = QStringLiteral("Bad entry %1 of %2 (%3)").arg(i).arg(count).arg(why);
            return out;
        }
    }
    return out;
}

QByteArray serialize(const QList<WatchEntry>& entries)
{
    QByteArray out;
    out += ' ' + QByteArray::number(entries.size()) + "\r\n";
    for (const WatchEntry& e : entries) {
        out += ' ' + QByteArray::number(e.phrases.size()) + "\r\n";
        for (const QByteArray& p : e.phrases)
            out += p + "\r\n";
        out += "\r\n";
        out += ' ' + QByteArray::number(static_cast<int>(e.where)) + "\r\n";
        out += e.matchCase ? "True\r\n" : "False\r\n";
        out += QByteArray::number(static_cast<int>(e.action)) + "\r\n";
    }
    return out;
}

} // namespace filters
