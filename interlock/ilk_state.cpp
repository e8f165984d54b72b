#include "interlock/ilk_state.h"

#include "config/ref_flags.h"
#include "config/ref_types.h"
#include "config/t_ref.h"

#include <algorithm>
#include <memory>

namespace nxkit {

namespace {

const char* const state_name = "interlock";

} // namespace

ilk_state& ilk_state::of(t_ref_buff& store) {
    if (ilk_state* state = find(store))
        return *state;
    auto made = std::make_unique<ilk_state>(store);
    ilk_state& state = *made;
    store.set_extension(state_name, std::move(made));
    return state;
}

ilk_state* ilk_state::find(t_ref_buff& store) {
    return dynamic_cast<ilk_state*>(store.find_extension(state_name));
}

ilk_state::~ilk_state() {
    if (subscribed_)
        store_.unsubscribe_subtree("S", this);
}

void ilk_state::depend(const std::string& on, const std::string& dependent,
                       const std::string& registrant) {
    if (on.empty() || dependent.empty() || on == dependent)
        return;
    // A load drops every subscription; asking again is cheap and changes nothing when it stands.
    store_.subscribe_subtree("S", this);
    subscribed_ = true;
    dependents_[on].push_back(dependent);
    registered_[registrant].emplace_back(on, dependent);
}

void ilk_state::forget(const std::string& registrant) {
    auto it = registered_.find(registrant);
    if (it == registered_.end())
        return;
    for (const auto& [on, dependent] : it->second) {
        auto found = dependents_.find(on);
        if (found == dependents_.end())
            continue;
        // One entry of this registrant's; another's for the same pair stays.
        auto entry = std::find(found->second.begin(), found->second.end(), dependent);
        if (entry != found->second.end())
            found->second.erase(entry);
        if (found->second.empty())
            dependents_.erase(found);
    }
    registered_.erase(it);
}

std::vector<std::string> ilk_state::dependents_of(const std::string& on) const {
    auto it = dependents_.find(on);
    return it == dependents_.end() ? std::vector<std::string>() : it->second;
}

void ilk_state::on_changed(const std::string& key) {
    round_.insert(key);
    t_ref* r = store_.get(key);
    if (r == nullptr)
        return;
    int type = r->type();
    if (type < tp_ilk_nmts || type > tp_ilk_tab)
        return;
    bool locked = r->has_flag(flag_locked);
    auto [seen, added] = locked_.try_emplace(key, locked);
    if ((added && locked) || seen->second != locked) {
        seen->second = locked;
        mark_interlock_changed(store_);
    }
}

void ilk_state::on_changes_done() {
    std::vector<std::string> marks;
    for (const std::string& key : round_) {
        auto it = dependents_.find(key);
        if (it == dependents_.end())
            continue;
        for (const std::string& dependent : it->second)
            if (round_.count(dependent) == 0 &&
                std::find(marks.begin(), marks.end(), dependent) == marks.end())
                marks.push_back(dependent);
    }
    round_.clear();
    for (const std::string& key : marks)
        if (store_.get(key) != nullptr)
            store_.mark_changed(key);
}

void note_linked_key(t_ref& component, std::string& last_key) {
    if (last_key == component.key())
        return;
    if (!last_key.empty())
        mark_interlock_changed(component.store());
    last_key = component.key();
}

void mark_interlock_changed(t_ref_buff& store) {
    ilk_state& state = ilk_state::of(store);
    state.interlock_changed = true;
    ++state.edits;
}

} // namespace nxkit
