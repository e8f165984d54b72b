#include "schemes/element_types.h"

#include "base/cp1251.h"
#include "base/files.h"
#include "base/last_error.h"
#include "base/nx_log.h"
#include "base/text.h"
#include "platform/station.h"

#include <array>

namespace nxkit {

namespace {

struct built_in_type {
    const char* name;
    int image_on;
    int image_off;
    const char* property;
    const char* on_value;
    const char* off_value;
};

// Types whose symbols the scheme knows; they win over the file's own entries.
const std::array<built_in_type, 14> built_in_types = {{
    {"заземляющий_нож", 1422, 1423, "положение", "включен", "отключен"},
    {"разъединитель", 1419, 1420, "положение", "включен", "отключен"},
    {"выключатель", 1424, 1425, "положение", "включен", "отключен"},
    {"выключатель_выдвижной", 1426, 1427, "положение", "включен", "отключен"},
    {"присоединение", 1419, 1420, "положение", "включен", "отключен"},
    {"лампа", 1428, 1429, "положение", "горит", "не_горит"},
    {"табло", 1435, 1436, "положение", "горит", "не_горит"},
    {"текст", 1435, 1436, "текст", "", ""},
    {"ячейка_таблицы", 1435, 1436, "текст", "", ""},
    {"метка", 1435, 1436, "текст", "", ""},
    {"прибор_реальный", 1437, 1437, "значение", "", ""},
    {"прибор_настраиваемый", 1437, 1437, "значение", "", ""},
    // Primary equipment whose picture has a state of its own.
    {"шина", 1435, 1436, "напряжение", "есть", "нет"},
    {"предохранитель", 1435, 1436, "состояние", "исправен", "перегорел"},
}};

} // namespace

bool cp1251_less::operator()(const std::string& a, const std::string& b) const {
    // char_traits<char> compares bytes as unsigned, as the file's order needs.
    return to_cp1251(a) < to_cp1251(b);
}

property_entry& select_property(element_type& record, const std::string& property) {
    property_entry& entry = record.properties[property];
    record.current_property = property;
    record.current_on = entry.on_value;
    record.current_off = entry.off_value;
    return entry;
}

void add_value(element_type& record, property_entry& entry, const std::string& value, bool is_on) {
    if (value.empty())
        return;
    entry.values.insert(value);
    if (is_on) {
        entry.on_value = value;
        record.current_on = value;
    } else {
        entry.off_value = value;
        record.current_off = value;
    }
}

void reapply_current(element_type& record) {
    std::string on = record.current_on;
    std::string off = record.current_off;
    property_entry& entry = select_property(record, record.current_property);
    record.current_on = on;
    record.current_off = off;
    add_value(record, entry, on, true);
    add_value(record, entry, off, false);
}

std::string element_type_table::default_file() {
    return exe_dir() + "elements.ini";
}

element_type_ptr element_type_table::type_record(const std::string& name) const {
    auto it = types_.find(name);
    return it == types_.end() ? nullptr : it->second;
}

element_type_ptr element_type_table::add_type(const std::string& name) {
    element_type_ptr& record = types_[name];
    if (!record) {
        record = std::make_shared<element_type>();
        record->name = name;
        select_property(*record, dispatcher_name_property());
    }
    return record;
}

std::vector<std::string> element_type_table::names() const {
    std::vector<std::string> result;
    for (const auto& [name, record] : types_)
        result.push_back(name);
    return result;
}

void element_type_table::load(const std::string& file) {
    std::string path = file.empty() ? default_file() : file;
    types_.clear();

    std::string bytes;
    // A file that is there but cannot be read is never written over: the built-in types serve
    // this run and the engineer's list stays as it is.
    bool readable = read_file(path, bytes);
    if (!readable && file_exists(path))
        nx_log::main().err(path + " не удалось прочитать " + last_error_text() +
                           ", используются встроенные типы элементов");
    if (readable && !bytes.empty()) {
        std::string text = from_cp1251(bytes);
        // CR LF, LF alone and CR alone all end a line.
        std::size_t from = 0;
        while (from <= text.size()) {
            std::size_t to = text.find_first_of("\r\n", from);
            if (to == std::string::npos)
                to = text.size();
            std::string name = trim(std::string_view(text).substr(from, to - from), ' ');
            if (!name.empty())
                add_type(name);
            from = to + (text.compare(to, 2, "\r\n") == 0 ? 2 : 1);
        }
    }

    for (const built_in_type& b : built_in_types) {
        element_type& record = *add_type(b.name);
        record.image_on = b.image_on;
        record.image_off = b.image_off;
        record.name = b.name;
        select_property(record, dispatcher_name_property());
        property_entry& entry = select_property(record, b.property);
        add_value(record, entry, b.on_value, true);
        add_value(record, entry, b.off_value, false);
    }

    if (!readable && file_exists(path))
        return;
    std::string content;
    for (const auto& [name, record] : types_)
        content += name + "\r\n";
    if (!write_file_atomic(path, to_cp1251(content), false))
        nx_log::main().err(path + " не удалось сохранить " + last_error_text());
}

} // namespace nxkit
