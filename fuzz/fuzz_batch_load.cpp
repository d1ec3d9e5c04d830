#include "fuzz_support.h"

#include "batch/batch.h"

#include <QFile>

namespace {

using fuzz::require;

// Every queued entry has exactly one row, every row names a queued entry, InBatch finds each
// queued entry and nothing else, and every cell of the Batch View can be shown.
void requireConsistent(Batch& batch)
{
    const BatchModel& model = batch.model();
    const ItemTable& store = batch.store();
    int queued = 0;
    for (int e = 1; e <= batch.count(); ++e) {
        const bool live = batch.isQueued(e);
        queued += live ? 1 : 0;
        require(live == (model.rowOf(e) >= 0), "an entry is queued exactly when it has a row");
        const Item& it = store.item(e);
        if (it.firstPart == 0)
            continue;
        const qint64 article = store.part(it.firstPart).article;
        bool anyLive = false;
        for (int other = 1; other <= batch.count(); ++other) {
            const Item& o = store.item(other);
            anyLive = anyLive
                || (batch.isQueued(other) && o.firstPart != 0 && o.groupKey == it.groupKey
                    && store.part(o.firstPart).article == article);
        }
        require(batch.InBatch(article, it.groupKey) == anyLive, "InBatch answers as a walk over the store would");
    }
    require(model.rowCount() == queued, "one row per queued entry");
    for (int row = 0; row < model.rowCount(); ++row) {
        require(model.rowOf(model.entryAt(row)) == row, "the row index names the right row");
        for (int c = 0; c < BatchModel::ColumnCount; ++c)
            (void)model.data(model.index(row, c), Qt::DisplayRole);
    }
}

// The saved file holds the rows' entries in row order, and writing what was read gives the same bytes.
void requireSavedRows(Batch& batch)
{
    require(batch.SaveBatch(), "the batch saves");
    ItemTable back;
    require(fuzz::readAll(batch.filePath(), back) == twb::RecordReader::Status::Ok, "a saved batch reads cleanly");
    const BatchModel& model = batch.model();
    require(back.count() == model.rowCount(), "the file holds every row");
    for (int row = 0; row < model.rowCount(); ++row)
        require(fuzz::sameRecord(back.record(row + 1), batch.store().record(model.entryAt(row))),
            "each row's entry comes back in row order");
    QFile saved(batch.filePath());
    require(saved.open(QIODevice::ReadOnly) && saved.readAll() == twb::serialize(back),
        "writing what was read gives the same bytes");
}

} // namespace

// The input is a batch file. Whatever it holds, loading keeps exactly the records the reader
// reads, each as a queued entry; the commands keep rows, entries and the InBatch index in step;
// and a save writes the queue as it stands.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::Program& p = fuzz::Program::instance();
    Batch& batch = p.ctx.batch;
    const QByteArray input(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    {
        QFile file(batch.filePath());
        require(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(input) == input.size(),
            "the batch file can be written");
    }

    ItemTable table;
    fuzz::readAll(batch.filePath(), table);
    batch.LoadBatch();
    require(batch.count() == table.count(), "the loader keeps what the reader read");
    for (int e = 1; e <= table.count(); ++e) {
        ItemRecord read = table.record(e);
        read.deleted = 0; // the file lists the queue: whatever it says, a loaded entry is queued
        require(fuzz::sameRecord(batch.store().record(e), read), "the loader keeps each entry as read");
    }
    requireConsistent(batch);
    if (batch.count() == 0)
        return 0;
    requireSavedRows(batch);

    // The input's own bytes pick the rows each command works on.
    auto pick = [&](int salt) {
        QList<int> rows;
        for (int row = 0; row < batch.model().rowCount(); ++row) {
            if ((data[static_cast<size_t>(row + salt) % size] >> (salt % 8)) & 1)
                rows.append(row);
        }
        return rows;
    };
    batch.MoveToTop(pick(1));
    batch.MoveDown(pick(2));
    batch.MoveToBottom(pick(3));
    batch.MoveUp(pick(4));
    requireConsistent(batch);
    batch.Remove(pick(5));
    const Item& first = batch.store().item(1);
    if (first.firstPart != 0)
        batch.RemoveExpiredFromBatch(batch.store().part(first.firstPart).article, first.groupKey);
    batch.FinishBatchEntry(batch.count());
    requireConsistent(batch);
    requireSavedRows(batch);
    p.prompts.messages.clear();
    batch.processed().clearAll();
    return 0;
}
