#pragma once

#include "batch/post_process.h"

#include <QHash>
#include <QObject>
#include <QSet>

#include <deque>
#include <memory>

class Batch;
class MainWindowState;
class OpsLog;
struct Settings;
struct ViewTable;

// After a download run: the sets of the files it decoded are verified, repaired when they can
// be, and unpacked, one after another, each ending in a Processed View row. A set short of
// recovery blocks gets the fewest recovery volumes the header view offers queued, and is taken
// up again when they have been downloaded.
class SetFinisher : public QObject {
    Q_OBJECT
public:
    struct Services {
        Settings& settings;
        OpsLog& log;
        MainWindowState& window;
        Batch& batch;
        const ViewTable& view;
        PostTools tools;
    };
    explicit SetFinisher(const Services& services, QObject* parent = nullptr);
    ~SetFinisher() override;

    // A decoded file; its set is looked at when the run ends.
    void fileDecoded(const QString& path);
    // The batch ran out: the sets of this run's files are taken up.
    void runFinished();
    [[nodiscard]] bool busy() const { return m_processor != nullptr; }

signals:
    // Recovery volumes were queued; the batch should be downloaded.
    void downloadWanted();
    // Every set of the run has its outcome.
    void idle();

private:
    void startNext();
    void setFinished(PostOutcome outcome, const QString& text);
    // Queues the fewest recovery volumes of the header view that bring `blocks`; false when
    // they are not there.
    bool queueRecoveryVolumes(const PostSet& set, int blocks);
    void addRow(const QString& status, const QString& path, bool success);

    Services m;
    QSet<QString> m_decoded;
    std::deque<PostSet> m_queue;
    std::unique_ptr<PostProcessor> m_processor;
    PostSet m_current;
    // Sets that have had recovery volumes queued once, by folder and base name.
    QSet<QString> m_volumesQueued;
};
