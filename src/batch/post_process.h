#pragma once

#include "batch/par2_job.h"
#include "batch/post_set.h"
#include "batch/tool_process.h"
#include "batch/unpack_job.h"

#include <QObject>
#include <QString>
#include <QStringList>

enum class PostStep { Verify, Repair, Unpack, Cleanup };

enum class PostOutcome {
    Verified,
    Repaired,
    Unpacked,
    // Damaged beyond what the recovery volumes present can mend; moreBlocksNeeded() says by how much.
    NeedsBlocks,
    PasswordProtected,
    Failed,
};

struct PostOptions {
    // Where archives unpack to; the set's own folder when empty.
    QString destination;
    // Deletes the archives, par2 files and par2's backups once everything unpacked.
    bool deleteWhenDone = false;
    PostTools tools;
};

// Runs one finished set through verify, repair when it is damaged and can be mended, unpacking of
// each archive and the optional clean-up, one tool at a time from the event loop.
class PostProcessor : public QObject {
    Q_OBJECT
public:
    explicit PostProcessor(PostOptions options, QObject* parent = nullptr);

    void start(const PostSet& set);
    // Kills the running tool; `finished` follows with Failed "cancelled".
    void cancel();
    [[nodiscard]] bool running() const { return m_running; }

    [[nodiscard]] int moreBlocksNeeded() const { return m_moreBlocks; }
    [[nodiscard]] const QStringList& unpackedFiles() const { return m_files; }

signals:
    void stepStarted(PostStep step, const QString& text);
    void progress(int percent);
    void finished(PostOutcome outcome, const QString& text);

private:
    void checked(const Par2Result& result);
    void unpackNext();
    void unpacked(const UnpackResult& result);
    void cleanUp();
    void finish(PostOutcome outcome, const QString& text);

    PostOptions m_options;
    Par2Job m_par2;
    UnpackJob m_unpack;
    PostSet m_set;
    QString m_index;
    QStringList m_pending;
    QStringList m_files;
    bool m_running = false;
    bool m_repairing = false;
    bool m_repaired = false;
    int m_moreBlocks = 0;
    int m_unpacked = 0;
};
