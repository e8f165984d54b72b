#pragma once

// The store's update tables; shared by the store's own source files only.

#include "config/dependency_graph.h"
#include "config/expression_engine.h"
#include "config/t_ref_buff.h"

#include <map>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace nxkit {

// Sets a flag for a scope, whatever way the scope is left.
class flag_guard {
public:
    explicit flag_guard(bool& flag) : flag_(flag) { flag_ = true; }
    ~flag_guard() { flag_ = false; }
    flag_guard(const flag_guard&) = delete;
    flag_guard& operator=(const flag_guard&) = delete;

private:
    bool& flag_;
};

// A key of one round with what the pass needs of it.
struct t_ref_buff::round_entry {
    const std::string* key = nullptr;
    t_ref* component = nullptr;
    std::uint32_t order = 0;
    // The value signal the key owns.
    dependency_graph::id signal = dependency_graph::none;
};

struct t_ref_buff::tables {
    // Owners, feeds, users, watchers and pending marks of the signal keys.
    dependency_graph graph;
    // subtree registrations in prefix order
    std::multimap<std::string, i_observer*> observers;
    // bumped on every change of the registrations, so a round notices them
    unsigned observers_version = 0;
    std::set<std::string> countdown;
    // Reused between passes.
    std::vector<dependency_graph::reached> reached;
    // The keys a round tells, copied; the strings keep their buffers from pass to pass.
    std::vector<std::string> told_keys;
};

} // namespace nxkit
