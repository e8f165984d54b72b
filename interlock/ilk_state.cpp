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
    ++registrations_;
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
    ++registrations_;
}

std::vector<std::string> ilk_state::dependents_of(const std::string& on) const {
    auto it = dependents_.find(on);
    return it == dependents_.end() ? std::vector<std::string>() : it->second;
}

void ilk_state::on_changed(const std::string& key) {
    on_changed_at(key, nullptr);
}

bool ilk_state::dense_ready() {
    if (!store_.orders_current())
        return false;
    if (!dense_.built || dense_.shape != store_.refs().shape() ||
        dense_.registrations != registrations_) {
        // Mid-round, what was told so far goes the way of the text keys.
        round_.insert(dense_keys_.begin(), dense_keys_.end());
        dense_keys_.clear();
        dense_hits_.clear();
        build_dense();
    }
    return true;
}

void ilk_state::build_dense() {
    dense_.component.clear();
    dense_.dependents.clear();
    dense_.told.clear();
    auto place = [this](t_ref* c) {
        std::uint32_t o = c->order();
        if (o >= dense_.component.size()) {
            dense_.component.resize(o + 1, nullptr);
            dense_.dependents.resize(o + 1);
        }
        dense_.component[o] = c;
        return o;
    };
    for (const auto& [on, dependents] : dependents_) {
        t_ref* c = store_.get(on);
        if (c == nullptr)
            continue;
        std::uint32_t o = place(c);
        for (const std::string& dependent : dependents)
            // One that does not exist is never marked.
            if (t_ref* d = store_.get(dependent)) {
                std::uint32_t placed = place(d); // may grow the table first
                dense_.dependents[o].push_back(placed);
            }
    }
    dense_.told.assign(dense_.component.size(), 0);
    dense_.shape = store_.refs().shape();
    dense_.registrations = registrations_;
    dense_.built = true;
}

void ilk_state::on_changed_at(const std::string& key, t_ref* component) {
    if (component != nullptr && dense_ready()) {
        std::uint32_t o = component->order();
        if (o < dense_.component.size() && dense_.component[o] == component) {
            dense_.told[o] = dense_.epoch;
            dense_keys_.push_back(key);
            if (!dense_.dependents[o].empty())
                dense_hits_.push_back(o);
        }
        // Neither with dependents nor one: nothing to keep of it.
    } else {
        round_.insert(key);
    }
    t_ref* r = component != nullptr ? component : store_.get(key);
    if (r == nullptr)
        return;
    int type = r->type();
    if (type < tp_ilk_nmts || type > tp_ilk_tab)
        return;
    // Only the deactivated ones are kept: a change either way asks for the projection.
    bool locked = r->has_flag(flag_locked);
    if (!locked && locked_.empty())
        return;
    auto seen = locked_.find(std::string_view(key));
    if (locked && seen == locked_.end()) {
        locked_.insert(key);
        mark_interlock_changed(store_);
    } else if (!locked && seen != locked_.end()) {
        locked_.erase(seen);
        mark_interlock_changed(store_);
    }
}

bool ilk_state::told_in_round(const std::string& key) {
    if (round_.count(std::string_view(key)) != 0)
        return true;
    if (dense_keys_.empty())
        return false;
    t_ref* c = store_.get(key);
    if (c == nullptr)
        return false;
    std::uint32_t o = c->order();
    return o < dense_.component.size() && dense_.component[o] == c &&
           dense_.told[o] == dense_.epoch;
}

void ilk_state::on_changes_done() {
    std::vector<std::string> marks;
    // The registrations or the tree changed while the round was told: the dense copy no
    // longer says which component is which, so its keys go the way of the text keys.
    bool dense = !dense_keys_.empty() && store_.orders_current() && dense_.built &&
                 dense_.shape == store_.refs().shape() && dense_.registrations == registrations_;
    if (!dense_keys_.empty() && !dense) {
        round_.insert(dense_keys_.begin(), dense_keys_.end());
        dense_keys_.clear();
        dense_hits_.clear();
    }
    for (std::uint32_t o : dense_hits_)
        for (std::uint32_t d : dense_.dependents[o]) {
            if (dense_.told[d] == dense_.epoch)
                continue;
            t_ref* c = dense_.component[d];
            if (!round_.empty() && round_.count(std::string_view(c->key())) != 0)
                continue;
            // Marked once: the epoch's mark stands for the round's as well.
            dense_.told[d] = dense_.epoch;
            marks.push_back(c->key());
        }
    std::unordered_set<std::string_view> marked;
    for (std::string_view key : round_) {
        auto it = dependents_.find(key);
        if (it == dependents_.end())
            continue;
        for (const std::string& dependent : it->second)
            if (!told_in_round(dependent) && marked.insert(dependent).second)
                marks.push_back(dependent);
    }
    round_.clear();
    dense_keys_.clear();
    dense_hits_.clear();
    ++dense_.epoch;
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
