#include "batch/download.h"

#include "app/clock.h"
#include "app/cues.h"
#include "app/format.h"
#include "app/main_window_state.h"
#include "app/ops_log.h"
#include "app/prompts.h"
#include "app/settings.h"
#include "app/text.h"
#include "batch/article_text.h"
#include "batch/batch.h"
#include "batch/decode.h"
#include "batch/download_line.h"
#include "batch/placement.h"
#include "groups/newsgroups.h"
#include "headers/item_key.h"
#include "headers/scan_activity.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

namespace {

using Bar = MainWindowState::Bar;
using Control = MainWindowState::Control;

// Writes a part beside its cache file and renames it into place, so a killed program never leaves
// a part that looks whole. Not synced to disk: one sync per part would stall every connection,
// and a part spoilt by a power cut fails its decode check.
bool writeCachePart(const QString& path, const QByteArray& bytes, QString& error)
{
    const QString temporary = path + QStringLiteral(".part");
    QFile file(temporary);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size() && file.flush()) {
        file.close();
        if (std::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(path).constData()) == 0)
            return true;
        error = QString::fromLocal8Bit(std::strerror(errno));
    } else {
        error = file.errorString();
        file.close();
    }
    QFile::remove(temporary);
    return false;
}

} // namespace

BatchDownload::BatchDownload(const Services& services, QObject* parent)
    : QObject(parent)
    , m(services)
{
    m_lines.reserve(kMaxDownloadConnections);
    for (int i = 0; i < kMaxDownloadConnections; ++i) {
        m_lines.push_back(std::make_unique<DownloadLine>(*this, downloadConn(i)));
        m.connections.setHandler(downloadConn(i), m_lines.back().get());
    }
}

BatchDownload::~BatchDownload()
{
    for (int i = 0; i < kMaxDownloadConnections; ++i)
        m.connections.setHandler(downloadConn(i), nullptr);
}

QString BatchDownload::CachePartPath(quint8 groupKey, qint64 article) const
{
    const GroupRecord* group = m.groups.recordByKey(groupKey);
    return ::CachePartPath(m.settings.Cache_Path, group ? QByteArrayView(group->name) : QByteArrayView(), article);
}

int BatchDownload::connectionsInUse() const
{
    const int configured
        = m_running ? m_configured : std::clamp(m.settings.Download_Connections, 1, kMaxDownloadConnections);
    int n = 0;
    for (int i = 0; i < configured; ++i)
        n += m_lines[i]->m_dropped ? 0 : 1;
    return n;
}

bool BatchDownload::downloadBusy() const
{
    return m_running || std::any_of(m_lines.cbegin(), m_lines.cend(), [](const auto& l) { return l->live(); });
}

void BatchDownload::DownloadBatch()
{
    if (m.scan.running) {
        m.prompts.message(QStringLiteral("Stop scan first."));
        return;
    }
    if (m_running)
        return;
    m_running = true;
    m_userAbort = false;
    m_configured = std::clamp(m.settings.Download_Connections, 1, kMaxDownloadConnections);
    m.window.setEnabled(Control::Scan, false);
    m.window.setEnabled(Control::BatchDownloadStop, true);
    m.window.setIndicatorBusy(true);
    m_sessionStartMs = m.clock.monotonicMs();
    m_sessionBytes = 0;
    m_rateMarkMs = m_sessionStartMs;
    m_rateMarkBytes = 0;
    m_rate = -1;
    // A decode that let events run goes on with the batch itself when it is done.
    if (m_decoding)
        return;
    // The cache is looked at afresh: files may have come or gone while nothing ran.
    m_works.clear();
    m_headEntry = 0;
    continueBatch();
}

void BatchDownload::continueBatch()
{
    Batch& batch = m.batch;
    std::erase_if(m_works, [&batch](const std::unique_ptr<Work>& w) { return !batch.isQueued(w->entry); });
    while (m_running && !m_decoding && batch.model().rowCount() > 0) {
        const int entry = batch.model().entryAt(0);
        // A row whose entry is no longer queued would be looked at forever: it goes.
        if (!batch.isQueued(entry)) {
            batch.FinishBatchEntry(entry);
            continue;
        }
        Work* w = workFor(entry, true);
        if (!w)
            continue;
        showHead(*w);
        if (!refreshCache(*w))
            break;
        m.window.setProgress(Bar::ThisPart, 0);
        m.window.setProgress(Bar::ThisFile, 0);
        hideEtas();
        m_decoding = true;
        m_decodingEntry = entry;
        const QStringList paths = w->paths;
        std::erase_if(m_works, [entry](const std::unique_ptr<Work>& x) { return x->entry == entry; });
        m_headEntry = 0;
        (void)m.decoder.DecodeBatchEntry(entry, paths);
        m_decoding = false;
        m_decodingEntry = 0;
    }
    if (!m_running)
        return;
    if (batch.model().rowCount() == 0) {
        if (!m_decoding)
            finishBatch();
        return;
    }
    assignParts();
}

void BatchDownload::assignParts()
{
    if (!m_running)
        return;
    Batch& batch = m.batch;
    // Entries past the first few wait: their parts would only sit in the cache longer.
    const int rows = std::min(batch.model().rowCount(), m_configured + 1);
    int row = 0;
    qsizetype part = 0;
    // Connected lines first, so a few parts do not open connections that are not needed.
    for (const bool connected : { true, false }) {
        for (int i = 0; i < m_configured && row < rows; ++i) {
            DownloadLine& line = *m_lines[i];
            if (line.m_dropped || line.m_resting || line.hasPart()
                || (line.m_state == DownloadLine::State::Ready) != connected)
                continue;
            Work* found = nullptr;
            while (!found && row < rows) {
                const int entry = batch.model().entryAt(row);
                Work* w = entry == m_decodingEntry || !batch.isQueued(entry) ? nullptr : workFor(entry, false);
                if (w) {
                    for (; part < w->parts.size(); ++part) {
                        if (w->parts[part] != PartState::Missing)
                            continue;
                        if (!QFileInfo(w->paths[part]).isFile()) {
                            found = w;
                            break;
                        }
                        w->parts[part] = PartState::Cached;
                        w->cachedBytes += w->record.parts[part].bytes;
                    }
                } else if (entry != m_decodingEntry && batch.isQueued(entry)) {
                    // An entry that cannot be fetched is dealt with when it leads the batch.
                    row = rows;
                }
                if (!found) {
                    ++row;
                    part = 0;
                }
            }
            if (!found)
                return;
            requestPart(line, *found, part++);
            if (!m_running)
                return;
        }
    }
}

BatchDownload::Work* BatchDownload::workFor(int entry, bool atHead)
{
    for (const std::unique_ptr<Work>& w : m_works) {
        if (w->entry == entry)
            return w.get();
    }
    std::optional<ItemRecord> record = m.batch.entryRecord(entry);
    const GroupRecord* group = record ? m.groups.recordByKey(record->groupKey) : nullptr;
    // Entries from an NZB may have no group of the list: their articles are asked for by id alone.
    if (!record || record->parts.isEmpty() || (record->groupKey != 0 && !group)) {
        if (!atHead)
            return nullptr;
        const QString key = record ? displayText(record->key) : QString::number(entry);
        m.log.WriteLog(
            QStringLiteral("Group of ") + key + QStringLiteral(" is not in the newsgroup list; skipping."), true);
        m.batch.AddProcessedRow(
            entry, QStringLiteral("Error: its newsgroup is no longer in the list"), QString(), false);
        m.batch.FinishBatchEntry(entry);
        (void)m.batch.SaveBatch();
        return nullptr;
    }
    auto w = std::make_unique<Work>();
    w->entry = entry;
    w->record = std::move(*record);
    w->groupName = group ? group->name : QByteArray();
    w->paths.reserve(w->record.parts.size());
    for (const ItemRecord::Part& p : w->record.parts) {
        w->paths.append(CachePartPath(w->record.groupKey, p.article));
        w->bytes += p.bytes;
    }
    w->parts.fill(PartState::Missing, w->record.parts.size());
    // Once per entry, not once per part.
    EnsureFolder(QFileInfo(w->paths.first()).path());
    m_works.push_back(std::move(w));
    return m_works.back().get();
}

BatchDownload::Work* BatchDownload::findWork(int entry) const
{
    for (const std::unique_ptr<Work>& w : m_works) {
        if (w->entry == entry)
            return w.get();
    }
    return nullptr;
}

bool BatchDownload::refreshCache(Work& w)
{
    setFileBar(w.cachedBytes + inFlightBytes(w.entry));
    bool complete = true;
    for (qsizetype i = 0; i < w.parts.size(); ++i) {
        if (w.parts[i] == PartState::Fetching)
            complete = false;
        if (w.parts[i] != PartState::Missing)
            continue;
        // The first part to fetch ends the look: the parts after it are looked at when handed out.
        if (!QFileInfo(w.paths[i]).isFile())
            return false;
        w.parts[i] = PartState::Cached;
        w.cachedBytes += w.record.parts[i].bytes;
        setFileBar(w.cachedBytes + inFlightBytes(w.entry));
    }
    return complete;
}

void BatchDownload::showHead(Work& w)
{
    if (m_headEntry == w.entry)
        return;
    m_headEntry = w.entry;
    m_headBytes = w.bytes;
    m_fileScale = 1;
    while (w.bytes / m_fileScale > INT_MAX)
        m_fileScale *= 1024;
    m.window.setProgressMaximum(Bar::ThisFile, static_cast<int>(w.bytes / m_fileScale));
}

qint64 BatchDownload::inFlightBytes(int entry) const
{
    qint64 sum = 0;
    for (const auto& l : m_lines) {
        if (l->hasPart() && (entry == 0 || l->m_slot.entry == entry))
            sum += l->m_received;
    }
    return sum;
}

void BatchDownload::requestPart(DownloadLine& line, Work& w, qsizetype part)
{
    const ItemRecord::Part& p = w.record.parts[part];
    w.parts[part] = PartState::Fetching;
    line.m_slot = { w.entry, part, w.paths[part], p.bytes, displayText(w.record.key) };
    line.m_partStartMs = m.clock.monotonicMs();
    m_lastProgressMs = 0;
    m.connections.markActivity(line.conn());
    line.m_fetch.setArticle(w.groupName, FullMessageId(w.record.parts.first().messageId, p.messageId), p.article);
    line.m_partName = displayText(
        w.record.key.contains("[xx/000") ? w.record.key.chopped(itemkey::kSuffixLength) + p.tail : w.record.key);
    line.m_received = 0;
    if (!m_lead || !m_lead->hasPart() || m_lead == &line) {
        m_lead = &line;
        m.window.setProgressMaximum(Bar::ThisPart, p.bytes);
        m.window.setProgress(Bar::ThisPart, 0);
    }
    m.log.WriteLog(QStringLiteral("Downloading: ") + line.m_partName, false);

    Connections& c = m.connections;
    const Conn n = line.conn();
    if (line.m_state == DownloadLine::State::Ready && c.state(n) == Socket::Connected) {
        line.m_state = DownloadLine::State::Requesting;
        if (!line.m_fetch.groupSelected()) {
            c.SendLine(n, line.m_fetch.selectGroup());
        } else {
            line.m_state = DownloadLine::State::GroupSelected;
            line.sendArticleRequest(line.m_fetch.byId());
        }
        return;
    }
    // Anything left of an earlier connection (QUIT sent, or the server closing) starts afresh.
    if (c.state(n) != Socket::Closed) {
        if (c.state(n) == Socket::PeerClosing)
            m.log.WriteLog(QStringLiteral("Download Connection Error, please wait..."), true);
        c.socket(n).close();
    }
    c.setModeReaderPending(n, m.settings.chkModeReader != 0);
    line.m_fetch.forgetGroup();
    line.m_loggedIn = false;
    line.m_watchdog.start();
    line.m_state = DownloadLine::State::Requesting;
    if (!c.OpenConnection(n))
        lineFailed(line);
}

void BatchDownload::ArticleRetrieved(DownloadLine& line, QByteArray article)
{
    if (!line.hasPart())
        return;
    const DownloadLine::Slot slot = line.m_slot;
    const QString rate = ShowTransferRate(line.m_partStartMs, line.m_received);
    m.log.WriteLog(QStringLiteral("Article Retrieved: ") + line.m_partName + u' '
            + fmt::Format(line.m_received / 1000.0, u"#,##0.0") + QStringLiteral("kb [") + rate
            + QStringLiteral(" KBps]"),
        true);
    if (article.isEmpty()) {
        m.log.WriteLog(QStringLiteral("Article not delivered; skipping ") + slot.key + u'.', true);
        if (m.batch.isQueued(slot.entry)) {
            m.batch.AddProcessedRow(slot.entry, QStringLiteral("Server sent empty article!"), QString(), false);
            m.batch.FinishBatchEntry(slot.entry);
            (void)m.batch.SaveBatch();
        }
        std::erase_if(m_works, [&slot](const std::unique_ptr<Work>& w) { return w->entry == slot.entry; });
        lineFailed(line);
        return;
    }
    if (!holdsMessageId(article, line.m_fetch.messageId())) {
        if (m_corrupt.entry != slot.entry || m_corrupt.part != slot.part)
            m_corrupt = { slot.entry, slot.part, 0 };
        if (++m_corrupt.tries >= kCorruptTries) {
            line.m_slot = {};
            line.m_state = DownloadLine::State::Ready;
            skipEntry(slot.entry,
                QStringLiteral("Corrupt data detected %1 times; skipping ").arg(m_corrupt.tries) + slot.key + u'.',
                QStringLiteral("Error: the server keeps sending another article"));
            return;
        }
        m.log.WriteLog(QStringLiteral("Corrupt data detected, restarting...") + slot.key + u'.', true);
        m.log.WriteLog(QStringLiteral("Corrupt data detected!, restarting..."), true);
        lineFailed(line);
        return;
    }
    FixSubjectParentheses(article);
    if (QString why; !writeCachePart(slot.path, article, why)) {
        m.log.WriteLog(QStringLiteral("ArticleReceived Error: ") + slot.path + QStringLiteral(": ") + why, true);
        settle();
        m.prompts.message(QStringLiteral("The article could not be saved: ") + slot.path + QStringLiteral(": ") + why
            + QStringLiteral("\r\rThe download has stopped; it resumes with this part."));
        return;
    }
    m.log.WriteLog(QStringLiteral("File saved: ") + slot.path, true);
    m_sessionBytes += line.m_received;
    line.m_slot = {};
    line.m_received = 0;
    line.m_state = DownloadLine::State::Ready;
    if (Work* w = findWork(slot.entry); w && w->parts[slot.part] == PartState::Fetching) {
        w->parts[slot.part] = PartState::Cached;
        w->cachedBytes += w->record.parts[slot.part].bytes;
    }
    if (m_corrupt.entry == slot.entry && m_corrupt.part == slot.part)
        m_corrupt = {};
    if (m_lead == &line)
        m_lead = nullptr;
    continueBatch();
}

void BatchDownload::releasePart(DownloadLine& line)
{
    if (line.hasPart()) {
        if (Work* w = findWork(line.m_slot.entry); w && w->parts[line.m_slot.part] == PartState::Fetching)
            w->parts[line.m_slot.part] = PartState::Missing;
    }
    line.m_slot = {};
    line.m_received = 0;
    if (m_lead == &line)
        m_lead = nullptr;
}

void BatchDownload::skipEntry(int entry, const QString& logLine, const QString& status)
{
    // Several connections may each find the same entry lost; it is given up once.
    if (entry != 0 && m.batch.isQueued(entry)) {
        m.log.WriteLog(logLine, true);
        m.batch.FinishBatchEntry(entry);
        (void)m.batch.SaveBatch();
        m.batch.AddProcessedRow(entry, status, QString(), false);
    }
    std::erase_if(m_works, [entry](const std::unique_ptr<Work>& w) { return w->entry == entry; });
    continueBatch();
}

void BatchDownload::Stop()
{
    if (!m_running)
        return;
    m_userAbort = true;
    m_running = false;
    for (int i = 0; i < m_configured; ++i) {
        DownloadLine& line = *m_lines[i];
        if (i == 0 || line.live() || m.connections.state(line.conn()) != Socket::Closed) {
            m.connections.QuitConnection(line.conn());
            m.connections.CloseSocket(line.conn());
        }
        releasePart(line);
        line.reset();
    }
    endRun();
    m.log.WriteLog(QStringLiteral("User Abort!"), true);
    m.window.setIndicatorBusy(false);
    m.window.setEnabled(Control::BatchDownloadStop, false);
    m.window.setProgress(Bar::ThisPart, 0);
    m.window.setProgress(Bar::ThisFile, 0);
    hideEtas();
}

void BatchDownload::closeLines(bool quit, const DownloadLine* except)
{
    for (int i = 0; i < m_configured; ++i) {
        DownloadLine& line = *m_lines[i];
        if (&line != except && (line.live() || m.connections.state(line.conn()) != Socket::Closed)) {
            if (quit)
                m.connections.QuitConnection(line.conn());
            else
                m.connections.CloseSocket(line.conn());
        }
        releasePart(line);
        line.reset();
    }
}

void BatchDownload::endRun()
{
    for (const auto& l : m_lines) {
        l->m_dropped = false;
        l->m_resting = false;
        l->m_rest.stop();
    }
}

void BatchDownload::settle(const DownloadLine* except)
{
    m_running = false;
    closeLines(true, except);
    endRun();
    m.window.setIndicatorBusy(false);
    m.window.setEnabled(Control::Scan, true);
    m.window.setEnabled(Control::BatchDownloadStop, false);
    m.window.setProgress(Bar::ThisPart, 0);
    m.window.setProgress(Bar::ThisFile, 0);
    hideEtas();
}

void BatchDownload::finishBatch()
{
    m_running = false;
    for (int i = 0; i < m_configured; ++i) {
        DownloadLine& line = *m_lines[i];
        if (i == 0 || line.live() || m.connections.state(line.conn()) != Socket::Closed)
            m.connections.QuitConnection(line.conn());
        line.reset();
    }
    endRun();
    m.window.setIndicatorBusy(false);
    m.window.setEnabled(Control::Scan, true);
    m.window.setEnabled(Control::BatchDownloadStop, false);
    m.log.WriteLog(QStringLiteral("Done!"), false);
    m.cues.PlayCue(QStringLiteral("twv015.wav"));
    for (Bar b : { Bar::ThisPart, Bar::ThisFile, Bar::EntireScan, Bar::ThisGroup })
        m.window.setProgress(b, 0);
    hideEtas();
    emit finished();
}

bool BatchDownload::otherLineLive(const DownloadLine& line) const
{
    for (int i = 0; i < m_configured; ++i) {
        const DownloadLine& l = *m_lines[i];
        if (&l != &line && !l.m_dropped && l.live())
            return true;
    }
    return false;
}

int BatchDownload::busyLines() const
{
    return static_cast<int>(
        std::count_if(m_lines.cbegin(), m_lines.cend(), [](const auto& l) { return l->hasPart(); }));
}

void BatchDownload::lineFailed(DownloadLine& line)
{
    releasePart(line);
    if (!otherLineLive(line)) {
        emergencyRestart();
        return;
    }
    restLine(line, true);
}

void BatchDownload::restLine(DownloadLine& line, bool comesBack)
{
    releasePart(line);
    m.connections.CloseSocket(line.conn());
    line.reset();
    line.m_resting = true;
    const bool again = comesBack && m.settings.chkAllowRestart;
    if (again)
        line.m_rest.start(m.settings.Rescan_Time * 1000);
    m.log.WriteLog(again ? QStringLiteral("Download connection %1 reconnects in %2 seconds; the others go on.")
                               .arg(static_cast<int>(&line - m_lines.front().get()) + 1)
                               .arg(m.settings.Rescan_Time)
                         : QStringLiteral("Download connection %1 stays closed; the others go on.")
                               .arg(static_cast<int>(&line - m_lines.front().get()) + 1),
        true);
    assignParts();
}

void BatchDownload::emergencyRestart()
{
    if (m.scan.running)
        return;
    m_running = false;
    closeLines(false);
    m.window.setProgress(Bar::ThisPart, 0);
    m.window.setProgress(Bar::ThisFile, 0);
    hideEtas();
    m.window.setIndicatorBusy(false);
    // The line is free: a scan may run while the restart counts down, or instead of it.
    m.window.setEnabled(Control::Scan, true);
    emit restartNeeded();
}

void BatchDownload::watchdogTick()
{
    for (int i = 0; i < m_configured && m_running; ++i)
        m_lines[i]->watchdogTick();
}

void BatchDownload::markAlive()
{
    for (int i = 0; i < m_configured; ++i) {
        if (m.connections.active(m_lines[i]->conn()))
            m.connections.markActivity(m_lines[i]->conn());
    }
}
