#include "views/editor_menus.h"

#include "config/interfaces.h"
#include "config/ref_flags.h"
#include "config/ref_types.h"
#include "config/t_ref.h"
#include "config/t_ref_buff.h"
#include "structure/t_struct_ti.h"
#include "structure/t_struct_ts.h"

#include <QString>

namespace nxkit {

namespace {

menu_item item(int command, std::string text, bool enabled = true) {
    menu_item m;
    m.command = command;
    m.text = std::move(text);
    m.enabled = enabled;
    return m;
}

menu_item separator() {
    menu_item m;
    m.separator = true;
    return m;
}

menu_item submenu(std::string text, std::vector<menu_item> items) {
    menu_item m;
    m.text = std::move(text);
    m.items = std::move(items);
    return m;
}

std::vector<menu_item> step_items(int base) {
    std::vector<menu_item> items;
    for (int n = 2; n <= 30; ++n)
        items.push_back(item(base + n, std::to_string(n)));
    return items;
}

constexpr int add_counts[] = {2,  3,  4,  5,  6,  7,  8,  9,  10, 12,  14,  16,  20,  24,  30, 32,
                              40, 48, 50, 60, 64, 70, 80, 90, 96, 100, 128, 160, 192, 200, 256};

} // namespace

int add_command(int type, int count) {
    return count <= 1 ? editor_cmd::add_type + type : editor_cmd::add_count + count * 1000 + type;
}

void add_command_parts(int command, int& type, int& count) {
    type = 0;
    count = 0;
    if (command >= editor_cmd::add_count) {
        count = (command - editor_cmd::add_count) / 1000;
        type = (command - editor_cmd::add_count) % 1000;
    } else if (command >= editor_cmd::add_type) {
        count = 1;
        type = command - editor_cmd::add_type;
    }
}

bool offers_trend(const t_ref* component) {
    return dynamic_cast<const t_struct_ti*>(component) != nullptr ||
           dynamic_cast<const t_struct_ts*>(component) != nullptr;
}

std::vector<menu_item> node_menu(t_ref& component, bool can_paste, bool trend) {
    std::vector<int> types = component.child_types();
    bool any_addable = false;
    for (int type : types)
        any_addable = any_addable || component.can_add_child(type);
    bool may_add = any_addable && !component.has_flag(flag_no_add);
    std::string add_text =
        types.size() == 1 ? "Добавить '" + type_name(types.front()) + "'" : "Добавить...";
    bool deletable = !component.has_flag(flag_no_delete) && !component.has_flag(flag_read_only);

    std::vector<menu_item> menu;
    if (types.size() == 1) {
        menu.push_back(item(add_command(types.front(), 1), add_text, may_add));
    } else {
        menu_item add = submenu(add_text, type_menu(component));
        add.enabled = may_add;
        menu.push_back(add);
    }
    menu_item several = submenu("Добавить несколько...", count_menu(component));
    several.enabled = may_add;
    menu.push_back(several);
    menu.push_back(item(editor_cmd::remove, "Удалить", deletable));
    menu.push_back(item(editor_cmd::remove_following, "Удалить и следующие ниже", deletable));
    menu.push_back(separator());
    menu_item active = item(editor_cmd::active, "Активный", !component.has_flag(flag_active_fixed));
    active.checked = !component.has_flag(flag_locked);
    menu.push_back(active);
    bool has_children = component.store().refs().next_child(component.key(), {}) != nullptr;
    menu.push_back(item(editor_cmd::active_all, "Активный для всех", has_children));
    menu.push_back(separator());
    menu.push_back(item(editor_cmd::copy, "Копировать"));
    menu.push_back(item(editor_cmd::paste, "Вставить", can_paste));
    std::vector<menu_item> commands;
    for (int i = 0;; ++i) {
        std::string caption;
        int answer = component.command(true, i, caption);
        if (answer == 0)
            break;
        commands.push_back(item(editor_cmd::component_command + i, caption, answer == 1));
    }
    if (!commands.empty()) {
        menu.push_back(separator());
        menu.insert(menu.end(), commands.begin(), commands.end());
    }
    if (trend && offers_trend(&component)) {
        menu.push_back(separator());
        menu.push_back(item(editor_cmd::trend, "График"));
    }
    return menu;
}

std::vector<menu_item> type_menu(t_ref& component, int count) {
    std::vector<menu_item> menu;
    for (int type : component.child_types())
        menu.push_back(
            item(add_command(type, count), type_name(type), component.can_add_child(type)));
    return menu;
}

std::vector<menu_item> count_menu(t_ref& component) {
    std::vector<int> types = component.child_types();
    std::vector<menu_item> menu;
    menu.push_back(item(0, "Количество:", false));
    for (int n : add_counts) {
        std::string text = std::to_string(n) + " шт.";
        if (types.size() == 1)
            menu.push_back(item(add_command(types.front(), n), text));
        else
            menu.push_back(submenu(text, type_menu(component, n)));
    }
    return menu;
}

std::vector<menu_item> selection_menu_items(const std::vector<t_ref*>& selected) {
    std::vector<menu_item> menu;
    if (selected.empty())
        return menu;
    menu.push_back(item(editor_cmd::copy_names, "Копировать имена"));
    t_ref* first = selected.front();
    if (dynamic_cast<i_struct_element*>(first) != nullptr ||
        dynamic_cast<i_feed*>(first) != nullptr)
        menu.push_back(item(editor_cmd::copy_values, "Копировать значения"));
    bool any_deletable = false;
    for (t_ref* r : selected)
        any_deletable = any_deletable || !r->has_flag(flag_no_delete);
    if (any_deletable)
        menu.push_back(item(editor_cmd::selection_delete, "Удалить"));
    return menu;
}

std::vector<std::string> clipboard_lines(const std::string& text) {
    std::vector<std::string> lines;
    std::string piece;
    auto flush = [&] {
        auto first = piece.find_first_not_of(" \t");
        std::string trimmed = first == std::string::npos
                                  ? std::string()
                                  : piece.substr(first, piece.find_last_not_of(" \t") - first + 1);
        if (!trimmed.empty())
            lines.push_back(trimmed);
        piece.clear();
    };
    for (char c : text) {
        if (c == '\r' || c == '\n' || c == '\t')
            flush();
        else
            piece += c;
    }
    flush();
    return lines;
}

std::vector<menu_item> line_items(const std::vector<std::string>& lines) {
    std::vector<menu_item> items;
    for (std::size_t i = 0; i < lines.size() && i < 31; ++i) {
        QString line = QString::fromStdString(lines[i]);
        std::string caption = line.size() > 50 ? line.left(50).toStdString() + "..." : lines[i];
        items.push_back(item(editor_cmd::paste_line + int(i), caption));
    }
    if (lines.size() > 31)
        items.push_back(item(0, "и т.д.", false));
    return items;
}

std::vector<menu_item> row_menu(int kind, const row_menu_context& context) {
    std::vector<menu_item> menu;
    if (kind == editor_choice_only) {
        menu.push_back(item(editor_cmd::repeat, "Повторить значение"));
        menu.push_back(item(editor_cmd::repeat_step_1, "Повторить значение через 1"));
        return menu;
    }
    if (kind != editor_free_text)
        return menu;
    menu.push_back(item(editor_cmd::repeat, "Повторить значение"));
    menu.push_back(item(editor_cmd::repeat_step_1, "Повторить значение + 1"));
    menu.push_back(submenu("Повторить значение + ", step_items(editor_cmd::repeat_step)));
    if (context.clipboard_lines.size() >= 2) {
        menu.push_back(separator());
        menu.push_back(
            submenu("Вставить из буфера обмена строки", line_items(context.clipboard_lines)));
        menu.push_back(submenu("Вставить из буфера обмена строки с шагом ПАРАМЕТРОВ",
                               step_items(editor_cmd::paste_line_skip)));
    }
    if (!context.signal_key.empty() || !context.signal_title.empty()) {
        menu.push_back(separator());
        if (!context.signal_key.empty())
            menu.push_back(item(editor_cmd::insert_signal_key, "Вставить: " + context.signal_key));
        if (!context.signal_title.empty())
            menu.push_back(
                item(editor_cmd::insert_signal_title, "Вставить: " + context.signal_title));
    }
    if (!context.used_signals.empty()) {
        std::vector<menu_item> used;
        for (std::size_t i = 0; i < context.used_signals.size(); ++i)
            used.push_back(item(editor_cmd::select_signal + int(i), context.used_signals[i]));
        menu.push_back(separator());
        menu.push_back(submenu("Сигналы", std::move(used)));
    }
    return menu;
}

} // namespace nxkit
