#include "schemes/t_schema_modus50.h"

#include "base/files.h"
#include "base/nx_dir_cursor.h"
#include "base/text.h"
#include "config/ref_types.h"
#include "config/t_ref_buff.h"
#include "platform/station.h"
#include "base/prompt.h"
#include "config/ref_flags.h"
#include "schemes/control/sde_document.h"
#include "schemes/i_scheme_editor.h"
#include "schemes/t_element.h"

#include <algorithm>

namespace nxkit {

std::string scheme_folder() {
    std::string folder = exe_dir() + "SDE/";
    make_dirs(folder);
    return folder;
}

t_schema_modus50::t_schema_modus50(t_ref_buff& store) : t_schema(store, tp_schema_modus50) {}

void t_schema_modus50::on_start(const nx_xml_element& element) {
    t_schema::on_start(element);
    // A scheme without a file has nothing to show: it stays inactive.
    if (element.name == "ref" && name().empty())
        set_flag(true, flag_locked);
}

int t_schema_modus50::parameter_editor(int index, choice_list& choices) {
    if (index != 1)
        return t_schema::parameter_editor(index, choices);
    // The pages and elements below were made from the file: it cannot change under them.
    if (!store().refs().children(key()).empty())
        return editor_read_only;
    std::vector<std::string> names = scheme_files();
    if (names.empty())
        names.emplace_back(no_schemes_text());
    choices.clear();
    for (std::size_t i = 0; i < names.size(); ++i)
        choices.push_back({names[i], static_cast<int>(i)});
    return editor_choice_only;
}

void t_schema_modus50::tree_images(int& icon, int& overlay, int& state) {
    t_schema::tree_images(icon, overlay, state);
    icon = 1405;
}

void t_schema_modus50::init() {
    elements_by_rtid_.clear();
    t_schema::init();
}

int t_schema_modus50::command(bool query, int index, std::string& arg) {
    if (index != 0)
        return 0;
    if (query) {
        arg = "Редактировать схему";
        return name().empty() ? 2 : 1;
    }
    i_scheme_editor* editor = current_scheme_editor();
    if (editor != nullptr && !name().empty())
        editor->edit(key(), scheme_folder() + scheme_file());
    return 0; // the configuration is unchanged
}

std::string create_scheme(t_ref& root) {
    t_ref_buff& store = root.store();
    const std::string folder = scheme_folder();
    int n = 1;
    while (file_exists(folder + "Схема " + std::to_string(n) + ".sde"))
        ++n;
    const std::string name = "Схема " + std::to_string(n);
    sde_scheme empty;
    empty.pages.emplace_back();
    empty.pages.back().title = "Страница 1";
    if (!write_file_atomic(folder + name + ".sde", write_sde(empty), true)) {
        show_message(store.owner_window(),
                     "Не удалось создать файл схемы '" + folder + name + ".sde'.", mb_error);
        return {};
    }
    std::vector<std::string> created;
    store.insert_xml(root.key(), ref_xml(tp_schema_modus50), &created);
    t_ref* scheme = created.empty() ? nullptr : store.get(created.front());
    if (scheme == nullptr)
        return {};
    scheme->set_parameter(1, name);
    scheme->set_flag(false, flag_locked);
    scheme->set_flag(true, flag_modified);
    store.mark_changed(scheme->key());
    if (i_scheme_editor* editor = current_scheme_editor())
        editor->edit(scheme->key(), folder + name + ".sde");
    return scheme->key();
}

t_element* t_schema_modus50::find_element(int rtid) const {
    auto it = elements_by_rtid_.find(rtid);
    return it == elements_by_rtid_.end() ? nullptr : it->second;
}

void t_schema_modus50::register_element(int rtid, t_element* element) {
    elements_by_rtid_[rtid] = element;
}

void t_schema_modus50::forget_element(int rtid, const t_element* element) {
    auto it = elements_by_rtid_.find(rtid);
    if (it != elements_by_rtid_.end() && it->second == element)
        elements_by_rtid_.erase(it);
}

std::string t_schema_modus50::scheme_file() const {
    if (to_lower(path_part(name(), part_ext)) == ".sde")
        return name();
    return name() + ".sde";
}

std::vector<std::string> t_schema_modus50::scheme_files() {
    std::vector<std::string> names;
    nx_dir_cursor cursor(scheme_folder(), "*", false);
    while (cursor.next())
        if (to_lower(path_part(cursor.name(), part_ext)) == ".sde")
            names.push_back(path_part(cursor.name(), part_name));
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace nxkit
