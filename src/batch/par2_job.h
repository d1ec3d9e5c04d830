#pragma once

#include "batch/tool_process.h"

#include <QObject>
#include <QString>
#include <QStringList>

// What par2 said about a set.
struct Par2Result {
    enum class Kind { Verified, Damaged, Repaired, Failed };
    Kind kind = Kind::Failed;
    // Damaged: the data blocks missing, the recovery blocks present, and whether they suffice.
    int blocksNeeded = 0;
    int blocksAvailable = 0;
    bool repairable = false;
    // Damaged and not repairable: recovery blocks still to fetch.
    int moreBlocksNeeded = 0;
    // Failed: par2's own message, or why it could not run.
    QString reason;
};

// Reads par2's report from its message lines (progress lines left out) and exit code.
[[nodiscard]] Par2Result parsePar2Report(const QStringList& lines, int exitCode);

// One `par2 verify` or `par2 repair` of a set's index file.
class Par2Job : public QObject {
    Q_OBJECT
public:
    enum class Mode { Verify, Repair };

    explicit Par2Job(const PostTools& tools, QObject* parent = nullptr);

    void start(Mode mode, const QString& indexPath);
    void cancel() { m_process.cancel(); }
    [[nodiscard]] bool running() const { return m_process.running(); }
    [[nodiscard]] const Par2Result& result() const { return m_result; }

signals:
    void progress(int percent);
    void finished(const Par2Result& result);

private:
    void take(const QByteArray& chunk);
    void end(int exitCode, const QByteArray& standardError, const QString& failure);

    const PostTools& m_tools;
    ToolProcess m_process;
    QByteArray m_pending;
    QStringList m_lines;
    int m_percent = -1;
    Par2Result m_result;
};
