#include "fuzz_support.h"

#include "headers/header_file.h"
#include "headers/header_store.h"

// The input is a header file. Whatever it holds, reading it stays inside it, the program's loader
// keeps exactly what the reader read and can find every live item again, and writing what was
// read then reading that back gives the same items.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using fuzz::require;
    fuzz::Program& p = fuzz::Program::instance();
    p.writeHeaderFile(QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));

    ItemTable table;
    fuzz::readAll(p.headerPath(), table);

    // Streamed through a small window the reader sees the same records, and stepping over them
    // gets exactly as far as reading them.
    for (const qint64 chunk : { qint64(1), qint64(61) }) {
        ItemTable streamed;
        twb::RecordReader stream(p.headerPath(), twb::RecordReader::Access::Stream, chunk);
        while (stream.readNext(streamed))
            require(stream.position() <= stream.fileSize(), "the streamed reader stays inside the file");
        require(streamed.count() == table.count(), "streaming reads what mapping reads");
        for (int slot = 1; slot <= table.count(); ++slot)
            require(fuzz::sameRecord(streamed.record(slot), table.record(slot)), "streaming reads each item alike");
        ItemTable none;
        twb::RecordReader skipping(p.headerPath(), twb::RecordReader::Access::Stream, chunk);
        while (skipping.readNextMatching(none, [](QByteArrayView) { return false; })) { }
        require(none.count() == 0 && skipping.recordsRead() == table.count(), "stepping over records gets as far");
        require(skipping.status() == stream.status(), "stepping over records finds the same damage");
    }

    p.ctx.headers.GNload(p.key);
    const ScanTable& scan = p.ctx.scan;
    require(scan.table.count() == table.count(), "the loader keeps what the reader read");
    for (int slot = 1; slot <= table.count(); ++slot) {
        ItemRecord read = table.record(slot);
        ItemRecord loaded = scan.table.record(slot);
        read.groupKey = p.key; // the loader files items under the group they were loaded for
        // Any non-zero flag in the file means deleted; the loader may spell it its own way.
        read.deleted = read.deleted != 0 ? -1 : 0;
        loaded.deleted = loaded.deleted != 0 ? -1 : 0;
        require(fuzz::sameRecord(loaded, read), "the loader keeps each item as read");
    }
    fuzz::requireFindable(scan, 1);
    int deleted = 0;
    for (int slot = 1; slot <= scan.table.count(); ++slot)
        deleted += scan.table.item(slot).isDeleted() ? 1 : 0;
    require(scan.freeSlotCount() == deleted, "every deleted item is a free slot for new ones");

    fuzz::requireRoundTrip(table, p);
    // Nothing outlives the input, so libFuzzer's leak check never has to run it twice.
    p.ctx.scan.reset();
    return 0;
}
