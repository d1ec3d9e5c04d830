// The newsgroup list file from a hostile disk: whatever "favs.txt" holds, loading gives groups with
// usable names and keys, and what is saved reloads to the same groups and saves to the same bytes.
#include "fuzz_support.h"

#include "groups/newsgroups.h"

#include <QList>
#include <QSet>

namespace {

using fuzz::require;

struct Row {
    quint8 key = 0;
    bool greyed = false;
    QString name;
    QString lastRead;
    GroupRecord record; // only for a group with a key of its own
};

QList<Row> rowsOf(Newsgroups& groups)
{
    QList<Row> rows;
    QSet<quint8> keys;
    for (int row = 0; row < groups.groupCount(); ++row) {
        Row r;
        r.key = groups.keyAtRow(row);
        r.greyed = groups.rowGreyed(row);
        r.name = groups.data(groups.index(row, Newsgroups::NameColumn), Qt::DisplayRole).toString();
        r.lastRead = groups.data(groups.index(row, Newsgroups::LastReadColumn), Qt::DisplayRole).toString();
        for (int c = 0; c < Newsgroups::ColumnCount; ++c)
            (void)groups.data(groups.index(row, c), Qt::DisplayRole);
        if (r.key != 0) {
            require(!keys.contains(r.key), "keys are unique");
            keys.insert(r.key);
            const GroupRecord* rec = groups.recordByKey(r.key);
            require(rec != nullptr && isSafeGroupName(rec->name), "a group has a usable name");
            require(rec->off == r.greyed, "a row is greyed exactly when its group is off");
            require(rec->lastRead >= 0 && rec->first >= 0 && rec->last >= 0, "article numbers are not negative");
            r.record = *rec;
        }
        rows.append(r);
    }
    for (const Row& r : std::as_const(rows))
        require(r.key != 0 || keys.size() == 255, "a group goes without a key only when all 255 are taken");
    require(groups.rowCount() == groups.groupCount(), "one model row per group");
    return rows;
}

bool sameRecord(const GroupRecord& a, const GroupRecord& b)
{
    return a.name == b.name && a.key == b.key && a.off == b.off && a.lastRead == b.lastRead && a.first == b.first
        && a.last == b.last && a.total == b.total && a.unread == b.unread;
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::Program& p = fuzz::Program::instance();
    // A folder of its own, away from the program context's list.
    static const QString path = [&p] {
        QDir(p.dir.path()).mkpath(QStringLiteral("list"));
        return p.dir.filePath(QStringLiteral("list/favs.txt"));
    }();
    {
        QFile file(path);
        require(file.open(QIODevice::WriteOnly | QIODevice::Truncate)
                && file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size)) == qint64(size),
            "favs.txt can be written");
    }
    const Newsgroups::Services services { p.ctx.log, p.prompts, p.ctx.window, path };

    Newsgroups loaded(services);
    loaded.ngLoadFavs();
    const QList<Row> rows = rowsOf(loaded);
    require(loaded.ngSaveFavs(), "favs.txt saves");
    const QByteArray saved = readFile(path);

    p.prompts.messages.clear();
    Newsgroups again(services);
    again.ngLoadFavs();
    require(p.prompts.messages.isEmpty(), "a saved list has no bad line");
    const QList<Row> back = rowsOf(again);
    require(back.size() == rows.size(), "every group comes back");
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const Row &a = rows[i], &b = back[i];
        require(a.key == b.key && a.greyed == b.greyed && a.name == b.name && a.lastRead == b.lastRead,
            "a group comes back in its place with its name, key, mark and state");
        require(a.key == 0 || sameRecord(a.record, b.record), "a group's record comes back unchanged");
    }
    require(again.ngSaveFavs(), "favs.txt saves again");
    require(readFile(path) == saved, "saving what was loaded gives the same bytes");
    again.ngRebuildGroupCombo();
    p.prompts.messages.clear();
    return 0;
}
