#pragma once

#include "batch/nzb.h"
#include "headers/item_table.h"

#include <functional>

// Between NZB files and items: an NZB file becomes a batch entry whose parts are fetched by
// message-id alone, and queued or listed items become the files of an NZB.
namespace nzbitems {

// The article number of an NZB segment's part: below zero, so it never meets a server's number
// (nor is asked for by number), and taken from the message-id, so the part's cache file keeps its
// name from one run to the next.
[[nodiscard]] qint64 pseudoArticle(QByteArrayView messageId);

// One record per NZB file. groupKey answers the key of a group of the user's list, 0 for one that
// is not in it; an entry whose groups are all unknown has key 0 and is fetched without GROUP.
[[nodiscard]] std::vector<ItemRecord> toRecords(
    const NzbDocument& document, const std::function<quint8(const QByteArray&)>& groupKey);

struct Source {
    ItemRecord record;
    QByteArray groupName; // empty for an entry without a group
};
[[nodiscard]] NzbDocument toDocument(const QList<Source>& items);

} // namespace nzbitems

class Batch;
class Newsgroups;
class OpsLog;
class Prompts;

// The NZB commands: queueing the files of an NZB, and writing items out as one.
class NzbTransfer {
public:
    struct Services {
        OpsLog& log;
        Prompts& prompts;
        const Newsgroups& groups;
        Batch& batch;
    };
    explicit NzbTransfer(const Services& services)
        : m(services)
    {
    }

    // Queues every file of the NZB at `path`; nothing when it does not parse (the user is told
    // why). Answers how many entries were queued.
    int importFile(const QString& path);
    // False when the file could not be written (the user is told).
    bool exportFile(const QString& path, const QList<nzbitems::Source>& items);

private:
    [[nodiscard]] quint8 groupKey(const QByteArray& name) const;

    Services m;
};
