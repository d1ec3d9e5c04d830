#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <functional>
#include <vector>

// One group line of the server's list, as places in the list's text: the numbers are shown as
// written, so only their values are kept besides.
struct HostGroup {
    qint64 high = 0;
    qint64 low = 0;
    qsizetype name = 0; // offset of the name in the text
    qint32 nameLength = 0;
    qint32 highFrom = 0; // offsets of the number fields from the name
    qint32 lowFrom = 0;
    qint16 highLength = 0;
    qint16 lowLength = 0;
};

enum class HostSearchType { StartsWith, Contains };

// The server's group list as stored in "HOSTGRPS.TXT": the LIST reply as received, status line and
// closing "." line included. Indexing it keeps the text whole and records where each group line
// lies, so a million groups cost one pass and no allocation per line.
class HostGroupList {
public:
    // Longer lines are no group lines; the bound keeps field offsets small.
    static constexpr qsizetype kMaxLine = 64 * 1024;

    // Indexes the text of the file; lines that are no "name high low [flag]" line are skipped and
    // counted.
    void setText(QByteArray text);
    // Indexes the body of a LIST reply as framed: un-stuffed, without status line or terminator.
    void setReplyBody(QByteArray body);
    void clear();

    [[nodiscard]] const QByteArray& text() const { return m_text; }
    [[nodiscard]] qsizetype size() const { return static_cast<qsizetype>(m_groups.size()); }
    [[nodiscard]] const HostGroup& at(qsizetype i) const { return m_groups[static_cast<size_t>(i)]; }
    [[nodiscard]] QByteArrayView name(qsizetype i) const;
    [[nodiscard]] QByteArrayView highText(qsizetype i) const;
    [[nodiscard]] QByteArrayView lowText(qsizetype i) const;
    // Articles the server estimates: highest minus lowest (-1 for an empty group).
    [[nodiscard]] qint64 total(qsizetype i) const { return at(i).high - at(i).low; }
    [[nodiscard]] qsizetype skippedLines() const { return m_skipped; }

    // Called every so many groups with the groups examined and matched so far; false stops the search.
    using KeepGoing = std::function<bool(qsizetype examined, qsizetype matched)>;
    static constexpr qsizetype kSearchStride = 16 * 1024;

    // Indexes of the groups whose name matches, in list order. The name compared is the name and
    // the blank after it, so a query ending in a blank asks for the whole name. Case-sensitive; an
    // empty query matches every group.
    [[nodiscard]] std::vector<quint32> search(
        QByteArrayView query, HostSearchType type, const KeepGoing& keepGoing = {}) const;

private:
    // The name and the blank after it, when there is one.
    [[nodiscard]] QByteArrayView matchedPart(const HostGroup& g) const;
    void index(bool asStored);
    void parseLine(qsizetype from, qsizetype to, bool stuffed);
    [[nodiscard]] std::vector<quint32> startsWith(QByteArrayView query, const KeepGoing& keepGoing) const;
    [[nodiscard]] std::vector<quint32> contains(QByteArrayView query, const KeepGoing& keepGoing) const;

    QByteArray m_text;
    std::vector<HostGroup> m_groups;
    qsizetype m_skipped = 0;
};

// Hands out the LIST reply as the server sent it, piece by piece: the status line, the body
// dot-stuffed again and the closing "." line. Stops when write answers false; false then.
bool writeListReply(QByteArrayView statusLine, QByteArrayView body, const std::function<bool(QByteArrayView)>& write);
// The same in one array.
[[nodiscard]] QByteArray listReplyBytes(QByteArrayView statusLine, QByteArrayView body);
