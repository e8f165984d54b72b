#pragma once

#include "config/interfaces.h"
#include "config/t_ref_buff.h"

#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace nxkit {

class t_ref;

// The binding assistant of columns and rows, installed by the user interface; without one
// the binding commands are offered but do nothing.
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
    void on_changes_done() override;

private:
    t_ref_buff& store_;
    bool subscribed_ = false;
    // on -> dependents (one entry per registrant), and registrant -> its pairs.
    std::unordered_map<std::string, std::vector<std::string>> dependents_;
    std::unordered_map<std::string, std::vector<std::pair<std::string, std::string>>> registered_;
    std::unordered_set<std::string> round_;
    // Components whose activity the projection last saw, by key.
    std::unordered_map<std::string, bool> locked_;
};

// Marks the interlock configuration as changed, so the projection runs again.
void mark_interlock_changed(t_ref_buff& store);

// Called by a component's linking with the key it was last linked under: a component that
// has moved (its key changed) makes the projection run again, as the scheme refers to it by
// key.
void note_linked_key(t_ref& component, std::string& last_key);

} // namespace nxkit
