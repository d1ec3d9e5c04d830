#include "batch/set_finisher.h"

#include "app/main_window_state.h"
#include "app/ops_log.h"
#include "app/settings.h"
#include "batch/batch.h"
#include "headers/header_store.h"
#include "headers/item_key.h"

#include <QFileInfo>
#include <QRegularExpression>

namespace {

using Label = MainWindowState::Label;
using Bar = MainWindowState::Bar;

QString setKey(const PostSet& set)
{
    return set.folder + u'\n' + set.baseName;
}

// The recovery volume a subject names, such as "film.vol03+04.par2"; empty for none.
QString volumeName(QByteArrayView subject)
{
    static const QRegularExpression name(
        QStringLiteral(R"([^"\s/\\]+\.vol\d+[+-]\d+\.par2)"), QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = name.match(QString::fromUtf8(subject));
    return match.hasMatch() ? match.captured(0) : QString();
}

} // namespace

SetFinisher::SetFinisher(const Services& services, QObject* parent)
    : QObject(parent)
    , m(services)
{
}

SetFinisher::~SetFinisher() = default;

void SetFinisher::fileDecoded(const QString& path)
{
    m_decoded.insert(path);
}

void SetFinisher::runFinished()
{
    const QSet<QString> decoded = std::exchange(m_decoded, {});
    if (!m.settings.chkPostProcess || decoded.isEmpty())
        return;
    QHash<QString, QSet<QString>> byFolder;
    for (const QString& path : decoded) {
        const QFileInfo info(path);
        byFolder[info.absolutePath() + u'/'].insert(info.fileName());
    }
    for (auto it = byFolder.cbegin(); it != byFolder.cend(); ++it) {
        for (const PostSet& set : scanPostSets(it.key())) {
            const QStringList names = set.archives + set.par2Index + set.recoveryVolumes + set.others;
            const bool touched
                = std::any_of(names.cbegin(), names.cend(), [&](const QString& n) { return it.value().contains(n); });
            const bool queued = std::any_of(
                m_queue.cbegin(), m_queue.cend(), [&](const PostSet& q) { return setKey(q) == setKey(set); });
            if (touched && !queued && !(busy() && setKey(m_current) == setKey(set)))
                m_queue.push_back(set);
        }
    }
    if (!busy())
        startNext();
}

void SetFinisher::startNext()
{
    if (m_queue.empty()) {
        m.window.setProgress(Bar::ThisFile, 0);
        emit idle();
        return;
    }
    m_current = m_queue.front();
    m_queue.pop_front();
    PostOptions options;
    options.destination = m_current.folder;
    options.deleteWhenDone = m.settings.chkPostDelete != 0;
    options.tools = m.tools;
    m_processor = std::make_unique<PostProcessor>(options);
    connect(m_processor.get(), &PostProcessor::stepStarted, this, [this](PostStep, const QString& text) {
        const QString line = m_current.baseName + QStringLiteral(": ") + text;
        m.log.WriteLog(line, true);
        m.window.setText(Label::Status, line);
        m.window.setProgressMaximum(Bar::ThisFile, 100);
        m.window.setProgress(Bar::ThisFile, 0);
    });
    connect(m_processor.get(), &PostProcessor::progress, this,
        [this](int percent) { m.window.setProgress(Bar::ThisFile, std::clamp(percent, 0, 100)); });
    connect(m_processor.get(), &PostProcessor::finished, this, &SetFinisher::setFinished, Qt::QueuedConnection);
    m_processor->start(m_current);
}

void SetFinisher::setFinished(PostOutcome outcome, const QString& text)
{
    const QString folder = m_current.folder;
    const int moreBlocks = m_processor->moreBlocksNeeded();
    const QStringList files = m_processor->unpackedFiles();
    m_processor.reset();
    switch (outcome) {
    case PostOutcome::Verified:
        addRow(QStringLiteral("verified"), folder, true);
        break;
    case PostOutcome::Repaired:
        addRow(QStringLiteral("repaired"), folder, true);
        break;
    case PostOutcome::Unpacked:
        addRow(QStringLiteral("unpacked"), files.size() == 1 ? folder + files.first() : folder, true);
        break;
    case PostOutcome::NeedsBlocks:
        if (!m_volumesQueued.contains(setKey(m_current)) && queueRecoveryVolumes(m_current, moreBlocks)) {
            m_volumesQueued.insert(setKey(m_current));
            addRow(QStringLiteral("damaged: recovery volumes queued"), folder, false);
            emit downloadWanted();
        } else {
            addRow(QStringLiteral("Error: ") + text, folder, false);
        }
        break;
    case PostOutcome::PasswordProtected:
        addRow(QStringLiteral("Error: password protected"), folder, false);
        break;
    case PostOutcome::Failed:
        addRow(QStringLiteral("Error: ") + text, folder, false);
        break;
    }
    startNext();
}

bool SetFinisher::queueRecoveryVolumes(const PostSet& set, int blocks)
{
    const ItemTable& view = m.view.table;
    QMap<QString, int> offered;
    QHash<QString, int> slotOf;
    const QString prefix = set.baseName + u'.';
    for (int slot = 1; slot <= view.count(); ++slot) {
        const Item& it = view.item(slot);
        if (it.isDeleted())
            continue;
        const QString name = volumeName(itemkey::baseName(view.str(it.key)));
        if (name.isEmpty() || !name.startsWith(prefix, Qt::CaseInsensitive) || set.recoveryVolumes.contains(name)
            || m.batch.InBatch(it.firstPart ? view.part(it.firstPart).article : 0, it.groupKey))
            continue;
        offered.insert(name, par2VolumeBlocks(name));
        slotOf.insert(name, slot);
    }
    const QStringList chosen = fewestRecoveryVolumes(blocks, offered);
    if (chosen.isEmpty())
        return false;
    for (const QString& name : chosen)
        m.batch.AddToBatch(slotOf.value(name), true);
    m.log.WriteLog(QStringLiteral("%1: %2 more recovery blocks needed; queued %3")
                       .arg(set.baseName)
                       .arg(blocks)
                       .arg(chosen.join(QStringLiteral(", "))),
        true);
    return true;
}

void SetFinisher::addRow(const QString& status, const QString& path, bool success)
{
    m.log.WriteLog(m_current.baseName + QStringLiteral(": ") + status, true);
    m.batch.processed().append({ m_current.baseName, status, path, success });
}
