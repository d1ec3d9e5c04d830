#include "fuzz_support.h"

#include "app/ascii_case.h"
#include "watch/filters_file.h"
#include "watch/watch_matcher.h"

namespace {

QByteArray folded(QByteArrayView text)
{
    QByteArray out;
    ascii::upperInto(text, out);
    return out;
}

// The matching rule read straight: every must phrase in the text, no must-not phrase.
bool plainMatch(const WatchEntry& e, QByteArrayView text)
{
    if (text.isEmpty())
        return false;
    const QByteArray t = e.matchCase ? text.toByteArray() : folded(text);
    for (const QByteArray& phrase : e.phrases) {
        const bool negative = phrase.startsWith('-');
        const QByteArrayView p = negative ? QByteArrayView(phrase).sliced(1) : QByteArrayView(phrase);
        if (t.contains(e.matchCase ? p.toByteArray() : folded(p)) == negative)
            return false;
    }
    return true;
}

} // namespace

// The input is a "filters.txt". What loads is saved and loads again the same; a file cut at any
// line end loads only entries the whole file has, in its order; and the prepared matcher agrees
// with plain substring searches on the file's own lines.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using fuzz::require;
    const QByteArrayView file(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const filters::ReadResult read = filters::parse(file);
    for (const WatchEntry& e : read.entries) {
        require(std::any_of(e.phrases.cbegin(), e.phrases.cend(), [](const QByteArray& p) { return !p.isEmpty(); }),
            "no entry without a phrase, which would match everything");
        for (const QByteArray& p : e.phrases)
            require(!p.contains('\n'), "a phrase is one line");
    }
    const filters::ReadResult again = filters::parse(filters::serialize(read.entries));
    require(again.error.isEmpty() && again.entries == read.entries, "a saved table loads as it was");

    int cuts = 0;
    for (qsizetype end = file.indexOf('\n'); end >= 0 && cuts < 32; end = file.indexOf('\n', end + 1), ++cuts) {
        const QList<WatchEntry> part = filters::parse(file.first(end + 1)).entries;
        require(part.size() <= read.entries.size() && part == read.entries.first(part.size()),
            "a cut file loads only whole entries of the file");
    }

    WatchMatcher matcher;
    matcher.build(read.entries);
    qsizetype pos = 0;
    for (int line = 0; line < 8 && pos <= file.size(); ++line) {
        qsizetype end = file.indexOf('\n', pos);
        if (end < 0)
            end = file.size();
        const QByteArrayView text = file.sliced(pos, end - pos);
        for (WatchAction action : { WatchAction::AddToBatch, WatchAction::Kill }) {
            for (WatchField field : { WatchField::Subject, WatchField::From }) {
                bool expected = false;
                for (const WatchEntry& e : read.entries)
                    expected = expected || (e.action == action && e.where == field && plainMatch(e, text));
                require(matcher.matches(action, field, text) == expected, "the matcher finds what plain searches find");
            }
        }
        pos = end + 1;
    }
    return 0;
}
