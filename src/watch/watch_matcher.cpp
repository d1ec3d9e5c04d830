#include "watch/watch_matcher.h"

#include "app/ascii_case.h"

#include <QHash>

#include <deque>

namespace {
constexpr std::uint32_t kNone = 0xffffffffu;
} // namespace

void WatchMatcher::build(const QList<WatchEntry>& entries)
{
    m_kinds = {};
    m_ids.clear();
    // Phrases by kind and case class, each distinct text once.
    std::array<std::vector<std::pair<QByteArray, std::uint32_t>>, 8> phrases;
    std::array<QHash<QByteArray, std::uint32_t>, 8> known;
    std::uint32_t ids = 0;
    for (const WatchEntry& e : entries) {
        const int k = kindIndex(e.action, e.where);
        Rule rule;
        std::vector<std::uint32_t> must, mustNot;
        for (const QByteArray& p : e.phrases) {
            const bool negative = p.startsWith('-');
            const QByteArray raw = negative ? p.mid(1) : p;
            if (raw.isEmpty()) {
                // An empty text is in every non-empty one.
                rule.never = rule.never || negative;
                continue;
            }
            QByteArray text = raw;
            if (!e.matchCase)
                ascii::upperInto(raw, text);
            const int set = k * 2 + (e.matchCase ? 0 : 1);
            auto found = known[set].constFind(text);
            if (found == known[set].cend()) {
                found = known[set].insert(text, ids);
                phrases[set].emplace_back(text, ids++);
            }
            (negative ? mustNot : must).push_back(*found);
        }
        rule.mustBegin = static_cast<std::uint32_t>(m_ids.size());
        m_ids.insert(m_ids.end(), must.begin(), must.end());
        rule.mustEnd = rule.notBegin = static_cast<std::uint32_t>(m_ids.size());
        m_ids.insert(m_ids.end(), mustNot.begin(), mustNot.end());
        rule.notEnd = static_cast<std::uint32_t>(m_ids.size());
        m_kinds[static_cast<size_t>(k)].rules.push_back(rule);
    }
    for (size_t k = 0; k < m_kinds.size(); ++k) {
        buildAutomaton(m_kinds[k].exact, phrases[k * 2], false);
        buildAutomaton(m_kinds[k].folded, phrases[k * 2 + 1], true);
    }
    m_seen.assign(ids, 0);
    m_pass = 0;
}

void WatchMatcher::buildAutomaton(
    Automaton& a, const std::vector<std::pair<QByteArray, std::uint32_t>>& phrases, bool fold)
{
    a = Automaton();
    if (phrases.empty())
        return;
    // Bytes no phrase holds share class 0; folded letters share their capital's class.
    a.byteClass.fill(0);
    qsizetype bytes = 0;
    for (const auto& [text, id] : phrases) {
        bytes += text.size();
        for (char c : text) {
            auto& cls = a.byteClass[static_cast<unsigned char>(c)];
            if (cls == 0)
                cls = static_cast<std::uint16_t>(a.classes++);
        }
    }
    if (fold) {
        for (char c = 'a'; c <= 'z'; ++c)
            a.byteClass[static_cast<unsigned char>(c)] = a.byteClass[static_cast<unsigned char>(ascii::upper(c))];
    }
    const auto classes = static_cast<size_t>(a.classes);
    std::vector<std::uint32_t> next((static_cast<size_t>(bytes) + 1) * classes, kNone);
    std::vector<std::vector<std::uint32_t>> found(1);
    std::uint32_t states = 1;
    for (const auto& [text, id] : phrases) {
        std::uint32_t s = 0;
        for (char c : text) {
            std::uint32_t& t = next[s * classes + a.byteClass[static_cast<unsigned char>(c)]];
            if (t == kNone) {
                t = states++;
                found.emplace_back();
            }
            s = t;
        }
        found[s].push_back(id);
    }
    next.resize(states * classes);

    // Breadth first, so a state's fallback is complete before the state itself.
    std::vector<std::uint32_t> fail(states, 0);
    std::deque<std::uint32_t> queue;
    for (size_t c = 0; c < classes; ++c) {
        std::uint32_t& t = next[c];
        if (t == kNone)
            t = 0;
        else
            queue.push_back(t);
    }
    while (!queue.empty()) {
        const std::uint32_t s = queue.front();
        queue.pop_front();
        const std::vector<std::uint32_t>& inherited = found[fail[s]];
        found[s].insert(found[s].end(), inherited.begin(), inherited.end());
        for (size_t c = 0; c < classes; ++c) {
            std::uint32_t& t = next[s * classes + c];
            const std::uint32_t viaFail = next[fail[s] * classes + c];
            if (t == kNone) {
                t = viaFail;
            } else {
                fail[t] = viaFail;
                queue.push_back(t);
            }
        }
    }
    a.next = std::move(next);
    a.outStart.reserve(states + 1);
    for (std::uint32_t s = 0; s < states; ++s) {
        a.outStart.push_back(static_cast<std::uint32_t>(a.outIds.size()));
        a.outIds.insert(a.outIds.end(), found[s].begin(), found[s].end());
    }
    a.outStart.push_back(static_cast<std::uint32_t>(a.outIds.size()));
}

void WatchMatcher::scan(const Automaton& a, QByteArrayView text, QByteArrayView tail) const
{
    const auto classes = static_cast<std::uint32_t>(a.classes);
    const std::uint32_t* next = a.next.data();
    const std::uint32_t* outStart = a.outStart.data();
    std::uint32_t s = 0;
    for (QByteArrayView part : { text, tail }) {
        for (char c : part) {
            s = next[s * classes + a.byteClass[static_cast<unsigned char>(c)]];
            for (std::uint32_t i = outStart[s]; i < outStart[s + 1]; ++i)
                m_seen[a.outIds[i]] = m_pass;
        }
    }
}

bool WatchMatcher::matches(WatchAction action, WatchField field, QByteArrayView text, QByteArrayView tail) const
{
    const Kind& kind = m_kinds[static_cast<size_t>(kindIndex(action, field))];
    if (kind.rules.empty() || (text.isEmpty() && tail.isEmpty()))
        return false;
    if (++m_pass == 0) {
        std::fill(m_seen.begin(), m_seen.end(), 0);
        m_pass = 1;
    }
    if (!kind.exact.empty())
        scan(kind.exact, text, tail);
    if (!kind.folded.empty())
        scan(kind.folded, text, tail);
    for (const Rule& r : kind.rules) {
        if (r.never)
            continue;
        bool ok = true;
        for (std::uint32_t i = r.mustBegin; ok && i < r.mustEnd; ++i)
            ok = m_seen[m_ids[i]] == m_pass;
        for (std::uint32_t i = r.notBegin; ok && i < r.notEnd; ++i)
            ok = m_seen[m_ids[i]] != m_pass;
        if (ok)
            return true;
    }
    return false;
}
