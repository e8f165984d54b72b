#include "schemes/t_el.h"

#include "base/nx_exception.h"
#include "base/nx_xml_writer.h"
#include "config/ref_types.h"
#include "config/t_ref_buff.h"
#include "schemes/t_element.h"

namespace nxkit {

t_el::t_el(t_ref_buff& store, int type) : t_ref(store, type) {}

t_el::~t_el() {
    // The element must not keep a rule that is gone.
    if (auto* element = dynamic_cast<t_element*>(parent()))
        element->remove_rule(*this);
}

void t_el::init() {
    owner_ = dynamic_cast<t_element*>(parent());
    if (owner_ == nullptr)
        throw nx_exception_ref_init("Компонент '" + type_name(type()) + "' (" + key() +
                                    ") должен находиться в компоненте '" + type_name(tp_element) +
                                    "'");
    if (has_flag(flag_locked))
        owner_->remove_rule(*this);
    else
        owner_->add_rule(*this);
    t_ref::init();
    // An edit outside a load: the element hears of the rule's new signals at once and is
    // computed again, not only after the next rebuild.
    if (!store().bulk()) {
        if (!has_flag(flag_locked))
            link();
        store().mark_changed(owner_->key());
    }
}

void t_el::watch(const std::string& expression) {
    if (!expression.empty() && owner_ != nullptr)
        store().register_watch(expression, owner_->key());
}

void t_el::reconcile_with_type(std::string& property, std::string* on_value,
                               std::string* off_value) {
    if (has_flag(flag_read_only) || owner_ == nullptr || !owner_->kind())
        return;
    element_type& record = *owner_->kind();
    if (property.empty()) {
        property = record.current_property;
        if (on_value != nullptr)
            *on_value = record.current_on;
        if (off_value != nullptr)
            *off_value = record.current_off;
        return;
    }
    // The values in use show up in the suggestion lists and become the type's choice.
    property_entry& entry = select_property(record, property);
    if (on_value != nullptr && !on_value->empty())
        add_value(record, entry, *on_value, true);
    if (off_value != nullptr && !off_value->empty())
        add_value(record, entry, *off_value, false);
}

int t_el::property_editor(choice_list& choices) const {
    choices.clear();
    if (owner_ == nullptr || !owner_->kind())
        return editor_free_text;
    for (const auto& [name, entry] : owner_->kind()->properties)
        choices.push_back({name, static_cast<int>(choices.size())});
    return editor_choice_or_text;
}

int t_el::value_editor(const std::string& property, choice_list& choices) const {
    choices.clear();
    if (owner_ == nullptr || !owner_->kind())
        return editor_free_text;
    auto it = owner_->kind()->properties.find(property);
    if (it != owner_->kind()->properties.end())
        for (const std::string& value : it->second.values)
            choices.push_back({value, static_cast<int>(choices.size())});
    return editor_choice_or_text;
}

void t_el::write_text_element(nx_xml_writer& writer, const char* name, const std::string& text) {
    if (text.empty())
        return;
    writer.begin(name);
    {
        // The text stays on the line of its tag.
        nx_xml_pretty_guard inline_text(writer, false);
        writer.text(xml_escape(text));
    }
    writer.end(name);
}

} // namespace nxkit
