#pragma once

#include "program/app_context.h"
#include "headers/header_file.h"
#include "headers/scan_table.h"
#include "support/fakes.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace fuzz {

// A broken property is a finding like a crash: libFuzzer saves the input that caused it.
inline void require(bool ok, const char* what)
{
    if (ok)
        return;
    std::fprintf(stderr, "broken property: %s\n", what);
    std::abort();
}

// Moves one millisecond each time it is read, so the crunch's yields, progress lines and rates run.
class TickingClock final : public Clock {
public:
    QDateTime now() const override { return m_start.addMSecs(++m_ms); }
    qint64 monotonicMs() const override { return ++m_ms; }

private:
    QDateTime m_start { QDate(2026, 12, 7), QTime(14, 5, 9), Qt::UTC };
    mutable qint64 m_ms = 0;
};

// One program folder on fakes for the whole run, with one group whose header file lives at headerPath().
// The application object comes first so it outlives the context at exit.
struct Program {
    int argc = 1;
    char name[8] = "fuzz";
    char* argv[2] = { name, nullptr };
    QCoreApplication app { argc, argv };
    QTemporaryDir dir;
    TickingClock clock;
    ScriptedPrompts prompts;
    FakeDesktop desktop;
    FakeProbe probe;
    AppContext ctx { ProgramFolder::at(dir.path()), AppServices { clock, prompts, desktop, probe } };
    quint8 key = 0;

    Program()
    {
        ctx.settings.chkEnableLogging = 1; // the log lines are built from the input too
        ctx.settings.chkLogFile = 0;
        ctx.settings.Cache_Path = dir.path() + QStringLiteral("/cache/");
        ctx.groups.ngAddGroup("alt.binaries.fuzz");
        key = ctx.groups.ngFindKeyByGroupName("alt.binaries.fuzz");
        ctx.groups.groupSelected = true;
        ctx.groups.ngUpdateRange(key, 1, 100000);
        QDir().mkpath(QFileInfo(headerPath()).path());
    }
    [[nodiscard]] QString headerPath() const { return ctx.headers.headerPath(key); }
    // A plain write: the program's atomic write syncs to disk, which would slow every input a hundredfold.
    void writeHeaderFile(const QByteArray& content) const
    {
        QFile file(headerPath());
        require(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) == content.size(),
            "the header file can be written");
    }

    static Program& instance()
    {
        static Program program;
        return program;
    }
};

inline bool sameRecord(const ItemRecord& a, const ItemRecord& b)
{
    // Dates compare by their bits: a NaN read from a file must survive as the same NaN.
    return a.key == b.key && a.totalParts == b.totalParts && a.poster == b.poster
        && std::memcmp(&a.date, &b.date, sizeof a.date) == 0 && a.parts == b.parts && a.deleted == b.deleted
        && a.groupKey == b.groupKey;
}

// Reads a whole header file; the reader's own bookkeeping must agree with what it appended.
inline twb::RecordReader::Status readAll(const QString& path, ItemTable& into)
{
    twb::RecordReader reader(path);
    const int before = into.count();
    while (reader.readNext(into))
        require(reader.position() <= reader.fileSize(), "the reader stays inside the file");
    require(reader.status() != twb::RecordReader::Status::Missing, "the file is there");
    require(into.count() - before <= std::max(reader.count(), 0), "no more records than the count");
    require(reader.plausibleCount() <= std::max(reader.count(), 0), "the plausible count is at most the count");
    if (reader.status() == twb::RecordReader::Status::Ok)
        require(into.count() - before == reader.count(), "a clean read has every counted record");
    return reader.status();
}

// Writing the table's live items and reading them back gives those items again, byte for byte.
inline void requireRoundTrip(const ItemTable& table, const Program& program)
{
    const QByteArray bytes = twb::serialize(table);
    program.writeHeaderFile(bytes);
    ItemTable back;
    require(readAll(program.headerPath(), back) == twb::RecordReader::Status::Ok, "a written file reads cleanly");
    int slot = 0;
    for (int s = 1; s <= table.count(); ++s) {
        if (table.item(s).isDeleted())
            continue;
        ++slot;
        require(slot <= back.count(), "every live item comes back");
        require(sameRecord(table.record(s), back.record(slot)), "an item comes back unchanged");
    }
    require(slot == back.count(), "only live items come back");
    require(twb::serialize(back) == bytes, "writing what was read gives the same bytes");
}

// Every live item is found again by its key and poster, at a live slot holding exactly that pair.
inline void requireFindable(const ScanTable& scan, int fromSlot)
{
    const ItemTable& t = scan.table;
    for (int s = std::max(fromSlot, 1); s <= t.count(); ++s) {
        const Item& it = t.item(s);
        quint32 parts = 0;
        t.forEachPart(it, [&](const ItemPart&) { ++parts; });
        require(parts == it.partCount, "the part list holds partCount parts");
        if (it.isDeleted())
            continue;
        const int found = scan.FindHash(t.str(it.key), t.str(it.poster));
        require(found >= 1 && found <= t.count(), "a live item is found by its key and poster");
        const Item& hit = t.item(found);
        require(!hit.isDeleted(), "the lookup answers a live item");
        require(t.str(hit.key) == t.str(it.key) && t.str(hit.poster) == t.str(it.poster),
            "the lookup answers the same key and poster");
    }
}

} // namespace fuzz
