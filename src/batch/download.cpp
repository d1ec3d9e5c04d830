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
#include "batch/eta.h"
#include "batch/placement.h"
#include "groups/newsgroups.h"
#include "headers/item_key.h"
#include "headers/scan_activity.h"

#include <QFileInfo>
#include <QSaveFile>

#include <climits>
#include <cmath>

namespace {

using Bar = MainWindowState::Bar;
using Control = MainWindowState::Control;
using Label = MainWindowState::Label;

// Status-line progress while an article streams in, at most this often.
constexpr qint64 kProgressIntervalMs = 100;

} // namespace

BatchDownload::BatchDownload(const Services& services, QObject* parent)
    : QObject(parent)
    , m(services)
{
    m_watchdog.setInterval(1000);
    connect(&m_watchdog, &QTimer::timeout, this, &BatchDownload::watchdogTick);
    m.connections.setHandler(Conn::Download, this);
}

BatchDownload::~BatchDownload()
{
    m.connections.setHandler(Conn::Download, nullptr);
}

QString BatchDownload::CachePartPath(quint8 groupKey, qint64 article) const
{
    const GroupRecord* group = m.groups.recordByKey(groupKey);
    return ::CachePartPath(m.settings.Cache_Path, group ? QByteArrayView(group->name) : QByteArrayView(), article);
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
    m.window.setEnabled(Control::Scan, false);
    m.window.setEnabled(Control::BatchDownloadStop, true);
    m.window.setIndicatorBusy(true);
    m_sessionStartMs = m.clock.monotonicMs();
    m_sessionBytes = 0;
    // A decode that let events run goes on with the batch itself when it is done.
    if (m_decoding)
        return;
    // The cache is looked at afresh: files may have come or gone while nothing ran.
    m_work = {};
    continueBatch();
}

void BatchDownload::continueBatch()
{
    Batch& batch = m.batch;
    while (m_running && batch.model().rowCount() > 0) {
        const int entry = batch.model().entryAt(0);
        // A row whose entry is no longer queued would be looked at forever: it goes.
        if (!batch.isQueued(entry)) {
            batch.FinishBatchEntry(entry);
            continue;
        }
        if (m_work.entry != entry && !startEntry(entry))
            continue;
        Work& w = m_work;
        while (w.nextMissing < w.paths.size() && QFileInfo(w.paths[w.nextMissing]).isFile()) {
            w.cachedBytes += w.record.parts[w.nextMissing].bytes;
            ++w.nextMissing;
        }
        setFileBar(w.cachedBytes);
        if (w.nextMissing < w.paths.size()) {
            requestPart(w.nextMissing);
            return;
        }
        m.window.setProgress(Bar::ThisPart, 0);
        m.window.setProgress(Bar::ThisFile, 0);
        hideEtas();
        m_decoding = true;
        const QStringList paths = w.paths;
        m_work = {};
        (void)m.decoder.DecodeBatchEntry(entry, paths);
        m_decoding = false;
    }
    if (m_running)
        finishBatch();
}

bool BatchDownload::startEntry(int entry)
{
    m_work = {};
    std::optional<ItemRecord> record = m.batch.entryRecord(entry);
    const GroupRecord* group = record ? m.groups.recordByKey(record->groupKey) : nullptr;
    if (!record || record->parts.isEmpty() || !group) {
        const QString key = record ? displayText(record->key) : QString::number(entry);
        m.log.WriteLog(
            QStringLiteral("Group of ") + key + QStringLiteral(" is not in the newsgroup list; skipping."), true);
        m.batch.AddProcessedRow(
            entry, QStringLiteral("Error: its newsgroup is no longer in the list"), QString(), false);
        m.batch.FinishBatchEntry(entry);
        (void)m.batch.SaveBatch();
        return false;
    }
    Work& w = m_work;
    w.entry = entry;
    w.record = std::move(*record);
    w.groupName = group->name;
    w.paths.reserve(w.record.parts.size());
    for (const ItemRecord::Part& p : w.record.parts) {
        w.paths.append(CachePartPath(w.record.groupKey, p.article));
        w.bytes += p.bytes;
    }
    // Once per entry, not once per part.
    EnsureFolder(QFileInfo(w.paths.first()).path());
    m_fileScale = 1;
    while (w.bytes / m_fileScale > INT_MAX)
        m_fileScale *= 1024;
    m.window.setProgressMaximum(Bar::ThisFile, static_cast<int>(w.bytes / m_fileScale));
    return true;
}

void BatchDownload::setFileBar(qint64 value)
{
    m.window.setProgress(Bar::ThisFile, static_cast<int>(std::min(value, m_work.bytes) / m_fileScale));
}

void BatchDownload::requestPart(qsizetype part)
{
    Work& w = m_work;
    const ItemRecord::Part& p = w.record.parts[part];
    m_partStartMs = m.clock.monotonicMs();
    m_lastProgressMs = 0;
    m.connections.markActivity(Conn::Download);
    m_fetch.setArticle(w.groupName, FullMessageId(w.record.parts.first().messageId, p.messageId), p.article);
    m_partName = displayText(
        w.record.key.contains("[xx/000") ? w.record.key.chopped(itemkey::kSuffixLength) + p.tail : w.record.key);
    m_received = 0;
    m.window.setProgressMaximum(Bar::ThisPart, p.bytes);
    m.window.setProgress(Bar::ThisPart, 0);
    m.log.WriteLog(QStringLiteral("Downloading: ") + m_partName, false);

    Connections& c = m.connections;
    if (m_state == State::Ready && c.state(Conn::Download) == Socket::Connected) {
        m_state = State::Requesting;
        if (!m_fetch.groupSelected()) {
            c.SendLine(Conn::Download, m_fetch.selectGroup());
        } else {
            m_state = State::GroupSelected;
            sendArticleRequest(m_fetch.byId());
        }
        return;
    }
    // Anything left of an earlier connection (QUIT sent, or the server closing) starts afresh.
    if (c.state(Conn::Download) != Socket::Closed) {
        if (c.state(Conn::Download) == Socket::PeerClosing)
            m.log.WriteLog(QStringLiteral("Download Connection Error, please wait..."), true);
        c.socket(Conn::Download).close();
    }
    c.setModeReaderPending(Conn::Download, m.settings.chkModeReader != 0);
    m_fetch.forgetGroup();
    m_watchdog.start();
    if (!c.OpenConnection(Conn::Download)) {
        emergencyRestart();
        return;
    }
    m_state = State::Requesting;
}

void BatchDownload::sendArticleRequest(const QByteArray& command)
{
    m_partStartMs = m.clock.monotonicMs();
    m_received = 0;
    m.connections.SendLine(Conn::Download, command);
}

void BatchDownload::ArticleRetrieved(QByteArray article)
{
    Work& w = m_work;
    if (w.entry == 0)
        return;
    const QString rate = ShowTransferRate(m_partStartMs, m_received);
    m.log.WriteLog(QStringLiteral("Article Retrieved: ") + m_partName + u' '
            + fmt::Format(m_received / 1000.0, u"#,##0.0") + QStringLiteral("kb [") + rate + QStringLiteral(" KBps]"),
        true);
    const QString key = displayText(w.record.key);
    if (article.isEmpty()) {
        m.log.WriteLog(QStringLiteral("Article not delivered; skipping ") + key + u'.', true);
        m.batch.AddProcessedRow(w.entry, QStringLiteral("Server sent empty article!"), QString(), false);
        m.batch.FinishBatchEntry(w.entry);
        (void)m.batch.SaveBatch();
        m_work = {};
        emergencyRestart();
        return;
    }
    if (!holdsMessageId(article, m_fetch.messageId())) {
        if (m_corrupt.entry != w.entry || m_corrupt.part != w.nextMissing)
            m_corrupt = { w.entry, w.nextMissing, 0 };
        if (++m_corrupt.tries >= kCorruptTries) {
            skipEntry(QStringLiteral("Corrupt data detected %1 times; skipping ").arg(m_corrupt.tries) + key + u'.',
                QStringLiteral("Error: the server keeps sending another article"));
            return;
        }
        m.log.WriteLog(QStringLiteral("Corrupt data detected, restarting...") + key + u'.', true);
        m.log.WriteLog(QStringLiteral("Corrupt data detected!, restarting..."), true);
        emergencyRestart();
        return;
    }
    FixSubjectParentheses(article);
    const QString path = w.paths[w.nextMissing];
    QSaveFile file(path);
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly) || file.write(article) != article.size() || !file.commit()) {
        const QString why = file.errorString();
        m.log.WriteLog(QStringLiteral("ArticleReceived Error: ") + path + QStringLiteral(": ") + why, true);
        m.connections.QuitConnection(Conn::Download);
        settle();
        m.prompts.message(QStringLiteral("The article could not be saved: ") + path + QStringLiteral(": ") + why
            + QStringLiteral("\r\rThe download has stopped; it resumes with this part."));
        return;
    }
    m.log.WriteLog(QStringLiteral("File saved: ") + path, true);
    m_sessionBytes += m_received;
    w.cachedBytes += w.record.parts[w.nextMissing].bytes;
    ++w.nextMissing;
    m_corrupt = {};
    m_state = State::Ready;
    continueBatch();
}

void BatchDownload::skipEntry(const QString& logLine, const QString& status)
{
    m.log.WriteLog(logLine, true);
    m_state = State::Ready;
    const int entry = m_work.entry;
    m_work = {};
    if (entry != 0) {
        m.batch.FinishBatchEntry(entry);
        (void)m.batch.SaveBatch();
        m.batch.AddProcessedRow(entry, status, QString(), false);
    }
    continueBatch();
}

void BatchDownload::Stop()
{
    if (!m_running)
        return;
    m_userAbort = true;
    m_running = false;
    m_state = State::Idle;
    m_watchdog.stop();
    m.connections.QuitConnection(Conn::Download);
    m.connections.CloseSocket(Conn::Download);
    m.log.WriteLog(QStringLiteral("User Abort!"), true);
    m.window.setIndicatorBusy(false);
    m.window.setEnabled(Control::BatchDownloadStop, false);
    m.window.setProgress(Bar::ThisPart, 0);
    m.window.setProgress(Bar::ThisFile, 0);
    hideEtas();
}

void BatchDownload::settle()
{
    m_running = false;
    m_state = State::Idle;
    m_watchdog.stop();
    m.window.setIndicatorBusy(false);
    m.window.setEnabled(Control::Scan, true);
    m.window.setEnabled(Control::BatchDownloadStop, false);
    m.window.setProgress(Bar::ThisPart, 0);
    m.window.setProgress(Bar::ThisFile, 0);
    hideEtas();
}

void BatchDownload::finishBatch()
{
    m_state = State::Idle;
    m_running = false;
    m.connections.QuitConnection(Conn::Download);
    m_watchdog.stop();
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

void BatchDownload::hideEtas()
{
    m.window.setText(Label::FileEta, QString());
    m.window.setText(Label::BatchEta, QString());
}

void BatchDownload::emergencyRestart()
{
    if (m.scan.running)
        return;
    m_state = State::Idle;
    m_running = false;
    m_watchdog.stop();
    m.connections.CloseSocket(Conn::Download);
    m.window.setProgress(Bar::ThisPart, 0);
    m.window.setProgress(Bar::ThisFile, 0);
    hideEtas();
    m.window.setIndicatorBusy(false);
    // The line is free: a scan may run while the restart counts down, or instead of it.
    m.window.setEnabled(Control::Scan, true);
    emit restartNeeded();
}

QString BatchDownload::ShowTransferRate(qint64 startMs, qint64 bytes)
{
    const qint64 nowMs = m.clock.monotonicMs();
    // Milliseconds, not whole seconds: on a fast line a part takes a fraction of a second.
    const qint64 elapsedMs = nowMs - startMs;
    const double rate = elapsedMs > 0 ? std::ceil(bytes * 1000.0 / elapsedMs) : 0.0;
    const qint64 sessionMs = nowMs - m_sessionStartMs;
    const double average = sessionMs > 0 ? (m_sessionBytes + bytes) * 1000.0 / sessionMs : rate;
    if (average < 101) {
        hideEtas();
    } else {
        const QDateTime now = m.clock.now();
        const double doneKb = (m_work.cachedBytes + bytes) / 1000.0;
        const qint64 batchSeconds = fmt::roundHalfEven((m.batch.totalKb() - doneKb) / (average / 1000.0));
        if (m.batch.model().rowCount() > 1 && batchSeconds > 0)
            m.window.setText(Label::BatchEta,
                QStringLiteral("Entire batch ETA: ") + EtaClock(batchSeconds, now) + QStringLiteral(" (")
                    + EtaWords(batchSeconds) + u')');
        else
            m.window.setText(Label::BatchEta, QString());
        const qint64 fileSeconds = fmt::roundHalfEven((m_work.bytes / 1000.0 - doneKb) / (average / 1000.0));
        if (fileSeconds != 0)
            m.window.setText(Label::FileEta,
                QStringLiteral("Current file ETA: ") + EtaClock(fileSeconds, now) + QStringLiteral(" (")
                    + EtaWords(fileSeconds) + u')');
        else
            m.window.setText(Label::FileEta, QString());
    }
    return fmt::Format(rate / 1000.0, u"0.0");
}

void BatchDownload::showProgress(qint64 received)
{
    m_received = received;
    const qint64 nowMs = m.clock.monotonicMs();
    if (m_lastProgressMs != 0 && nowMs - m_lastProgressMs < kProgressIntervalMs)
        return;
    m_lastProgressMs = nowMs;
    const QString rate = ShowTransferRate(m_partStartMs, received);
    const MainWindowState::Progress part = m.window.progress(Bar::ThisPart);
    m.log.WriteLog(QStringLiteral("Downloading: ") + m_partName + u' ' + fmt::Format(received / 1000.0, u"#,##0.0")
            + QStringLiteral("KB of ") + fmt::Format(part.maximum / 1000.0, u"#.0") + QStringLiteral("KB @ ") + rate
            + QStringLiteral(" KBps"),
        false);
    m.window.setProgress(Bar::ThisPart, static_cast<int>(std::min<qint64>(received, part.maximum)));
    setFileBar(m_work.cachedBytes + received);
}
