#pragma once

#include <QtGlobal>

// Whether an item is queued for download, known by its group and part 1's article. The batch
// answers it; the header parts only ask.
class QueueLookup {
public:
    virtual ~QueueLookup() = default;
    [[nodiscard]] virtual bool InBatch(qint64 article, quint8 groupKey) const = 0;
};
