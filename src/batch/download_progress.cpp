// What the window shows of the batch download: the part and file bars, the rates and the ETAs.
#include "app/clock.h"
#include "app/format.h"
#include "app/main_window_state.h"
#include "app/ops_log.h"
#include "batch/batch.h"
#include "batch/download.h"
#include "batch/download_line.h"
#include "batch/eta.h"

#include <algorithm>
#include <cmath>

namespace {

using Bar = MainWindowState::Bar;
using Label = MainWindowState::Label;

// Status-line progress while an article streams in, at most this often.
constexpr qint64 kProgressIntervalMs = 100;
// The total rate shown while several connections run is measured over at least this long.
constexpr qint64 kRateWindowMs = 1000;

} // namespace

void BatchDownload::setFileBar(qint64 value)
{
    m.window.setProgress(Bar::ThisFile, static_cast<int>(std::min(value, m_headBytes) / m_fileScale));
}

void BatchDownload::hideEtas()
{
    m.window.setText(Label::FileEta, QString());
    m.window.setText(Label::BatchEta, QString());
}

QString BatchDownload::ShowTransferRate(qint64 startMs, qint64 bytes)
{
    const qint64 nowMs = m.clock.monotonicMs();
    // Milliseconds, not whole seconds: on a fast line a part takes a fraction of a second.
    const qint64 elapsedMs = nowMs - startMs;
    const double rate = elapsedMs > 0 ? std::ceil(bytes * 1000.0 / elapsedMs) : 0.0;
    const qint64 sessionMs = nowMs - m_sessionStartMs;
    const double average = sessionMs > 0 ? (m_sessionBytes + inFlightBytes(0)) * 1000.0 / sessionMs : rate;
    const Work* head = findWork(m_headEntry);
    if (average < 101 || !head) {
        hideEtas();
    } else {
        const QDateTime now = m.clock.now();
        const double doneKb = (head->cachedBytes + inFlightBytes(head->entry)) / 1000.0;
        const qint64 batchSeconds = fmt::roundHalfEven((m.batch.totalKb() - doneKb) / (average / 1000.0));
        if (m.batch.model().rowCount() > 1 && batchSeconds > 0)
            m.window.setText(Label::BatchEta,
                QStringLiteral("Entire batch ETA: ") + EtaClock(batchSeconds, now) + QStringLiteral(" (")
                    + EtaWords(batchSeconds) + u')');
        else
            m.window.setText(Label::BatchEta, QString());
        const qint64 fileSeconds = fmt::roundHalfEven((head->bytes / 1000.0 - doneKb) / (average / 1000.0));
        if (fileSeconds != 0)
            m.window.setText(Label::FileEta,
                QStringLiteral("Current file ETA: ") + EtaClock(fileSeconds, now) + QStringLiteral(" (")
                    + EtaWords(fileSeconds) + u')');
        else
            m.window.setText(Label::FileEta, QString());
    }
    return fmt::Format(rate / 1000.0, u"0.0");
}

QString BatchDownload::totalRate(qint64 nowMs)
{
    const qint64 total = m_sessionBytes + inFlightBytes(0);
    if (nowMs - m_rateMarkMs >= kRateWindowMs) {
        m_rate = std::max<qint64>(0, total - m_rateMarkBytes) * 1000.0 / (nowMs - m_rateMarkMs);
        m_rateMarkMs = nowMs;
        m_rateMarkBytes = total;
    }
    const qint64 sessionMs = nowMs - m_sessionStartMs;
    const double rate = m_rate >= 0 ? m_rate : sessionMs > 0 ? total * 1000.0 / sessionMs : 0.0;
    return fmt::Format(rate / 1000.0, u"0.0");
}

void BatchDownload::showProgress(DownloadLine& line, qint64 received)
{
    line.m_received = received;
    const qint64 nowMs = m.clock.monotonicMs();
    if (m_lastProgressMs != 0 && nowMs - m_lastProgressMs < kProgressIntervalMs)
        return;
    m_lastProgressMs = nowMs;
    if (!m_lead || !m_lead->hasPart())
        m_lead = &line;
    const DownloadLine& lead = *m_lead;
    QString rate = ShowTransferRate(lead.m_partStartMs, lead.m_received);
    QString connections;
    if (m_configured > 1) {
        rate = totalRate(nowMs);
        connections = QStringLiteral(" (%1 of %2 connections busy)").arg(busyLines()).arg(connectionsInUse());
    }
    const MainWindowState::Progress part = m.window.progress(Bar::ThisPart);
    m.log.WriteLog(QStringLiteral("Downloading: ") + lead.m_partName + u' '
            + fmt::Format(lead.m_received / 1000.0, u"#,##0.0") + QStringLiteral("KB of ")
            + fmt::Format(part.maximum / 1000.0, u"#.0") + QStringLiteral("KB @ ") + rate + QStringLiteral(" KBps")
            + connections,
        false);
    m.window.setProgress(Bar::ThisPart, static_cast<int>(std::min<qint64>(lead.m_received, part.maximum)));
    if (const Work* head = findWork(m_headEntry))
        setFileBar(head->cachedBytes + inFlightBytes(head->entry));
}
