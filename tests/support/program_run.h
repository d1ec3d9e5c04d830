#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>

class AppContext;

// Runs the real program on a program folder, offscreen, with one command-line switch until
// `done` holds, then ends it: the program stays open after its work, as it does for a user.
// False when it did not start or `done` did not come within the time.
bool runProgram(const QString& executable, const QString& home, const QString& option,
    const std::function<bool()>& done, int timeoutMs);

// Runs the scan switch until OPSLOG.TXT (the log file must be on) says the scan completed and its
// connection closed, and `also` holds when given.
bool scanWithProgram(
    const QString& executable, const QString& home, int timeoutMs, const std::function<bool()>& also = {});

// What a user does to queue a group's binaries: shows the group with every filter pressed,
// selects the rows that are not text and presses Add to Batch, which saves "batch.twb". The
// context has loaded its settings, group list and batch. Answers the keys of the queued items.
QList<QByteArray> queueBinaries(AppContext& ctx, const QString& group);

// Entries a batch file holds; 0 for a missing file.
[[nodiscard]] int batchFileEntries(const QString& path);
