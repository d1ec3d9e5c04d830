#pragma once

#include <QObject>

class Newsgroups;
class OpsLog;
class ScanTable;
struct Settings;

// Marks deleted every item of the scan table with a part below the group's new first article:
// the server no longer holds all of it.
class AutoExpiry : public QObject {
    Q_OBJECT
public:
    struct Services {
        OpsLog& log;
        const Settings& settings;
        const Newsgroups& groups;
        ScanTable& scan;
    };

    explicit AutoExpiry(const Services& services, QObject* parent = nullptr);

    void AutoExpire(quint8 groupKey, qint64 first);

signals:
    // The batch drops its entry of an expired item, known by part 1's article.
    void itemExpired(qint64 partOne, quint8 groupKey);
    // Items of this group expired; a view of it is now out of date.
    void groupExpired(quint8 groupKey);

private:
    Services m;
};
