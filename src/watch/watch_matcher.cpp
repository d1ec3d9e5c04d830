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
    // Each distinct phrase of a kind once: its text as typed, and whether its case counts.
    std::array<QHash<QPair<QByteArray, bool>, std::uint32_t>, 4> known;
    std::uint32_t ids = 0;
    for (const WatchEntry& e : entries) {
        Kind& kind = m_kinds[static_cast<size_t>(kindIndex(e.action, e.where))];
        auto& knownHere = known[static_cast<size_t>(kindIndex(e.action, e.where))];
        Rule rule;
        std::vector<std::uint32_t> must, mustNot;
        for (const QByteArray& p : e.phrases) {
            const bool negative = p.startsWith('-');
            const QByteArray text = negative ? p.mid(1) : p;
            if (text.isEmpty()) {
                // An empty text is in every non-empty one.
                rule.never = rule.never || negative;
                continue;
            }
            // Without match case, phrases differing only in case are one phrase.
            QByteArray upper;
            ascii::upperInto(text, upper);
            const QPair<QByteArray, bool> key(e.matchCase ? text : upper, e.matchCase);
            auto it = knownHere.constFind(key);
            if (it == knownHere.cend()) {
                it = knownHere.insert(key, ids);
                kind.automaton.phrases.push_back({ upper, e.matchCase ? text : QByteArray(), ids++ });
            }
            (negative ? mustNot : must).push_back(*it);
        }
        rule.mustBegin = static_cast<std::uint32_t>(m_ids.size());
        m_ids.insert(m_ids.end(), must.begin(), must.end());
        rule.mustEnd = rule.notBegin = static_cast<std::uint32_t>(m_ids.size());
        m_ids.insert(m_ids.end(), mustNot.begin(), mustNot.end());
        rule.notEnd = static_cast<std::uint32_t>(m_ids.size());
        kind.everyRuleNeedsAPhrase = kind.everyRuleNeedsAPhrase && (rule.never || !must.empty());
        kind.rules.push_back(rule);
    }
    for (Kind& kind : m_kinds)
        buildAutomaton(kind.automaton);
    m_seen.assign(ids, 0);
    m_pass = 0;
}

void WatchMatcher::buildAutomaton(Automaton& a)
{
    if (a.phrases.empty())
        return;
    // Bytes no phrase holds share class 0; a small letter shares its capital's class.
    a.byteClass.fill(0);
    qsizetype bytes = 0;
    for (const Phrase& p : a.phrases) {
        bytes += p.text.size();
        for (char c : p.text) {
            auto& cls = a.byteClass[static_cast<unsigned char>(c)];
            if (cls == 0)
                cls = static_cast<std::uint16_t>(a.classes++);
        }
    }
    for (char c = 'a'; c <= 'z'; ++c)
        a.byteClass[static_cast<unsigned char>(c)] = a.byteClass[static_cast<unsigned char>(ascii::upper(c))];
    const size_t classes = a.classes;
    std::vector<std::uint32_t> next((static_cast<size_t>(bytes) + 1) * classes, kNone);
    std::vector<std::vector<std::uint32_t>> ends(1);
    std::uint32_t states = 1;
    for (size_t i = 0; i < a.phrases.size(); ++i) {
        std::uint32_t s = 0;
        for (char c : a.phrases[i].text) {
            std::uint32_t& t = next[s * classes + a.byteClass[static_cast<unsigned char>(c)]];
            if (t == kNone) {
                t = states++;
                ends.emplace_back();
            }
            s = t;
        }
        ends[s].push_back(static_cast<std::uint32_t>(i));
    }
    next.resize(states * classes);

    // Breadth first, so a state's fallback is complete before the state itself.
    std::vector<std::uint32_t> fail(states, 0);
    std::vector<std::uint32_t> order;
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
        const std::vector<std::uint32_t>& inherited = ends[fail[s]];
        ends[s].insert(ends[s].end(), inherited.begin(), inherited.end());
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
    a.outStart.reserve(states + 1);
    for (std::uint32_t s = 0; s < states; ++s) {
        a.outStart.push_back(static_cast<std::uint32_t>(a.outs.size()));
        a.outs.insert(a.outs.end(), ends[s].begin(), ends[s].end());
    }
    a.outStart.push_back(static_cast<std::uint32_t>(a.outs.size()));
    // Transitions name the row of the next state, so a step is one add and one load.
    const bool small = next.size() < 0x8000;
    const std::uint32_t found = small ? 0x8000u : 0x80000000u;
    for (std::uint32_t& t : next)
        t = static_cast<std::uint32_t>(t * classes) | (ends[t].empty() ? 0 : found);
    if (small)
        a.next16.assign(next.begin(), next.end());
    else
        a.next32 = std::move(next);
}

void WatchMatcher::found(
    const Automaton& a, std::uint32_t row, qsizetype end, QByteArrayView text, QByteArrayView tail) const
{
    const std::uint32_t state = row / a.classes;
    for (std::uint32_t i = a.outStart[state]; i < a.outStart[state + 1]; ++i) {
        const Phrase& p = a.phrases[a.outs[i]];
        if (!p.exact.isEmpty()) {
            // The bytes ending at `end` spell the phrase when its case is ignored; compare them as typed.
            const qsizetype start = end - p.exact.size() + 1;
            bool same = true;
            for (qsizetype k = 0; same && k < p.exact.size(); ++k) {
                const qsizetype at = start + k;
                same = (at < text.size() ? text[at] : tail[at - text.size()]) == p.exact[k];
            }
            if (!same)
                continue;
        }
        m_seen[p.id] = m_pass;
        m_anyFound = true;
    }
}

template <class T>
void WatchMatcher::scan(const Automaton& a, const std::vector<T>& table, QByteArrayView text, QByteArrayView tail) const
{
    constexpr T kFound = T(1) << (sizeof(T) * 8 - 1);
    const T* next = table.data();
    const std::uint16_t* byteClass = a.byteClass.data();
    T s = 0;
    qsizetype at = 0;
    for (QByteArrayView part : { text, tail }) {
        for (char c : part) {
            s = next[(s & ~kFound) + byteClass[static_cast<unsigned char>(c)]];
            if (s & kFound) [[unlikely]]
                found(a, s & ~kFound, at, text, tail);
            ++at;
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
    m_anyFound = false;
    const Automaton& a = kind.automaton;
    if (!a.next16.empty())
        scan(a, a.next16, text, tail);
    else if (!a.next32.empty())
        scan(a, a.next32, text, tail);
    if (!m_anyFound && kind.everyRuleNeedsAPhrase)
        return false;
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
