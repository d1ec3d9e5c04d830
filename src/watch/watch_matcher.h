#pragma once

#include "watch/watch_entry.h"

#include <QByteArrayView>

#include <array>
#include <cstdint>
#include <utility>
#include <vector>

// The watch list's entries prepared for matching many headers. Each kind of test (action and
// field) holds one automaton over all phrases of its entries, so a text is read once whatever
// the number of phrases; the entries are then judged by which phrases were found. Matching
// allocates nothing.
class WatchMatcher {
public:
    void build(const QList<WatchEntry>& entries);

    // Whether an entry with this action testing this field matches the text followed by `tail`.
    // An entry matches a text that holds each of its must phrases and none of its must-not
    // phrases; nothing matches an empty text.
    [[nodiscard]] bool matches(
        WatchAction action, WatchField field, QByteArrayView text, QByteArrayView tail = {}) const;

private:
    // Phrases are found without regard to case; a found match-case phrase is then compared as
    // it was typed.
    struct Phrase {
        QByteArray text; // in capitals
        QByteArray exact; // as typed, for a match-case phrase; else empty
        std::uint32_t id = 0;
    };
    // Aho-Corasick automaton as a full transition table over byte classes. A transition holds
    // the next state's row offset, with its top bit set when phrases end there; small tables
    // take 16 bits a transition, so more of them stay in the cache.
    struct Automaton {
        std::array<std::uint16_t, 256> byteClass {};
        std::uint32_t classes = 1;
        std::vector<std::uint16_t> next16;
        std::vector<std::uint32_t> next32;
        std::vector<std::uint32_t> outStart; // per state, into outs; one more than states
        std::vector<std::uint32_t> outs; // indexes into phrases of those that end at a state
        std::vector<Phrase> phrases;
    };
    struct Rule {
        std::uint32_t mustBegin = 0, mustEnd = 0; // into m_ids
        std::uint32_t notBegin = 0, notEnd = 0;
        bool never = false; // holds a must-not phrase "-": every non-empty text contains it
    };
    struct Kind {
        Automaton automaton;
        std::vector<Rule> rules;
        bool everyRuleNeedsAPhrase = true; // so a text without any phrase matches nothing
    };

    static void buildAutomaton(Automaton& a);
    template <class T>
    void scan(const Automaton& a, const std::vector<T>& next, QByteArrayView text, QByteArrayView tail) const;
    void found(const Automaton& a, std::uint32_t state, qsizetype end, QByteArrayView text, QByteArrayView tail) const;
    [[nodiscard]] static int kindIndex(WatchAction action, WatchField field)
    {
        return static_cast<int>(action) * 2 + static_cast<int>(field);
    }

    std::array<Kind, 4> m_kinds;
    std::vector<std::uint32_t> m_ids;
    // Per phrase id, the pass in which it was last found; a new pass needs no clearing.
    mutable std::vector<std::uint32_t> m_seen;
    mutable std::uint32_t m_pass = 0;
    mutable bool m_anyFound = false;
};
