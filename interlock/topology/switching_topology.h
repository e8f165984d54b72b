#pragma once

// The switching apparatus of the scheme pages and the electrical nodes between them, and the
// switching rules of docs/interlock-rules.md read on that graph. Plain data, no store.

#include "schemes/control/sde_document.h"

#include <cstddef>
#include <map>
#include <string>
#include <vector>

namespace nxkit {

// What an object of a scheme type does in the graph.
enum class apparatus_role {
    breaker,         // выключатель, выключатель_выдвижной
    disconnector,    // разъединитель
    earthing_switch, // заземляющий_нож: joins its node to earth when closed
    conductor,       // always joins its terminals (transformers, reactors, fuses, ...)
    source,          // can be energised from outside the drawing (busbar, line, generator)
    other            // a load or a symbol: takes no part
};
apparatus_role role_of_type(const std::string& type_name);
bool is_switching(apparatus_role role);

// A page of a scheme file with the dispatcher names of its objects by counter; an object not in
// the map is named by its own "дисп_имя".
struct named_page {
    const sde_page* page = nullptr;
    std::map<int, std::string> names;
};

enum class switching_operation { close, open };

// One rule of docs/interlock-rules.md.
struct switching_rule {
    const char* id;
    const char* wording;
};
const switching_rule& rule_disconnector_path();   // Р1
const switching_rule& rule_earthing_switch();     // Р2
const switching_rule& rule_disconnector_earths(); // Р3

class switching_topology {
public:
    // One drawn instance of an apparatus: the nodes of its terminals (b is -1 for a one-ended
    // earthing switch).
    struct instance {
        int a = -1;
        int b = -1;
    };
    struct apparatus {
        std::string name;
        std::string type_name;
        apparatus_role role = apparatus_role::other;
        std::vector<instance> instances;
        // Some wire reaches one of its terminals on some page.
        bool connected = false;
    };

    explicit switching_topology(const std::vector<named_page>& pages);

    // Switching apparatus only (breakers, disconnectors, earthing switches), by name.
    int find(const std::string& name) const;
    const apparatus& at(int device) const { return devices_[static_cast<std::size_t>(device)]; }
    std::size_t size() const { return devices_.size(); }
    std::size_t node_count() const { return node_source_.size(); }
    bool has_source(int node) const { return node_source_[static_cast<std::size_t>(node)]; }
    // The switching apparatus with a terminal on `node`, with the other node of that instance
    // (-1 for an earthing switch).
    struct end {
        int device;
        int other;
    };
    const std::vector<end>& ends_at(int node) const {
        return ends_[static_cast<std::size_t>(node)];
    }

private:
    std::vector<apparatus> devices_;
    std::map<std::string, int> by_name_;
    std::vector<bool> node_source_;
    std::vector<std::vector<end>> ends_;
};

// The rules for one operation of one apparatus, reduced to the apparatus whose positions they
// read. Built once per operation; `verdict` is then a cheap function of positions.
class rule_scope {
public:
    // A parallel path is at most this many apparatus long.
    static constexpr std::size_t max_bypass_length = 6;
    static constexpr std::size_t max_bypass_paths = 64;

    rule_scope(const switching_topology& topology, int device, switching_operation op);

    // Whether any rule speaks about this operation of this apparatus.
    bool applies() const { return applies_; }
    // The other apparatus whose positions the verdict reads, nearest first.
    const std::vector<int>& variables() const { return variables_; }

    // The first rule the operation breaks with the apparatus in `closed` (indexed by device;
    // the operated apparatus stands in its position before the operation), or null; `why`
    // gets the apparatus that make it so.
    const switching_rule* verdict(const std::vector<bool>& closed, std::string* why) const;

private:
    void add_variable(int device);
    void walk_breakers(int node, std::vector<int>& seen_nodes);
    std::vector<int> breakers_on_path(int node, const std::vector<bool>& closed) const;

    const switching_topology& topology_;
    int device_;
    bool applies_ = false;
    std::vector<int> variables_;
    std::vector<bool> is_variable_;
    // Р1: the nodes of each instance and the parallel paths between them.
    struct instance_paths {
        int a;
        int b;
        std::vector<std::vector<int>> bypasses;
    };
    std::vector<instance_paths> paths_;
    // Р2: apparatus that join the earthing switch's section (its node and what breakers join
    // to it) to something that can be energised.
    std::vector<int> feeders_;
    // Р3: earthing switches on the nodes of the disconnector.
    std::vector<int> earthing_;
};

} // namespace nxkit
