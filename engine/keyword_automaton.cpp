#include "keyword_automaton.h"

#include <algorithm>

namespace vela {

std::size_t KeywordAutomaton::Add(const KeywordUnits& needle) {
    std::uint32_t state = 0;
    for (const KeywordUnit unit : needle) {
        auto& edges = building_[state];
        const auto edge = std::find_if(edges.begin(), edges.end(),
                                       [unit](const auto& e) { return e.first == unit; });
        if (edge != edges.end()) {
            state = edge->second;
            continue;
        }
        const auto child = static_cast<std::uint32_t>(building_.size());
        edges.emplace_back(unit, child);
        building_.emplace_back();
        ending_.emplace_back();
        state = child;
    }
    ending_[state].push_back(static_cast<std::uint32_t>(needles_));
    return needles_++;
}

std::uint32_t KeywordAutomaton::Child(std::uint32_t state, KeywordUnit unit) const {
    const auto begin = edges_.begin() + states_[state].edgeBegin;
    const auto end = edges_.begin() + states_[state].edgeEnd;
    const auto edge = std::lower_bound(begin, end, unit,
                                       [](const auto& e, KeywordUnit u) { return e.first < u; });
    return edge != end && edge->first == unit ? edge->second : kNone;
}

void KeywordAutomaton::Build() {
    const std::size_t count = building_.size();
    states_.assign(count, State{});
    edges_.clear();
    outputs_.clear();
    for (std::size_t s = 0; s < count; ++s) {
        auto& edges = building_[s];
        std::sort(edges.begin(), edges.end());
        states_[s].edgeBegin = static_cast<std::uint32_t>(edges_.size());
        edges_.insert(edges_.end(), edges.begin(), edges.end());
        states_[s].edgeEnd = static_cast<std::uint32_t>(edges_.size());
        states_[s].outputBegin = static_cast<std::uint32_t>(outputs_.size());
        outputs_.insert(outputs_.end(), ending_[s].begin(), ending_[s].end());
        states_[s].outputEnd = static_cast<std::uint32_t>(outputs_.size());
    }
    rootSingle_.fill(0);
    rootLeads_.reset();
    for (const auto& [unit, child] : building_[0]) {
        const auto u = static_cast<std::size_t>(unit);
        if (u < rootSingle_.size()) {
            rootSingle_[u] = child;
        } else {
            rootLeads_.set((u >> 8) & 0xFF);
        }
    }
    // Fail links breadth first: a state's link is known before its children's.
    std::vector<std::uint32_t> queue;
    queue.reserve(count);
    for (const auto& edge : building_[0]) queue.push_back(edge.second);
    for (std::size_t head = 0; head < queue.size(); ++head) {
        const std::uint32_t state = queue[head];
        const std::uint32_t fail = states_[state].fail;
        states_[state].dictionary =
            states_[fail].outputBegin != states_[fail].outputEnd ? fail : states_[fail].dictionary;
        for (const auto& [unit, child] : building_[state]) {
            states_[child].fail = Next(fail, unit);
            queue.push_back(child);
        }
    }
    emits_.assign(count, 0);
    for (std::size_t state = 0; state < count; ++state) {
        emits_[state] = states_[state].outputBegin != states_[state].outputEnd ||
                        states_[state].dictionary != kNone;
    }
    BuildTable();
    building_.clear();
    building_.shrink_to_fit();
    ending_.clear();
    ending_.shrink_to_fit();
}

void KeywordAutomaton::BuildTable() {
    // One class per unit that some needle holds, in the order of the edges.
    std::vector<KeywordUnit> units{0};  // class 0: every other unit
    singleClass_.fill(0);
    leadBlock_.fill(0);
    blockClass_.clear();
    for (const auto& [unit, child] : edges_) {
        if (ClassOf(unit) != 0) continue;
        const auto u = static_cast<std::size_t>(unit);
        const auto cls = static_cast<std::uint32_t>(units.size());
        units.push_back(unit);
        if (u < singleClass_.size()) {
            singleClass_[u] = cls;
            continue;
        }
        std::uint32_t& block = leadBlock_[(u >> 8) & 0xFF];
        if (block == 0) {
            blockClass_.resize(blockClass_.size() + 256, 0);
            block = static_cast<std::uint32_t>(blockClass_.size() / 256);
        }
        blockClass_[(block - 1) * 256 + (u & 0xFF)] = cls;
    }
    // The table stays within 4 MiB; a longer list of keywords takes the slower steps.
    constexpr std::size_t kMostEntries = std::size_t{1} << 20;
    const std::size_t count = states_.size();
    classShift_ = 0;
    while ((std::size_t{1} << classShift_) < units.size()) ++classShift_;
    classes_ = std::uint32_t{1} << classShift_;
    if (count > kMostEntries / classes_) {
        delta_.clear();
        return;
    }
    delta_.assign(count * classes_, 0);
    // Breadth first, so that a state's fail link has its row already: a step the
    // state has no edge for is its fail link's step.
    std::vector<std::uint32_t> queue{0};
    queue.reserve(count);
    for (std::size_t head = 0; head < queue.size(); ++head) {
        const std::uint32_t state = queue[head];
        std::uint32_t* const row = &delta_[state * classes_];
        if (state != 0) {
            const std::uint32_t* const fail = &delta_[states_[state].fail * classes_];
            std::copy(fail, fail + classes_, row);
        }
        for (std::uint32_t e = states_[state].edgeBegin; e < states_[state].edgeEnd; ++e) {
            const std::uint32_t child = edges_[e].second;
            row[ClassOf(edges_[e].first)] = child * classes_ | (emits_[child] ? kEmits : 0);
            queue.push_back(child);
        }
    }
}

}  // namespace vela
