#pragma once

#include "config/interfaces.h"
#include "config/t_ref_buff.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace nxkit {

class t_ref;

// The binding assistant of columns and rows (installed with the interlock classes); without
// one the binding commands are offered but do nothing.
class i_ilk_binder {
public:
    virtual ~i_ilk_binder() = default;
    // Runs binding command `command` of `target` with its caption; true when anything changed.
    virtual bool bind(t_ref& target, int command, const std::string& caption) = 0;
};

// One entry of the page list: a label and the key of its page ("" for "no page").
struct ilk_page_entry {
    std::string label;
    std::string page_key;
};

// What the interlock model keeps for a whole configuration: the column counter, the marks
// that tell the projection and the page list to run again, the page list itself. One per
// store, so every store numbers its columns afresh.
class ilk_state : public t_ref_buff::extension, public i_observer {
public:
    explicit ilk_state(t_ref_buff& store) : store_(store) {}
    ~ilk_state() override;

    // The state of `store`, created on first use.
    static ilk_state& of(t_ref_buff& store);
    // The state when it exists (null while the store never had one).
    static ilk_state* find(t_ref_buff& store);

    // The highest column number handed out or loaded.
    int column_counter = 0;
    // Set at start and by every change of an interlock component; cleared by the projection.
    bool interlock_changed = true;
    // Counts the changes of interlock components (each init and each destruction): a cache
    // of pointers between them is good while the count stands still.
    unsigned edits = 0;
    // The page list as last built (the scheme root keeps the mark that asks for a rebuild).
    std::vector<ilk_page_entry> pages;
    i_ilk_binder* binder = nullptr;
    // Why exports and controller transfers are refused now ("" while they are allowed): the
    // what-if mode sets it for as long as it is on.
    std::string export_refusal;
    // Opens the what-if mode from a table's menu; set by the window while it can be opened.
    std::function<void()> enter_whatif;

    // Dependencies between components that no signal carries: a change of `on` (a column
    // re-pointed or deactivated, a permission changed) puts `dependent` into the change set.
    // Registered by `registrant`'s linking; its next linking replaces them.
    void depend(const std::string& on, const std::string& dependent, const std::string& registrant);
    // Takes back everything `registrant` registered.
    void forget(const std::string& registrant);
    // The components registered as depending on `on`.
    std::vector<std::string> dependents_of(const std::string& on) const;

    // i_observer: keys changed in an update round bring their dependents into the next one,
    // unless they were in the round already; a change of a component's activity asks for the
    // projection again.
    void on_changed(const std::string& key) override;
    void on_changed_at(const std::string& key, t_ref* component) override;
    void on_changes_done() override;

private:
    t_ref_buff& store_;
    bool subscribed_ = false;
    // Looked up by the keys of a round without copying them.
    struct key_hash {
        using is_transparent = void;
        std::size_t operator()(std::string_view key) const {
            return std::hash<std::string_view>{}(key);
        }
    };
    // on -> dependents (one entry per registrant), and registrant -> its pairs.
    std::unordered_map<std::string, std::vector<std::string>, key_hash, std::equal_to<>>
        dependents_;
    std::unordered_map<std::string, std::vector<std::pair<std::string, std::string>>> registered_;
    // Keys of the round being told, valid until it is done.
    std::unordered_set<std::string_view> round_;
    // Counts depend and forget calls: the dense copy below holds while it stands still.
    unsigned registrations_ = 0;

    // The registrations by component order, so a round of thousands of keys is told without
    // hashing them. Used while the orders are current; a key it cannot place goes the way
    // of the text keys above.
    struct dense_links {
        bool built = false;
        unsigned shape = 0;
        unsigned registrations = 0;
        unsigned epoch = 1;
        // By order: the component when it has dependents or is one, else null.
        std::vector<t_ref*> component;
        std::vector<std::vector<std::uint32_t>> dependents;
        // The epoch of the last round that told the component.
        std::vector<unsigned> told;
    };
    dense_links dense_;
    // This round's keys told through the dense copy, and those with dependents among them.
    std::vector<std::string_view> dense_keys_;
    std::vector<std::uint32_t> dense_hits_;

    bool dense_ready();
    void build_dense();
    bool told_in_round(const std::string& key);
    // The deactivated table components the projection last saw, by key.
    std::unordered_set<std::string, key_hash, std::equal_to<>> locked_;
};

// Marks the interlock configuration as changed, so the projection runs again.
void mark_interlock_changed(t_ref_buff& store);

// Called by a component's linking with the key it was last linked under: a component that
// has moved (its key changed) makes the projection run again, as the scheme refers to it by
// key.
void note_linked_key(t_ref& component, std::string& last_key);

} // namespace nxkit
