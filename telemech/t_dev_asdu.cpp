#include "telemech/t_dev_asdu.h"

#include "base/nx_exception.h"
#include "base/nx_log.h"
#include "base/nx_xml_writer.h"
#include "base/text.h"
#include "config/ref_editing.h"
#include "config/ref_types.h"
#include "config/t_ref_buff.h"
#include "structure/choices.h"
#include "telemech/t_dev_change.h"

#include <algorithm>
#include <charconv>

namespace nxkit {

t_dev_asdu::t_dev_asdu(t_ref_buff& store, int type)
    : t_dev(store, type), generation_(store.generation()) {
    store.revive_updater(this);
}

t_dev_asdu::~t_dev_asdu() {
    store().retire_updater(this);
}

const choice_list& t_dev_asdu::interrogation_choices() {
    static const choice_list list{{"    старт", -1},    {"   1 минута", 60},  {"  10 минут", 600},
                                  {"  20 минут", 1200}, {"  30 минут", 1800}, {" 1 час", 3600},
                                  {" 2 часа", 7200},    {" 4 часа", 14400},   {" 6 часов", 21600},
                                  {" 9 часов", 32400},  {"12 часов", 43200},  {"24 часа", 86400}};
    return list;
}

const choice_list& t_dev_asdu::sync_choices() {
    static const choice_list list{{"    НЕТ", -2},           {"  на старте", -1},
                                  {" 1 минута", 60},         {"через  1 час", 3600},
                                  {"через  2 часа", 7200},   {"через  4 часа", 14400},
                                  {"через  6 часов", 21600}, {"через  9 часов", 32400},
                                  {"через 12 часов", 43200}, {"через 24 часа", 86400}};
    return list;
}

const choice_list& t_dev_asdu::log_on_choices() {
    static const choice_list list{{"да", 1}, {"нет", 0}};
    return list;
}

const choice_list& t_dev_asdu::log_category_choices() {
    static const choice_list list{{" нет", 0}, {"дамп", 1}, {"пакет", 2}, {"пакет + дамп", 3}};
    return list;
}

bool t_dev_asdu::set_log_parameter(const log_rows& rows, int index, const std::string& text) {
    int row = index - rows.first;
    if (row == 0) {
        set_log_on(text == "да");
        return true;
    }
    if (row == 1) {
        std::string digits = trim(text, ' ');
        int size = 0;
        auto res = std::from_chars(digits.data(), digits.data() + digits.size(), size);
        if (res.ec == std::errc::result_out_of_range)
            size = digits.starts_with('-') ? 0 : 100000;
        set_log_size_kb(size);
        return true;
    }
    if (row < 2 || row > 4)
        return false;
    for (const choice& c : log_category_choices())
        if (c.text == text)
            set_log_pair(rows.categories[row - 2].shift, c.value);
    return true;
}

bool t_dev_asdu::get_log_parameter(const log_rows& rows, int index, std::string& value,
                                   std::string& name) {
    int row = index - rows.first;
    if (row == 0) {
        name = "лог-файл:";
        value = log_on() ? "да" : "нет";
        return true;
    }
    if (row == 1) {
        name = "• размер (кБ)";
        value = std::to_string(log_size_kb());
        return true;
    }
    if (row < 2 || row > 4)
        return false;
    const log_rows::category& category = rows.categories[row - 2];
    name = category.caption;
    int pair = log_pair(category.shift);
    for (const choice& c : log_category_choices())
        if (c.value == pair)
            value = c.text;
    return true;
}

bool t_dev_asdu::log_parameter_editor(const log_rows& rows, int index, choice_list& choices,
                                      int& kind) {
    int row = index - rows.first;
    if (row == 1 || row < 0 || row > 4)
        return false;
    choices = row == 0 ? log_on_choices() : log_category_choices();
    kind = editor_choice_only;
    return true;
}

void t_dev_asdu::on_start(const nx_xml_element& element) {
    t_dev::on_start(element);
    if (element.name != "ref")
        return;
    if (int p = element.attr_int("p100"); p != 0)
        interrogation_ = p;
    if (int p = element.attr_int("p103"); p != 0)
        sync_ = p;
    std::lock_guard guard(lock_);
    log_on_ = element.attr_int("log") != 0;
    lcn_seen_ = element.has_attr("lcn");
    log_mode_ = element.attr_int("lcn");
    int size = element.attr_int("lsz");
    log_size_ = size != 0 ? size : 1000;
}

bool t_dev_asdu::set_parameter(int index, const std::string& text) {
    int value = 0;
    if (index == 2) {
        if (choice_or_number(interrogation_choices(), text, value))
            interrogation_ = value;
        return true;
    }
    if (index == 3) {
        if (choice_or_number(sync_choices(), text, value))
            sync_ = value;
        return true;
    }
    return t_dev::set_parameter(index, text);
}

bool t_dev_asdu::get_parameter(int index, std::string& value, std::string& name) {
    if (index == 2) {
        name = "Период опроса";
        value = choice_or_number_text(interrogation_choices(), interrogation_);
        return true;
    }
    if (index == 3) {
        name = "Синх. время";
        value = choice_or_number_text(sync_choices(), sync_);
        return true;
    }
    return t_dev::get_parameter(index, value, name);
}

int t_dev_asdu::parameter_editor(int index, choice_list& choices) {
    if (index == 2) {
        choices = interrogation_choices();
        return editor_choice_only;
    }
    if (index == 3) {
        choices = sync_choices();
        return editor_choice_only;
    }
    return t_dev::parameter_editor(index, choices);
}

void t_dev_asdu::write(nx_xml_writer& writer) {
    t_dev::write(writer);
    writer.attribute("p100", std::to_string(interrogation_.load()));
    writer.attribute("p103", std::to_string(sync_.load()));
    std::lock_guard guard(lock_);
    if (log_on_)
        writer.attribute("log", "1");
    writer.attribute("lcn", std::to_string(log_mode_));
    if (log_size_ != 0)
        writer.attribute("lsz", std::to_string(log_size_));
}

std::string t_dev_asdu::log_file() {
    std::lock_guard guard(lock_);
    return log_file_;
}

void t_dev_asdu::tree_images(int& icon, int& overlay, int& state) {
    t_dev::tree_images(icon, overlay, state);
    if (state == 0 && !is_connected())
        state = 2;
}

int t_dev_asdu::log_mode() {
    std::lock_guard guard(lock_);
    return log_mode_;
}

int t_dev_asdu::log_size_kb() {
    std::lock_guard guard(lock_);
    return log_size_;
}

bool t_dev_asdu::log_on() {
    std::lock_guard guard(lock_);
    return log_on_;
}

void t_dev_asdu::set_log_defaults(bool on, int mode) {
    std::lock_guard guard(lock_);
    log_on_ = on;
    log_mode_ = mode;
}

void t_dev_asdu::set_log_on(bool on) {
    std::lock_guard guard(lock_);
    log_on_ = on;
}

void t_dev_asdu::set_log_size_kb(int size) {
    std::lock_guard guard(lock_);
    log_size_ = std::clamp(size, 10, 100000);
}

int t_dev_asdu::log_pair(int shift) {
    std::lock_guard guard(lock_);
    return (log_mode_ >> shift) & 3;
}

void t_dev_asdu::set_log_pair(int shift, int pair) {
    std::lock_guard guard(lock_);
    log_mode_ = (log_mode_ & ~(3 << shift)) | ((pair & 3) << shift);
}

// ---------------------------------------------------------------- worker side

void t_dev_asdu::get_log_settings(std::string& file_name, int& mode, int& size) {
    std::lock_guard guard(lock_);
    // "нет" writes no protocol log at all; the categories are kept for when it is turned on.
    file_name = log_on_ ? log_file_ : std::string();
    mode = log_mode_;
    size = log_size_ * 1024;
}

void t_dev_asdu::get_schedule(int& interrogation, int& sync) {
    interrogation = interrogation_;
    sync = sync_;
}

void t_dev_asdu::add_changed_locked(const std::string& key) {
    if (!key.empty())
        changed_.insert(key);
}

void t_dev_asdu::link_down() {
    {
        std::lock_guard guard(lock_);
        connected_ = false;
        add_changed_locked(own_key_);
        add_changed_locked(health_key_);
        auto forget = [this](auto& table) {
            for (const auto& entry : table) {
                auto it = objects_.find(entry.first);
                if (it != objects_.end())
                    add_changed_locked(it->second);
            }
            table.clear();
        };
        forget(singles_);
        forget(doubles_);
        forget(measured_);
        forget(steps_);
    }
    notify();
}

void t_dev_asdu::link_up() {
    std::lock_guard guard(lock_);
    if (connected_)
        return;
    add_changed_locked(own_key_);
    add_changed_locked(health_key_);
    connected_ = true;
}

void t_dev_asdu::notify() {
    if (window_ != nullptr)
        window_->post_update(this, generation_);
}

void t_dev_asdu::put_step(std::uint16_t ioa, const nx_tm_time& time, std::uint8_t vti,
                          std::uint8_t qds) {
    std::lock_guard guard(lock_);
    steps_[ioa] = {vti, qds, time};
    if (auto it = objects_.find(ioa); it != objects_.end())
        add_changed_locked(it->second);
}

void t_dev_asdu::put_measured(std::uint16_t ioa, const nx_tm_time& time, std::int16_t sva,
                              std::uint8_t qds) {
    std::lock_guard guard(lock_);
    measured_[ioa] = {sva, qds, time};
    if (auto it = objects_.find(ioa); it != objects_.end())
        add_changed_locked(it->second);
}

void t_dev_asdu::put_double(std::uint16_t ioa, const nx_tm_time& time, std::uint8_t diq) {
    std::lock_guard guard(lock_);
    doubles_[ioa] = {diq, time};
    if (auto it = objects_.find(ioa); it != objects_.end())
        add_changed_locked(it->second);
}

void t_dev_asdu::put_single(std::uint16_t ioa, const nx_tm_time& time, std::uint8_t siq) {
    std::lock_guard guard(lock_);
    singles_[ioa] = {siq, time};
    if (auto it = objects_.find(ioa); it != objects_.end())
        add_changed_locked(it->second);
}

// ---------------------------------------------------------------- user-interface side

void t_dev_asdu::update(key_set& change_set) {
    {
        std::lock_guard guard(lock_);
        change_set.insert(changed_.begin(), changed_.end());
        changed_.clear();
    }
    // The worker only keeps the atomic; the component's flag follows it here.
    set_flag(is_connected(), flag_control);
}

void t_dev_asdu::attach(t_dev_change& object) {
    detach(object);
    if (object.has_flag_in_chain(flag_locked) || object.addr() == 0)
        return;
    std::string other;
    {
        std::lock_guard guard(lock_);
        auto [it, added] = objects_.emplace(object.addr(), object.key());
        if (!added) {
            if (store().get(it->second) != nullptr)
                other = it->second;
            else
                it->second = object.key(); // left behind by a component already gone
        }
    }
    if (!other.empty())
        throw nx_exception_ref_init(object.duplicate_message(1, store().find(other)));
}

void t_dev_asdu::detach(t_dev_change& object) {
    std::lock_guard guard(lock_);
    std::erase_if(objects_, [&](const auto& entry) { return entry.second == object.key(); });
}

void t_dev_asdu::start(i_update_poster* window) {
    window_ = window;
    set_flag(true, flag_no_delete);
}

void t_dev_asdu::stop() {
    set_flag(false, flag_no_delete);
}

bool t_dev_asdu::get_single(std::uint16_t ioa, single_record& record) {
    std::lock_guard guard(lock_);
    auto it = singles_.find(ioa);
    if (it == singles_.end())
        return false;
    record = it->second;
    return true;
}

bool t_dev_asdu::get_double(std::uint16_t ioa, double_record& record) {
    std::lock_guard guard(lock_);
    auto it = doubles_.find(ioa);
    if (it == doubles_.end())
        return false;
    record = it->second;
    return true;
}

bool t_dev_asdu::get_measured(std::uint16_t ioa, measured_record& record) {
    std::lock_guard guard(lock_);
    auto it = measured_.find(ioa);
    if (it == measured_.end())
        return false;
    record = it->second;
    return true;
}

bool t_dev_asdu::get_step(std::uint16_t ioa, step_record& record) {
    std::lock_guard guard(lock_);
    auto it = steps_.find(ioa);
    if (it == steps_.end())
        return false;
    record = it->second;
    return true;
}

void t_dev_asdu::init_device(const std::string& log_name) {
    // Only an init of this device itself (an edit or an addition), not the pass of an
    // ancestor, gives it a health object.
    bool outer = !store().init_pass_running();
    {
        std::lock_guard guard(lock_);
        own_key_ = key();
    }
    std::string error;
    try {
        t_dev::init();
    } catch (const nx_exception_ref_init& e) {
        error = e.what();
    }
    std::string health = health_key();
    if (outer && !key().empty() && (health.empty() || store().get(health) == nullptr))
        add_components(store(), key(), tp_dev_ts_ok, 1);
    {
        std::string folder = logs_directory();
        std::lock_guard guard(lock_);
        log_file_ = folder + log_name;
    }
    stop();
    i_update_poster* window = store().poster();
    if (!has_flag_in_chain(flag_locked) && window != nullptr)
        start(window);
    if (!error.empty())
        throw nx_exception_ref_init(error);
}

} // namespace nxkit
