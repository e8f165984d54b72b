#include "interlock/topology/switching_topology.h"

#include "schemes/editor/connectivity.h"

#include <algorithm>
#include <functional>
#include <numeric>

namespace nxkit {

namespace {

class disjoint_sets {
public:
    int add() {
        parent_.push_back(static_cast<int>(parent_.size()));
        return parent_.back();
    }
    int root(int i) {
        while (parent_[static_cast<std::size_t>(i)] != i) {
            int& p = parent_[static_cast<std::size_t>(i)];
            p = parent_[static_cast<std::size_t>(p)];
            i = p;
        }
        return i;
    }
    void join(int a, int b) { parent_[static_cast<std::size_t>(root(a))] = root(b); }
    std::size_t size() const { return parent_.size(); }

private:
    std::vector<int> parent_;
};

const switching_rule r1{"Р1", "Разъединитель можно включать и отключать, только когда отключены "
                              "выключатели участка, который он замыкает или разрывает, если этот "
                              "участок не шунтирован включённой параллельной цепью"};
const switching_rule r2{"Р2", "Заземляющий нож можно включать, только когда отключены все "
                              "коммутационные аппараты, соединяющие его участок с частями схемы, "
                              "на которые может быть подано напряжение (выключатель видимого "
                              "разрыва не даёт и в участок входит)"};
const switching_rule r3{"Р3", "Разъединитель можно включать на узел, только когда отключены все "
                              "заземляющие ножи этого узла"};

std::string joined_on(const switching_topology& topology, const std::vector<int>& devices) {
    std::string text;
    for (int d : devices)
        text += (text.empty() ? "" : ", ") + topology.at(d).name + " включен";
    return text;
}

} // namespace

const switching_rule& rule_disconnector_path() {
    return r1;
}
const switching_rule& rule_earthing_switch() {
    return r2;
}
const switching_rule& rule_disconnector_earths() {
    return r3;
}

apparatus_role role_of_type(const std::string& type_name) {
    static const std::map<std::string, apparatus_role> roles = {
        {"выключатель", apparatus_role::breaker},
        {"выключатель_выдвижной", apparatus_role::breaker},
        {"разъединитель", apparatus_role::disconnector},
        {"заземляющий_нож", apparatus_role::earthing_switch},
        {"трансформатор", apparatus_role::conductor},
        {"трансформатор_трехобмоточный", apparatus_role::conductor},
        {"автотрансформатор", apparatus_role::conductor},
        {"трансформатор_тока", apparatus_role::conductor},
        {"реактор", apparatus_role::conductor},
        {"предохранитель", apparatus_role::conductor},
        {"кабельная_муфта", apparatus_role::conductor},
        {"шина", apparatus_role::source},
        {"присоединение", apparatus_role::source},
        {"генератор", apparatus_role::source},
    };
    auto it = roles.find(type_name);
    return it == roles.end() ? apparatus_role::other : it->second;
}

bool is_switching(apparatus_role role) {
    return role == apparatus_role::breaker || role == apparatus_role::disconnector ||
           role == apparatus_role::earthing_switch;
}

switching_topology::switching_topology(const std::vector<named_page>& pages) {
    disjoint_sets sets;
    // Per page: terminal → set, and whether its electrical node holds another terminal.
    struct page_nodes {
        std::map<terminal_ref, int> set_of;
        std::map<terminal_ref, bool> joined;
    };
    std::vector<page_nodes> per_page(pages.size());
    for (std::size_t p = 0; p < pages.size(); ++p) {
        for (const electrical_node& node : electrical_nodes(*pages[p].page)) {
            int s = sets.add();
            for (const terminal_ref& t : node) {
                per_page[p].set_of[t] = s;
                per_page[p].joined[t] = node.size() > 1;
            }
        }
        // A conductor makes one node of all its terminals.
        for (const sde_object& o : pages[p].page->objects) {
            if (role_of_type(o.type_name) != apparatus_role::conductor)
                continue;
            int first = -1;
            for (auto it = per_page[p].set_of.lower_bound(terminal_ref{o.counter, ""});
                 it != per_page[p].set_of.end() && it->first.counter == o.counter; ++it) {
                if (first < 0)
                    first = it->second;
                else
                    sets.join(first, it->second);
            }
        }
    }
    std::map<int, int> dense;
    auto node_of = [&](int set) {
        auto [it, added] = dense.emplace(sets.root(set), static_cast<int>(dense.size()));
        (void)added;
        return it->second;
    };
    for (std::size_t i = 0; i < sets.size(); ++i)
        node_of(static_cast<int>(i));
    node_source_.assign(dense.size(), false);
    ends_.assign(dense.size(), {});

    for (std::size_t p = 0; p < pages.size(); ++p) {
        const page_nodes& pn = per_page[p];
        for (const sde_object& o : pages[p].page->objects) {
            apparatus_role role = role_of_type(o.type_name);
            std::vector<std::pair<int, bool>> terminals; // node, joined
            for (auto it = pn.set_of.lower_bound(terminal_ref{o.counter, ""});
                 it != pn.set_of.end() && it->first.counter == o.counter; ++it)
                terminals.emplace_back(node_of(it->second), pn.joined.at(it->first));
            if (terminals.empty())
                continue;
            if (role == apparatus_role::source) {
                for (const auto& t : terminals)
                    node_source_[static_cast<std::size_t>(t.first)] = true;
                continue;
            }
            if (!is_switching(role))
                continue;
            auto named = pages[p].names.find(o.counter);
            std::string name = named != pages[p].names.end() ? named->second : o.value("дисп_имя");
            if (name.empty())
                continue;
            auto [it, added] = by_name_.emplace(name, static_cast<int>(devices_.size()));
            if (added) {
                devices_.push_back({name, o.type_name, role, {}, false});
            }
            apparatus& a = devices_[static_cast<std::size_t>(it->second)];
            bool all_joined = std::all_of(terminals.begin(), terminals.end(),
                                          [](const auto& t) { return t.second; });
            if (!all_joined)
                continue;
            a.connected = true;
            instance inst{terminals[0].first, terminals.size() > 1 ? terminals[1].first : -1};
            if (role == apparatus_role::earthing_switch)
                inst.b = -1;
            a.instances.push_back(inst);
        }
    }
    for (std::size_t d = 0; d < devices_.size(); ++d)
        for (const instance& inst : devices_[d].instances) {
            ends_[static_cast<std::size_t>(inst.a)].push_back({static_cast<int>(d), inst.b});
            if (inst.b >= 0)
                ends_[static_cast<std::size_t>(inst.b)].push_back({static_cast<int>(d), inst.a});
        }
}

int switching_topology::find(const std::string& name) const {
    auto it = by_name_.find(name);
    return it == by_name_.end() ? -1 : it->second;
}

rule_scope::rule_scope(const switching_topology& topology, int device, switching_operation op)
    : topology_(topology), device_(device), is_variable_(topology.size(), false) {
    const switching_topology::apparatus& self = topology.at(device);
    if (self.role == apparatus_role::disconnector) {
        applies_ = true;
        if (op == switching_operation::close)
            for (const auto& inst : self.instances)
                for (int node : {inst.a, inst.b})
                    for (const auto& e : topology.ends_at(node))
                        if (topology.at(e.device).role == apparatus_role::earthing_switch &&
                            e.device != device) {
                            earthing_.push_back(e.device);
                            add_variable(e.device);
                        }
        for (const auto& inst : self.instances) {
            std::vector<int> seen;
            walk_breakers(inst.a, seen);
            walk_breakers(inst.b, seen);
        }
        // Parallel paths from one end to the other that leave this apparatus out.
        for (const auto& inst : self.instances) {
            instance_paths ip{inst.a, inst.b, {}};
            if (inst.a == inst.b) {
                ip.bypasses.push_back({});
            } else {
                std::vector<int> path;
                std::vector<int> nodes{inst.a};
                std::function<void(int)> dfs = [&](int node) {
                    if (ip.bypasses.size() >= max_bypass_paths)
                        return;
                    if (node == inst.b) {
                        ip.bypasses.push_back(path);
                        return;
                    }
                    if (path.size() >= max_bypass_length)
                        return;
                    for (const auto& e : topology.ends_at(node)) {
                        if (e.device == device || e.other < 0 ||
                            std::find(nodes.begin(), nodes.end(), e.other) != nodes.end())
                            continue;
                        path.push_back(e.device);
                        nodes.push_back(e.other);
                        dfs(e.other);
                        nodes.pop_back();
                        path.pop_back();
                    }
                };
                dfs(inst.a);
            }
            paths_.push_back(std::move(ip));
        }
        for (const auto& ip : paths_)
            for (const auto& path : ip.bypasses)
                for (int d : path)
                    add_variable(d);
    } else if (self.role == apparatus_role::earthing_switch && op == switching_operation::close) {
        applies_ = true;
        // The section the earthing switch earths: its node and what breakers join to it, in any
        // position (a breaker is no visible break). Its bounding disconnectors must be open
        // where the far side can be energised.
        std::vector<bool> in_section(topology.node_count(), false);
        std::vector<int> section;
        for (const auto& inst : self.instances)
            if (!in_section[static_cast<std::size_t>(inst.a)]) {
                in_section[static_cast<std::size_t>(inst.a)] = true;
                section.push_back(inst.a);
            }
        std::vector<switching_topology::end> bounds;
        for (std::size_t i = 0; i < section.size(); ++i)
            for (const auto& e : topology.ends_at(section[i])) {
                if (e.device == device || e.other < 0 ||
                    in_section[static_cast<std::size_t>(e.other)])
                    continue;
                if (topology.at(e.device).role == apparatus_role::breaker &&
                    !topology.has_source(e.other)) {
                    in_section[static_cast<std::size_t>(e.other)] = true;
                    section.push_back(e.other);
                } else {
                    bounds.push_back(e);
                }
            }
        for (const auto& e : bounds) {
            // Can the far side be energised without passing the section?
            std::vector<bool> seen = in_section;
            std::vector<int> queue{e.other};
            bool energised = false;
            while (!queue.empty() && !energised) {
                int n = queue.back();
                queue.pop_back();
                if (seen[static_cast<std::size_t>(n)])
                    continue;
                seen[static_cast<std::size_t>(n)] = true;
                if (topology.has_source(n)) {
                    energised = true;
                    break;
                }
                for (const auto& next : topology.ends_at(n))
                    if (next.other >= 0 && !seen[static_cast<std::size_t>(next.other)])
                        queue.push_back(next.other);
            }
            if (energised &&
                std::find(feeders_.begin(), feeders_.end(), e.device) == feeders_.end()) {
                feeders_.push_back(e.device);
                add_variable(e.device);
            }
        }
    }
}

void rule_scope::add_variable(int device) {
    if (device == device_ || is_variable_[static_cast<std::size_t>(device)])
        return;
    is_variable_[static_cast<std::size_t>(device)] = true;
    variables_.push_back(device);
}

// Every apparatus the breaker walk may reach with any position of the disconnectors on it.
void rule_scope::walk_breakers(int node, std::vector<int>& seen_nodes) {
    if (node < 0 || topology_.has_source(node) ||
        std::find(seen_nodes.begin(), seen_nodes.end(), node) != seen_nodes.end())
        return;
    seen_nodes.push_back(node);
    for (const auto& e : topology_.ends_at(node)) {
        if (e.device == device_)
            continue;
        apparatus_role role = topology_.at(e.device).role;
        if (role == apparatus_role::breaker) {
            add_variable(e.device);
        } else if (role == apparatus_role::disconnector) {
            add_variable(e.device);
            walk_breakers(e.other, seen_nodes);
        }
    }
}

// The breakers met from `node` through closed disconnectors, stopping at anything that can be
// energised from outside: they carry the current the disconnector would make or break.
std::vector<int> rule_scope::breakers_on_path(int node, const std::vector<bool>& closed) const {
    std::vector<int> found;
    std::vector<int> seen;
    std::vector<int> queue{node};
    while (!queue.empty()) {
        int n = queue.back();
        queue.pop_back();
        if (n < 0 || std::find(seen.begin(), seen.end(), n) != seen.end())
            continue;
        seen.push_back(n);
        if (topology_.has_source(n))
            continue;
        for (const auto& e : topology_.ends_at(n)) {
            if (e.device == device_)
                continue;
            apparatus_role role = topology_.at(e.device).role;
            if (role == apparatus_role::breaker) {
                if (std::find(found.begin(), found.end(), e.device) == found.end())
                    found.push_back(e.device);
            } else if (role == apparatus_role::disconnector &&
                       closed[static_cast<std::size_t>(e.device)]) {
                queue.push_back(e.other);
            }
        }
    }
    return found;
}

const switching_rule* rule_scope::verdict(const std::vector<bool>& closed, std::string* why) const {
    auto on = [&](int d) { return closed[static_cast<std::size_t>(d)]; };
    std::vector<int> culprits;
    for (int e : earthing_)
        if (on(e))
            culprits.push_back(e);
    if (!culprits.empty()) {
        if (why)
            *why = joined_on(topology_, culprits);
        return &r3;
    }
    for (int f : feeders_)
        if (on(f))
            culprits.push_back(f);
    if (!culprits.empty()) {
        if (why)
            *why = joined_on(topology_, culprits);
        return &r2;
    }
    for (const auto& ip : paths_) {
        bool bypassed = std::any_of(ip.bypasses.begin(), ip.bypasses.end(), [&](const auto& path) {
            return std::all_of(path.begin(), path.end(), on);
        });
        if (bypassed)
            continue;
        for (int side : {ip.a, ip.b})
            for (int b : breakers_on_path(side, closed))
                if (on(b) && std::find(culprits.begin(), culprits.end(), b) == culprits.end())
                    culprits.push_back(b);
    }
    if (!culprits.empty()) {
        if (why)
            *why = joined_on(topology_, culprits);
        return &r1;
    }
    return nullptr;
}

} // namespace nxkit
