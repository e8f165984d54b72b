#include "config/dependency_graph.h"

#include "config/t_ref.h"

#include <algorithm>

namespace nxkit {

void dependency_graph::clear() {
    for (const node& n : nodes_)
        if (n.pending)
            carried_pending_.push_back(*n.signal);
    // The next rebuild is about as large as this one.
    std::size_t size = nodes_.size();
    nodes_.clear();
    nodes_.reserve(size);
    by_signal_.clear();
    by_key_.clear();
    by_component_.clear();
    watching_.clear();
    seen_.clear();
    came_from_.clear();
    shape_ = ~0u;
    ++generation_;
}

void dependency_graph::finish_rebuild() {
    for (const std::string& signal : carried_pending_) {
        id s = find_signal(signal);
        if (s != none && nodes_[s].owner_key != nullptr)
            nodes_[s].pending = true;
    }
    carried_pending_.clear();
}

dependency_graph::id dependency_graph::make_signal(const std::string& signal) {
    auto [it, added] = by_signal_.try_emplace(signal, static_cast<id>(nodes_.size()));
    if (added) {
        nodes_.emplace_back();
        nodes_.back().signal = &it->first;
    }
    return it->second;
}

bool dependency_graph::add_feed(const std::string& signal, t_ref& object, std::string& other) {
    id s = make_signal(signal);
    node& n = nodes_[s];
    if (n.feed_key != nullptr) {
        other = *n.feed_key;
        return false;
    }
    auto named = by_key_.insert_or_assign(object.key(), name{s, true, true}).first;
    n.feed_key = &named->first;
    n.feed = &object;
    n.feed_order = object.order();
    by_component_[&object] = s;
    return true;
}

bool dependency_graph::add_owner(const std::string& signal, t_ref& owner, i_struct_element* element,
                                 std::string& other) {
    id s = make_signal(signal);
    node& n = nodes_[s];
    if (n.owner_key != nullptr) {
        other = *n.owner_key;
        return false;
    }
    // Only value signals are expanded from their own key.
    auto named = by_key_.insert_or_assign(owner.key(), name{s, false, element != nullptr}).first;
    n.owner_key = &named->first;
    n.owner = &owner;
    n.owner_order = owner.order();
    n.element = element;
    by_component_[&owner] = s;
    return true;
}

std::vector<std::string> dependency_graph::cycle_through(const std::string& used,
                                                         const std::string& user) {
    std::vector<std::string> path;
    id target = find_signal(used);
    id start = find_signal(user);
    if (target == none || start == none)
        return path;
    if (seen_.size() < nodes_.size()) {
        seen_.assign(nodes_.size(), 0);
        came_from_.assign(nodes_.size(), none);
        seen_epoch_ = 0;
    }
    unsigned stamp = ++seen_epoch_;
    seen_[start] = stamp;
    came_from_[start] = none;
    std::vector<id> todo{start};
    while (!todo.empty()) {
        id x = todo.back();
        todo.pop_back();
        for (id u : nodes_[x].users) {
            if (seen_[u] == stamp)
                continue;
            seen_[u] = stamp;
            came_from_[u] = x;
            if (u == target) {
                for (id k = u; k != none; k = came_from_[k])
                    path.push_back(*nodes_[k].signal);
                std::reverse(path.begin(), path.end());
                return path;
            }
            todo.push_back(u);
        }
    }
    return path;
}

void dependency_graph::add_use(const std::string& used, const std::string& user) {
    id v = make_signal(used);
    id s = make_signal(user);
    std::vector<id>& users = nodes_[v].users;
    if (std::find(users.begin(), users.end(), s) == users.end())
        users.push_back(s);
}

void dependency_graph::add_watch(const std::string& signal, const std::string& watcher_key,
                                 t_ref* watcher_component) {
    id s = make_signal(signal);
    std::vector<watcher>& list = nodes_[s].watchers;
    for (const watcher& w : list)
        if (w.key == watcher_key)
            return;
    list.push_back({watcher_key, watcher_component,
                    watcher_component != nullptr ? watcher_component->order() : 0});
    if (watcher_component != nullptr)
        watching_[watcher_component].push_back(s);
}

void dependency_graph::unregister(const t_ref& component) {
    if (auto it = by_component_.find(&component); it != by_component_.end() && it->second == plain)
        by_component_.erase(it);
    if (auto it = by_component_.find(&component); it != by_component_.end()) {
        node& n = nodes_[it->second];
        // The key text stays: the owner's key is still reached, but no longer expanded.
        auto named = by_key_.find(component.key());
        if (named != by_key_.end() && named->second.signal == it->second)
            named->second.expands = false;
        if (n.owner == &component) {
            n.owner = nullptr;
            n.element = nullptr;
        }
        if (n.feed == &component)
            n.feed = nullptr;
        by_component_.erase(it);
    }
    if (auto it = watching_.find(&component); it != watching_.end()) {
        for (id s : it->second)
            for (watcher& w : nodes_[s].watchers)
                if (w.component == &component)
                    w.component = nullptr;
        watching_.erase(it);
    }
}

dependency_graph::id dependency_graph::find_signal(const std::string& signal) const {
    auto it = by_signal_.find(signal);
    return it == by_signal_.end() ? none : it->second;
}

const dependency_graph::name* dependency_graph::find_name(const std::string& component_key) const {
    auto it = by_key_.find(component_key);
    return it == by_key_.end() || !it->second.expands ? nullptr : &it->second;
}

void dependency_graph::names_by_order(std::size_t size, std::vector<const name*>& out) const {
    out.assign(size, nullptr);
    for (const auto& [key, n] : by_key_) {
        if (!n.expands)
            continue;
        const t_ref* c = n.feed ? nodes_[n.signal].feed : nodes_[n.signal].owner;
        if (c != nullptr && c->order() < size)
            out[c->order()] = &n;
    }
}

dependency_graph::id dependency_graph::signal_of(const t_ref& component) const {
    auto it = by_component_.find(&component);
    if (it == by_component_.end() || it->second == plain ||
        nodes_[it->second].owner != &component || nodes_[it->second].element == nullptr)
        return none;
    return it->second;
}

bool dependency_graph::known_plain(const t_ref& component) const {
    auto it = by_component_.find(&component);
    return it != by_component_.end() && it->second == plain;
}

void dependency_graph::note_plain(const t_ref& component) {
    by_component_.try_emplace(&component, plain);
}

void dependency_graph::refresh_orders() {
    for (node& n : nodes_) {
        n.owner_order = n.owner != nullptr ? n.owner->order() : 0;
        n.feed_order = n.feed != nullptr ? n.feed->order() : 0;
        for (watcher& w : n.watchers)
            w.order = w.component != nullptr ? w.component->order() : 0;
    }
}

void dependency_graph::begin_round() {
    ++epoch_;
}

void dependency_graph::expand(id start, int depth_limit, std::vector<reached>& out) {
    todo_.assign(1, {start, 0});
    while (!todo_.empty()) {
        auto [s, level] = todo_.back();
        todo_.pop_back();
        node& n = nodes_[s];
        if (depth_limit < 0) {
            if (n.stamp == epoch_)
                continue;
            n.stamp = epoch_;
        }
        if (n.owner_key != nullptr) {
            out.push_back({n.owner_key, n.owner, n.owner_order, n.element != nullptr ? s : none});
            n.pending = true;
        }
        if (depth_limit >= 0 && level >= depth_limit)
            continue;
        for (id u : n.users)
            todo_.emplace_back(u, level + 1);
        for (const watcher& w : n.watchers)
            out.push_back({&w.key, w.component, w.order, none});
    }
}

bool dependency_graph::pending(const std::string& signal) const {
    id s = find_signal(signal);
    return s != none && nodes_[s].pending;
}

void dependency_graph::clear_pending() {
    for (node& n : nodes_)
        n.pending = false;
    carried_pending_.clear();
}

} // namespace nxkit
