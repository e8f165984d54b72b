#include "telemech/t_dev_104.h"

#include "base/format.h"
#include "base/nx_xml_writer.h"
#include "base/text.h"
#include "config/ref_types.h"
#include "config/t_ref_buff.h"

#include <charconv>

namespace nxkit {

namespace {

// Parameter rows of the log categories and the bits of the log mode they set.
int category_shift(int index) {
    switch (index) {
    case 7:
        return 4; // I (data)
    case 8:
        return 0; // S (acknowledgements)
    case 9:
        return 2; // U (link)
    default:
        return -1;
    }
}

const char* category_caption(int index) {
    switch (index) {
    case 7:
        return "• I (данные)";
    case 8:
        return "• S (квитанции)";
    default:
        return "• U (канал)";
    }
}

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
    if (!lcn_seen())
        set_log_defaults(true, 50);
}

bool t_dev_104::set_parameter(int index, const std::string& text) {
    if (index == 4) {
        endpoint_ = trim(text, ' ');
        return true;
    }
    if (index == 5) {
        set_log_on(text == "да");
        return true;
    }
    if (index == 6) {
        std::string digits = trim(text, ' ');
        int size = 0;
        auto res = std::from_chars(digits.data(), digits.data() + digits.size(), size);
        if (res.ec == std::errc::result_out_of_range)
            size = digits.starts_with('-') ? 0 : 100000;
        set_log_size_kb(size);
        return true;
    }
    if (int shift = category_shift(index); shift >= 0) {
        for (const choice& c : log_category_choices())
            if (c.text == text)
                set_log_pair(shift, c.value);
        return true;
    }
    return t_dev_asdu::set_parameter(index, text);
}

bool t_dev_104::get_parameter(int index, std::string& value, std::string& name) {
    if (index == 4) {
        name = "IP-адрес[:порт]";
        value = endpoint_;
        return true;
    }
    if (index == 5) {
        name = "лог-файл:";
        value = log_on() ? "да" : "нет";
        return true;
    }
    if (index == 6) {
        name = "• размер (кБ)";
        value = std::to_string(log_size_kb());
        return true;
    }
    if (int shift = category_shift(index); shift >= 0) {
        name = category_caption(index);
        int pair = log_pair(shift);
        for (const choice& c : log_category_choices())
            if (c.value == pair)
                value = c.text;
        return true;
    }
    return t_dev_asdu::get_parameter(index, value, name);
}

int t_dev_104::parameter_editor(int index, choice_list& choices) {
    if (index == 5) {
        choices = log_on_choices();
        return editor_choice_only;
    }
    if (category_shift(index) >= 0) {
        choices = log_category_choices();
        return editor_choice_only;
    }
    return t_dev_asdu::parameter_editor(index, choices);
}

void t_dev_104::write(nx_xml_writer& writer) {
    t_dev_asdu::write(writer);
    writer.attribute("con", xml_escape(endpoint_));
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
    act_.start(addr(), endpoint_, *this, nx_log::main(), settings_);
}

void t_dev_104::stop() {
    t_dev_asdu::stop();
    act_.stop();
}

} // namespace nxkit
