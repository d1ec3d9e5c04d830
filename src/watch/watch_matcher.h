#pragma once

#include "watch/watch_entry.h"

#include <QByteArrayView>

#include <array>
#include <cstdint>
#include <utility>
#include <vector>

// The watch list's entries prepared for matching many headers. Each kind of test (action and
// field) holds an automaton over all phrases of its entries, one for exact and one for folded
// letters, so a text is read once whatever the number of phrases; the entries are then judged
// by which phrases were found. Matching allocates nothing.
class WatchMatcher {
public:
    void build(const QList<WatchEntry>& entries);

    // Whether an entry with this action testing this field matches the text followed by `tail`.
    // An entry matches a text that holds each of its must phrases and none of its must-not
    // phrases; nothing matches an empty text.
    [[nodiscard]] bool matches(
        WatchAction action, WatchField field, QByteArrayView text, QByteArrayView tail = {}) const;

private:
    // Aho-Corasick automaton as a full transition table over byte classes.
    struct Automaton {
        std::array<std::uint16_t, 256> byteClass {};
        int classes = 1;
        std::vector<std::uint32_t> next; // state * classes + class
        std::vector<std::uint32_t> outStart; // per state, into outIds; one more than states
        std::vector<std::uint32_t> outIds; // phrase ids found on reaching a state
        [[nodiscard]] bool empty() const { return outIds.empty(); }
    };
    struct Rule {
        std::uint32_t mustBegin = 0, mustEnd = 0; // into m_ids
        std::uint32_t notBegin = 0, notEnd = 0;
        bool never = false; // holds a must-not phrase "-": every non-empty text contains it
    };
    struct Kind {
        Automaton exact, folded;
        std::vector<Rule> rules;
    };

    // phrases: (text, phrase id); folded texts are in capitals.
    static void buildAutomaton(
        Automaton& a, const std::vector<std::pair<QByteArray, std::uint32_t>>& phrases, bool fold);
    void scan(const Automaton& a, QByteArrayView text, QByteArrayView tail) const;
    [[nodiscard]] static int kindIndex(WatchAction action, WatchField field)
    {
        return static_cast<int>(action) * 2 + static_cast<int>(field);
    }

    std::array<Kind, 4> m_kinds;
    std::vector<std::uint32_t> m_ids;
    // Per phrase id, the pass in which it was last found; a new pass needs no clearing.
    mutable std::vector<std::uint32_t> m_seen;
    mutable std::uint32_t m_pass = 0;
};
