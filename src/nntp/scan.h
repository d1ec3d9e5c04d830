#pragma once

#include "nntp/connections.h"

#include <QDateTime>
#include <QObject>
#include <QTimer>

#include <deque>

class Clock;
class Cruncher;
class Cues;
class HeaderStore;
class MainWindowState;
class Newsgroups;
class OpsLog;
class Prompts;
class ScanTable;
struct ScanActivity;
struct Settings;

// Whether the download connection is at work; it shares the line with the scan.
class DownloadActivity {
public:
    virtual ~DownloadActivity() = default;
    [[nodiscard]] virtual bool downloadBusy() const = 0;
};

// The scan over connection 1: each switched-on group of the list is selected with GROUP and its
// new overview lines fetched with XOVER in bursts and crunched, with a watchdog for a silent
// server, an emergency restart that resumes the interrupted group after a countdown, and abort.
class ScanConnection : public QObject, public ConnectionHandler {
    Q_OBJECT
public:
    // What the next reply of the scan connection answers.
    enum class ReplyMode { None, NoGroup, GroupSent, GroupAccepted, Burst };

    struct Services {
        Settings& settings;
        OpsLog& log;
        MainWindowState& window;
        Prompts& prompts;
        Cues& cues;
        const Clock& clock;
        Newsgroups& groups;
        ScanTable& scan;
        HeaderStore& headers;
        Cruncher& cruncher;
        Connections& connections;
        ScanActivity& activity;
        // None until the program has a download connection.
        const DownloadActivity* download = nullptr;
    };

    explicit ScanConnection(const Services& services, QObject* parent = nullptr);
    ~ScanConnection() override;

    void StartScan();
    void ScanNextGroup(bool advance);
    void RequestXoverBurst();
    void AbortScan(bool byUser);
    void EmergencyRestart();
    // The download connection failed: the same countdown, ending in a new download.
    void EmergencyRestartDownload();
    // The download's Stop with no download running: a pending restart countdown is called off.
    void CancelCountdown();
    // The batch download ran out of entries: a countdown no longer ends in a download.
    void downloadRestartDone() { m_downloadRestartPending = false; }
    [[nodiscard]] bool downloadRestartPending() const { return m_downloadRestartPending; }

    // Timer ticks, public so tests drive them with an injected clock.
    void watchdogTick();
    void countdownTick();

    [[nodiscard]] bool scanning() const;
    [[nodiscard]] int groupIndex() const { return m_groupIndex; }
    [[nodiscard]] bool countdownArmed() const { return m_countdownArmed; }
    [[nodiscard]] int countdown() const { return m_countdown; }
    [[nodiscard]] bool watchdogActive() const { return m_watchdog.isActive(); }

    // ConnectionHandler
    void startWork() override;
    void reply(const Reply& reply) override;
    void closedByPeer() override;
    void socketError(int code, const QString& description) override;
    void stopInactivityTimer() override;
    void socketClosed() override;
    void giveUp(bool changeReplyMode) override;
    void receiving(qsizetype pendingBytes) override;

signals:
    // Group ranges moved on (a group was scanned, or the scan ended): lives shown elsewhere are stale.
    void lifeChanged();
    // The scan completed and the options ask for the batch to be downloaded now.
    void autoDownloadDue();
    // The restart countdown after a failed download ran out.
    void downloadRestartDue();

private:
    void groupReply(const Reply& reply);
    void sendXover(qint64 start, qint64 end);
    void requestAhead();
    void burstArrived(const Reply& reply);
    void criticalError(const Reply& reply);
    void completeScan();
    void armCountdown();
    // False when the group's headers could not be written; the user is told once per scan.
    [[nodiscard]] bool saveCurrentGroup();
    void reportFailedSave();
    void markIncomplete();
    void stopReplies();
    [[nodiscard]] QString elapsedAndRate(qint64 seconds) const;
    [[nodiscard]] qint64 secondsSinceStart() const;
    void resetScanControls();
    [[nodiscard]] bool downloadBusy() const { return m.download && m.download->downloadBusy(); }
    void setRunning(bool running);

    Services m;
    ReplyMode m_replyMode = ReplyMode::None;
    QTimer m_watchdog;  // Timerbot1
    QTimer m_countdownTimer; // Timer1
    int m_groupIndex = 0;
    quint8 m_key = 0;
    QByteArray m_name;
    qint64 m_first = 0;
    qint64 m_last = 0;
    qint64 m_articleCount = 0;
    qint64 m_burstEnd = 0;
    qint64 m_previousBurstStart = 0;
    QDateTime m_scanStart;
    int m_countdown = 0;
    bool m_countdownArmed = false;
    bool m_downloadRestartPending = false;
    bool m_crunching = false;
    bool m_saveFailed = false;
    // XOVERs sent whose replies are still to come, oldest first: the read mark each was based on
    // and the last article it asks for.
    struct Range {
        qint64 start = 0;
        qint64 end = 0;
    };
    std::deque<Range> m_requested;
    // Requests kept waiting at the server while a burst is crunched, so it never idles.
    static constexpr size_t kRequestsAhead = 2;
};
