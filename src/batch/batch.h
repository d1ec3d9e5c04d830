#pragma once

#include "batch/batch_model.h"
#include "batch/batch_moves.h"
#include "batch/processed_model.h"
#include "headers/item_table.h"
#include "headers/queue_lookup.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <optional>

class MainWindowState;
class Newsgroups;
class OpsLog;
class Prompts;
class ScanTable;
struct ViewTable;

// The download queue. Entries are copies of items in a store that only grows during the run: an
// entry that leaves the queue keeps its index and is marked deleted, and the Batch View's rows
// name the queued entries in download order. "batch.twb" holds the queue between runs.
//
// An entry is queued exactly when its deleted field is 0, exactly when it has a Batch View row,
// and then it is in the index by (group, part 1's article) that answers InBatch.
class Batch : public QObject, public QueueLookup {
    Q_OBJECT
public:
    static constexpr const char* kFileName = "batch.twb";

    struct Services {
        OpsLog& log;
        MainWindowState& window;
        Prompts& prompts;
        const Newsgroups& groups;
        // Items are copied in from the group shown or the group being scanned.
        const ViewTable& view;
        const ScanTable& scan;
        QString filePath; // "batch.twb" in the program folder
    };

    explicit Batch(const Services& services, QObject* parent = nullptr);
    ~Batch() override;
    Batch(const Batch&) = delete;
    Batch& operator=(const Batch&) = delete;

    [[nodiscard]] BatchModel& model() { return m_model; }
    [[nodiscard]] ProcessedModel& processed() { return m_processed; }
    [[nodiscard]] const ItemTable& store() const { return m_store; }
    // The batch count: every entry of the store, queued or not.
    [[nodiscard]] int count() const { return m_store.count(); }
    [[nodiscard]] qint64 totalKb() const { return m_totalKb; }
    [[nodiscard]] bool isQueued(int entry) const;
    // Whether any entry is queued, so a download has something to do.
    [[nodiscard]] bool hasWork() const { return m_model.rowCount() > 0; }
    [[nodiscard]] QString filePath() const { return m.filePath; }
    // A copy of an entry, for showing its parts.
    [[nodiscard]] std::optional<ItemRecord> entryRecord(int entry) const;

    // Queues a copy of the item at the slot of the view table (fromView) or the scan table.
    void AddToBatch(int slot, bool fromView);
    // Queues records from elsewhere (an NZB) at the end, each unless the same post is queued
    // already; answers how many were queued.
    int AddRecords(const std::vector<ItemRecord>& records);
    // Queues an entry of the store again with its row at the end.
    void AddBatchRow(int entry);
    // Takes a downloaded or abandoned entry out of the queue.
    void FinishBatchEntry(int entry);
    void UpdateBatchTotals();
    void RefreshBatchLife();
    [[nodiscard]] bool InBatch(qint64 article, quint8 groupKey) const override;
    void RemoveExpiredFromBatch(qint64 article, quint8 groupKey);
    // False when the file could not be written (logged; the old file stays, and the save is
    // tried again with the next change and at the end of the run).
    [[nodiscard]] bool SaveBatch();
    void LoadBatch();
    void AddProcessedRow(int entry, const QString& status, const QString& filePath, bool success);

    // User commands. Batch View rows are 0-based row numbers of the selection; the moves answer
    // the rows of the moved selection.
    //
    // Add to Batch: viewSlots are the view-table slots of the selected header view rows, top to
    // bottom. rowsQueued then updates those rows of the header view (marked as in the batch or
    // dropped, as its filter says); without it the header view is rebuilt.
    void AddSelectedToBatch(const QList<int>& viewSlots, const std::function<void(const QList<int>&)>& rowsQueued = {});
    void Remove(const QList<int>& rows);
    QList<int> MoveUp(const QList<int>& rows);
    QList<int> MoveDown(const QList<int>& rows);
    QList<int> MoveToTop(const QList<int>& rows);
    QList<int> MoveToBottom(const QList<int>& rows);
    // A column header click: asks first; true when the rows were sorted.
    bool SortByColumn(int column);
    [[nodiscard]] int sortColumn() const { return m_sortColumn; }
    [[nodiscard]] Qt::SortOrder sortOrder() const { return m_sortOrder; }
    void Download();

signals:
    // The queue state of the items with this key changed while their group is shown.
    void itemChanged(const QByteArray& itemKey);
    // Many items changed state: the header view lists them anew.
    void viewStale();
    // The user asked for the batch to be downloaded, and it holds something.
    void downloadRequested();

private:
    struct QueueKey {
        qint64 article = 0;
        quint8 group = 0;
        bool operator==(const QueueKey&) const = default;
    };
    friend size_t qHash(const QueueKey& k, size_t seed) { return qHashMulti(seed, k.article, k.group); }

    [[nodiscard]] bool validEntry(int entry) const { return entry >= 1 && entry <= m_store.count(); }
    [[nodiscard]] std::optional<QueueKey> keyOf(int entry) const;
    [[nodiscard]] qint64 entryBytes(int entry) const { return m_store.ItemBytes(entry); }
    void addToTotal(qint64 bytes);
    // Copies an item into a new queued entry whose row is still to be added; 0 for no such slot.
    int copyIn(const ItemTable& source, int slot);
    // Marks an entry queued (its row is the caller's business) and counts it.
    void enqueue(int entry);
    // Marks an entry no longer queued; false when it was not queued.
    bool dequeue(int entry);
    // Rewrites the file at the next turn of the event loop, so a run of changes writes it once.
    void scheduleSave() { m_saveTimer.start(); }
    void save() { (void)SaveBatch(); }
    // Applies a move to the selected rows and saves when it changed the order; answers the
    // selection's rows afterwards.
    QList<int> move(const QList<int>& rows, const std::function<bool(std::vector<QueueRow>&)>& how);

    Services m;
    ItemTable m_store;
    BatchModel m_model;
    ProcessedModel m_processed;
    QHash<QueueKey, QList<int>> m_index; // queued entries by (group, part 1's article), ascending
    qint64 m_totalKb = 0;
    int m_sortColumn = -1;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
    QTimer m_saveTimer;
    bool m_unsaved = false; // the last save failed
};
