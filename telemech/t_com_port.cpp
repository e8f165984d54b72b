#include "telemech/t_com_port.h"

#include "base/format.h"
#include "base/nx_exception.h"
#include "base/nx_log.h"
#include "base/nx_xml_writer.h"
#include "base/settings.h"
#include "config/ref_types.h"
#include "config/t_ref_buff.h"
#include "structure/choices.h"
#include "telemech/t_dev_101.h"

#include <algorithm>
#include <charconv>
#include <vector>

namespace nxkit {

namespace {

struct row {
    const char* caption;
    const choice_list* choices; // null: a number
};

} // namespace

t_com_port::t_com_port(t_ref_buff& store) : t_ref(store, tp_com_port) {}

t_com_port::~t_com_port() {
    act_.stop();
}

const choice_list& t_com_port::baud_choices() {
    static const choice_list list{
        {"    50 бод", 50},    {"   110 бод", 110},   {"   150 бод", 150},   {"   200 бод", 200},
        {"   300 бод", 300},   {"   600 бод", 600},   {"  1200 бод", 1200},  {"  2400 бод", 2400},
        {"  4800 бод", 4800},  {"  9600 бод", 9600},  {" 19200 бод", 19200}, {" 38400 бод", 38400},
        {" 57600 бод", 57600}, {"115200 бод", 115200}};
    return list;
}

const choice_list& t_com_port::data_bits_choices() {
    static const choice_list list{{"7 - бит", 7}, {"8 - бит", 8}};
    return list;
}

const choice_list& t_com_port::parity_choices() {
    static const choice_list list{
        {"Нет", 0}, {"Нечетный", 1}, {"Четный", 2}, {"Маркер", 3}, {"Пробел", 4}};
    return list;
}

const choice_list& t_com_port::stop_bits_choices() {
    static const choice_list list{{"1   бит", 0}, {"1.5 бита", 1}, {"2   бита", 2}};
    return list;
}

void t_com_port::on_start(const nx_xml_element& element) {
    t_ref::on_start(element);
    if (element.name != "ref")
        return;
    port_number_ = element.attr_int("num");
    // A port without a number keeps the defaults of everything else.
    if (port_number_ == 0)
        return;
    auto read = [&](const char* name, int& field) {
        if (element.has_attr(name))
            field = element.attr_int(name);
    };
    read("baud", line_.baud);
    read("byte", line_.data_bits);
    read("parity", line_.parity);
    read("stop", line_.stop_bits);
    read("RI", timeouts_.ri);
    read("RM", timeouts_.rm);
    read("RC", timeouts_.rc);
    read("WM", timeouts_.wm);
    read("WC", timeouts_.wc);
    log_on_ = element.attr_int("log") != 0;
    int size = element.attr_int("lsz");
    log_size_ = size != 0 ? size : 1000;
}

void t_com_port::write(nx_xml_writer& writer) {
    t_ref::write(writer);
    writer.attribute("num", std::to_string(port_number_));
    writer.attribute("baud", std::to_string(line_.baud));
    writer.attribute("byte", std::to_string(line_.data_bits));
    writer.attribute("parity", std::to_string(line_.parity));
    writer.attribute("stop", std::to_string(line_.stop_bits));
    writer.attribute("RI", std::to_string(timeouts_.ri));
    writer.attribute("RM", std::to_string(timeouts_.rm));
    writer.attribute("RC", std::to_string(timeouts_.rc));
    writer.attribute("WM", std::to_string(timeouts_.wm));
    writer.attribute("WC", std::to_string(timeouts_.wc));
    if (log_on_)
        writer.attribute("log", "1");
    if (log_size_ != 0)
        writer.attribute("lsz", std::to_string(log_size_));
}

namespace {

// Parameter rows 1..12 after the title.
const row& row_of(int index) {
    static const row rows[] = {
        {"Номер", nullptr},
        {"Скорость", &t_com_port::baud_choices()},
        {"Данные", &t_com_port::data_bits_choices()},
        {"Паритет", &t_com_port::parity_choices()},
        {"Стоп биты", &t_com_port::stop_bits_choices()},
        {"тамаут RI (мс)", nullptr},
        {"тамаут RM (мс)", nullptr},
        {"тамаут RC (мс)", nullptr},
        {"тамаут WM (мс)", nullptr},
        {"тамаут WC (мс)", nullptr},
        {"лог-файл:", nullptr},
        {"• размер (кБ)", nullptr},
    };
    return rows[index - 1];
}

const choice_list& log_on_list() {
    static const choice_list list{{"да", 1}, {"нет", 0}};
    return list;
}

} // namespace

bool t_com_port::set_parameter(int index, const std::string& text) {
    if (index < 1 || index > 12)
        return t_ref::set_parameter(index, text);
    int value = 0;
    if (index == 11) {
        log_on_ = text == "да";
        return true;
    }
    const row& r = row_of(index);
    bool ok = r.choices != nullptr ? choice_or_number(*r.choices, text, value)
                                   : parse_choice_number(text, value);
    if (!ok)
        return true;
    int* fields[] = {&port_number_,    &line_.baud,   &line_.data_bits, &line_.parity,
                     &line_.stop_bits, &timeouts_.ri, &timeouts_.rm,    &timeouts_.rc,
                     &timeouts_.wm,    &timeouts_.wc};
    if (index == 12)
        log_size_ = std::clamp(value, 10, 100000);
    else
        *fields[index - 1] = index >= 6 ? std::max(value, 0) : value;
    return true;
}

bool t_com_port::get_parameter(int index, std::string& value, std::string& name) {
    if (index < 1 || index > 12)
        return t_ref::get_parameter(index, value, name);
    const row& r = row_of(index);
    name = r.caption;
    const int numbers[] = {port_number_,    line_.baud,   line_.data_bits, line_.parity,
                           line_.stop_bits, timeouts_.ri, timeouts_.rm,    timeouts_.rc,
                           timeouts_.wm,    timeouts_.wc, log_on_ ? 1 : 0, log_size_};
    const int n = numbers[index - 1];
    if (index == 11)
        value = choice_or_number_text(log_on_list(), n);
    else if (r.choices != nullptr)
        value = choice_or_number_text(*r.choices, n);
    else
        value = std::to_string(n);
    return true;
}

int t_com_port::parameter_editor(int index, choice_list& choices) {
    if (index == 11) {
        choices = log_on_list();
        return editor_choice_only;
    }
    if (index >= 1 && index <= 12) {
        const row& r = row_of(index);
        if (r.choices != nullptr) {
            choices = *r.choices;
            return editor_choice_only;
        }
        return editor_free_text;
    }
    return t_ref::parameter_editor(index, choices);
}

std::string t_com_port::display_name() {
    return format_short("COM %d %d бод - ", port_number_, line_.baud) + t_ref::display_name();
}

void t_com_port::tree_images(int& icon, int& overlay, int& state) {
    t_ref::tree_images(icon, overlay, state);
    icon = 1406;
    overlay = act_.is_running() ? 1505 : 1506;
}

std::string t_com_port::log_file() {
    return log_file_;
}

std::string t_com_port::device_path() const {
    return settings_get_string("COM", std::to_string(port_number_),
                               "/dev/ttyS" + std::to_string(port_number_ - 1), true);
}

void t_com_port::init() {
    log_file_ = logs_directory() + "com " + std::to_string(port_number_) + " - " + key() + ".log";
    stop();
    i_update_poster* window = store().poster();
    if (!has_flag_in_chain(flag_locked))
        start(window);
    t_ref::init();
}

void t_com_port::start(i_update_poster* window) {
    set_flag(true, flag_no_delete);
    // Port 0 names no line: nothing to open, and no settings key to invent for it.
    if (has_flag_in_chain(flag_locked) || !store().devices_running() || port_number_ == 0)
        return;
    std::map<std::uint16_t, nx_tm_info*> points;
    std::vector<t_dev_101*> devices;
    for (t_ref* c : store().refs().under(key())) {
        auto* device = dynamic_cast<t_dev_101*>(c);
        if (device == nullptr || device->has_flag_in_chain(flag_locked) || device->addr() == 0)
            continue;
        // Two devices with one address: the first one polls, the other failed its init.
        if (points.emplace(device->addr(), device).second)
            devices.push_back(device);
    }
    if (points.empty())
        return;
    // The worker notifies through the devices and opens their protocol logs at once, before
    // their own init (which follows the port's) would give them the window and the log file:
    // they get both now, while no worker runs.
    for (t_dev_101* device : devices) {
        device->start(window);
        device->prepare_log();
    }
    nx_m101_settings settings = worker_settings_;
    settings.port_number = port_number_;
    settings.device = device_path();
    settings.line = line_;
    settings.timeouts = timeouts_;
    act_.start(settings, std::move(points), log_on_ ? log_file_ : std::string(), log_size_ * 1024);
}

void t_com_port::stop() {
    set_flag(false, flag_no_delete);
    act_.stop();
}

void t_com_port::register_device(t_dev_101& device) {
    const std::uint16_t address = device.addr();
    if (address == 0)
        return;
    auto [it, added] = registered_.emplace(address, device.key());
    if (added || it->second == device.key())
        return;
    if (store().get(it->second) == nullptr) {
        it->second = device.key(); // left behind by a device already gone
        return;
    }
    throw nx_exception_ref_init(format_short("Адрес %d уже занят '", address) +
                                device.full_path_text() + "'");
}

void t_com_port::unregister_device(t_dev_101& device) {
    std::erase_if(registered_, [&](const auto& entry) { return entry.second == device.key(); });
}

void t_com_port::device_gone(t_dev_101& device) {
    unregister_device(device);
    // By identity, not by key: moving components re-keys them under a running worker.
    if (act_.polls(&device))
        stop();
}

} // namespace nxkit
