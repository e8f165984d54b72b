#include "views/bind_choices.h"

#include "base/settings_keys.h"
#include "config/t_ref_buff.h"
#include "schemes/t_element.h"

namespace nxkit {

t_element* first_element_at(t_ref& target) {
    if (auto* element = dynamic_cast<t_element*>(&target))
        return element;
    for (t_ref* r : target.store().refs().under(target.key()))
        if (auto* element = dynamic_cast<t_element*>(r))
            return element;
    return nullptr;
}

std::string marked_template(const std::string& name_template) {
    return name_template.find('#') == std::string::npos ? "#" + name_template : name_template;
}

std::set<std::string>& template_history() {
    static std::set<std::string> history;
    return history;
}

bool bind_choices::begin(t_ref& target) {
    t_element* sample = first_element_at(target);
    if (sample == nullptr || !sample->kind())
        return false;
    record_ = sample->kind();
    template_ = read_setting(setting::last_tl);
    template_history().insert(template_);

    element_type& record = *record_;
    record.current_property = settings_get_string(setting::last_par.section, setting::last_par.key,
                                                  record.current_property, true);
    record.current_on = settings_get_string(setting::last_on.section, setting::last_on.key,
                                            record.current_on, true);
    record.current_off = settings_get_string(setting::last_of.section, setting::last_of.key,
                                             record.current_off, true);
    reapply_current(record);
    return true;
}

std::vector<std::string> bind_choices::property_names() const {
    std::vector<std::string> names;
    for (const auto& [name, entry] : record_->properties)
        names.push_back(name);
    return names;
}

std::vector<std::string> bind_choices::values() const {
    auto it = record_->properties.find(record_->current_property);
    if (it == record_->properties.end())
        return {};
    return {it->second.values.begin(), it->second.values.end()};
}

std::vector<std::string> bind_choices::templates() const {
    return {template_history().begin(), template_history().end()};
}

void bind_choices::select_property(const std::string& property) {
    nxkit::select_property(*record_, property);
}

void bind_choices::take(const std::string& property, const std::string& on_value,
                        const std::string& off_value, const std::string& name_template) {
    record_->current_property = property;
    record_->current_on = on_value;
    record_->current_off = off_value;
    template_ = name_template;
}

std::string bind_choices::finish() {
    template_ = marked_template(template_);
    template_history().insert(template_);
    write_setting(setting::last_tl, template_);
    write_setting(setting::last_par, record_->current_property);
    write_setting(setting::last_on, record_->current_on);
    write_setting(setting::last_of, record_->current_off);
    reapply_current(*record_);
    return template_;
}

} // namespace nxkit
