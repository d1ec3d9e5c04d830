#include "headers/crunch.h"

#include "app/event_yield.h"
#include "app/format.h"
#include "app/main_window_state.h"
#include "app/ops_log.h"
#include "app/settings.h"
#include "groups/newsgroups.h"
#include "headers/header_store.h"
#include "headers/scan_table.h"
#include "headers/subject.h"
#include "headers/watch_rules.h"

#include <cstring>

using Control = MainWindowState::Control;

namespace {

// The next TAB in [from, end), or null; called six times per overview line.
const char* findTab(const char* from, const char* end)
{
    if (from == end)
        return nullptr;
    return static_cast<const char*>(std::memchr(from, '\t', static_cast<size_t>(end - from)));
}

// An article number as an overview line must start: plain decimal digits, small enough that no
// sum or comparison with it can overflow.
std::optional<qint64> articleNumber(QByteArrayView text)
{
    constexpr qsizetype kMaxDigits = 18;
    if (text.isEmpty() || text.size() > kMaxDigits)
        return std::nullopt;
    qint64 v = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        v = v * 10 + (c - '0');
    }
    return v;
}

} // namespace

Cruncher::Cruncher(const Services& services, QObject* parent)
    : QObject(parent)
    , m(services)
    , m_watch(services.clock)
{
}

bool Cruncher::parse_xoverdata(const QByteArray& body, const Burst& burst)
{
    m_burst = burst;
    m_watch.Reset();
    if (m_quickSaveScan != burst.scanStart) {
        m_quickSaveScan = burst.scanStart;
        m_lastQuickSaveMs = m.clock.monotonicMs();
    }
    m.scan.burstHeaderCount = 0;
    m.scan.groupKey = burst.groupKey;
    m.scan.nowOle = fmt::toOleDate(m.clock.now());
    m.scan.watchEnabled = m.settings.watchEnabled();
    m_highest = 0;
    m_skipped = 0;
    m_cancelled = false;
    m.yield.setInterval(m.settings.aggressiveCrunch() ? 50 : 10);

    const char* data = body.constData();
    const qsizetype size = body.size();
    qsizetype pos = 0;
    unsigned sinceCheck = 0;
    while (pos < size && !m_cancelled) {
        const void* cr = std::memchr(data + pos, '\n', static_cast<size_t>(size - pos));
        const qsizetype end = cr ? static_cast<const char*>(cr) - data : size;
        qsizetype lineEnd = end;
        if (lineEnd > pos && data[lineEnd - 1] == '\r')
            --lineEnd;
        const QByteArrayView line(data + pos, lineEnd - pos);
        if (line.isEmpty() || line == ".")
            break;
        xover_proccess(line);
        // Reading the clock costs more than a line; look at it every few lines.
        if (++sinceCheck >= 16) {
            sinceCheck = 0;
            if (m.yield.yieldToEvents()) {
                emit stillCrunching();
                CrunchProgress();
            }
        }
        pos = end + 1;
    }
    if (m_cancelled)
        return true;
    if (m_skipped > 0)
        m.log.WriteLog(QStringLiteral("Skipped %1 unusable overview lines (article numbers must lie in %2-%3)")
                           .arg(m_skipped)
                           .arg(burst.rangeStart)
                           .arg(burst.rangeEnd),
                       true);

    if (burst.groupLast > burst.rangeEnd)
        m.groups.set_high_msg(burst.groupKey, burst.rangeEnd, false);
    const qint64 elapsed = m_watch.Elapsed();
    if (m.scan.burstHeaderCount >= 1) {
        if (!Qsave())
            return false;
        report(elapsed);
    }
    m.groups.set_high_msg(burst.groupKey, m_highest, false);
    if (m.view.viewedKey >= 0 && m.view.viewedKey == burst.groupKey) {
        m.window.setVisible(Control::Refresh, true);
        m.window.setVisible(Control::SaveHeaders, false);
        m.window.setEnabled(Control::Restore, false);
    }
    return true;
}

void Cruncher::report(qint64 elapsed)
{
    const qint64 n = m.scan.burstHeaderCount;
    const QString count = fmt::Format(static_cast<double>(n), u"0");
    if (elapsed <= 0) {
        m.log.WriteLog(QStringLiteral("Crunched burst of ") + count + QStringLiteral(" headers."), true);
        return;
    }
    const double rate = static_cast<double>(n) / static_cast<double>(elapsed) * 1000.0;
    const QString hps = fmt::Format(rate, u"0.0") + QStringLiteral(" HPS)");
    if (elapsed <= 1000)
        m.log.WriteLog(QStringLiteral("Crunched burst of ") + count + QStringLiteral(" headers in ")
                           + fmt::Format(static_cast<double>(elapsed), u"#,###0") + QStringLiteral(" milliseconds (")
                           + hps,
                       true);
    else
        m.log.WriteLog(QStringLiteral("Crunched burst of ") + count + QStringLiteral(" headers in ")
                           + fmt::Format(elapsed / 1000.0, u"0.00") + QStringLiteral(" seconds (") + hps,
                       true);
    if (static_cast<double>(elapsed) / 1000.0 > m.settings.sldTimeout - 10 && m.settings.sldXOVER >= 200) {
        m.log.WriteLog(QStringLiteral("WARNING: That crunch took within 10 seconds of your timeout setting.  "
                                      "Decreasing burst size.  Suggest you might need to increase timeout setting."),
                       true);
        m.settings.sldXOVER -= 100;
    }
}

void Cruncher::xover_proccess(QByteArrayView line)
{
    const char* const begin = line.data();
    const char* const end = begin + line.size();
    const char* tab = findTab(begin, end);
    if (!tab)
        return;
    // A number outside the range asked for (a server bug, garbage) must not move the read mark.
    const std::optional<qint64> number = articleNumber(QByteArrayView(begin, tab));
    if (!number || *number < m_burst.rangeStart || *number > m_burst.rangeEnd) {
        ++m_skipped;
        return;
    }
    const qint64 article = *number;
    if (article > m_highest)
        m_highest = article;

    QByteArrayView fields[6]; // subject, from, date, message-id, references, bytes
    const char* from = tab + 1;
    for (QByteArrayView& field : fields) {
        const char* next = findTab(from, end);
        field = QByteArrayView(from, next ? next : end);
        if (!next)
            break;
        from = next + 1;
    }
    // The header file keeps each text in at most 65,535 bytes; a longer one (only a hostile server
    // sends such) is cut here, so the item keeps the same key after a save and a load.
    constexpr qsizetype kMaxField = 60'000;
    const QByteArrayView subject = fields[0].first(std::min(fields[0].size(), kMaxField));
    const QByteArrayView poster = fromName(fields[1].first(std::min(fields[1].size(), kMaxField)));
    QByteArrayView id = fields[3];
    // Without a message-id the article could never be fetched.
    if (id.size() < 3) {
        ++m_skipped;
        return;
    }
    id = id.sliced(1, std::min(id.size() - 2, kMaxField));
    if (m.watch && m.watch->WatchList_Check_KILL(subject, poster)) {
        m.log.WriteLog(QStringLiteral("Kill Filtered: ") + QString::fromLatin1(subject) + QStringLiteral(" : ")
                           + QString::number(article),
                       true);
        return;
    }
    m.scan.add_articleheader(poster, subject, article, fields[5], fields[2], id);
}

bool Cruncher::Qsave()
{
    if (m.scan.newItemCount < m.scan.quickSaveThreshold()
        || m.clock.monotonicMs() - m_lastQuickSaveMs < kQuickSaveIntervalMs)
        return true;
    m.scan.newItemCount = 0;
    m_lastQuickSaveMs = m.clock.monotonicMs();
    m.log.WriteLog(QStringLiteral("----Qsave---------"), true);
    const bool compacts = m.scan.freeSlotCount() > 0;
    // Reloading an old file would drop everything crunched since it was written.
    if (!m.store.GNsave(m_burst.groupKey))
        return false;
    // Reloading only compacts deleted slots; without any the table already equals the file.
    if (compacts)
        m.store.GNload(m_burst.groupKey);
    m.log.WriteLog(QStringLiteral("----Qsave---------"), true);
    return true;
}

void Cruncher::CrunchProgress()
{
    const qint64 e = m_burst.scanStart.isValid() ? m_burst.scanStart.secsTo(m.clock.now()) : 0;
    const qint64 ms = m_watch.Elapsed();
    const QString scanTime = QString::number(e) + u's';
    if (m.scan.scanHeaderCount < 6) {
        m.log.WriteLog(QStringLiteral("Crunching header burst... Scan Time:") + scanTime, false);
        return;
    }
    const double average = e != 0 ? static_cast<double>(m.scan.scanHeaderCount + 1) / static_cast<double>(e) : 0;
    const QString head = QStringLiteral("Crunching header burst; averaging ") + fmt::Format(average, u"0")
        + QStringLiteral(" HPS.  ");
    if (ms <= 1) {
        m.log.WriteLog(head + QStringLiteral("Scan time:") + scanTime, false);
        return;
    }
    const double burstRate = static_cast<double>(m.scan.burstHeaderCount) / static_cast<double>(ms) * 1000.0;
    m.log.WriteLog(head + QStringLiteral("Crunching @ ") + fmt::Format(burstRate, u"0")
                       + QStringLiteral(" HPS.  Crunch Time: ") + fmt::Format(ms / 1000.0, u"###,##0.0") + u's',
                   false);
}
