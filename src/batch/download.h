#pragma once

#include "headers/item_table.h"
#include "nntp/article_fetch.h"
#include "nntp/connections.h"
#include "nntp/scan.h"

#include <QObject>
#include <QStringList>
#include <QTimer>

#include <memory>
#include <vector>

class Batch;
class DownloadLine;
class Clock;
class Cues;
class EntryDecoder;
class MainWindowState;
class Newsgroups;
class OpsLog;
class Prompts;
struct ScanActivity;
struct Settings;

// The batch download: works through the Batch View from its first row, fetches every part whose
// cache file is missing with ARTICLE (by message-id, then by number) over up to the configured
// number of connections at once, stores it, and hands each complete entry to decoding in batch
// order. Parts already cached are never fetched again, so a download that was stopped, failed or
// killed resumes where it was.
class BatchDownload : public QObject, public DownloadActivity {
    Q_OBJECT
public:
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
    // The cache file of part `part` (1-based) of an entry of the given group.
    [[nodiscard]] QString CachePartPath(quint8 groupKey, qint64 article) const;
    // Connections the download may use now: the setting, less those the server refused.
    [[nodiscard]] int connectionsInUse() const;

    // Timer tick of every connection, public so tests drive it with an injected clock.
    void watchdogTick();
    // A long decode is no silent server: every connection counts as alive.
    void markAlive();

    // DownloadActivity
    [[nodiscard]] bool downloadBusy() const override;

signals:
    // The connection failed: the restart countdown should start, ending in a new download.
    void restartNeeded();
    // The batch ran out of entries.
    void finished();

private:
    friend class DownloadLine;

    enum class PartState : quint8 { Missing, Fetching, Cached };
    // An entry of the first rows: its parts, their cache files and how far the cache goes.
    struct Work {
        int entry = 0;
        ItemRecord record;
        QByteArray groupName;
        QStringList paths;
        QList<PartState> parts;
        qint64 bytes = 0; // of the whole entry
        qint64 cachedBytes = 0; // of the parts in the cache
    };
    // Wrong articles in a row for one part; it outlives restarts, which start the entry afresh.
    struct Corrupt {
        int entry = 0;
        qsizetype part = -1;
        int tries = 0;
    };

    void continueBatch();
    // Hands the next missing parts of the first entries to the free connections.
    void assignParts();
    // The entry's work, made when first needed; nullptr when it cannot be downloaded, in which case
    // an entry at the head of the batch is finished with a Processed row.
    Work* workFor(int entry, bool atHead);
    [[nodiscard]] Work* findWork(int entry) const;
    // Marks parts whose files appeared as cached; true when every part is.
    bool refreshCache(Work& w);
    void showHead(Work& w);
    void requestPart(DownloadLine& line, Work& w, qsizetype part);
    void openLine(DownloadLine& line);
    void ArticleRetrieved(DownloadLine& line, QByteArray article);
    // Takes the line's part back: it is missing again, for any connection to fetch.
    void releasePart(DownloadLine& line);
    // Gives up the entry with a Processed row and goes on with the next.
    void skipEntry(int entry, const QString& logLine, const QString& status);
    void criticalError(DownloadLine& line, const Reply& reply);
    // The server turned a connection away at its greeting or login.
    void refused(DownloadLine& line, const Reply& reply);
    // A connection failed: it restarts alone while another one works, else the download restarts.
    void lineFailed(DownloadLine& line);
    // Closes the line while the others go on; `comesBack` lets it reconnect after the restart wait.
    void restLine(DownloadLine& line, bool comesBack);
    void closedByPeer(DownloadLine& line);
    void emergencyRestart();
    // Leaves the download stopped: nothing running, the controls back to idle.
    void settle(const DownloadLine* except = nullptr);
    void finishBatch();
    void closeLines(bool quit, const DownloadLine* except = nullptr);
    // Refused and failed connections count again in the next run.
    void endRun();
    [[nodiscard]] bool otherLineLive(const DownloadLine& line) const;
    [[nodiscard]] int busyLines() const;
    QString ShowTransferRate(qint64 startMs, qint64 bytes);
    void showProgress(DownloadLine& line, qint64 received);
    [[nodiscard]] QString totalRate(qint64 nowMs);
    void setFileBar(qint64 value);
    void hideEtas();
    [[nodiscard]] qint64 inFlightBytes(int entry) const;

    Services m;
    std::vector<std::unique_ptr<DownloadLine>> m_lines;
    DownloadLine* m_lead = nullptr; // the line whose part the part bar shows
    int m_configured = 1; // connections asked for when the download started
    bool m_running = false;
    bool m_userAbort = false;
    bool m_decoding = false;
    int m_decodingEntry = 0;
    qint64 m_lastProgressMs = 0;
    qint64 m_sessionStartMs = 0;
    qint64 m_sessionBytes = 0;
    qint64 m_rateMarkMs = 0;
    qint64 m_rateMarkBytes = 0;
    double m_rate = -1;
    int m_headEntry = 0; // the entry the file bar shows
    qint64 m_headBytes = 0;
    int m_fileScale = 1; // the file bar counts bytes / m_fileScale, so a huge entry fits an int
    std::vector<std::unique_ptr<Work>> m_works;
    Corrupt m_corrupt;
};
