#include "schemes/t_element.h"

#include "base/nx_exception.h"
#include "base/nx_xml_writer.h"
#include "base/settings.h"
#include "base/text.h"
#include "config/ref_types.h"
#include "config/t_ref_buff.h"
#include "schemes/scheme_commands.h"
#include "schemes/t_el_onof.h"
#include "schemes/t_schema_modus50.h"
#include "schemes/t_schema_root.h"

#include <algorithm>
#include <charconv>

namespace nxkit {

std::string element_xml(int type, int rtid, const std::string& disp_name) {
    nx_xml_writer writer;
    writer.set_indent(0);
    writer.set_attributes_on_lines(false);
    writer.begin("ref");
    writer.attribute("tp", std::to_string(type));
    writer.attribute("rtid", std::to_string(rtid));
    std::string name = trim(disp_name, ' ');
    if (!name.empty())
        writer.attribute("disp", xml_escape(name));
    writer.end("ref");
    return writer.result();
}

t_element::t_element(t_ref_buff& store) : t_rtid_sel(store, tp_element) {
    set_flag(true, flag_no_delete | element_expand_on_select);
}

t_element::~t_element() {
    if (t_schema_modus50* s = scheme())
        s->forget_element(registered_rtid_, this);
    t_schema_root::mark_element_gone(store());
}

void t_element::on_start(const nx_xml_element& element) {
    t_rtid_sel::on_start(element);
    if (element.name != "ref")
        return;
    disp_name_ = trim(element.attr("disp"), ' ');
    int seconds = element.attr_int("tmoo");
    tmoo_ = clamp_tmoo(seconds < 0 ? 0u : static_cast<unsigned>(seconds), false);
}

void t_element::set_disp_name(const std::string& name) {
    disp_name_ = trim(name, ' ');
}

bool t_element::set_parameter(int index, const std::string& text) {
    switch (index) {
    case 2:
        set_disp_name(text);
        return true;
    case 3: {
        std::string digits = trim(text, ' ');
        unsigned seconds = 0;
        auto res = std::from_chars(digits.data(), digits.data() + digits.size(), seconds);
        tmoo_ = clamp_tmoo(res.ec == std::errc() ? seconds : 0u, false);
        return true;
    }
    default:
        return t_rtid_sel::set_parameter(index, text);
    }
}

bool t_element::get_parameter(int index, std::string& value, std::string& name) {
    switch (index) {
    case 2:
        name = "Дисп_имя";
        value = disp_name_;
        return true;
    case 3:
        name = "t переключения,с";
        value = std::to_string(tmoo_);
        return true;
    default:
        return t_rtid_sel::get_parameter(index, value, name);
    }
}

int t_element::parameter_editor(int index, choice_list& choices) {
    if (index == 2)
        return editor_read_only;
    return t_rtid_sel::parameter_editor(index, choices);
}

bool t_element::can_add_child(int type) {
    if (type == tp_el_disp)
        return rules_.empty();
    return std::none_of(rules_.begin(), rules_.end(),
                        [](const t_el* r) { return r->type() == tp_el_disp; });
}

std::string t_element::display_name() {
    std::string separator = !disp_name_.empty() && !title().empty() ? " - " : "";
    return "(" + std::to_string(rtid()) + ")" + disp_name_ + separator + title();
}

void t_element::tree_images(int& icon, int& overlay, int& state) {
    aggregate();
    t_rtid_sel::tree_images(icon, overlay, state);
    if (kind_)
        icon = switching_rule() != nullptr && switching_rule()->on() ? kind_->image_on
                                                                     : kind_->image_off;
    if (has_flag(flag_locked))
        state = 1;
    else if (rules_.empty())
        state = 4;
    else if (!has_flag(flag_control))
        state = 2;
    else if (!has_flag(flag_defined))
        state = countdown_ == 1 ? 3 : 8;
    else if (has_flag(flag_unacknowledged))
        state = 5;
    else if (has_flag(flag_manual))
        state = 6;
    else if (has_flag(flag_invalid))
        state = 7;
    else
        state = 0;
}

t_schema_modus50* t_element::scheme() const {
    for (t_ref* r = parent(); r != nullptr; r = r->parent())
        if (auto* s = dynamic_cast<t_schema_modus50*>(r))
            return s;
    return nullptr;
}

void t_element::init() {
    // Cleared first: the rules below register again even when this element fails.
    rules_.clear();
    switching_rule_ = nullptr;
    t_schema_modus50* s = scheme();
    if (s == nullptr)
        throw nx_exception("Для компонента '" + type_name(type()) + "' (" + key() +
                           ") не удалось найти t_schema_modus50");
    // An element initialised again under a new counter leaves its old entry.
    s->forget_element(registered_rtid_, this);
    registered_rtid_ = rtid();
    s->register_element(registered_rtid_, this);
    t_rtid_sel::init();
}

void t_element::write(nx_xml_writer& writer) {
    t_rtid_sel::write(writer);
    if (!disp_name_.empty())
        writer.attribute("disp", xml_escape(disp_name_));
    if (tmoo_ != 0)
        writer.attribute("tmoo", std::to_string(tmoo_));
}

int t_element::command(bool query, int index, std::string& arg) {
    return scheme_command(*this, false, query, index, arg);
}

void t_element::link(t_ref_buff&) {
    // A move renumbers the rules: their order follows the tree again.
    std::sort(rules_.begin(), rules_.end(),
              [](const t_el* a, const t_el* b) { return a->key() < b->key(); });
    for (t_el* rule : rules_)
        if (!rule->has_flag(flag_locked))
            rule->link();
}

void t_element::add_rule(t_el& rule) {
    // Checked against the rules before this one, so a lone command rule is accepted.
    if (!can_add_child(rule.type())) {
        if (rule.type() != tp_el_disp)
            throw nx_exception_ref_init("Компонент '" + type_name(tp_el_disp) +
                                        "' не позволяет добавлять другие компоненты.");
        throw nx_exception_ref_init("Компонент '" + type_name(rule.type()) +
                                    "' можно добавить, когда нет других компонентов.");
    }
    if (std::find(rules_.begin(), rules_.end(), &rule) != rules_.end())
        return;
    // In the order of the tree, as a load makes it: the aggregation reads the rules in turn,
    // and a rule taken out and put back by an edit must not move to the end.
    auto at = std::find_if(rules_.begin(), rules_.end(),
                           [&rule](const t_el* other) { return rule.key() < other->key(); });
    rules_.insert(at, &rule);
}

void t_element::remove_rule(const t_el& rule) {
    std::erase(rules_, &rule);
    if (switching_rule_ == &rule)
        switching_rule_ = nullptr;
}

void t_element::aggregate() {
    if (has_flag(flag_evaluated))
        return;
    set_flag(true, flag_evaluated);
    set_flag(!rules_.empty(), element_has_rules);
    bool control = !rules_.empty();
    bool defined = true;
    bool unacknowledged = false;
    bool manual = false;
    bool invalid = false;
    for (t_el* rule : rules_) {
        rule->evaluate();
        // Label rules show something but say nothing about the apparatus.
        if (rule->has_flag(flag_read_only))
            continue;
        if (control) {
            control = rule->has_flag(flag_control);
            if (defined)
                defined = rule->has_flag(flag_defined);
        }
        unacknowledged = unacknowledged || rule->has_flag(flag_unacknowledged);
        manual = manual || rule->has_flag(flag_manual);
        invalid = invalid || rule->has_flag(flag_invalid);
    }
    set_flag(control, flag_control);
    set_flag(defined, flag_defined);
    set_flag(unacknowledged, flag_unacknowledged);
    set_flag(manual, flag_manual);
    set_flag(invalid, flag_invalid);
}

void t_element::count_down() {
    if (has_flag(flag_defined)) {
        countdown_ = 0;
        return;
    }
    if (switching_rule() == nullptr || switching_rule()->on()) {
        countdown_ = 1;
        return;
    }
    if (countdown_ != 0)
        return;
    countdown_ = tmoo_ != 0 ? tmoo_ : t_schema_root::tmoo();
    if (countdown_ > 1)
        store().start_countdown(key());
}

void t_element::compute(property_map& properties, style_map& styles) {
    aggregate();
    for (t_el* rule : rules_)
        rule->apply(properties, styles);

    bool control = has_flag(flag_control);
    styles[style::not_ref] = rules_.empty() && !has_flag_in_chain(flag_locked);
    styles[style::not_control] = !rules_.empty() && !control;
    count_down();
    styles[style::not_norma] = control && !has_flag(flag_defined) && countdown_ == 1;
    styles[style::onof] = countdown_ > 1;
    styles[style::not_cvit] = has_flag(flag_unacknowledged);
    if (settings_get_int("HAND", "SHOW", 1, true) != 0)
        styles[style::hand] = has_flag(flag_manual);
    styles[style::bad_dev] = has_flag(flag_invalid);
}

t_el_onof* t_element::switching_rule() const {
    if (switching_rule_ == nullptr || !switching_rule_->has_flag(flag_read_only))
        return switching_rule_;
    for (t_el* rule : rules_) {
        auto* onof = dynamic_cast<t_el_onof*>(rule);
        if (onof != nullptr && !onof->has_flag(flag_locked) && !onof->has_flag(flag_read_only))
            return onof;
    }
    return nullptr;
}

} // namespace nxkit
