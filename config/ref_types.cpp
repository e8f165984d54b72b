#include "config/ref_types.h"

#include "base/nx_xml_writer.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace nxkit {

namespace {

struct type_entry {
    int code;
    const char* long_name;
    const char* short_name;
    std::vector<int> children;
};

const std::vector<type_entry>& type_table() {
    static const std::vector<type_entry> table = {
        {tp_struct_ts, "Телесигнал", "ТС", {}},
        {tp_struct_ti, "Телеизмерение", "ТИ", {}},
        {tp_struct_root, "Структура", "Структура", {tp_group, tp_struct_canal}},
        {tp_struct_canal, "Канал", "Канал", {tp_group, tp_struct_kp}},
        {tp_struct_kp, "Раздел", "Раздел", {tp_group, tp_struct_ts, tp_struct_ti}},
        {tp_dev_root, "Оборудование", "Оборудование", {tp_group, tp_dev_104, tp_com_port}},
        {tp_dev_ts, "Телесигнал однопозиционный", "ТС", {}},
        {tp_dev_ts2, "Телесигнал двухпозиционный", "ТС2", {}},
        {tp_dev_ti, "Телеизмерение (масштабированное)", "ти-м", {}},
        {tp_dev_to, "Телеизмерение (отпайки)", "ти-о", {}},
        {tp_dev_ts_ok, "ТС исправности", "ТСИ", {}},
        {tp_ilk_nmts, "Одноименный сигнал", "ОИС", {}},
        {tp_ilk_nmtss, "Одноименный столбец", "Остб", {tp_ilk_nmts}},
        {tp_ilk_root, "Блокировка", "бл-ка", {tp_ilk_tab}},
        {tp_ilk_and, "Разрешение коммутации", "РК", {}},
        {tp_ilk_or, "Условие коммутации", "или", {}},
        {tp_ilk_ts, "Разрешающий КА", "РКА", {}},
        {tp_ilk_tu, "Управляемый КА", "УКА", {tp_ilk_or}},
        {tp_ilk_tss, "Столбцы", "стб", {tp_ilk_ts}},
        {tp_ilk_tus, "Строки", "стр", {tp_ilk_tu}},
        {tp_ilk_tab, "Таблица блокировки", "таб.бл.", {tp_ilk_nmtss}},
        {tp_schema_root, "Схемы", "Схемы", {tp_group, tp_schema_modus50, tp_ilk_root}},
        {tp_schema_modus50, "Схема Modus 5.1", "modus51", {}},
        {tp_element, "Элемент схемы", "эл-т", {tp_el_onof, tp_el_expr}},
        {tp_ilk, "Блокировка", "блок.", {}},
        {tp_ilk_onof, "Блокирующий элемент", "блок-элемент", {}},
        {tp_mod_page, "Страница", "стр.", {}},
        {tp_mod_group, "Группа элементов", "группа", {}},
        {tp_el_onof, "Включен/Отключен", "вкл/откл", {}},
        {tp_el_expr, "Значение", "зн", {}},
        {tp_el_disp, "Команда диспетчера", "комДисп", {}},
        // A folder's children are its parent's: t_group answers that itself.
        {tp_group, "Папка", "папка", {}},
        {tp_com_port, "Последовательный порт", "com-порт", {tp_group, tp_dev_101}},
        {tp_dev_101,
         "IEC 870-5-101 небал.перв.",
         "101",
         {tp_group, tp_dev_ts, tp_dev_ts2, tp_dev_ti, tp_dev_to}},
        {tp_dev_104,
         "IEC 870-5-104",
         "104",
         {tp_group, tp_dev_ts, tp_dev_ts2, tp_dev_ti, tp_dev_to}},
    };
    return table;
}

const type_entry* find_type(int type) {
    const auto& table = type_table();
    auto it = std::find_if(table.begin(), table.end(),
                           [type](const type_entry& e) { return e.code == type; });
    return it == table.end() ? nullptr : &*it;
}

} // namespace

std::string type_name(int type, bool short_name) {
    const type_entry* e = find_type(type);
    if (e == nullptr)
        return "НЕТ ИМЕНИ ТИПА";
    return short_name ? e->short_name : e->long_name;
}

std::vector<int> type_children(int type) {
    const type_entry* e = find_type(type);
    return e == nullptr ? std::vector<int>{} : e->children;
}

std::string parent_key(const std::string& key) {
    auto dot = key.rfind('.');
    return dot == std::string::npos ? std::string() : key.substr(0, dot);
}

std::string last_key_part(const std::string& key) {
    auto dot = key.rfind('.');
    return dot == std::string::npos ? key : key.substr(dot + 1);
}

std::string make_child_key(const std::string& parent, const std::string& part) {
    return parent.empty() ? part : parent + "." + part;
}

std::string key_part(int n) {
    std::array<char, 16> buffer{};
    std::snprintf(buffer.data(), buffer.size(), "%04d", n);
    return buffer.data();
}

bool key_is_under(const std::string& key, const std::string& ancestor) {
    if (ancestor.empty())
        return !key.empty();
    return key.size() > ancestor.size() + 1 && key[ancestor.size()] == '.' &&
           key.compare(0, ancestor.size(), ancestor) == 0;
}

std::string ref_xml(int type, const std::string& title) {
    nx_xml_writer writer;
    writer.set_indent(0);
    writer.set_attributes_on_lines(false);
    writer.begin("ref");
    writer.attribute("tp", std::to_string(type));
    if (!title.empty())
        writer.attribute("title", xml_escape(title));
    writer.end("ref");
    return writer.result();
}

} // namespace nxkit
