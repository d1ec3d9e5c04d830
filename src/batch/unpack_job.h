#pragma once

#include "batch/tool_process.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

class QTemporaryDir;

struct UnpackResult {
    enum class Kind { Unpacked, PasswordProtected, Failed };
    Kind kind = Kind::Failed;
    // Unpacked: the files as they now sit in the destination.
    QStringList files;
    QString reason;
};

// Why an archive's listing (lsar -j) must not be unpacked: an entry with an absolute path or a ".."
// component, a link leaving the archive, or an entry reached through a link. Empty when it is safe.
[[nodiscard]] QString unsafeListing(const QByteArray& lsarJson);

// Unpacks one archive (its first volume) into a destination folder: lists it, refuses unsafe and
// password-protected archives, unpacks into a fresh folder inside the destination and moves the
// entries out, never over an existing file ("name (2).ext" instead).
class UnpackJob : public QObject {
    Q_OBJECT
public:
    explicit UnpackJob(const PostTools& tools, QObject* parent = nullptr);
    ~UnpackJob() override;

    void start(const QString& archivePath, const QString& destination);
    void cancel() { m_process.cancel(); }
    [[nodiscard]] bool running() const { return m_process.running(); }
    [[nodiscard]] const UnpackResult& result() const { return m_result; }

signals:
    void progress(int percent);
    void finished(const UnpackResult& result);

private:
    enum class Stage { Listing, Unpacking };

    void take(const QByteArray& chunk);
    void ended(int exitCode, const QByteArray& standardError, const QString& failure);
    void listed(int exitCode, const QByteArray& standardError);
    void unpacked(int exitCode, const QByteArray& standardError);
    void finish(UnpackResult::Kind kind, const QString& reason = {});

    const PostTools& m_tools;
    // Outlives the process, so a run cut short by destruction never writes into a removed folder.
    std::unique_ptr<QTemporaryDir> m_temp;
    ToolProcess m_process;
    Stage m_stage = Stage::Listing;
    QString m_archive;
    QString m_destination;
    QByteArray m_output;
    QByteArray m_tail;
    int m_entries = 0;
    int m_done = 0;
    UnpackResult m_result;
};
