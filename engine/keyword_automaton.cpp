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
    rootAscii_.fill(0);
    for (const auto& [unit, child] : building_[0]) {
        if (static_cast<std::size_t>(unit) < rootAscii_.size()) rootAscii_[unit] = child;
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
    building_.clear();
    building_.shrink_to_fit();
    ending_.clear();
    ending_.shrink_to_fit();
}

}  // namespace vela
