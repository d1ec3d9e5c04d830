#pragma once

#include "headers/item_table.h"
#include "nntp/article_fetch.h"
#include "nntp/connections.h"
#include "nntp/scan.h"

#include <QObject>
#include <QStringList>
#include <QTimer>

class Batch;
class Clock;
class Cues;
class EntryDecoder;
class MainWindowState;
class Newsgroups;
class OpsLog;
class Prompts;
struct ScanActivity;
struct Settings;

// The batch download over connection 2: works through the Batch View from its first row, fetches
// every part whose cache file is missing with ARTICLE (by message-id, then by number), stores it,
// and hands a complete entry to decoding. Parts already cached are never fetched again, so a
// download that was stopped, failed or killed resumes where it was.
class BatchDownload : public QObject, public ConnectionHandler, public DownloadActivity {
    Q_OBJECT
public:
    // What the connection is doing.
    enum class State { Idle, Requesting, GroupSelected, Ready };

    struct Services {
        Settings& settings;
        OpsLog& log;
        MainWindowState& window;
        Prompts& prompts;
        Cues& cues;
        const Clock& clock;
        const Newsgroups& groups;
        Batch& batch;
        EntryDecoder& decoder;
        Connections& connections;
        const ScanActivity& scan;
    };

    // A part whose article keeps arriving without its message-id is given up after this many tries.
    static constexpr int kCorruptTries = 3;

    explicit BatchDownload(const Services& services, QObject* parent = nullptr);
    ~BatchDownload() override;

    void DownloadBatch();
    // The Stop command while a download runs.
    void Stop();
    [[nodiscard]] bool running() const { return m_running; }
    [[nodiscard]] State state() const { return m_state; }
    // The cache file of part `part` (1-based) of an entry of the given group.
    [[nodiscard]] QString CachePartPath(quint8 groupKey, qint64 article) const;

    // Timer tick, public so tests drive it with an injected clock.
    void watchdogTick();

    // DownloadActivity
    [[nodiscard]] bool downloadBusy() const override { return m_running || m_state != State::Idle; }

    // ConnectionHandler
    void startWork() override;
    void reply(const Reply& reply) override;
    void connected() override;
    void closedByPeer() override;
    void socketError(int code, const QString& description) override;
    void stopInactivityTimer() override;
    void giveUp(bool changeReplyMode) override;
    void receiving(qsizetype pendingBytes) override;

signals:
    // The connection failed: the restart countdown should start, ending in a new download.
    void restartNeeded();
    // The batch ran out of entries.
    void finished();

private:
    // The entry being worked on: its parts, their cache files and how far the cache goes.
    struct Work {
        int entry = 0;
        ItemRecord record;
        QByteArray groupName;
        QStringList paths;
        qint64 bytes = 0; // of the whole entry
        qint64 cachedBytes = 0; // of the parts in the cache
        qsizetype nextMissing = 0; // parts before it are cached
    };
    // Wrong articles in a row for one part; it outlives restarts, which start the entry afresh.
    struct Corrupt {
        int entry = 0;
        qsizetype part = -1;
        int tries = 0;
    };

    void continueBatch();
    // False when the entry cannot be downloaded at all (it was finished with a Processed row).
    bool startEntry(int entry);
    void requestPart(qsizetype part);
    void SelectDownloadGroup();
    void sendArticleRequest(const QByteArray& command);
    void ArticleRetrieved(QByteArray article);
    // Gives up the current entry with a Processed row and goes on with the next.
    void skipEntry(const QString& logLine, const QString& status);
    void criticalError(const Reply& reply);
    void emergencyRestart();
    // Leaves the download stopped: nothing running, the controls back to idle.
    void settle();
    void finishBatch();
    QString ShowTransferRate(qint64 startMs, qint64 bytes);
    void showProgress(qint64 received);
    void setFileBar(qint64 value);
    void hideEtas();

    Services m;
    State m_state = State::Idle;
    bool m_running = false;
    bool m_userAbort = false;
    bool m_decoding = false;
    ArticleFetch m_fetch;
    QString m_partName;
    qint64 m_received = 0;
    qint64 m_partStartMs = 0;
    qint64 m_lastProgressMs = 0;
    qint64 m_sessionStartMs = 0;
    qint64 m_sessionBytes = 0;
    int m_fileScale = 1; // the file bar counts bytes / m_fileScale, so a huge entry fits an int
    Work m_work;
    Corrupt m_corrupt;
    QTimer m_watchdog; // Timerbot2
};
