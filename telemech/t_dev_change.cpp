#include "telemech/t_dev_change.h"

#include "base/nx_exception.h"
#include "base/nx_xml_writer.h"
#include "config/ref_types.h"
#include "config/t_ref_buff.h"
#include "telemech/t_dev_asdu.h"

namespace nxkit {

t_dev_change::t_dev_change(t_ref_buff& store, int type) : t_dev(store, type) {}

t_dev_change::~t_dev_change() {
    if (t_dev_asdu* d = device())
        d->detach(*this);
}

t_dev_asdu* t_dev_change::device() const {
    if (device_key_.empty())
        return nullptr;
    return dynamic_cast<t_dev_asdu*>(store().get(device_key_));
}

void t_dev_change::on_start(const nx_xml_element& element) {
    t_dev::on_start(element);
    if (element.name != "ref")
        return;
    canal_ = parse_u16(element.attr("canal"));
    kp_ = parse_u16(element.attr("kp"));
    num_ = parse_u16(element.attr("num"));
}

bool t_dev_change::set_parameter(int index, const std::string& text) {
    int first = first_number_index();
    if (index == first)
        canal_ = entry_u16(text, "Номер канала");
    else if (index == first + 1)
        kp_ = entry_u16(text, "Номер раздела");
    else if (index == first + 2)
        num_ = entry_u16(text, "Номер сигнала");
    else
        return t_dev::set_parameter(index, text);
    return true;
}

bool t_dev_change::get_parameter(int index, std::string& value, std::string& name) {
    int first = first_number_index();
    if (index == first) {
        name = "Номер канала";
        value = std::to_string(canal_);
    } else if (index == first + 1) {
        name = "Номер раздела";
        value = std::to_string(kp_);
    } else if (index == first + 2) {
        name = "Номер сигнала";
        value = std::to_string(num_);
    } else {
        return t_dev::get_parameter(index, value, name);
    }
    return true;
}

void t_dev_change::write(nx_xml_writer& writer) {
    t_dev::write(writer);
    if (canal_ != 0)
        writer.attribute("canal", std::to_string(canal_));
    if (kp_ != 0)
        writer.attribute("kp", std::to_string(kp_));
    if (num_ != 0)
        writer.attribute("num", std::to_string(num_));
}

std::string t_dev_change::log_file() {
    t_ref* p = parent();
    return p != nullptr ? p->log_file() : t_dev::log_file();
}

std::string t_dev_change::make_signal_key(char prefix) const {
    if (canal_ == 0 || kp_ == 0 || num_ == 0)
        return {};
    return prefix + std::to_string(canal_) + "_" + std::to_string(kp_) + "_" + std::to_string(num_);
}

std::string t_dev_change::key_text() const {
    std::string signal = signal_key();
    return signal.empty() ? std::string() : " (" + signal + ")";
}

std::string t_dev_change::struct_title_text() const {
    std::string signal = signal_key();
    if (signal.empty())
        return {};
    std::string owner = store().signal_owner(signal);
    t_ref* element = owner.empty() ? nullptr : store().get(owner);
    if (element == nullptr || element->title().empty())
        return {};
    return "(" + element->title() + ")";
}

void t_dev_change::check_signal_key() {
    std::string signal = signal_key();
    if (signal.empty() || has_flag_in_chain(flag_locked))
        return;
    std::string other = store().feeder(signal);
    if (other.empty() || other == key())
        return;
    if (t_ref* o = store().get(other))
        throw nx_exception_ref_init(duplicate_message(first_number_index() + 2, *o));
}

void t_dev_change::init() {
    check_signal_key();
    t_dev_asdu* found = nullptr;
    for (t_ref* r = parent(); r != nullptr && found == nullptr; r = r->parent())
        found = dynamic_cast<t_dev_asdu*>(r);
    if (found == nullptr)
        throw nx_exception("Для компонента '" + type_name(type()) + "' (" + key() +
                           ") не удалось найти i_changer");
    found->attach(*this);
    device_key_ = found->key();
    t_dev::init();
}

double t_dev_change::current_value() {
    if (!has_flag(flag_evaluated)) {
        set_flag(true, flag_evaluated);
        read_from(device());
    }
    return cached_value();
}

void t_dev_change::tree_images(int& icon, int& overlay, int& state) {
    current_value();
    t_dev::tree_images(icon, overlay, state);
    if (state != 0)
        return;
    if (!control())
        state = 2;
    else if (!defined())
        state = 3;
    else if (invalid())
        state = 7;
}

} // namespace nxkit
