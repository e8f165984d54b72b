#include "telemech/t_dev_104.h"

#include "base/format.h"
#include "base/nx_exception.h"
#include "base/nx_xml_writer.h"
#include "base/text.h"
#include "config/ref_types.h"
#include "config/t_ref_buff.h"
#include "platform/station.h"

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

// The TLS rows follow t1's.
enum tls_row : int {
    row_tls = 11,
    row_tls_ca,
    row_tls_certificate,
    row_tls_key,
    row_tls_check_name,
    row_tls_peer_name,
    row_tls_crl,
    row_tls_key_minutes,
    row_tls_key_megabytes,
};

// IEC 62351-3 session key renewal: after an hour or 100 MB, whichever comes first.
constexpr int default_key_minutes = 60;
constexpr int default_key_megabytes = 100;

// A whole number from `low` to `high`, or the message names the row's range.
int row_number(const std::string& text, int low, int high, const char* what) {
    const std::string digits = trim(text, ' ');
    int value = 0;
    auto res = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (digits.empty() || res.ec != std::errc() || res.ptr != digits.data() + digits.size() ||
        value < low || value > high)
        throw nx_exception(
            format_short("%s: целое число от %d до %d (0 - не по этой мере)", what, low, high));
    return value;
}

const choice_list& yes_no() {
    static const choice_list choices{{"да", 1}, {"нет", 0}};
    return choices;
}

// A relative file name is the station folder's, like every other file of the station.
std::string station_file(const std::string& name) {
    if (name.empty() || name.front() == '/')
        return name;
    return exe_dir() + name;
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
    // Out of range in the file: the standard value, as for a new device.
    const int t1 = element.has_attr("t1") ? element.attr_int("t1") : default_t1_seconds;
    t1_seconds_ = t1 >= min_t1_seconds && t1 <= max_t1_seconds ? t1 : default_t1_seconds;
    tls_on_ = element.attr_int("tls") != 0;
    tls_ca_ = element.attr("tca");
    tls_certificate_ = element.attr("tcrt");
    tls_key_ = element.attr("tkey");
    tls_check_name_ = !element.has_attr("tchk") || element.attr_int("tchk") != 0;
    tls_peer_name_ = element.attr("tname");
    tls_crl_ = element.attr("tcrl");
    tls_key_minutes_ = element.has_attr("tkum") ? element.attr_int("tkum") : default_key_minutes;
    if (tls_key_minutes_ < 0 || tls_key_minutes_ > 100000)
        tls_key_minutes_ = default_key_minutes;
    tls_key_megabytes_ =
        element.has_attr("tkub") ? element.attr_int("tkub") : default_key_megabytes;
    if (tls_key_megabytes_ < 0 || tls_key_megabytes_ > 100000)
        tls_key_megabytes_ = default_key_megabytes;
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
    switch (index) {
    case row_tls:
        tls_on_ = text == "да";
        return true;
    case row_tls_ca:
        tls_ca_ = trim(text, ' ');
        return true;
    case row_tls_certificate:
        tls_certificate_ = trim(text, ' ');
        return true;
    case row_tls_key:
        tls_key_ = trim(text, ' ');
        return true;
    case row_tls_check_name:
        tls_check_name_ = text != "нет";
        return true;
    case row_tls_peer_name:
        tls_peer_name_ = trim(text, ' ');
        return true;
    case row_tls_crl:
        tls_crl_ = trim(text, ' ');
        return true;
    case row_tls_key_minutes:
        tls_key_minutes_ = row_number(text, 0, 100000, "Смена ключей TLS, мин");
        return true;
    case row_tls_key_megabytes:
        tls_key_megabytes_ = row_number(text, 0, 100000, "Смена ключей TLS, МБ");
        return true;
    default:
        break;
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
    switch (index) {
    case row_tls:
        name = "TLS (IEC 62351-3)";
        value = tls_on_ ? "да" : "нет";
        return true;
    case row_tls_ca:
        name = "• файл УЦ";
        value = tls_ca_;
        return true;
    case row_tls_certificate:
        name = "• сертификат";
        value = tls_certificate_;
        return true;
    case row_tls_key:
        name = "• ключ";
        value = tls_key_;
        return true;
    case row_tls_check_name:
        name = "• проверка имени";
        value = tls_check_name_ ? "да" : "нет";
        return true;
    case row_tls_peer_name:
        name = "• имя КП";
        value = tls_peer_name_;
        return true;
    case row_tls_crl:
        name = "• список отзыва (CRL)";
        value = tls_crl_;
        return true;
    case row_tls_key_minutes:
        name = "• смена ключей, мин";
        value = std::to_string(tls_key_minutes_);
        return true;
    case row_tls_key_megabytes:
        name = "• смена ключей, МБ";
        value = std::to_string(tls_key_megabytes_);
        return true;
    default:
        break;
    }
    return get_log_parameter(log_rows_104, index, value, name) ||
           t_dev_asdu::get_parameter(index, value, name);
}

int t_dev_104::parameter_editor(int index, choice_list& choices) {
    if (index == row_tls || index == row_tls_check_name) {
        choices = yes_no();
        return editor_choice_only;
    }
    if (index >= row_tls_ca && index <= row_tls_key_megabytes)
        return editor_free_text;
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
    // Only what differs from plain TCP is written: a plain device's line stays as it was.
    if (tls_on_)
        writer.attribute("tls", "1");
    if (!tls_ca_.empty())
        writer.attribute("tca", xml_escape(tls_ca_));
    if (!tls_certificate_.empty())
        writer.attribute("tcrt", xml_escape(tls_certificate_));
    if (!tls_key_.empty())
        writer.attribute("tkey", xml_escape(tls_key_));
    if (!tls_check_name_)
        writer.attribute("tchk", "0");
    if (!tls_peer_name_.empty())
        writer.attribute("tname", xml_escape(tls_peer_name_));
    if (!tls_crl_.empty())
        writer.attribute("tcrl", xml_escape(tls_crl_));
    if (tls_key_minutes_ != default_key_minutes)
        writer.attribute("tkum", std::to_string(tls_key_minutes_));
    if (tls_key_megabytes_ != default_key_megabytes)
        writer.attribute("tkub", std::to_string(tls_key_megabytes_));
}

tls_settings t_dev_104::tls() const {
    tls_settings settings{station_file(tls_ca_), station_file(tls_certificate_),
                          station_file(tls_key_), tls_check_name_, tls_peer_name_};
    settings.crl_file = station_file(tls_crl_);
    settings.key_update_ms = static_cast<long long>(tls_key_minutes_) * 60 * 1000;
    settings.key_update_bytes = static_cast<long long>(tls_key_megabytes_) * 1024 * 1024;
    return settings;
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
    if (tls_on_)
        settings.tls = tls();
    act_.start(addr(), endpoint_, *this, nx_log::main(), settings);
}

void t_dev_104::stop() {
    t_dev_asdu::stop();
    act_.stop();
}

} // namespace nxkit
