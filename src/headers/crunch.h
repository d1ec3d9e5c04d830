#pragma once

#include "app/stopwatch.h"

#include <QByteArray>
#include <QDateTime>
#include <QObject>

#include <optional>

class Clock;
class EventYield;
class HeaderStore;
class MainWindowState;
class Newsgroups;
class OpsLog;
class ScanTable;
class WatchRules;
struct Settings;
struct ViewTable;

// Turns one XOVER burst into items: each overview line is split into its fields, offered to
// the kill filter and filed into the scan table; then the burst is timed and reported, the read
// mark advanced, the burst size lowered when crunching came near the timeout, and the table
// quick-saved now and then.
class Cruncher : public QObject {
    Q_OBJECT
public:
    struct Services {
        OpsLog& log;
        Settings& settings;
        Newsgroups& groups;
        MainWindowState& window;
        const Clock& clock;
        HeaderStore& store;
        ScanTable& scan;
        const ViewTable& view;
        EventYield& yield;
        WatchRules* watch = nullptr; // the kill rules; none when null
    };
    // What the scan knows about the burst.
    struct Burst {
        quint8 groupKey = 0;
        qint64 groupLast = 0; // last article of the GROUP reply
        qint64 rangeEnd = 0;  // last article asked for by this XOVER
        QDateTime scanStart;
        qint64 rangeStart = 1; // first article asked for by this XOVER
    };

    explicit Cruncher(const Services& services, QObject* parent = nullptr);

    // body: the overview lines of one XOVER reply, CR LF ended, without status and "." lines.
    // False when a quick save failed: the scan must stop, the read mark stays where the file is.
    bool parse_xoverdata(const QByteArray& body, const Burst& burst);
    void xover_proccess(QByteArrayView line);
    // Saves the scan table once enough new items have come in, but not more often than every
    // kQuickSaveIntervalMs: rewriting a large table costs more than scanning does.
    [[nodiscard]] bool Qsave();
    static constexpr qint64 kQuickSaveIntervalMs = 30'000;
    void CrunchProgress();
    // Stops the crunch running now at its next yield (the scan was aborted).
    void cancel() { m_cancelled = true; }

    [[nodiscard]] qint64 burstHighest() const { return m_highest; }

signals:
    // The crunch let events run: it is alive, however long the burst takes.
    void stillCrunching();

private:
    void report(qint64 elapsedMs);

    Services m;
    CStopWatch m_watch;
    Burst m_burst;
    qint64 m_highest = 0;
    qint64 m_skipped = 0; // lines of the burst whose article number was not one asked for
    bool m_cancelled = false;
    // When the running scan last saved its table (or started), on the monotonic clock.
    std::optional<QDateTime> m_quickSaveScan;
    qint64 m_lastQuickSaveMs = 0;
};
