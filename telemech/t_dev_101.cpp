#include "telemech/t_dev_101.h"

#include "base/nx_exception.h"
#include "config/ref_types.h"
#include "config/t_ref_buff.h"
#include "telemech/t_com_port.h"

#include <charconv>

namespace nxkit {

namespace {

// The protocol log's parameter rows.
const t_dev_asdu::log_rows log_rows_101{4, {{"• данные", 0}, {"• канал", 2}, {"• запрос", 4}}};

} // namespace

t_dev_101::t_dev_101(t_ref_buff& store) : t_dev_asdu(store, tp_dev_101) {
    // A new device logs its user data until told otherwise.
    set_log_defaults(true, 3);
}

t_dev_101::~t_dev_101() {
    // The port's worker may still be polling into this device. The port is found through the
    // parents as well: a move may have re-keyed it since this device's init.
    t_com_port* near = port();
    if (near != nullptr)
        near->device_gone(*this);
    if (t_ref* r = port_key_.empty() ? nullptr : store().get(port_key_))
        if (auto* p = dynamic_cast<t_com_port*>(r); p != nullptr && p != near)
            p->device_gone(*this);
}

void t_dev_101::start(i_update_poster* window) {
    // The port gave the window before its worker began, and the worker reads it: written only
    // when it really changes.
    if (window_ != window)
        window_ = window;
    set_flag(true, flag_no_delete);
}

void t_dev_101::on_start(const nx_xml_element& element) {
    t_dev_asdu::on_start(element);
    if (element.name == "ref" && !lcn_seen())
        set_log_defaults(true, 3);
}

bool t_dev_101::set_parameter(int index, const std::string& text) {
    return set_log_parameter(log_rows_101, index, text) || t_dev_asdu::set_parameter(index, text);
}

bool t_dev_101::get_parameter(int index, std::string& value, std::string& name) {
    return get_log_parameter(log_rows_101, index, value, name) ||
           t_dev_asdu::get_parameter(index, value, name);
}

int t_dev_101::parameter_editor(int index, choice_list& choices) {
    int kind = 0;
    if (log_parameter_editor(log_rows_101, index, choices, kind))
        return kind;
    return t_dev_asdu::parameter_editor(index, choices);
}

std::string t_dev_101::display_name() {
    return "(кп " + std::to_string(addr()) + ") " + t_dev_asdu::display_name();
}

void t_dev_101::tree_images(int& icon, int& overlay, int& state) {
    t_dev_asdu::tree_images(icon, overlay, state);
    icon = 1408;
}

t_com_port* t_dev_101::port() {
    for (t_ref* r = parent(); r != nullptr; r = r->parent())
        if (auto* p = dynamic_cast<t_com_port*>(r))
            return p;
    return nullptr;
}

void t_dev_101::init() {
    t_com_port* p = port();
    if (p == nullptr)
        throw nx_exception("Для компонента '" + type_name(type()) + "' (" + key() +
                           ") не удалось найти t_com_port");
    if (!port_key_.empty() && port_key_ != p->key())
        if (auto* old = dynamic_cast<t_com_port*>(store().get(port_key_)))
            old->unregister_device(*this);
    port_key_ = p->key();
    p->unregister_device(*this);
    if (!has_flag_in_chain(flag_locked))
        p->register_device(*this);
    init_device(log_name());
}

std::string t_dev_101::log_name() const {
    return "101 " + std::to_string(addr()) + " - " + key() + ".log";
}

void t_dev_101::prepare_log() {
    set_log_name(log_name());
}

} // namespace nxkit
