#include "interlock/ilk_common.h"

#include "base/nx_exception.h"
#include "config/ref_types.h"
#include "config/t_ref_buff.h"
#include "structure/choices.h"

#include <cstdlib>
#include <memory>

namespace nxkit {

int ilk_state_index(const t_ref& c) {
    if (c.has_flag(flag_locked))
        return 1;
    if (!c.has_flag(flag_control))
        return 2;
    if (!c.has_flag(flag_defined))
        return 3;
    if (c.has_flag(flag_unacknowledged))
        return 5;
    if (c.has_flag(flag_manual))
        return 6;
    if (c.has_flag(flag_invalid))
        return 7;
    return 0;
}

const choice_list& background_choices() {
    static const choice_list list{{" Прозрачный", 0}, {"Белый", 5},   {"Жёлтый", 3},
                                  {"Зеленый", 2},     {"Красный", 1}, {"Лиловый", 8},
                                  {"Оранжевый", 7},   {"Синий", 4},   {"Фиолетовый", 6}};
    return list;
}

long parse_number_text(const std::string& text) {
    return std::strtol(text.c_str(), nullptr, 10);
}

std::string number_text(long value) {
    return value == 0 ? std::string() : std::to_string(value);
}

long checked_u16_parameter(const std::string& text, const std::string& caption, t_ref& component) {
    if (text.empty())
        return 0;
    bool digits = text.size() <= 5 && text.find_first_not_of("0123456789") == std::string::npos;
    long value = digits ? std::strtol(text.c_str(), nullptr, 10) : -1;
    if (value < 0 || value > ilk_u16_max)
        throw nx_exception_ref_init("Значение \"" + text + "\" параметра \"" + caption +
                                    "\" компонента " + component.full_path_text() +
                                    " не принято: нужно целое число от 0 до 65535.");
    return value;
}

int choice_or_fallback(const choice_list& choices, const std::string& text, int fallback) {
    int value = choice_value(choices, text);
    if (value != -1)
        return value;
    char* end = nullptr;
    long number = std::strtol(text.c_str(), &end, 10);
    if (end == text.c_str() || *end != '\0')
        return fallback;
    return static_cast<int>(number);
}

std::string signal_title(t_ref_buff& store, const std::string& signal_key) {
    if (signal_key.empty())
        return {};
    std::string owner = store.signal_owner(signal_key);
    t_ref* signal = owner.empty() ? nullptr : store.get(owner);
    return signal == nullptr ? std::string() : signal->title();
}

t_ref* add_child(t_ref& parent, int type, const std::string& title) {
    t_ref_buff& store = parent.store();
    std::unique_ptr<t_ref> made = store.create(type);
    if (!made)
        return nullptr;
    std::string key;
    for (int n = 0;; ++n) {
        key = make_child_key(parent.key(), key_part(n));
        t_refs::cursor c;
        if (store.get(key) == nullptr && !store.refs().first_under(key, c))
            break;
    }
    t_ref* child = made.get();
    child->set_key(key);
    child->set_title(title);
    child->set_flag(true, flag_modified);
    store.put(key, std::move(made));
    store.mark_changed(key);
    return child;
}

} // namespace nxkit
