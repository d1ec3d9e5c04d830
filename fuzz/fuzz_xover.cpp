#include "fuzz_support.h"

#include "headers/crunch.h"

#include <QDateTime>
#include <QFile>

namespace {

// The scan table grows across inputs, as it does over the bursts of one scan, and starts again
// every few inputs so memory stays bounded; TW_FUZZ_RESET_EVERY=1 replays one input on its own.
int resetEvery()
{
    static const int n = [] {
        const int v = qEnvironmentVariableIntValue("TW_FUZZ_RESET_EVERY");
        return v > 0 ? v : 200;
    }();
    return n;
}

void setUp(fuzz::Program& p)
{
    using fuzz::require;
    ScanTable& scan = p.ctx.scan;
    p.ctx.settings.sldXOVER = 1000;
    p.ctx.settings.chkEnableWatch = 1;
    // Every complete item is wanted (its key and a blank hold a blank); the batch is left out.
    p.ctx.watch.WatchList_Add({ " " }, WatchField::Subject, true, WatchAction::AddToBatch);
    p.ctx.watch.WatchList_Add({ "KILL" }, WatchField::Subject, true, WatchAction::Kill);
    QObject::disconnect(&p.ctx.watch, &WatchList::addToBatchRequested, &p.ctx.batch, nullptr);
    QObject::connect(&p.ctx.watch, &WatchList::addToBatchRequested, [&scan](int slot) {
        require(slot >= 1 && slot <= scan.table.count(), "the watch list is offered a real slot");
        const Item& it = scan.table.item(slot);
        require(!it.isDeleted() && it.partCount == static_cast<quint32>(it.totalParts),
            "the watch list is offered a complete live item");
    });
}

// What the crunch built survives saving and loading; then the next inputs start on an empty table.
void checkAndStartAfresh(fuzz::Program& p)
{
    using fuzz::require;
    ScanTable& scan = p.ctx.scan;
    if (scan.table.count() > 0) {
        fuzz::requireRoundTrip(scan.table, p);
        scan.table.changed = true;
        p.ctx.headers.GNsave(p.key);
        QFile saved(p.headerPath());
        require(saved.open(QIODevice::ReadOnly) && saved.readAll() == twb::serialize(scan.table),
            "the program saves the bytes serialize gives");
    }
    QFile::remove(p.headerPath());
    scan.reset();
    scan.scanHeaderCount = 0;
    scan.newItemCount = 0;
}

} // namespace

// The input is the body of one XOVER reply. Crunching it files every article into an item that
// the lookup finds again, and the table it builds survives being written and read back.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using fuzz::require;
    fuzz::Program& p = fuzz::Program::instance();
    static const bool ready = (setUp(p), true);
    Q_UNUSED(ready);
    ScanTable& scan = p.ctx.scan;

    const int before = scan.table.count();
    const QByteArray body(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    p.ctx.cruncher.parse_xoverdata(body, { p.key, 100000, 99999, QDateTime() });
    require(scan.table.count() >= before, "crunching never drops items");
    fuzz::requireFindable(scan, before + 1);

    static int inputs = 0;
    if (++inputs % resetEvery() == 0)
        checkAndStartAfresh(p);
    return 0;
}
