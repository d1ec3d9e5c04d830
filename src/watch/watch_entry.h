#pragma once

#include <QByteArray>
#include <QList>

enum class WatchField { Subject = 0, From = 1 };
enum class WatchAction { AddToBatch = 0, Kill = 1 };

// One rule of the watch list. A phrase starting with "-" must not occur (its text is the rest);
// any other must occur. The closing empty phrase the file holds after them is not kept here.
struct WatchEntry {
    QList<QByteArray> phrases;
    WatchField where = WatchField::Subject;
    bool matchCase = false;
    WatchAction action = WatchAction::AddToBatch;

    bool operator==(const WatchEntry&) const = default;
};
