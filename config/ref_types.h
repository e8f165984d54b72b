#pragma once

#include <string>
#include <vector>

namespace nxkit {

// Type codes of components (the `tp` attribute).
enum ref_type : int {
    tp_struct_ts = 1,
    tp_struct_ti = 2,
    tp_struct_root = 40,
    tp_struct_canal = 41,
    tp_struct_kp = 42,
    tp_dev_root = 50,
    tp_dev_ts = 51,
    tp_dev_ts2 = 52,
    tp_dev_ti = 55,
    tp_dev_to = 56,
    tp_dev_ts_ok = 57,
    tp_ilk_nmts = 70,
    tp_ilk_nmtss = 71,
    tp_ilk_root = 72,
    tp_ilk_and = 73,
    tp_ilk_or = 74,
    tp_ilk_ts = 75,
    tp_ilk_tu = 76,
    tp_ilk_tss = 77,
    tp_ilk_tus = 78,
    tp_ilk_tab = 79,
    tp_schema_root = 80,
    tp_schema_modus50 = 81,
    tp_element = 82,
    tp_ilk = 83,
    tp_ilk_onof = 84,
    tp_mod_page = 85,
    tp_mod_group = 86,
    tp_el_onof = 87,
    tp_el_expr = 88,
    tp_el_disp = 89,
    tp_group = 99,
    tp_com_port = 100,
    tp_dev_101 = 101,
    tp_dev_104 = 104,
};

// Long (short_name false) or short name of a type; "НЕТ ИМЕНИ ТИПА" for an unknown code.
std::string type_name(int type, bool short_name = false);

// The child types the editor may add under a type, in the order it shows them. Empty for
// none; a folder's list is its parent's (t_group answers that itself).
std::vector<int> type_children(int type);

// Keys: "D", "K", "S" for the roots, children "<parent>.NNNN".
std::string parent_key(const std::string& key);
std::string last_key_part(const std::string& key);
std::string make_child_key(const std::string& parent, const std::string& part);
std::string key_part(int n);
// The last child number a key can carry: four digits keep the key order the tree's order.
inline constexpr int max_child_number = 9999;
// True when `key` lies strictly below `ancestor` ("D.0001.0002" under "D.0001", not "D.00010").
bool key_is_under(const std::string& key, const std::string& ancestor);

// The text of a new component: one empty "ref" element with tp and, when given, title.
std::string ref_xml(int type, const std::string& title = {});

} // namespace nxkit
