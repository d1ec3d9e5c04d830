#pragma once

#include "watch/watch_entry.h"

#include <QByteArrayView>
#include <QString>

// The "filters.txt" format: the entry count, then per entry the phrase count, the phrases, an
// empty closing line, where, match case ("True"/"False") and action; CR LF lines, numbers after
// one blank except the action.
namespace filters {

struct ReadResult {
    QList<WatchEntry> entries; // the entries read whole, in file order
    QString error; // why reading stopped early; empty when the file was read whole
};

// Every entry is checked before it is taken: one cut short by the end of the file, or with a
// field the writer never writes, ends the read, and the entries before it stay.
[[nodiscard]] ReadResult parse(QByteArrayView file);
[[nodiscard]] QByteArray serialize(const QList<WatchEntry>& entries);

} // namespace filters
