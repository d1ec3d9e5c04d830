#include "batch/nzb_items.h"

#include "app/format.h"
#include "app/ops_log.h"
#include "app/prompts.h"
#include "batch/batch.h"
#include "groups/newsgroups.h"
#include "headers/item_key.h"
#include "headers/subject.h"

#include <QDateTime>
#include <QFileInfo>

#include <limits>

namespace nzbitems {

qint64 pseudoArticle(QByteArrayView messageId)
{
    // FNV-1a over 63 bits: a million segments meet in one pair with odds of about 1 in 10^7.
    quint64 hash = 14695981039346656037ULL;
    for (const char c : messageId) {
        hash ^= static_cast<uchar>(c);
        hash *= 1099511628211ULL;
    }
    return -static_cast<qint64>((hash >> 1) | 1);
}

std::vector<ItemRecord> toRecords(const NzbDocument& document, const std::function<quint8(const QByteArray&)>& groupKey)
{
    std::vector<ItemRecord> records;
    records.reserve(document.files.size());
    SubjectAnalysis subject;
    for (const NzbFile& file : document.files) {
        ItemRecord r;
        const QByteArray text = file.subject.toUtf8();
        analyseSubject(text, subject);
        r.key = subject.key.isEmpty() ? text : subject.key;
        if (r.key.isEmpty())
            r.key = file.segments.front().messageId;
        r.totalParts = static_cast<qint16>(std::min<size_t>(file.segments.size(), 32767));
        r.poster = parseFrom(file.poster.toUtf8());
        r.date = fmt::toOleDate(QDateTime::fromSecsSinceEpoch(file.date, Qt::UTC));
        for (const QString& group : file.groups) {
            if (const quint8 key = groupKey(group.toUtf8()); key != 0) {
                r.groupKey = key;
                break;
            }
        }
        const QByteArray total = QByteArray::number(file.segments.size());
        for (const NzbSegment& s : file.segments) {
            ItemRecord::Part p;
            p.tail = " (" + QByteArray::number(s.number) + '/' + total + ')';
            p.article = pseudoArticle(s.messageId);
            p.messageId = s.messageId;
            p.bytes = static_cast<qint32>(std::clamp<qint64>(s.bytes, 0, std::numeric_limits<qint32>::max()));
            r.parts.append(std::move(p));
        }
        records.push_back(std::move(r));
    }
    return records;
}

NzbDocument toDocument(const QList<Source>& items)
{
    NzbDocument document;
    for (const Source& item : items) {
        const ItemRecord& r = item.record;
        if (r.parts.isEmpty())
            continue;
        NzbFile file;
        file.subject = QString::fromUtf8(itemkey::partSubject(r.key, r.parts.first().tail));
        file.poster = QString::fromUtf8(r.poster);
        const QDateTime date = fmt::fromOleDate(r.date);
        file.date = date.isValid() ? date.toSecsSinceEpoch() : 0;
        if (!item.groupName.isEmpty())
            file.groups.append(QString::fromUtf8(item.groupName));
        int number = 0;
        for (const ItemRecord::Part& p : r.parts) {
            const QByteArray id = FullMessageId(r.parts.first().messageId, p.messageId);
            file.segments.push_back({ p.bytes, ++number, id.mid(1, id.size() - 2) });
        }
        document.files.push_back(std::move(file));
    }
    return document;
}

} // namespace nzbitems

int NzbTransfer::importFile(const QString& path)
{
    const QString name = QFileInfo(path).fileName();
    const NzbReadResult read = readNzb(path);
    if (!read.document) {
        const QString text = QStringLiteral("Could not queue %1: %2").arg(name, read.error);
        m.log.WriteLog(text, true);
        m.prompts.message(text, PromptIcon::Exclamation);
        return 0;
    }
    const std::vector<ItemRecord> records
        = nzbitems::toRecords(*read.document, [this](const QByteArray& group) { return groupKey(group); });
    const int queued = m.batch.AddRecords(records);
    const qsizetype already = static_cast<qsizetype>(records.size()) - queued;
    m.log.WriteLog(QStringLiteral("Queued %1 of %2 files from %3").arg(queued).arg(records.size()).arg(name)
            + (already > 0 ? QStringLiteral(" (%1 already in the batch)").arg(already) : QString()),
        true);
    return queued;
}

bool NzbTransfer::exportFile(const QString& path, const QList<nzbitems::Source>& items)
{
    const NzbDocument document = nzbitems::toDocument(items);
    if (document.files.empty())
        return false;
    if (!writeNzb(path, document)) {
        const QString text = QStringLiteral("Could not write %1").arg(path);
        m.log.WriteLog(text, true);
        m.prompts.message(text, PromptIcon::Exclamation);
        return false;
    }
    m.log.WriteLog(QStringLiteral("Wrote %1 files to %2").arg(document.files.size()).arg(path), true);
    return true;
}

quint8 NzbTransfer::groupKey(const QByteArray& name) const
{
    for (int row = 0; row < m.groups.groupCount(); ++row) {
        const quint8 key = m.groups.keyAtRow(row);
        if (const GroupRecord* r = m.groups.recordByKey(key); r && r->name == name)
            return key;
    }
    return 0;
}
