// The store's update machinery: change set, update pass, observers, tables, expressions.

#include "base/nx_exception.h"
#include "base/nx_log.h"
#include "config/expression_engine.h"
#include "config/ref_types.h"
#include "config/t_ref_buff.h"
#include "config/update_tables.h"

#include <algorithm>
#include <string_view>
#include <unordered_set>
#include <utility>

namespace nxkit {

namespace {

constexpr int max_rounds = 10;

bool begins_with(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

// Walks the descendants of `root` in key order, telling for each whether it or an ancestor
// is locked. The chain is followed as t_ref::has_flag_in_chain follows it (a missing parent
// ends it), without looking every ancestor up again.
template <typename F> void walk_with_lock(t_ref_buff& store, const std::string& root, F&& visit) {
    std::vector<std::pair<std::string_view, bool>> path;
    t_ref* top = store.get(root);
    path.emplace_back(root, top != nullptr && top->has_flag_in_chain(flag_locked));
    t_refs& refs = store.refs();
    t_refs::cursor c;
    for (bool ok = refs.first_under(root, c); ok; ok = refs.next_under(c, root)) {
        std::string_view key = c->first;
        while (!path.empty() &&
               !(key.size() > path.back().first.size() + 1 &&
                 key[path.back().first.size()] == '.' && begins_with(key, path.back().first)))
            path.pop_back();
        bool parent_present =
            !path.empty() && key.find('.', path.back().first.size() + 1) == std::string_view::npos;
        t_ref* component = c->second.get();
        bool locked = component->has_flag(flag_locked) || (parent_present && path.back().second);
        path.emplace_back(key, locked);
        visit(component, locked);
    }
}

} // namespace

void t_ref_buff::init(owner_handle window, i_update_poster* poster) {
    owner_ = window;
    poster_ = poster;
}

void t_ref_buff::hand_over(i_updater& updater, int generation) {
    hand_over(&updater, generation);
}

void t_ref_buff::hand_over(i_updater* updater, int generation) {
    // A message from a device of a configuration already unloaded, or from a device deleted
    // since it posted: the sender is gone.
    if (generation != generation_ || updater == nullptr || retired_.count(updater) != 0)
        return;
    updater->update(changed_);
}

void t_ref_buff::retire_updater(i_updater* updater) {
    retired_.insert(updater);
}

void t_ref_buff::revive_updater(i_updater* updater) {
    retired_.erase(updater);
}

void t_ref_buff::mark_changed(const std::string& key) {
    // A rebuild marks whole subtrees in key order: those go at the end without a search.
    if (!changed_.empty() && *changed_.rbegin() < key)
        changed_.emplace_hint(changed_.end(), key);
    else
        changed_.insert(key);
}

bool t_ref_buff::is_pending(const std::string& signal_key) const {
    return tables_->graph.pending(signal_key);
}

// ---------------------------------------------------------------- observers

void t_ref_buff::subscribe_subtree(const std::string& prefix, i_observer* observer) {
    if (observer == nullptr)
        return;
    for (const auto& [p, o] : tables_->observers)
        if (o == observer && begins_with(prefix, p))
            return;
    tables_->observers.emplace(prefix, observer);
    ++tables_->observers_version;
}

void t_ref_buff::unsubscribe_subtree(const std::string& prefix, i_observer* observer) {
    auto& map = tables_->observers;
    for (auto it = map.begin(); it != map.end();) {
        if ((prefix.empty() || it->first == prefix) &&
            (observer == nullptr || it->second == observer))
            it = map.erase(it);
        else
            ++it;
    }
    ++tables_->observers_version;
}

void t_ref_buff::unsubscribe_deleted(const std::string& key) {
    if (batch_)
        deleted_in_batch_.push_back(key);
    else
        unsubscribe_subtree(key);
}

void t_ref_buff::notify_observers(const std::vector<round_entry>& round) {
    auto& map = tables_->observers;
    if (map.empty())
        return;
    // Copies: observers may subscribe, unsubscribe and change the tree while they are told.
    std::vector<std::string>& keys = tables_->told_keys;
    if (keys.size() < round.size())
        keys.resize(round.size());
    for (std::size_t i = 0; i < round.size(); ++i)
        keys[i].assign(*round[i].key);
    std::vector<std::pair<std::string, i_observer*>> registrations(map.begin(), map.end());
    unsigned version = tables_->observers_version;
    auto still_there = [&](i_observer* o) {
        if (version == tables_->observers_version)
            return true;
        return std::any_of(map.begin(), map.end(), [o](const auto& r) { return r.second == o; });
    };
    std::vector<i_observer*> reached;
    std::vector<i_observer*> for_key;
    // The components the round found hold while none is put or taken.
    const unsigned shape = refs_.shape();
    for (std::size_t i = 0; i < round.size(); ++i) {
        const std::string& key = keys[i];
        for_key.clear();
        for (const auto& [prefix, o] : registrations) {
            if (prefix > key)
                break;
            // Each key once per observer, however many of its registrations cover it.
            if (begins_with(key, prefix) &&
                std::find(for_key.begin(), for_key.end(), o) == for_key.end())
                for_key.push_back(o);
        }
        for (i_observer* o : for_key) {
            if (!still_there(o))
                continue;
            o->on_changed_at(key, refs_.shape() == shape ? round[i].component : nullptr);
            if (std::find(reached.begin(), reached.end(), o) == reached.end())
                reached.push_back(o);
        }
    }
    for (i_observer* o : reached)
        if (still_there(o))
            o->on_changes_done();
}

// ---------------------------------------------------------------- update pass

void t_ref_buff::begin_batch() {
    update_pass();
    batch_ = true;
}

void t_ref_buff::end_batch() {
    batch_ = false;
    update_pass();
    // The views watching a deleted subtree have been told by the pass: now they may go.
    for (const std::string& key : std::exchange(deleted_in_batch_, {}))
        unsubscribe_subtree(key);
    rebuild(false, true);
}

void t_ref_buff::update_pass(bool clearing) {
    if (clearing) {
        changed_.clear();
        tables_->graph.clear_pending();
        return;
    }
    if (batch_ || updating_)
        return;
    flag_guard running(updating_);
    std::vector<round_entry> round;
    for (int pass_round = 0; !changed_.empty(); ++pass_round) {
        if (pass_round == max_rounds) {
            // The rest is worked off by the next pass.
            nx_log::main().war("UPDATE_REFS i>=10");
            break;
        }
        // Taken out first: what the round itself changes goes into the next round.
        key_set seeds;
        seeds.swap(changed_);
        collect_round(seeds, round);
        for (const round_entry& entry : round)
            if (entry.component != nullptr)
                entry.component->set_flag(false, flag_evaluated);
        refresh_signals(round);
        notify_observers(round);
    }
}

bool t_ref_buff::orders_current() const {
    const dependency_graph& g = tables_->graph;
    return !g.empty() && g.shape() == refs_.shape();
}

void t_ref_buff::collect_round(const key_set& seeds, std::vector<round_entry>& round) {
    dependency_graph& g = tables_->graph;
    std::vector<dependency_graph::reached>& reached = tables_->reached;
    round.clear();
    reached.clear();
    // The orders taken at the last rebuild hold while no component came or went since.
    bool ordered = !g.empty() && g.shape() == refs_.shape();
    g.begin_round();
    // Many keys at once (the first pass after a load): the collection is walked beside the
    // set, both in key order, instead of being searched for every key.
    bool walk = seeds.size() * 8 > refs_.size();
    t_refs::cursor at;
    bool more = walk && refs_.first_under({}, at);
    auto component_at = [&](const std::string& key) -> t_ref* {
        if (!walk)
            return get(key);
        while (more && at->first < key)
            more = refs_.next_under(at, {});
        return more && at->first == key ? at->second.get() : nullptr;
    };
    // Walking in key order with the orders current, the names are taken by order too: a
    // hundred thousand keys are not hashed one by one.
    std::vector<const dependency_graph::name*> by_order;
    if (walk && ordered)
        g.names_by_order(refs_.size() + 1, by_order);
    for (const std::string& key : seeds) {
        const dependency_graph::name* named = nullptr;
        if (!by_order.empty()) {
            t_ref* c = component_at(key);
            named = c != nullptr && c->order() < by_order.size() ? by_order[c->order()]
                                                                 : g.find_name(key);
        } else if (!g.empty()) {
            named = g.find_name(key);
        }
        if (named == nullptr) {
            t_ref* c = component_at(key);
            if (c == nullptr)
                ordered = false;
            round.push_back({&key, c, c != nullptr ? c->order() : 0, dependency_graph::none});
            continue;
        }
        dependency_graph::id s = named->signal;
        if (named->feed)
            round.push_back({&key, g.feed(s), g.feed_order(s), dependency_graph::none});
        else
            round.push_back({&key, g.owner(s), g.owner_order(s), s});
        g.expand(s, -1, reached);
    }
    if (reached.empty())
        return;
    for (const dependency_graph::reached& r : reached) {
        if (r.component == nullptr)
            ordered = false;
        round.push_back({r.key, r.component, r.order, r.signal});
    }
    if (ordered) {
        std::sort(round.begin(), round.end(),
                  [](const round_entry& a, const round_entry& b) { return a.order < b.order; });
        round.erase(std::unique(round.begin(), round.end(),
                                [](const round_entry& a, const round_entry& b) {
                                    return a.order == b.order;
                                }),
                    round.end());
        return;
    }
    // Components came or went since the tables were built: keys are ordered as text, and each
    // is looked up as it is now.
    std::sort(round.begin(), round.end(),
              [](const round_entry& a, const round_entry& b) { return *a.key < *b.key; });
    round.erase(
        std::unique(round.begin(), round.end(),
                    [](const round_entry& a, const round_entry& b) { return *a.key == *b.key; }),
        round.end());
    for (round_entry& entry : round) {
        const dependency_graph::name* named = g.find_name(*entry.key);
        if (named == nullptr) {
            entry.component = get(*entry.key);
            entry.signal = dependency_graph::none;
        } else if (named->feed) {
            entry.component = g.feed(named->signal);
            entry.signal = dependency_graph::none;
        } else {
            entry.component = g.owner(named->signal);
            entry.signal = named->signal;
        }
    }
}

void t_ref_buff::refresh_signals(const std::vector<round_entry>& round) {
    dependency_graph& g = tables_->graph;
    for (const round_entry& entry : round) {
        if (entry.signal == dependency_graph::none)
            continue;
        // Not pending any more: a user's evaluation has refreshed it in this round already.
        if (!g.take_pending(entry.signal))
            continue;
        i_struct_element* element = g.element(entry.signal);
        if (element == nullptr)
            continue;
        try {
            refresh_source(entry.signal, *element);
        } catch (const nx_exception& e) {
            nx_log::main().err(e.what());
        }
    }
}

void t_ref_buff::expand_dependencies(key_set& set, int depth_limit) {
    dependency_graph& g = tables_->graph;
    if (g.empty())
        return;
    std::vector<dependency_graph::reached> found;
    g.begin_round();
    for (const std::string& key : set)
        if (const dependency_graph::name* named = g.find_name(key))
            g.expand(named->signal, depth_limit, found);
    for (const dependency_graph::reached& r : found)
        set.insert(*r.key);
}

// ---------------------------------------------------------------- tables

// A signal key already taken by another component: logged and kept as an error.
void t_ref_buff::report_duplicate(t_ref& component, const std::string& other_key) {
    t_ref* other = get(other_key);
    std::string text =
        other != nullptr ? component.duplicate_message(1, *other) : component.full_path_text();
    nx_log::main().err(text);
    keep_error(text);
}

void t_ref_buff::keep_error(const std::string& text) {
    if (first_error_.empty())
        first_error_ = text;
}

void t_ref_buff::rebuild(bool clear_only, bool lenient) {
    if (insertion_hold_ || batch_)
        return;
    dependency_graph& g = tables_->graph;
    parser_->clear_variables();
    g.clear();
    if (clear_only)
        return;

    flag_guard running(rebuilding_);
    struct mode_guard {
        bool& mode;
        ~mode_guard() { mode = true; }
    } mode{lenient_};
    lenient_ = lenient;
    first_error_.clear();

    assign_orders();
    unsigned shape = refs_.shape();
    rebuild_equipment();
    rebuild_structure();
    rebuild_schemes();
    g.finish_rebuild();
    // Linking may have added or removed components: the orders are taken again.
    if (refs_.shape() != shape) {
        assign_orders();
        g.refresh_orders();
    }
    g.set_shape(refs_.shape());

    if (!lenient && !first_error_.empty()) {
        std::string error = std::move(first_error_);
        first_error_.clear();
        throw nx_exception_ref_init(error);
    }
}

void t_ref_buff::assign_orders() {
    std::uint32_t order = 0;
    t_refs::cursor c;
    for (bool ok = refs_.first_under({}, c); ok; ok = refs_.next_under(c, {}))
        c->second->set_order(++order);
}

void t_ref_buff::rebuild_equipment() {
    dependency_graph& g = tables_->graph;
    walk_with_lock(*this, "D", [&](t_ref* c, bool locked) {
        auto* feed = dynamic_cast<i_feed*>(c);
        if (feed == nullptr)
            return;
        mark_changed(c->key());
        if (locked)
            return;
        std::string signal = feed->feed_signal_key();
        if (signal.empty())
            return;
        std::string other;
        if (!g.add_feed(signal, *c, other))
            report_duplicate(*c, other);
    });
}

void t_ref_buff::rebuild_structure() {
    dependency_graph& g = tables_->graph;
    std::vector<std::pair<t_ref*, i_struct_element*>> signals;
    walk_with_lock(*this, "K", [&](t_ref* c, bool locked) {
        auto* element = dynamic_cast<i_struct_element*>(c);
        if (element == nullptr)
            return;
        mark_changed(c->key());
        const std::string& signal = element->signal_key();
        if (locked || signal.empty())
            return;
        double* slot = element->value_slot();
        std::string other;
        if (!g.add_owner(signal, *c, slot != nullptr ? element : nullptr, other)) {
            report_duplicate(*c, other);
            return;
        }
        if (slot == nullptr)
            return;
        parser_->bind(signal, slot, c);
        element->link(!g.feed_key(g.find_signal(signal)).empty());
        signals.emplace_back(c, element);
    });
    // Once every signal is a variable, the expressions can name any of them.
    for (auto [c, element] : signals) {
        if (element->expression().empty())
            continue;
        try {
            register_uses(element->expression(), element->signal_key());
        } catch (const nx_exception_ref_init& e) {
            std::string text = c->full_path_text() + "\r\n" + e.what();
            // A parser complaint is in the log already.
            if (std::string_view(e.what()).find("Циклическая") != std::string_view::npos)
                nx_log::main().err(text);
            keep_error(text);
        }
    }
}

void t_ref_buff::rebuild_schemes() {
    std::vector<std::string> linkers;
    walk_with_lock(*this, "S", [&](t_ref* c, bool locked) {
        if (dynamic_cast<i_struct_linker*>(c) == nullptr)
            return;
        mark_changed(c->key());
        if (!locked)
            linkers.push_back(c->key());
    });
    // Linking may create or remove components: each one is looked up when its turn comes.
    for (const std::string& key : linkers) {
        t_ref* c = get(key);
        auto* linker = dynamic_cast<i_struct_linker*>(c);
        if (linker == nullptr)
            continue;
        struct linking_guard {
            t_ref*& at;
            ~linking_guard() { at = nullptr; }
        } guard{linking_};
        linking_ = c;
        try {
            linker->link(*this);
        } catch (const nx_exception_ref_init& e) {
            std::string text = c->full_path_text() + "\r\n" + e.what();
            nx_log::main().err(text);
            keep_error(text);
        }
    }
}

// ---------------------------------------------------------------- expressions

void t_ref_buff::register_uses(const std::string& expression, const std::string& signal_key) {
    auto compiled = parser_->compile(expression);
    if (!compiled->ok) {
        if (rebuilding_ && !lenient_)
            throw nx_exception_ref_init(compiled->error);
        return;
    }
    dependency_graph& g = tables_->graph;
    // Checked for every variable first: a refused expression registers nothing.
    for (const expression_variable& v : compiled->variables) {
        if (v.name == signal_key)
            continue;
        // V used by S closes a cycle when S already reaches V through the users.
        std::vector<std::string> path = g.cycle_through(v.name, signal_key);
        if (path.empty())
            continue;
        std::string text =
            "Циклическая зависимость недопустима (некорректный расчет выражений)\r\n";
        for (const std::string& k : path)
            text += k + " ••> ";
        text += signal_key;
        throw nx_exception_ref_init(text);
    }
    for (const expression_variable& v : compiled->variables)
        if (v.name != signal_key)
            g.add_use(v.name, signal_key);
}

bool t_ref_buff::register_watch(const std::string& expression, const std::string& component_key) {
    auto compiled = parser_->compile(expression);
    if (!compiled->ok) {
        // A strict rebuild reports the error when it ends, not here: thrown, it would leave
        // the linker's other expressions (the element's later rules, the table's other
        // contacts) unwatched, so their changes would never reach the screen.
        if (rebuilding_ && !lenient_) {
            t_ref* at = linking_ != nullptr ? linking_ : get(component_key);
            std::string text =
                (at != nullptr ? at->full_path_text() : component_key) + "\r\n" + compiled->error;
            nx_log::main().err(text);
            keep_error(text);
        }
        return false;
    }
    if (compiled->variables.empty())
        return true;
    t_ref* watcher = get(component_key);
    for (const expression_variable& v : compiled->variables)
        tables_->graph.add_watch(v.name, component_key, watcher);
    return true;
}

void t_ref_buff::used_components(const std::string& expression, key_set& out) {
    const dependency_graph& g = tables_->graph;
    for (const std::string& name : parser_->names_used(expression)) {
        dependency_graph::id s = g.find_signal(name);
        if (s != dependency_graph::none && !g.owner_key(s).empty())
            out.insert(g.owner_key(s));
    }
}

std::string t_ref_buff::feeder(const std::string& signal_key) const {
    const dependency_graph& g = tables_->graph;
    dependency_graph::id s = g.find_signal(signal_key);
    return s == dependency_graph::none ? std::string() : g.feed_key(s);
}

std::string t_ref_buff::signal_owner(const std::string& signal_key) const {
    const dependency_graph& g = tables_->graph;
    dependency_graph::id s = g.find_signal(signal_key);
    return s == dependency_graph::none ? std::string() : g.owner_key(s);
}

double t_ref_buff::evaluate(const std::string& expression) {
    auto compiled = parser_->compile(expression);
    double result = 0;
    if (!compiled->ok || !parser_->run(*compiled, result))
        return 0;
    return result;
}

void t_ref_buff::refresh_source(std::uint32_t signal, i_struct_element& element) {
    struct restore {
        std::uint32_t& at;
        std::uint32_t saved;
        ~restore() { at = saved; }
    } guard{refreshing_, refreshing_};
    refreshing_ = signal;
    element.refresh();
}

void t_ref_buff::calc(const std::string& expression, t_ref& target, double& value) {
    dependency_graph& g = tables_->graph;
    dependency_graph::id own =
        refreshing_ != dependency_graph::none && g.owner(refreshing_) == &target
            ? refreshing_
            : g.signal_of(target);
    if (own != dependency_graph::none) {
        g.set_pending(own, false);
    } else if (!g.known_plain(target)) {
        // A signal outside the tables (locked, duplicate) still takes its key off the list.
        if (auto* element = dynamic_cast<i_struct_element*>(&target)) {
            dependency_graph::id s = g.find_signal(element->signal_key());
            if (s != dependency_graph::none)
                g.set_pending(s, false);
        } else {
            g.note_plain(target);
        }
    }
    if (expression.empty())
        return;

    struct self_guard {
        expression_engine& engine;
        const double* saved;
        ~self_guard() { engine.set_self(saved); }
    };

    try {
        expression_engine::compiled_ptr compiled = parser_->compile(expression);

        if (compiled->ids_generation != g.generation() || compiled->ids_size != g.size()) {
            compiled->signal_ids.clear();
            for (const expression_variable& v : compiled->variables)
                compiled->signal_ids.push_back(g.find_signal(v.name));
            compiled->ids_generation = g.generation();
            compiled->ids_size = g.size();
        }
        // Sources changed since their last refresh are brought up to date first. By index: a
        // source's own calculation may take the numbers of a shared expression again.
        for (std::size_t i = 0; i < compiled->signal_ids.size(); ++i) {
            dependency_graph::id s = compiled->signal_ids[i];
            if (s == dependency_graph::none || !g.take_pending(s))
                continue;
            if (i_struct_element* source = g.element(s))
                refresh_source(s, *source);
        }

        double result = value;
        bool evaluated = false;
        {
            self_guard guard{*parser_, parser_->self()};
            parser_->set_self(&value);
            evaluated = compiled->ok && parser_->run(*compiled, result);
        }

        std::uint32_t f = target.flags();
        bool uses_self = (f & flag_uses_self) != 0;
        bool control = evaluated && (f & flag_control) != 0;
        bool defined = (f & flag_defined) != 0;
        bool manual = (f & (flag_manual_pending | flag_uses_self)) != 0 && (f & flag_manual) != 0;
        bool unacknowledged =
            ((f & flag_change_pending) != 0 || uses_self) && (f & flag_unacknowledged) != 0;
        bool invalid = (f & flag_invalid) != 0;
        if (compiled->ok) {
            for (const expression_variable& v : compiled->variables) {
                if (v.owner == nullptr)
                    continue;
                std::uint32_t g = v.owner->flags();
                control = control && (g & flag_control) != 0;
                defined = defined && (g & flag_defined) != 0;
                manual = manual || (g & flag_manual) != 0;
                unacknowledged = unacknowledged || (g & flag_unacknowledged) != 0;
                invalid = invalid || (g & flag_invalid) != 0;
            }
        }
        if (evaluated)
            value = result;
        target.set_flag(control, flag_control);
        target.set_flag(defined, flag_defined);
        target.set_flag(manual, flag_manual);
        target.set_flag(unacknowledged, flag_unacknowledged);
        target.set_flag(invalid, flag_invalid);
        target.set_flag(false, flag_manual_pending | flag_change_pending);
    } catch (const std::exception&) {
        nx_log::main().err("какая-то ошибка в CALC !");
    }
}

// ---------------------------------------------------------------- countdown

void t_ref_buff::start_countdown(const std::string& key) {
    tables_->countdown.insert(key);
}

void t_ref_buff::countdown_tick() {
    auto& set = tables_->countdown;
    for (auto it = set.begin(); it != set.end();) {
        auto* element = dynamic_cast<i_countdown*>(get(*it));
        if (element != nullptr && element->countdown_counter() > 1) {
            --element->countdown_counter();
            ++it;
            continue;
        }
        mark_changed(*it);
        it = set.erase(it);
    }
}

// ---------------------------------------------------------------- destruction

void t_ref_buff::component_destroyed(const t_ref& component) {
    if (!tables_ || !parser_ || component.key().empty())
        return;
    // The parser must not keep reading a value that is gone.
    dependency_graph& g = tables_->graph;
    dependency_graph::id s = g.signal_of(component);
    if (s != dependency_graph::none)
        parser_->unbind(g.signal_key(s), &component);
    g.unregister(component);
}

} // namespace nxkit
