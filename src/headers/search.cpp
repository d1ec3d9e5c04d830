#include "headers/search.h"

#include "app/ascii_case.h"
#include "app/cues.h"
#include "app/event_yield.h"
#include "app/ops_log.h"
#include "groups/newsgroups.h"
#include "headers/header_store.h"
#include "headers/header_view.h"
#include "headers/scan_activity.h"
#include "app/prompts.h"
#include "app/text.h"
#include "headers/header_file.h"

#include <QByteArrayMatcher>
#include <QFileInfo>

#include <algorithm>
#include <limits>

namespace {

// Progress moves this many times per group at most, however large the group.
constexpr qint64 kProgressSteps = 1000;
constexpr int kYieldEvery = 16;

// Whether the key holds the pattern; without match case both are compared in upper case.
class KeyMatcher {
public:
    KeyMatcher(const QByteArray& pattern, bool matchCase)
        : m_matchCase(matchCase)
    {
        if (m_matchCase) {
            m_matcher.setPattern(pattern);
        } else {
            ascii::upperInto(pattern, m_scratch);
            m_matcher.setPattern(m_scratch);
        }
    }

    bool operator()(QByteArrayView key)
    {
        if (m_matchCase)
            return m_matcher.indexIn(key) >= 0;
        ascii::upperInto(key, m_scratch);
        return m_matcher.indexIn(m_scratch) >= 0;
    }

private:
    QByteArrayMatcher m_matcher;
    bool m_matchCase;
    QByteArray m_scratch;
};

} // namespace

HeaderSearch::HeaderSearch(const Services& services, QObject* parent)
    : QObject(parent)
    , m(services)
{
}

QStringList HeaderSearch::groupNames() const
{
    QStringList names;
    for (int row = 0; row < m.groups.groupCount(); ++row) {
        const GroupRecord* r = m.groups.recordByKey(m.groups.keyAtRow(row));
        if (r && !r->off)
            names.append(displayText(r->name));
    }
    return names;
}

void HeaderSearch::OpenFind()
{
    if (m.activity.running) {
        m.prompts.message(QStringLiteral("Can't Find while scanning."));
        return;
    }
    m.cues.PlayCue(QStringLiteral("twv021.wav"));
    emit dialogRequested();
}

void HeaderSearch::SearchHeaders()
{
    if (m_searching)
        return;
    if (m.activity.running) {
        m.prompts.message(QStringLiteral("Can't Find while scanning."));
        return;
    }
    if (m_text.isEmpty()) {
        m.prompts.message(QStringLiteral("Enter text to search for."));
        return;
    }
    HeaderView& view = m.headerView;
    view.selectGroupEntry(QLatin1String(Newsgroups::kNoGroup));
    m_searching = true;
    m.view.table.clear();
    m.view.table.changed = false;
    view.viewTableReplaced();
    view.setSearchResults(true);
    m_abort = false;
    setLabel(QStringLiteral("Searching..."));
    setProgress(0, m_progressMaximum);
    emit searchingChanged(true);

    const Newsgroups& groups = m.groups;
    for (int row = 0; row < groups.groupCount() && !m_abort; ++row) {
        const quint8 key = groups.keyAtRow(row);
        const GroupRecord* r = groups.recordByKey(key);
        if (!r || r->off)
            continue;
        setLabel(QStringLiteral("Searching: ") + displayText(r->name));
        searchGroup(key);
    }

    m_abort = false;
    view.ShowCats();
    m_searching = false;
    emit searchingChanged(false);
    emit dialogHidden();
    view.UpdateViewLabel();
    m.log.WriteLog(QString::number(m.view.table.count()) + QStringLiteral(" matching items found."), false);
}

void HeaderSearch::searchGroup(quint8 key)
{
    const QString path = m.headers.headerPath(key);
    if (!QFileInfo::exists(path)) {
        m.log.WriteLog(QStringLiteral("searchGroup: headers file not found: ") + path, true);
        return;
    }
    twb::RecordReader reader(path, twb::RecordReader::Access::Stream);
    if (reader.status() == twb::RecordReader::Status::UnknownFormat) {
        m.log.WriteLog(path + QStringLiteral(": is unknown format."), true);
        return;
    }
    const qint64 total = reader.count();
    if (total == 0 && reader.status() == twb::RecordReader::Status::Ok)
        return;
    const int maximum = static_cast<int>(std::min<qint64>(total + 1, std::numeric_limits<int>::max()));
    setProgress(0, maximum);
    const qint64 step = std::max<qint64>(1, total / kProgressSteps);

    ItemTable& results = m.view.table;
    KeyMatcher matches(m_text.toUtf8(), m_matchCase);
    const auto keep = [&](QByteArrayView itemKey) { return matches(itemKey); };
    int held = results.count();
    while (reader.readNextMatching(results, keep)) {
        const qint32 record = reader.recordsRead();
        if (results.count() != held) {
            // A result tells where it was found, whatever key its file gave it.
            held = results.count();
            if (held > 0)
                results.item(held).groupKey = key;
        }
        if (m_abort)
            return;
        if (record % step == 0 && maximum > record)
            setProgress(record, maximum);
        if (record % kYieldEvery == 0)
            m.yield.yieldToEvents();
    }
    if (reader.status() == twb::RecordReader::Status::Corrupt)
        m.log.WriteLog(QStringLiteral("searchGroup Error:") + path + QStringLiteral(" is damaged"), true);
}

void HeaderSearch::close()
{
    if (m.headerView.searchResults())
        m_abort = true;
    emit dialogHidden();
}

void HeaderSearch::setLabel(const QString& text)
{
    if (m_label == text)
        return;
    m_label = text;
    emit labelChanged(text);
}

void HeaderSearch::setProgress(int value, int maximum)
{
    if (m_progress == value && m_progressMaximum == maximum)
        return;
    m_progress = value;
    m_progressMaximum = maximum;
    emit progressChanged(value, maximum);
}
