#include "batch/batch.h"

#include "app/format.h"
#include "app/main_window_state.h"
#include "app/ops_log.h"
#include "app/prompts.h"
#include "app/text.h"
#include "headers/header_file.h"
#include "headers/header_store.h"
#include "headers/item_key.h"
#include "headers/scan_table.h"

#include <algorithm>

Batch::Batch(const Services& services, QObject* parent)
    : QObject(parent)
    , m(services)
    , m_model(m_store, services.groups, services.log)
{
    m_saveTimer.setSingleShot(true);
    m_saveTimer.setInterval(0);
    m_saveTimer.callOnTimeout([this] { save(); });
}

Batch::~Batch()
{
    // A change made just before the end of the run still reaches the file.
    if (m_saveTimer.isActive() || m_unsaved)
        save();
}

bool Batch::isQueued(int entry) const
{
    return validEntry(entry) && m_store.item(entry).deleted == 0;
}

std::optional<ItemRecord> Batch::entryRecord(int entry) const
{
    if (!validEntry(entry))
        return std::nullopt;
    return m_store.record(entry);
}

std::optional<Batch::QueueKey> Batch::keyOf(int entry) const
{
    const Item& it = m_store.item(entry);
    if (it.firstPart == 0)
        return std::nullopt;
    return QueueKey { m_store.part(it.firstPart).article, it.groupKey };
}

void Batch::addToTotal(qint64 bytes)
{
    m_totalKb = fmt::roundHalfEven(static_cast<double>(m_totalKb) + static_cast<double>(bytes) / 1000);
}

void Batch::enqueue(int entry)
{
    m_store.item(entry).deleted = 0;
    if (const auto key = keyOf(entry))
        m_index[*key].append(entry); // entries only ever join in ascending order
    addToTotal(entryBytes(entry));
}

bool Batch::dequeue(int entry)
{
    Item& it = m_store.item(entry);
    if (it.deleted != 0)
        return false;
    it.deleted = -1;
    if (const auto key = keyOf(entry)) {
        auto found = m_index.find(*key);
        if (found != m_index.end()) {
            found->removeOne(entry);
            if (found->isEmpty())
                m_index.erase(found);
        }
    }
    addToTotal(-entryBytes(entry));
    return true;
}

int Batch::copyIn(const ItemTable& source, int slot)
{
    if (slot < 1 || slot > source.count())
        return 0;
    const int entry = m_store.appendRecord(source.record(slot));
    enqueue(entry);
    return entry;
}

void Batch::AddToBatch(int slot, bool fromView)
{
    const int entry = copyIn(fromView ? m.view.table : m.scan.table, slot);
    if (entry == 0)
        return;
    const int entries[] = { entry };
    m_model.appendEntries(entries);
    UpdateBatchTotals();
    scheduleSave();
}

int Batch::AddRecords(const std::vector<ItemRecord>& records)
{
    std::vector<int> entries;
    for (const ItemRecord& r : records) {
        if (r.parts.isEmpty() || m_index.contains({ r.parts.first().article, r.groupKey }))
            continue;
        const int entry = m_store.appendRecord(r);
        enqueue(entry);
        entries.push_back(entry);
    }
    if (entries.empty())
        return 0;
    m_model.appendEntries(entries);
    UpdateBatchTotals();
    scheduleSave();
    return static_cast<int>(entries.size());
}

void Batch::AddBatchRow(int entry)
{
    if (!validEntry(entry) || m_model.rowOf(entry) >= 0)
        return;
    enqueue(entry);
    const int entries[] = { entry };
    m_model.appendEntries(entries);
    UpdateBatchTotals();
    scheduleSave();
}

void Batch::FinishBatchEntry(int entry)
{
    if (!validEntry(entry)) {
        m.log.WriteLog(QStringLiteral("removeCatFromBatchError: Subscript out of range"), true);
        return;
    }
    if (const int row = m_model.rowOf(entry); row >= 0)
        m_model.removeRowList({ row });
    // An entry the user removed while it downloaded is not taken off the total twice.
    if (dequeue(entry))
        scheduleSave();
    UpdateBatchTotals();
    const Item& it = m_store.item(entry);
    if (m.view.viewedKey >= 0 && m.view.viewedKey == it.groupKey)
        emit itemChanged(m_store.str(it.key).toByteArray());
}

void Batch::UpdateBatchTotals()
{
    const int rows = m_model.rowCount();
    if (rows == 0)
        m_totalKb = 0;
    QString text;
    if (rows == 0 || m_totalKb == 0) {
        text = QStringLiteral("Batch empty.");
    } else {
        text = QStringLiteral("Total batch size: (") + QString::number(rows) + QStringLiteral(" items) ");
        if (m_totalKb >= 1000)
            text += fmt::Format(static_cast<double>(m_totalKb) / 1000, u"0.0") + QStringLiteral("MB");
        else
            text += fmt::Format(static_cast<double>(m_totalKb), u"0.0") + QStringLiteral("KB");
    }
    m.window.setText(MainWindowState::Label::BatchTotal, text);
    m.log.WriteLog(text, false);
}

void Batch::RefreshBatchLife()
{
    m_model.refreshLife();
}

bool Batch::InBatch(qint64 article, quint8 groupKey) const
{
    return m_index.contains(QueueKey { article, groupKey });
}

void Batch::RemoveExpiredFromBatch(qint64 article, quint8 groupKey)
{
    const auto found = m_index.constFind(QueueKey { article, groupKey });
    if (found == m_index.cend())
        return;
    const int entry = found->first();
    m.log.WriteLog(
        QStringLiteral("(removing batch item): ") + displayText(m_store.str(m_store.item(entry).key).toByteArray()),
        true);
    m_model.removeRowList({ m_model.rowOf(entry) });
    dequeue(entry);
    UpdateBatchTotals();
    scheduleSave();
}

bool Batch::SaveBatch()
{
    m_saveTimer.stop();
    if (m_store.count() == 0)
        return true;
    m.log.WriteLog(QStringLiteral("Saving Batch..."), false);
    QString error;
    if (!twb::writeTable(filePath(), m_store, m_model.order(), &error)) {
        m.log.WriteLog(QStringLiteral("BatchSave Error:") + error, true);
        m_unsaved = true;
        return false;
    }
    m_unsaved = false;
    m.log.WriteLog(QString(), false);
    return true;
}

void Batch::LoadBatch()
{
    const QString path = filePath();
    twb::RecordReader reader(path);
    if (reader.status() == twb::RecordReader::Status::Missing)
        return;
    m_saveTimer.stop();
    m_model.clear();
    m_store.clear();
    m_index.clear();
    m_totalKb = 0;
    if (reader.status() == twb::RecordReader::Status::UnknownFormat) {
        m.log.WriteLog(path + QStringLiteral(": is unknown format."), true);
        UpdateBatchTotals();
        return;
    }
    // The store grows with the records actually there, whatever count the file claims.
    std::vector<int> entries;
    while (reader.readNext(m_store)) {
        const int entry = m_store.count();
        enqueue(entry);
        entries.push_back(entry);
    }
    if (reader.status() == twb::RecordReader::Status::Corrupt)
        m.log.WriteLog(QStringLiteral("LoadBatch Error:") + path
                + QStringLiteral(" is damaged; kept the first %1 entries").arg(entries.size()),
            true);
    m_model.appendEntries(entries);
    UpdateBatchTotals();
}

void Batch::AddProcessedRow(int entry, const QString& status, const QString& filePath, bool success)
{
    QString subject;
    if (validEntry(entry))
        subject = displayText(itemkey::baseName(m_store.str(m_store.item(entry).key)).toByteArray());
    m_processed.append({ subject, status, filePath, success });
}

void Batch::AddSelectedToBatch(const QList<int>& viewSlots, const std::function<void(const QList<int>&)>& rowsQueued)
{
    if (viewSlots.isEmpty())
        return;
    const ItemTable& view = m.view.table;
    QList<int> added;
    std::vector<int> entries;
    for (int slot : viewSlots) {
        if (slot < 1 || slot > view.count())
            continue;
        const Item& it = view.item(slot);
        // Rows already shown as in the batch are not queued twice.
        if (it.firstPart != 0 && InBatch(view.part(it.firstPart).article, it.groupKey))
            continue;
        entries.push_back(copyIn(view, slot));
        added.append(slot);
    }
    m_model.appendEntries(entries);
    UpdateBatchTotals();
    save();
    if (rowsQueued)
        rowsQueued(added);
    else
        emit viewStale();
}

void Batch::Remove(const QList<int>& rows)
{
    QList<int> selected;
    for (int r : rows) {
        if (r >= 0 && r < m_model.rowCount())
            selected.append(r);
    }
    if (selected.isEmpty()) {
        m.prompts.message(QStringLiteral("Nothing selected."));
        return;
    }
    std::sort(selected.begin(), selected.end());
    selected.erase(std::unique(selected.begin(), selected.end()), selected.end());
    // From the last row to the first, as the total is rounded after each entry.
    for (auto r = selected.crbegin(); r != selected.crend(); ++r)
        dequeue(m_model.entryAt(*r));
    m_model.removeRowList(selected);
    UpdateBatchTotals();
    save();
    emit viewStale();
}

QList<int> Batch::move(const QList<int>& rows, const std::function<bool(std::vector<QueueRow>&)>& how)
{
    const std::vector<int>& order = m_model.order();
    std::vector<QueueRow> queue;
    queue.reserve(order.size());
    for (int e : order)
        queue.push_back({ e, false });
    for (int r : rows) {
        if (r >= 0 && static_cast<size_t>(r) < queue.size())
            queue[static_cast<size_t>(r)].selected = true;
    }
    const std::vector<QueueRow> before = queue;
    QList<int> selection;
    if (how(queue) && queue != before) {
        std::vector<int> newOrder;
        newOrder.reserve(queue.size());
        for (const QueueRow& q : queue)
            newOrder.push_back(q.entry);
        m_model.setOrder(std::move(newOrder));
        save();
    } else {
        queue = before;
    }
    for (size_t r = 0; r < queue.size(); ++r) {
        if (queue[r].selected)
            selection.append(static_cast<int>(r));
    }
    return selection;
}

QList<int> Batch::MoveUp(const QList<int>& rows)
{
    return move(rows, moveRowsUp);
}

QList<int> Batch::MoveDown(const QList<int>& rows)
{
    return move(rows, moveRowsDown);
}

QList<int> Batch::MoveToTop(const QList<int>& rows)
{
    return move(rows, [](std::vector<QueueRow>& q) {
        moveRowsToTop(q);
        return true;
    });
}

QList<int> Batch::MoveToBottom(const QList<int>& rows)
{
    return move(rows, [](std::vector<QueueRow>& q) {
        moveRowsToBottom(q);
        return true;
    });
}

bool Batch::SortByColumn(int column)
{
    if (column < 0 || column >= BatchModel::ColumnCount)
        return false;
    if (!m.prompts.askYesNo(QStringLiteral("Are you sure you want to sort the batch?"), PromptIcon::Question))
        return false;
    if (column == m_sortColumn) {
        m_sortOrder = m_sortOrder == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder;
    } else {
        m_sortColumn = column;
        m_sortOrder = Qt::AscendingOrder;
    }
    m_model.sortRows(m_sortColumn, m_sortOrder);
    // The new order is the download order: it reaches the file like any other change.
    scheduleSave();
    return true;
}

void Batch::Download()
{
    if (!hasWork()) {
        m.prompts.message(QStringLiteral("Warning, nothing in batch que!"));
        return;
    }
    emit downloadRequested();
}
