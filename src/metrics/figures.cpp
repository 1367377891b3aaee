#include "metrics/figures.h"

#include <algorithm>

namespace tavu {

void CounterFloor::apply(std::vector<ConnectionFigures>& connections) {
    for (ConnectionFigures& c : connections) {
        const auto it = served_.find(c.name);
        if (it != served_.end()) {
            const ConnectionFigures& before = it->second;
            c.seconds = std::max(c.seconds, before.seconds);
            c.sent = std::max(c.sent, before.sent);
            c.received = std::max(c.received, before.received);
            c.cost = std::max(c.cost, before.cost);
        }
        served_[c.name] = c;
    }
    for (const auto& [name, before] : served_) {
        const bool present =
            std::any_of(connections.begin(), connections.end(),
                        [&name = name](const ConnectionFigures& c) { return c.name == name; });
        if (!present) {
            ConnectionFigures kept = before;
            kept.active = false;
            connections.push_back(kept);
        }
    }
    std::sort(
        connections.begin(), connections.end(),
        [](const ConnectionFigures& a, const ConnectionFigures& b) { return a.name < b.name; });
}

}  // namespace tavu
