#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "keyword_text.h"

namespace vela {

// Which of many keywords a text holds, found in one pass (Aho-Corasick over
// keyword units): one step per unit of the text plus one per occurrence, however
// many keywords there are.
class KeywordAutomaton {
public:
    // Adds a needle (folded units, not empty); returns its number, counted from 0.
    std::size_t Add(const KeywordUnits& needle);
    // Prepares the search once every needle is added.
    void Build();
    bool Empty() const { return needles_ == 0; }

    // Calls found(number) for each occurrence of a needle in the `size` units at
    // `text`, in the order their ends appear; stops when found returns false.
    template <class Found>
    void Scan(const KeywordUnit* text, std::size_t size, Found&& found) const {
        if (needles_ == 0) return;
        std::uint32_t state = 0;
        for (std::size_t i = 0; i < size; ++i) {
            state = Next(state, text[i]);
            for (std::uint32_t s = states_[state].outputBegin != states_[state].outputEnd
                                       ? state
                                       : states_[state].dictionary;
                 s != kNone; s = states_[s].dictionary) {
                for (std::uint32_t k = states_[s].outputBegin; k < states_[s].outputEnd; ++k) {
                    if (!found(static_cast<std::size_t>(outputs_[k]))) return;
                }
            }
        }
    }

private:
    static constexpr std::uint32_t kNone = 0xFFFFFFFF;

    struct State {
        std::uint32_t fail = 0;
        std::uint32_t dictionary = kNone;  // the nearest state down the fail links with outputs
        std::uint32_t edgeBegin = 0, edgeEnd = 0;      // into edges_, sorted by unit
        std::uint32_t outputBegin = 0, outputEnd = 0;  // into outputs_
    };

    std::uint32_t Child(std::uint32_t state, KeywordUnit unit) const;
    std::uint32_t Next(std::uint32_t state, KeywordUnit unit) const {
        for (;;) {
            if (state == 0) {
                if (static_cast<std::size_t>(unit) < rootAscii_.size()) return rootAscii_[unit];
                const std::uint32_t child = Child(0, unit);
                return child == kNone ? 0 : child;
            }
            const std::uint32_t child = Child(state, unit);
            if (child != kNone) return child;
            state = states_[state].fail;
        }
    }

    std::size_t needles_ = 0;
    // While needles are added: the trie's edges and the needles ending at each state.
    std::vector<std::vector<std::pair<KeywordUnit, std::uint32_t>>> building_{1};
    std::vector<std::vector<std::uint32_t>> ending_{1};
    // Once built.
    std::vector<State> states_;
    std::vector<std::pair<KeywordUnit, std::uint32_t>> edges_;
    std::vector<std::uint32_t> outputs_;
    std::array<std::uint32_t, 128> rootAscii_{};  // the root's step on an ASCII unit
};

}  // namespace vela
