#pragma once

// The store's update tables; shared by the store's own source files only.

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

// A component in the reverse tables: a structure signal (with the signal itself, so a pass
// needs no second lookup) or a feeding object.
struct t_ref_buff::name_entry {
    std::string signal;
    t_ref* component = nullptr;
    // Null for a feeding object.
    i_struct_element* element = nullptr;
};

struct t_ref_buff::tables {
    // signal key -> structure element owning it
    std::unordered_map<std::string, std::string> signal_table;
    // signal key -> device information object feeding it
    std::unordered_map<std::string, std::string> feed_table;
    // The reverse of both tables: component key -> its signal key.
    std::unordered_map<std::string, name_entry> names;
    // used signal key -> signal keys whose expressions use it
    std::unordered_map<std::string, std::vector<std::string>> uses;
    // signal key -> components whose expressions watch it
    std::unordered_map<std::string, std::vector<std::string>> watchers;
    // signal key -> component key: changed since last refreshed
    std::unordered_map<std::string, std::string> pending;
    // subtree registrations in prefix order
    std::multimap<std::string, i_observer*> observers;
    // bumped on every change of the registrations, so a round notices them
    unsigned observers_version = 0;
    std::set<std::string> countdown;
};

} // namespace nxkit
