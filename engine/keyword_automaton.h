#pragma once

#include <array>
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <string_view>
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

    // Calls found(number) for each occurrence of a needle in the folded units of
    // `gbk` (FoldedUnitAt), in the order their ends appear; stops when found
    // returns false. The units scanned are written to `units` (room for one per
    // byte of `gbk`); returns how many.
    template <class Found>
    std::size_t Scan(std::string_view gbk, KeywordUnit* units, Found&& found) const {
        const auto* const bytes = reinterpret_cast<const unsigned char*>(gbk.data());
        const std::size_t size = gbk.size();
        std::size_t count = 0, pos = 0;
        // FoldedUnitAt, written out so that the position stays in a register.
        const auto next = [&] {
            KeywordUnit unit;
            if (bytes[pos] < 0x80 || pos + 1 >= size) {
                unit = FoldedSingle(bytes[pos]);
                pos += 1;
            } else {
                unit = FoldedDouble(bytes[pos], bytes[pos + 1]);
                pos += 2;
            }
            units[count++] = unit;
            return unit;
        };
        if (delta_.empty()) {
            for (std::uint32_t state = 0; pos < size;) {
                state = Next(state, next());
                if (emits_[state] && !Report(state, found)) break;
            }
            return count;
        }
        for (std::uint32_t row = 0; pos < size;) {
            std::uint32_t step;
            if (row == 0) {
                // Most units leave the root where it is, and those steps do not
                // wait for one another: run through them.
                do {
                    step = delta_[ClassOf(next())];
                } while (step == 0 && pos < size);
            } else {
                step = delta_[row + ClassOf(next())];
            }
            row = step & ~kEmits;
            if ((step & kEmits) != 0 && !Report(row >> classShift_, found)) break;
        }
        return count;
    }

private:
    static constexpr std::uint32_t kNone = 0xFFFFFFFF;
    static constexpr std::uint32_t kEmits = 0x80000000;  // in delta_: some needle ends there

    // Calls found for each needle that ends at `state`; false when it said stop.
    template <class Found>
    bool Report(std::uint32_t state, Found& found) const {
        for (std::uint32_t s = states_[state].outputBegin != states_[state].outputEnd
                                   ? state
                                   : states_[state].dictionary;
             s != kNone; s = states_[s].dictionary) {
            for (std::uint32_t k = states_[s].outputBegin; k < states_[s].outputEnd; ++k) {
                if (!found(static_cast<std::size_t>(outputs_[k]))) return false;
            }
        }
        return true;
    }

    struct State {
        std::uint32_t fail = 0;
        std::uint32_t dictionary = kNone;  // the nearest state down the fail links with outputs
        std::uint32_t edgeBegin = 0, edgeEnd = 0;      // into edges_, sorted by unit
        std::uint32_t outputBegin = 0, outputEnd = 0;  // into outputs_
    };

    std::uint32_t Child(std::uint32_t state, KeywordUnit unit) const;
    void BuildTable();
    // The class of a unit in the table: each unit some needle holds has its own,
    // every other unit is class 0.
    std::uint32_t ClassOf(KeywordUnit unit) const {
        const auto u = static_cast<std::size_t>(unit);
        if (u < singleClass_.size()) return singleClass_[u];
        const std::uint32_t block = leadBlock_[(u >> 8) & 0xFF];
        return block == 0 ? 0 : blockClass_[(block - 1) * 256 + (u & 0xFF)];
    }
    std::uint32_t Next(std::uint32_t state, KeywordUnit unit) const {
        for (;;) {
            if (state == 0) {
                // Most characters of a title start no needle: a table or one bit says so.
                const auto u = static_cast<std::size_t>(unit);
                if (u < rootSingle_.size()) return rootSingle_[u];
                if (!rootLeads_[(u >> 8) & 0xFF]) return 0;
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
    std::array<std::uint32_t, 256> rootSingle_{};  // the root's step on a one-byte unit
    std::bitset<256> rootLeads_;       // the lead bytes of double-byte units the root has a step on
    std::vector<std::uint8_t> emits_;  // by state: some needle ends there
    // Every step in one table, where it is not too big: one look-up per unit.
    // Entry state * classes_ + class holds the next state's row (its number times
    // classes_), with kEmits where a needle ends. Rows are a power of two long, so
    // that a row gives its state by a shift. Otherwise the steps follow the
    // fail links.
    std::vector<std::uint32_t> delta_;
    std::uint32_t classes_ = 0;  // a power of two, 1 << classShift_
    std::uint32_t classShift_ = 0;
    std::array<std::uint32_t, 256> singleClass_{};
    std::array<std::uint32_t, 256> leadBlock_{};  // 1 + the block of a lead byte's classes, or 0
    std::vector<std::uint32_t> blockClass_;
};

}  // namespace vela
