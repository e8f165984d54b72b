#include "structure/t_struct.h"

#include "base/nx_exception.h"
#include "base/nx_xml_writer.h"
#include "base/text.h"
#include "config/entry_checks.h"
#include "config/ref_types.h"
#include "config/t_ref_buff.h"

#include <cstdlib>

namespace nxkit {

t_struct::t_struct(t_ref_buff& store, int type) : t_ref(store, type) {}

const char* t_struct::number_caption() {
    return "Номер (1-65535)";
}

std::string t_struct::number_text() const {
    return element_number_ == 0 ? std::string() : std::to_string(element_number_);
}

std::uint16_t t_struct::parse_number(const std::string& text) {
    // A number the field cannot hold is refused, never cut: 70000 would become 4464 and every
    // reference to the signal would point elsewhere. Empty or 0 is "no number", as before.
    if (text.find_first_not_of(" \t0") == std::string::npos)
        return 0;
    return static_cast<std::uint16_t>(entry_number(text, 1, 65535, "Номер"));
}

void t_struct::on_start(const nx_xml_element& element) {
    t_ref::on_start(element);
    if (element.name == "ref")
        element_number_ =
            static_cast<std::uint16_t>(static_cast<unsigned>(element.attr_int("num")) & 0xFFFFu);
}

bool t_struct::set_parameter(int index, const std::string& text) {
    if (index == 1) {
        element_number_ = parse_number(text);
        return true;
    }
    return t_ref::set_parameter(index, text);
}

bool t_struct::get_parameter(int index, std::string& value, std::string& name) {
    if (index == 1) {
        name = number_caption();
        value = number_text();
        return true;
    }
    return t_ref::get_parameter(index, value, name);
}

std::string t_struct::struct_text() const {
    std::string mark;
    if (element_number_ != 0)
        mark = "(" + (signal_key_.empty() ? std::to_string(element_number_) : signal_key_) + ")";
    std::string kind = title().empty() ? type_name(type(), true) : std::string();
    return mark + " " + kind + title();
}

std::string t_struct::display_name() {
    return struct_text();
}

std::uint16_t t_struct::ancestor_number(int wanted) {
    for (t_ref* p = parent(); p != nullptr; p = p->parent()) {
        if (p->type() != wanted)
            continue;
        if (auto* element = dynamic_cast<t_struct*>(p))
            return element->element_number();
    }
    throw nx_exception_ref_init("Для компонента '" + type_name(type()) + "' (" + key() +
                                ") не удалось найти " + type_name(wanted));
}

void t_struct::check_unique() {
    if (signal_key_.empty() || has_flag_in_chain(flag_locked))
        return;
    std::string owner = store().signal_owner(signal_key_);
    if (owner.empty() || owner == key())
        return;
    t_ref* other = store().get(owner);
    if (other == nullptr)
        return;
    throw nx_exception_ref_init(duplicate_message(1, *other));
}

void t_struct::init() {
    signal_key_.clear();
    signal_key_ = compute_signal_key();
    derive_state();
    check_unique();
    t_ref::init();
}

void t_struct::write(nx_xml_writer& writer) {
    t_ref::write(writer);
    writer.attribute("num", number_text());
}

} // namespace nxkit
