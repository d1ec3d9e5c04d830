#include "fuzz_support.h"

#include "groups/host_group_list.h"
#include "nntp/reply_reader.h"

#include <vector>

namespace {

using fuzz::require;

bool allDigits(QByteArrayView text)
{
    return !text.isEmpty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Every indexed group is a well-formed group line of the text, in text order.
void requireGroupLines(const HostGroupList& list)
{
    qsizetype previous = -1;
    for (qsizetype i = 0; i < list.size(); ++i) {
        const HostGroup& g = list.at(i);
        require(g.name > previous, "groups come in text order");
        previous = g.name;
        const QByteArrayView name = list.name(i);
        require(!name.isEmpty(), "a group has a name");
        for (char c : name) {
            const auto u = static_cast<unsigned char>(c);
            require(u > 0x20 && u != 0x7f, "a name holds no blank or control character");
        }
        require(g.highFrom > g.nameLength && g.lowFrom > g.highFrom, "the numbers follow the name");
        require(allDigits(list.highText(i)) && allDigits(list.lowText(i)), "the numbers are digits as written");
        require(list.highText(i).toByteArray().toLongLong() == g.high, "the high number reads as written");
        require(list.lowText(i).toByteArray().toLongLong() == g.low, "the low number reads as written");
    }
}

// A search finds exactly the names a look at every one of them finds.
void requireSearch(const HostGroupList& list, QByteArrayView query)
{
    for (HostSearchType type : { HostSearchType::StartsWith, HostSearchType::Contains }) {
        std::vector<quint32> expected;
        for (qsizetype i = 0; i < list.size(); ++i) {
            const qsizetype end = list.at(i).name + list.at(i).nameLength;
            const bool blank = end < list.text().size() && list.text().at(end) == ' ';
            const QByteArrayView part
                = QByteArrayView(list.text()).sliced(list.at(i).name, list.at(i).nameLength + blank);
            if (query.isEmpty() || (type == HostSearchType::StartsWith ? part.startsWith(query) : part.contains(query)))
                expected.push_back(static_cast<quint32>(i));
        }
        require(list.search(query, type) == expected, "the search agrees with a look at every name");
    }
}

} // namespace

// The input is a HOSTGRPS.TXT and, as a body, a LIST reply. Indexing keeps only well-formed group
// lines, searches agree with a plain look at each name, and a body stored as received frames
// back to itself however its reads fall.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    HostGroupList list;
    list.setText(input);
    requireGroupLines(list);
    requireSearch(list, QByteArrayView(input).first(std::min<qsizetype>(input.size(), 3)));
    if (list.size() > 0) {
        const QByteArrayView name = list.name(list.size() / 2);
        requireSearch(list, name.first(std::min<qsizetype>(name.size(), 1 + static_cast<qsizetype>(size % 6))));
        requireSearch(list, name.toByteArray() + ' ');
    }

    QByteArray body = input;
    if (!body.isEmpty() && !body.endsWith('\n'))
        body += "\r\n";
    const QByteArray wire = listReplyBytes("215 list", body);
    ReplyReader reader;
    const qsizetype split = size > 0 ? data[0] % (wire.size() + 1) : 0;
    const auto multiLine = [](int code) { return isMultiLineCode(code); };
    reader.append(QByteArrayView(wire).first(split));
    std::optional<Reply> reply = reader.next(multiLine);
    require(!reply || split == wire.size(), "no reply before its terminator");
    reader.append(QByteArrayView(wire).sliced(split));
    if (!reply)
        reply = reader.next(multiLine);
    require(reply && reply->multiLine && reply->statusLine == "215 list", "the stored reply frames as a LIST reply");
    require(reply->body == body, "the body frames back as it was");
    require(reader.pending().isEmpty(), "nothing follows the terminator");
    HostGroupList stored;
    stored.setText(wire);
    requireGroupLines(stored);
    return 0;
}
