#include "interlock/whatif/whatif_engine.h"

#include "base/nx_exception.h"
#include "config/config_classes.h"
#include "config/ref_flags.h"
#include "config/t_ref_buff.h"
#include "interlock/t_ilk_tu.h"
#include "interlock/t_ilk_vts.h"
#include "schemes/ilk/ilk_scheme_classes.h"
#include "schemes/ilk/projection.h"
#include "structure/structure_classes.h"
#include "structure/t_struct_vl.h"

#include <algorithm>

namespace nxkit {

namespace {

// The children of a subtree_xml text: what lies between its REFs tags.
std::string inside_refs(const std::string& text) {
    std::size_t start = text.find("<REFs");
    std::size_t end = text.rfind("</REFs>");
    if (start == std::string::npos || end == std::string::npos)
        return {};
    start = text.find('>', start);
    if (start == std::string::npos || start > end)
        return {};
    return text.substr(start + 1, end - start - 1);
}

// Only the structure and the schemes are copied: the equipment tree (devices, their
// connections and controllers) never exists in a what-if store.
std::string structure_and_schemes(t_ref_buff& store) {
    return inside_refs(store.subtree_xml("K")) + inside_refs(store.subtree_xml("S"));
}

std::vector<t_struct_vl*> structure_signals(t_ref_buff& store) {
    std::vector<t_struct_vl*> signals;
    for (t_ref* r : store.refs().under("K"))
        if (auto* s = dynamic_cast<t_struct_vl*>(r); s != nullptr && !s->signal_key().empty())
            signals.push_back(s);
    return signals;
}

// A signal a device feeds, or one with nothing to compute it, takes its value from outside:
// the copy holds it. One computed from other signals keeps computing.
bool takes_value_from_outside(const t_struct_vl& s) {
    return s.linked() || s.entered_by_hand() || !s.has_flag(flag_has_expression);
}

whatif_signal state_of(const t_struct_vl& s) {
    return {s.value(), s.control(), s.defined(), s.invalid(), s.manual()};
}

} // namespace

whatif_engine::whatif_engine() : store_(std::make_unique<t_ref_buff>()) {
    store_->set_detached();
    register_config_classes(*store_);
    register_structure_classes(*store_);
    register_all_scheme_classes(*store_);
}

whatif_engine::~whatif_engine() = default;

whatif_values whatif_engine::read_values(t_ref_buff& store) {
    whatif_values values;
    for (t_struct_vl* s : structure_signals(store))
        values.emplace(s->signal_key(), state_of(*s));
    return values;
}

std::unique_ptr<whatif_engine> whatif_engine::from_live(t_ref_buff& live) {
    whatif_values values;
    std::map<std::string, bool> held;
    for (t_struct_vl* s : structure_signals(live)) {
        values.emplace(s->signal_key(), state_of(*s));
        held.emplace(s->signal_key(), takes_value_from_outside(*s));
    }
    std::unique_ptr<whatif_engine> engine(new whatif_engine());
    engine->load_copy(structure_and_schemes(live), values, held);
    engine->live_generation_ = live.generation();
    engine->live_edits_ = live.state().edits();
    return engine;
}

bool whatif_engine::same_configuration(t_ref_buff& live) {
    return live_generation_ == live.generation() && live_edits_ == live.state().edits() &&
           !live.state().load_failed();
}

void whatif_engine::take_live_values(t_ref_buff& live) {
    whatif_values values = read_values(live);
    for (auto& [key, s] : signals_) {
        auto h = held_from_outside_.find(key);
        auto v = values.find(key);
        if (h != held_from_outside_.end() && h->second && v != values.end()) {
            // Only what differs goes into the pass: entering repeats no work for the rest.
            if (!s->held() || !(state_of(*s) == v->second))
                s->hold(v->second.value, {v->second.control, v->second.defined, v->second.invalid,
                                          v->second.manual});
        } else if (s->held()) {
            s->release_hold();
        }
    }
    apply();
}

std::unique_ptr<whatif_engine> whatif_engine::from_text(const std::string& refs_text,
                                                        const whatif_signal& initial) {
    // A staging store reads the whole file without the equipment classes: a device made even
    // without being started prepares its log folder in the station, and nothing of the
    // station may change. Its elements stay unknown text there and are not copied on.
    t_ref_buff staging;
    staging.set_detached();
    register_config_classes(staging);
    register_structure_classes(staging);
    register_all_scheme_classes(staging);
    staging.load_text(refs_text);
    whatif_values values;
    std::map<std::string, bool> held;
    for (t_struct_vl* s : structure_signals(staging)) {
        // Without the equipment, a signal a device would feed is one without an expression of
        // its own, or one whose expression reads "self".
        bool outside = !s->has_flag(flag_has_expression) || s->has_flag(flag_uses_self);
        values.emplace(s->signal_key(), outside ? initial : state_of(*s));
        held.emplace(s->signal_key(), outside);
    }
    std::unique_ptr<whatif_engine> engine(new whatif_engine());
    engine->load_copy(structure_and_schemes(staging), values, held);
    return engine;
}

void whatif_engine::load_copy(const std::string& text, const whatif_values& values,
                              const std::map<std::string, bool>& held) {
    store_->load_text("<REFs version=\"1\">\r\n" + text + "\r\n</REFs>");
    held_from_outside_ = held;
    index();
    for (auto& [key, s] : signals_) {
        auto h = held.find(key);
        auto v = values.find(key);
        if (h != held.end() && h->second && v != values.end())
            s->hold(v->second.value,
                    {v->second.control, v->second.defined, v->second.invalid, v->second.manual});
    }
    apply();
}

void whatif_engine::index() {
    signals_.clear();
    rows_by_name_.clear();
    apparatus_by_name_.clear();
    name_by_contact_.clear();
    for (t_struct_vl* s : structure_signals(*store_))
        signals_.emplace(s->signal_key(), s);
    for (t_ref* r : store_->refs().under("S")) {
        if (auto* row = dynamic_cast<t_ilk_tu*>(r)) {
            std::string name = row->disp_name();
            if (!name.empty())
                rows_by_name_[name].push_back(row);
        } else if (auto* column = dynamic_cast<t_ilk_ts*>(r)) {
            std::string name = column->disp_name();
            if (name.empty())
                continue;
            whatif_apparatus& a = apparatus_by_name_[name];
            a.name = name;
            auto add = [&](std::vector<std::string>& list, const std::string& contact) {
                // A contact that is an expression cannot be set; only signal keys are.
                if (signals_.count(contact) == 0)
                    return;
                if (std::find(list.begin(), list.end(), contact) == list.end())
                    list.push_back(contact);
                name_by_contact_.emplace(contact, name);
            };
            add(a.open_contacts, column->contact_no());
            add(a.closed_contacts, column->contact_nc());
        }
    }
}

t_struct_vl* whatif_engine::signal(const std::string& signal_key) const {
    auto it = signals_.find(signal_key);
    return it == signals_.end() ? nullptr : it->second;
}

whatif_values whatif_engine::values() {
    whatif_values values;
    for (auto& [key, s] : signals_)
        values.emplace(key, state_of(*s));
    return values;
}

bool whatif_engine::has_signal(const std::string& signal_key) const {
    return signals_.count(signal_key) != 0;
}

void whatif_engine::set_signal(const std::string& signal_key, const whatif_signal& state) {
    t_struct_vl* s = signal(signal_key);
    if (s == nullptr)
        throw nx_exception("нет сигнала " + signal_key);
    s->hold(state.value, {state.control, state.defined, state.invalid, state.manual});
}

void whatif_engine::set_value(const std::string& signal_key, double value) {
    whatif_signal state;
    state.value = value;
    set_signal(signal_key, state);
}

void whatif_engine::set_values(const whatif_values& values) {
    for (const auto& [key, state] : values)
        if (!has_signal(key))
            throw nx_exception("нет сигнала " + key);
    for (const auto& [key, state] : values)
        set_signal(key, state);
}

bool whatif_engine::find_apparatus(const std::string& text, whatif_apparatus& out) {
    if (auto it = apparatus_by_name_.find(text);
        it != apparatus_by_name_.end() &&
        !(it->second.open_contacts.empty() && it->second.closed_contacts.empty())) {
        out = it->second;
        return true;
    }
    if (auto it = name_by_contact_.find(text); it != name_by_contact_.end()) {
        out = apparatus_by_name_[it->second];
        return true;
    }
    if (t_struct_vl* s = signal(text)) {
        // A signal that is no column's contact: the apparatus is that signal alone.
        out = whatif_apparatus{s->title(), {text}, {}};
        return true;
    }
    return false;
}

void whatif_engine::set_position(const whatif_apparatus& apparatus, bool on) {
    for (const std::string& key : apparatus.open_contacts)
        set_value(key, on ? 1 : 0);
    for (const std::string& key : apparatus.closed_contacts)
        set_value(key, on ? 0 : 1);
}

int whatif_engine::position(const whatif_apparatus& apparatus) {
    if (apparatus.open_contacts.empty() && apparatus.closed_contacts.empty())
        return -1;
    int on = 0;
    int off = 0;
    int count = 0;
    auto read = [&](const std::string& key, double on_value) {
        t_struct_vl* s = signal(key);
        ++count;
        if (s == nullptr || !s->control() || !s->defined())
            return;
        if (s->value() == on_value)
            ++on;
        else if (s->value() == 1 - on_value)
            ++off;
    };
    for (const std::string& key : apparatus.open_contacts)
        read(key, 1);
    for (const std::string& key : apparatus.closed_contacts)
        read(key, 0);
    return on == count ? 1 : off == count ? 0 : -1;
}

void whatif_engine::apply() {
    project_tables(*store_);
    store_->update_pass();
}

std::vector<t_ilk_tu*> whatif_engine::rows_of(const std::string& name) {
    auto it = rows_by_name_.find(name);
    return it == rows_by_name_.end() ? std::vector<t_ilk_tu*>{} : it->second;
}

} // namespace nxkit
