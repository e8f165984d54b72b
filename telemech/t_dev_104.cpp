#include "telemech/t_dev_104.h"

#include "base/format.h"
#include "base/nx_exception.h"
#include "base/nx_xml_writer.h"
#include "base/text.h"
#include "config/ref_types.h"
#include "config/t_ref_buff.h"

#include <charconv>

namespace nxkit {

namespace {

// The protocol log's parameter rows.
const t_dev_asdu::log_rows log_rows_104{
    5, {{"• I (данные)", 4}, {"• S (квитанции)", 0}, {"• U (канал)", 2}}};

// After the log rows. IEC 60870-5-104 allows 1 to 255 s.
constexpr int t1_row = 10;
constexpr int min_t1_seconds = 1;
constexpr int max_t1_seconds = 255;

} // namespace

t_dev_104::t_dev_104(t_ref_buff& store) : t_dev_asdu(store, tp_dev_104) {
    // A new device logs data and acknowledgements until told otherwise.
    set_log_defaults(true, 50);
}

t_dev_104::~t_dev_104() {
    act_.stop();
}

void t_dev_104::on_start(const nx_xml_element& element) {
    t_dev_asdu::on_start(element);
    if (element.name != "ref")
        return;
    endpoint_ = element.attr("con");
    // Out of range in the file: the standard value, as for a new device.
    const int t1 = element.has_attr("t1") ? element.attr_int("t1") : default_t1_seconds;
    t1_seconds_ = t1 >= min_t1_seconds && t1 <= max_t1_seconds ? t1 : default_t1_seconds;
    if (!lcn_seen())
        set_log_defaults(true, 50);
}

bool t_dev_104::set_parameter(int index, const std::string& text) {
    if (index == 4) {
        endpoint_ = trim(text, ' ');
        return true;
    }
    if (index == t1_row) {
        const std::string digits = trim(text, ' ');
        int value = 0;
        auto res = std::from_chars(digits.data(), digits.data() + digits.size(), value);
        if (digits.empty() || res.ec != std::errc() || res.ptr != digits.data() + digits.size() ||
            value < min_t1_seconds || value > max_t1_seconds)
            throw nx_exception(format_short("Таймаут t1 задается в секундах, от %d до %d",
                                            min_t1_seconds, max_t1_seconds));
        t1_seconds_ = value;
        return true;
    }
    return set_log_parameter(log_rows_104, index, text) || t_dev_asdu::set_parameter(index, text);
}

bool t_dev_104::get_parameter(int index, std::string& value, std::string& name) {
    if (index == 4) {
        name = "IP-адрес[:порт]";
        value = endpoint_;
        return true;
    }
    if (index == t1_row) {
        name = "Таймаут t1, с";
        value = std::to_string(t1_seconds_);
        return true;
    }
    return get_log_parameter(log_rows_104, index, value, name) ||
           t_dev_asdu::get_parameter(index, value, name);
}

int t_dev_104::parameter_editor(int index, choice_list& choices) {
    int kind = 0;
    if (log_parameter_editor(log_rows_104, index, choices, kind))
        return kind;
    return t_dev_asdu::parameter_editor(index, choices);
}

void t_dev_104::write(nx_xml_writer& writer) {
    t_dev_asdu::write(writer);
    writer.attribute("con", xml_escape(endpoint_));
    if (t1_seconds_ != default_t1_seconds)
        writer.attribute("t1", std::to_string(t1_seconds_));
}

std::string t_dev_104::display_name() {
    return "(кп " + std::to_string(addr()) + ") " + endpoint_ + " " + t_dev_asdu::display_name();
}

void t_dev_104::tree_images(int& icon, int& overlay, int& state) {
    t_dev_asdu::tree_images(icon, overlay, state);
    icon = 1407;
    overlay = act_.is_running() ? 1505 : 1506;
}

void t_dev_104::init() {
    init_device("104 " + std::to_string(addr()) + " - " + key() + ".log");
}

void t_dev_104::start(i_update_poster* window) {
    t_dev_asdu::start(window);
    if (has_flag_in_chain(flag_locked) || !store().devices_running())
        return;
    nx_m104_settings settings = settings_;
    settings.t1 = tm_ms{t1_seconds_} * 1000;
    act_.start(addr(), endpoint_, *this, nx_log::main(), settings);
}

void t_dev_104::stop() {
    t_dev_asdu::stop();
    act_.stop();
}

} // namespace nxkit
