#include "batch/post_process.h"

#include <QDir>
#include <QFile>
#include <QTimer>

PostProcessor::PostProcessor(PostOptions options, QObject* parent)
    : QObject(parent)
    , m_options(std::move(options))
    , m_par2(m_options.tools)
    , m_unpack(m_options.tools)
{
    connect(&m_par2, &Par2Job::progress, this, &PostProcessor::progress);
    connect(&m_par2, &Par2Job::finished, this, &PostProcessor::checked);
    connect(&m_unpack, &UnpackJob::progress, this, &PostProcessor::progress);
    connect(&m_unpack, &UnpackJob::finished, this, &PostProcessor::unpacked);
}

void PostProcessor::start(const PostSet& set)
{
    Q_ASSERT(!m_running);
    m_set = set;
    m_pending = firstVolumes(set);
    m_files.clear();
    m_running = true;
    m_repairing = m_repaired = false;
    m_moreBlocks = 0;
    m_unpacked = 0;
    // Any volume carries the whole description of the set when the index file is missing.
    const QString index = !set.par2Index.isEmpty() ? set.par2Index.first()
        : !set.recoveryVolumes.isEmpty()           ? set.recoveryVolumes.first()
                                                   : QString();
    m_index = index.isEmpty() ? QString() : QDir(set.folder).filePath(index);
    if (m_index.isEmpty()) {
        QTimer::singleShot(0, this, &PostProcessor::unpackNext);
        return;
    }
    emit stepStarted(PostStep::Verify, QStringLiteral("Verifying ") + set.baseName);
    m_par2.start(Par2Job::Mode::Verify, m_index);
}

void PostProcessor::cancel()
{
    m_par2.cancel();
    m_unpack.cancel();
}

void PostProcessor::checked(const Par2Result& result)
{
    switch (result.kind) {
    case Par2Result::Kind::Verified:
    case Par2Result::Kind::Repaired:
        m_repaired = result.kind == Par2Result::Kind::Repaired;
        // A repair brings back missing volumes: open the archives the folder holds now.
        for (const PostSet& now : scanPostSets(m_set.folder)) {
            if (now.baseName == m_set.baseName)
                m_set = now;
        }
        m_pending = firstVolumes(m_set);
        return unpackNext();
    case Par2Result::Kind::Damaged:
        if (result.repairable && !m_repairing) {
            m_repairing = true;
            emit stepStarted(PostStep::Repair,
                QStringLiteral("Repairing %1 (%2 blocks)").arg(m_set.baseName, QString::number(result.blocksNeeded)));
            return m_par2.start(Par2Job::Mode::Repair, m_index);
        }
        if (result.repairable)
            return finish(PostOutcome::Failed, QStringLiteral("par2 did not complete the repair"));
        m_moreBlocks = result.moreBlocksNeeded;
        return finish(
            PostOutcome::NeedsBlocks, QStringLiteral("needs %1 more recovery blocks").arg(result.moreBlocksNeeded));
    case Par2Result::Kind::Failed:
        return finish(PostOutcome::Failed, result.reason);
    }
}

void PostProcessor::unpackNext()
{
    if (m_pending.isEmpty()) {
        if (m_unpacked == 0)
            return finish(m_repaired ? PostOutcome::Repaired : PostOutcome::Verified,
                m_repaired ? QStringLiteral("repaired") : QStringLiteral("verified"));
        if (m_options.deleteWhenDone)
            cleanUp();
        return finish(PostOutcome::Unpacked,
            QStringLiteral("unpacked %1 files%2")
                .arg(m_files.size())
                .arg(m_repaired ? QStringLiteral(" after repair") : QString()));
    }
    const QString archive = m_pending.takeFirst();
    emit stepStarted(PostStep::Unpack, QStringLiteral("Unpacking ") + archive);
    const QString destination = m_options.destination.isEmpty() ? m_set.folder : m_options.destination;
    m_unpack.start(QDir(m_set.folder).filePath(archive), destination);
}

void PostProcessor::unpacked(const UnpackResult& result)
{
    switch (result.kind) {
    case UnpackResult::Kind::Unpacked:
        m_files += result.files;
        ++m_unpacked;
        return unpackNext();
    case UnpackResult::Kind::PasswordProtected:
        return finish(PostOutcome::PasswordProtected, QStringLiteral("password protected"));
    case UnpackResult::Kind::Failed:
        return finish(PostOutcome::Failed, result.reason);
    }
}

void PostProcessor::cleanUp()
{
    emit stepStarted(PostStep::Cleanup, QStringLiteral("Deleting the archives of ") + m_set.baseName);
    const QDir folder(m_set.folder);
    for (const QStringList* list : { &m_set.archives, &m_set.par2Index, &m_set.recoveryVolumes }) {
        for (const QString& name : *list) {
            QFile::remove(folder.filePath(name));
            // par2 keeps the damaged original beside the repaired file.
            if (m_repaired && list == &m_set.archives)
                QFile::remove(folder.filePath(name + QStringLiteral(".1")));
        }
    }
}

void PostProcessor::finish(PostOutcome outcome, const QString& text)
{
    m_running = false;
    emit finished(outcome, text);
}
