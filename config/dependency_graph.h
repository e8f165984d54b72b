#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace nxkit {

class t_ref;
class i_struct_element;

// Who depends on which signal, on dense signal ids built at every rebuild of the store's
// tables: the owner and the feeding object of every signal key, the signals whose expressions
// use it, the components whose expressions watch it, and the pending mark of every signal
// changed since it was last refreshed. Knows nothing of the store: it is filled by the
// rebuild and asked by the update pass.
class dependency_graph {
public:
    using id = std::uint32_t;
    static constexpr id none = ~id(0);
    // In the component index: a component that is no structure element.
    static constexpr id plain = none - 1;

    // A key the closure reaches: the component it names as it was at registration (null when
    // it was not known then or has gone since) and its place in key order then.
    struct reached {
        const std::string* key = nullptr;
        t_ref* component = nullptr;
        std::uint32_t order = 0;
        // The signal when the key is a value signal that owns it (none otherwise).
        id signal = none;
    };

    // What a component key stands for in the graph.
    struct name {
        id signal = none;
        bool feed = false;
        // Expanded from its key: feeds and value signals while they exist.
        bool expands = false;
    };

    dependency_graph() = default;
    dependency_graph(const dependency_graph&) = delete;
    dependency_graph& operator=(const dependency_graph&) = delete;

    // Forgets every registration; pending marks are carried over to the signal keys that come
    // back by the next finish_rebuild.
    void clear();
    void finish_rebuild();

    // ---- register ----
    // The feeding object of a signal key; false (with the other's key) when it has one.
    bool add_feed(const std::string& signal, t_ref& object, std::string& other);
    // The structure element owning a signal key; false (with the other's key) when taken.
    // `element` is set for value signals, which alone are expanded from their key.
    bool add_owner(const std::string& signal, t_ref& owner, i_struct_element* element,
                   std::string& other);
    // Entering "`used` is used by `user`" closes a cycle: the signal keys along it, from
    // `user` back to `user`; empty when it does not.
    std::vector<std::string> cycle_through(const std::string& used, const std::string& user);
    void add_use(const std::string& used, const std::string& user);
    // `watcher` (null when no component has that key) watches the signal key.
    void add_watch(const std::string& signal, const std::string& watcher_key, t_ref* watcher);
    // A component going away: nothing points at it any more.
    void unregister(const t_ref& component);
    // Components known to be no structure element, so evaluations need not ask again.
    bool known_plain(const t_ref& component) const;
    void note_plain(const t_ref& component);
    // Takes the components' orders again (after components came or went).
    void refresh_orders();

    // ---- ask ----
    id find_signal(const std::string& signal) const;
    const name* find_name(const std::string& component_key) const;
    // The names of the registered components by their order, for a walk over many keys in
    // key order; only good while the orders are current.
    void names_by_order(std::size_t size, std::vector<const name*>& out) const;
    // The value signal a component owns (none when it owns none).
    id signal_of(const t_ref& component) const;
    const std::string& signal_key(id s) const { return *nodes_[s].signal; }
    const std::string& owner_key(id s) const { return text(nodes_[s].owner_key); }
    const std::string& feed_key(id s) const { return text(nodes_[s].feed_key); }
    t_ref* owner(id s) const { return nodes_[s].owner; }
    t_ref* feed(id s) const { return nodes_[s].feed; }
    i_struct_element* element(id s) const { return nodes_[s].element; }
    std::uint32_t owner_order(id s) const { return nodes_[s].owner_order; }
    std::uint32_t feed_order(id s) const { return nodes_[s].feed_order; }

    // ---- closure ----
    // Adds to `out` what depends on the signal `start` (no limit on the recursion over users
    // when depth_limit < 0), noting every owned signal as pending. Each signal is expanded
    // once per round (begin_round starts one).
    void begin_round();
    void expand(id start, int depth_limit, std::vector<reached>& out);

    // ---- pending ----
    bool pending(id s) const { return nodes_[s].pending; }
    void set_pending(id s, bool on) { nodes_[s].pending = on; }
    // Drops the pending mark; true when it was set.
    bool take_pending(id s) {
        bool was = nodes_[s].pending;
        nodes_[s].pending = false;
        return was;
    }
    bool pending(const std::string& signal) const;
    void clear_pending();

    // Whether the component orders recorded at registration still hold: the store bumps its
    // shape with every insertion and removal of a component.
    void set_shape(unsigned shape) { shape_ = shape; }
    unsigned shape() const { return shape_; }
    bool empty() const { return nodes_.empty(); }
    // Signal numbers hold while the generation and the size do.
    unsigned generation() const { return generation_; }
    std::size_t size() const { return nodes_.size(); }

private:
    struct watcher {
        std::string key;
        t_ref* component = nullptr;
        std::uint32_t order = 0;
    };
    // The key texts live once, in the indexes; nodes point at them.
    struct node {
        const std::string* signal = nullptr;
        const std::string* owner_key = nullptr;
        t_ref* owner = nullptr;
        i_struct_element* element = nullptr;
        std::uint32_t owner_order = 0;
        const std::string* feed_key = nullptr;
        t_ref* feed = nullptr;
        std::uint32_t feed_order = 0;
        std::vector<id> users;
        std::vector<watcher> watchers;
        bool pending = false;
        unsigned stamp = 0;
    };

    id make_signal(const std::string& signal);
    static const std::string& text(const std::string* key) {
        static const std::string empty;
        return key != nullptr ? *key : empty;
    }

    std::vector<node> nodes_;
    std::unordered_map<std::string, id> by_signal_;
    std::unordered_map<std::string, name> by_key_;
    std::unordered_map<const t_ref*, id> by_component_;
    // Components watching, for forgetting them when they go.
    std::unordered_map<const t_ref*, std::vector<id>> watching_;
    std::vector<std::string> carried_pending_;
    unsigned epoch_ = 0;
    // Reused between passes.
    std::vector<std::pair<id, int>> todo_;
    std::vector<id> came_from_;
    std::vector<unsigned> seen_;
    unsigned seen_epoch_ = 0;
    unsigned shape_ = ~0u;
    unsigned generation_ = 1;
};

} // namespace nxkit
