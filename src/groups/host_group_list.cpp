#include "groups/host_group_list.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

// An article number as written, digits only, at most 32 of them, starting at p: its value when
// it fits and a blank or the line's end follows. p is left after the digits.
bool parseNumber(const char* d, qsizetype& p, qsizetype to, qint64& value)
{
    constexpr qint64 kTenth = std::numeric_limits<qint64>::max() / 10;
    const qsizetype start = p;
    qint64 v = 0;
    for (; p < to; ++p) {
        const auto digit = static_cast<unsigned>(d[p] - '0');
        if (digit > 9)
            break;
        if (v >= kTenth && (v > kTenth || digit > 7))
            return false;
        v = v * 10 + digit;
    }
    const qsizetype length = p - start;
    if (length < 1 || length > 32 || (p < to && !isBlank(d[p])))
        return false;
    value = v;
    return true;
}

// "215 list follows": three digits and a blank or the end of the line.
bool isStatusLine(QByteArrayView line)
{
    if (line.size() < 3)
        return false;
    for (int i = 0; i < 3; ++i) {
        if (line[i] < '0' || line[i] > '9')
            return false;
    }
    return line.size() == 3 || line[3] == ' ';
}

} // namespace

void HostGroupList::clear()
{
    m_text.clear();
    m_groups.clear();
    m_groups.shrink_to_fit();
    m_skipped = 0;
}

void HostGroupList::setText(QByteArray text)
{
    m_text = std::move(text);
    index(true);
}

void HostGroupList::setReplyBody(QByteArray body)
{
    m_text = std::move(body);
    index(false);
}

void HostGroupList::index(bool asStored)
{
    m_groups.clear();
    m_skipped = 0;
    const char* d = m_text.constData();
    const qsizetype n = m_text.size();
    // Group lines run to some 30-60 bytes.
    m_groups.reserve(static_cast<size_t>(n / 32));
    qsizetype pos = 0;
    bool first = asStored;
    while (pos < n) {
        const void* lf = std::memchr(d + pos, '\n', static_cast<size_t>(n - pos));
        const qsizetype end = lf ? static_cast<const char*>(lf) - d : n;
        qsizetype lineEnd = end;
        if (lineEnd > pos && d[lineEnd - 1] == '\r')
            --lineEnd;
        const QByteArrayView line(d + pos, lineEnd - pos);
        if (asStored && line == ".")
            break;
        if (!(first && isStatusLine(line)))
            parseLine(pos, lineEnd, asStored);
        first = false;
        pos = end + 1;
    }
}

void HostGroupList::parseLine(qsizetype from, qsizetype to, bool stuffed)
{
    const char* d = m_text.constData();
    if (to - from > kMaxLine) {
        ++m_skipped;
        return;
    }
    // Undo the dot-stuffing of the wire, then trim.
    if (stuffed && to - from >= 2 && d[from] == '.' && d[from + 1] == '.')
        ++from;
    while (from < to && isBlank(d[from]))
        ++from;
    if (from == to)
        return;

    // The name ends at the first blank; any other byte below it, or DEL, spoils the line.
    qsizetype p = from;
    while (p < to) {
        const auto c = static_cast<unsigned char>(d[p]);
        if (c <= 0x20 || c == 0x7f)
            break;
        ++p;
    }
    if (p < to && !isBlank(d[p])) {
        ++m_skipped;
        return;
    }
    HostGroup g;
    g.name = from;
    g.nameLength = static_cast<qint32>(p - from);
    auto skipBlanks = [&] {
        while (p < to && isBlank(d[p]))
            ++p;
        return p;
    };
    const qsizetype highStart = skipBlanks();
    const bool high = parseNumber(d, p, to, g.high);
    const qsizetype highLength = p - highStart;
    const qsizetype lowStart = skipBlanks();
    if (!high || !parseNumber(d, p, to, g.low)) {
        ++m_skipped;
        return;
    }
    const qsizetype lowLength = p - lowStart;
    g.highFrom = static_cast<qint32>(highStart - from);
    g.highLength = static_cast<qint16>(highLength);
    g.lowFrom = static_cast<qint32>(lowStart - from);
    g.lowLength = static_cast<qint16>(lowLength);
    m_groups.push_back(g);
}

QByteArrayView HostGroupList::name(qsizetype i) const
{
    const HostGroup& g = at(i);
    return QByteArrayView(m_text).sliced(g.name, g.nameLength);
}

QByteArrayView HostGroupList::highText(qsizetype i) const
{
    const HostGroup& g = at(i);
    return QByteArrayView(m_text).sliced(g.name + g.highFrom, g.highLength);
}

QByteArrayView HostGroupList::lowText(qsizetype i) const
{
    const HostGroup& g = at(i);
    return QByteArrayView(m_text).sliced(g.name + g.lowFrom, g.lowLength);
}

QByteArrayView HostGroupList::matchedPart(const HostGroup& g) const
{
    const qsizetype end = g.name + g.nameLength;
    const bool blank = end < m_text.size() && m_text.at(end) == ' ';
    return QByteArrayView(m_text).sliced(g.name, g.nameLength + (blank ? 1 : 0));
}

std::vector<quint32> HostGroupList::search(QByteArrayView query, HostSearchType type, const KeepGoing& keepGoing) const
{
    if (query.isEmpty()) {
        std::vector<quint32> all(m_groups.size());
        for (size_t i = 0; i < all.size(); ++i)
            all[i] = static_cast<quint32>(i);
        return all;
    }
    return type == HostSearchType::StartsWith ? startsWith(query, keepGoing) : contains(query, keepGoing);
}

std::vector<quint32> HostGroupList::startsWith(QByteArrayView query, const KeepGoing& keepGoing) const
{
    std::vector<quint32> hits;
    const size_t count = m_groups.size();
    for (size_t i = 0; i < count; ++i) {
        if (matchedPart(m_groups[i]).startsWith(query))
            hits.push_back(static_cast<quint32>(i));
        if (keepGoing && (i + 1) % kSearchStride == 0
            && !keepGoing(static_cast<qsizetype>(i + 1), static_cast<qsizetype>(hits.size())))
            break;
    }
    return hits;
}

std::vector<quint32> HostGroupList::contains(QByteArrayView query, const KeepGoing& keepGoing) const
{
    // One search over the whole text, from one group's name to the next hit, beats a search per
    // name: most of the text between hits is skipped at memory speed.
    std::vector<quint32> hits;
    const char* d = m_text.constData();
    const auto n = static_cast<size_t>(m_text.size());
    const auto length = static_cast<size_t>(query.size());
    size_t i = 0;
    size_t nextCheck = kSearchStride;
    while (i < m_groups.size()) {
        const auto from = static_cast<size_t>(m_groups[i].name);
        const void* found = memmem(d + from, n - from, query.data(), length);
        if (!found)
            break;
        const qsizetype at = static_cast<const char*>(found) - d;
        // The group whose line holds the hit: the last one starting at or before it.
        const auto next = std::upper_bound(m_groups.begin() + static_cast<std::ptrdiff_t>(i), m_groups.end(), at,
            [](qsizetype offset, const HostGroup& g) { return offset < g.name; });
        const auto j = static_cast<size_t>(next - m_groups.begin()) - 1;
        const HostGroup& g = m_groups[j];
        // Every later hit in the same name ends later still, so one that overruns ends the group.
        if (at + query.size() <= g.name + matchedPart(g).size())
            hits.push_back(static_cast<quint32>(j));
        i = j + 1;
        if (keepGoing && i >= nextCheck) {
            nextCheck = (i / kSearchStride + 1) * kSearchStride;
            if (!keepGoing(static_cast<qsizetype>(i), static_cast<qsizetype>(hits.size())))
                break;
        }
    }
    return hits;
}

bool writeListReply(QByteArrayView statusLine, QByteArrayView body, const std::function<bool(QByteArrayView)>& write)
{
    if (!write(statusLine) || !write("\r\n"))
        return false;
    // Lines that begin with a dot were sent with one more.
    const char* d = body.data();
    const qsizetype n = body.size();
    qsizetype from = 0;
    if (n > 0 && d[0] == '.' && !write("."))
        return false;
    for (qsizetype pos = 0; pos < n;) {
        const void* lf = std::memchr(d + pos, '\n', static_cast<size_t>(n - pos));
        if (!lf)
            break;
        pos = static_cast<const char*>(lf) - d + 1;
        if (pos < n && d[pos] == '.') {
            if (!write(body.sliced(from, pos - from)) || !write("."))
                return false;
            from = pos;
        }
    }
    if (!write(body.sliced(from)))
        return false;
    if (n > 0 && d[n - 1] != '\n' && !write("\r\n"))
        return false;
    return write(".\r\n");
}

QByteArray listReplyBytes(QByteArrayView statusLine, QByteArrayView body)
{
    QByteArray out;
    out.reserve(statusLine.size() + body.size() + 8);
    writeListReply(statusLine, body, [&out](QByteArrayView piece) {
        out.append(piece);
        return true;
    });
    return out;
}
