// Whatever NZB parses is written back and read again as the same document, and writing that gives the
// same bytes: nothing the reader keeps can be lost or changed by the writer.
#include "fuzz_support.h"

#include "batch/nzb.h"

#include <QBuffer>

namespace {

using fuzz::require;

// Small bounds keep every input to milliseconds; the bounds themselves are reached all the same.
constexpr NzbLimits kLimits { 1024 * 1024, 20000 };

NzbReadResult read(const QByteArray& bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return readNzb(buffer, kLimits);
}

QByteArray write(const NzbDocument& doc)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    require(writeNzb(buffer, doc), "a document can be written to memory");
    return buffer.data();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const NzbReadResult first = read(QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    require(first.document.has_value() == first.error.isEmpty(), "a document or an error, never both");
    if (!first.document)
        return 0;
    for (const NzbFile& file : first.document->files) {
        require(!file.segments.empty(), "every file has segments");
        for (size_t i = 0; i < file.segments.size(); ++i) {
            require(file.segments[i].number >= 1 && !file.segments[i].messageId.isEmpty(), "only usable segments");
            require(i == 0 || file.segments[i - 1].number < file.segments[i].number, "segments by number, once each");
        }
    }
    const QByteArray written = write(*first.document);
    const NzbReadResult second = read(written);
    if (!second.document)
        std::fprintf(stderr, "%s\n", qPrintable(second.error));
    require(second.document.has_value(), "what we write reads back");
    require(*second.document == *first.document, "what we write reads back the same");
    require(write(*second.document) == written, "writing it again gives the same bytes");
    return 0;
}
