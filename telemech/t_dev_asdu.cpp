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
#include <bit>
#include <charconv>
#include <utility>

namespace nxkit {

namespace {
// Bounds of the sequence of events: per hand-over (a user-interface thread that stalls) and
// per object nobody reads.
constexpr std::size_t max_tagged = 65536;
constexpr std::size_t max_tagged_per_object = 256;
} // namespace

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

template <class R> void t_dev_asdu::forget_locked(std::vector<R>& table) {
    for (std::size_t ioa = 0; ioa < table.size(); ++ioa)
        if (table[ioa].present)
            mark_locked(static_cast<std::uint16_t>(ioa));
    table.clear();
}

void t_dev_asdu::link_down() {
    {
        std::lock_guard guard(lock_);
        connected_ = false;
        device_changed_ = true;
        forget_locked(singles_);
        forget_locked(doubles_);
        forget_locked(measured_);
        forget_locked(steps_);
    }
    notify();
}

void t_dev_asdu::link_up() {
    std::lock_guard guard(lock_);
    if (connected_)
        return;
    device_changed_ = true;
    connected_ = true;
}

void t_dev_asdu::notify() {
    if (window_ != nullptr)
        window_->post_update(this, generation_);
}

void t_dev_asdu::store_locked(const nx_tm_object& o) {
    switch (o.what) {
    case nx_tm_object::kind::single:
        *slot(singles_, o.ioa) = {o.octet, true, o.time};
        break;
    case nx_tm_object::kind::double_point:
        *slot(doubles_, o.ioa) = {o.octet, true, o.time};
        break;
    case nx_tm_object::kind::step:
        *slot(steps_, o.ioa) = {o.octet, o.qds, true, o.time};
        break;
    case nx_tm_object::kind::measured:
        *slot(measured_, o.ioa) = {o.value, o.qds, true, o.time};
        break;
    }
    // The one branch the hot path pays for the sequence of events: only telesignals of
    // attached objects with a valid time tag of their own are kept one by one.
    if (mark_locked(o.ioa) && o.tagged &&
        (o.what == nx_tm_object::kind::single || o.what == nx_tm_object::kind::double_point) &&
        tagged_.size() < max_tagged)
        tagged_.push_back({o.ioa, o.what == nx_tm_object::kind::double_point, o.octet, o.time});
}

void t_dev_asdu::put_objects(const nx_tm_object* objects, std::size_t count) {
    std::lock_guard guard(lock_);
    for (std::size_t i = 0; i < count; ++i)
        store_locked(objects[i]);
}

void t_dev_asdu::put_step(std::uint16_t ioa, const nx_tm_time& time, std::uint8_t vti,
                          std::uint8_t qds) {
    nx_tm_object o{nx_tm_object::kind::step, vti, qds, ioa, 0, time};
    std::lock_guard guard(lock_);
    store_locked(o);
}

void t_dev_asdu::put_measured(std::uint16_t ioa, const nx_tm_time& time, double value,
                              std::uint8_t qds) {
    nx_tm_object o{nx_tm_object::kind::measured, 0, qds, ioa, value, time};
    std::lock_guard guard(lock_);
    store_locked(o);
}

void t_dev_asdu::put_double(std::uint16_t ioa, const nx_tm_time& time, std::uint8_t diq) {
    nx_tm_object o{nx_tm_object::kind::double_point, diq, 0, ioa, 0, time};
    std::lock_guard guard(lock_);
    store_locked(o);
}

void t_dev_asdu::put_single(std::uint16_t ioa, const nx_tm_time& time, std::uint8_t siq) {
    nx_tm_object o{nx_tm_object::kind::single, siq, 0, ioa, 0, time};
    std::lock_guard guard(lock_);
    store_locked(o);
}

// ---------------------------------------------------------------- user-interface side

void t_dev_asdu::update(key_set& change_set) {
    std::vector<tagged_change> tagged;
    {
        std::lock_guard guard(lock_);
        tagged.swap(tagged_);
        if (device_changed_) {
            device_changed_ = false;
            for (const std::string* k : {&own_key_, &health_key_})
                if (!k->empty())
                    change_set.insert(*k);
        }
        for (std::size_t word = 0; word < changed_.size(); ++word) {
            std::uint64_t bits = std::exchange(changed_[word], 0);
            while (bits != 0) {
                const int bit = std::countr_zero(bits);
                bits &= bits - 1;
                change_set.insert(object_keys_[word * 64 + static_cast<std::size_t>(bit)]);
            }
        }
    }
    // Several hand-overs may come before the pass that reads them: they add up, and an object
    // nobody reads keeps only its newest.
    for (const tagged_change& c : tagged) {
        std::vector<tagged_change>& list = handed_tagged_[c.ioa];
        if (list.size() >= max_tagged_per_object)
            list.erase(list.begin());
        list.push_back(c);
    }
    // The worker only keeps the atomic; the component's flag follows it here.
    set_flag(is_connected(), flag_control);
}

std::vector<tagged_change> t_dev_asdu::take_tagged(std::uint16_t ioa) {
    auto found = handed_tagged_.find(ioa);
    if (found == handed_tagged_.end())
        return {};
    std::vector<tagged_change> list = std::move(found->second);
    handed_tagged_.erase(found);
    return list;
}

void t_dev_asdu::attach(t_dev_change& object) {
    detach(object);
    if (object.has_flag_in_chain(flag_locked) || object.addr() == 0)
        return;
    const std::uint16_t ioa = object.addr();
    std::string other;
    {
        std::lock_guard guard(lock_);
        if (ioa >= object_keys_.size()) {
            object_keys_.resize(static_cast<std::size_t>(ioa) + 1);
            attached_.resize(object_keys_.size() / 64 + 1);
            changed_.resize(attached_.size());
        }
        std::string& key = object_keys_[ioa];
        if (!key.empty() && store().get(key) != nullptr) {
            other = key;
        } else {
            // Free, or left behind by a component already gone.
            if (!key.empty())
                attached_by_key_.erase(key);
            key = object.key();
            attached_[ioa >> 6] |= std::uint64_t{1} << (ioa & 63);
            attached_by_key_[key] = ioa;
        }
    }
    if (!other.empty())
        throw nx_exception_ref_init(object.duplicate_message(1, store().find(other)));
}

void t_dev_asdu::detach(t_dev_change& object) {
    std::lock_guard guard(lock_);
    auto it = attached_by_key_.find(object.key());
    if (it == attached_by_key_.end())
        return;
    const std::uint16_t ioa = it->second;
    attached_by_key_.erase(it);
    object_keys_[ioa].clear();
    const std::uint64_t bit = std::uint64_t{1} << (ioa & 63);
    attached_[ioa >> 6] &= ~bit;
    changed_[ioa >> 6] &= ~bit;
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
    return read(singles_, ioa, record);
}

bool t_dev_asdu::get_double(std::uint16_t ioa, double_record& record) {
    std::lock_guard guard(lock_);
    return read(doubles_, ioa, record);
}

bool t_dev_asdu::get_measured(std::uint16_t ioa, measured_record& record) {
    std::lock_guard guard(lock_);
    return read(measured_, ioa, record);
}

bool t_dev_asdu::get_step(std::uint16_t ioa, step_record& record) {
    std::lock_guard guard(lock_);
    return read(steps_, ioa, record);
}

void t_dev_asdu::set_log_name(const std::string& log_name) {
    std::string folder = logs_directory();
    std::lock_guard guard(lock_);
    log_file_ = folder + log_name;
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
    set_log_name(log_name);
    stop();
    i_update_poster* window = store().poster();
    if (!has_flag_in_chain(flag_locked) && window != nullptr)
        start(window);
    if (!error.empty())
        throw nx_exception_ref_init(error);
}

} // namespace nxkit
