#pragma once

#include "schemes/t_schema.h"

#include <map>
#include <string>

namespace nxkit {

class t_element;

// The folder of the scheme files: station folder + "SDE/", created on first use.
std::string scheme_folder();

// Makes a scheme component under the scheme root with a new file "Схема N.sde" (the first
// free N) holding one empty page, and opens it in the scheme editor. The new key, empty when
// the file could not be written (the operator is told).
std::string create_scheme(t_ref& root);

// A scheme drawn in the scheme editor. Without a file name it is inactive (locked).
class t_schema_modus50 : public t_schema {
public:
    explicit t_schema_modus50(t_ref_buff& store);

    void on_start(const nx_xml_element& element) override;
    int parameter_editor(int index, choice_list& choices) override;
    void tree_images(int& icon, int& overlay, int& state) override;
    void init() override;
    // Command 0: "Редактировать схему" opens the scheme's file in the scheme editor (greyed
    // while the scheme has no file).
    int command(bool query, int index, std::string& arg) override;

    // The element registered under a counter, null when none.
    t_element* find_element(int rtid) const;
    // Elements register themselves in their init; the last one under a counter wins.
    void register_element(int rtid, t_element* element);
    // Removes the entry under `rtid` when it is `element`.
    void forget_element(int rtid, const t_element* element);
    const std::map<int, t_element*>& elements_by_rtid() const { return elements_by_rtid_; }

    // The file name with ".sde" ensured (any letter case counts), without folder.
    std::string scheme_file() const;
    // The names, without extension, of the scheme files in the scheme folder.
    static std::vector<std::string> scheme_files();

    // The pick list text when the folder holds no scheme file.
    static const char* no_schemes_text() { return "Схемы не найдены"; }

private:
    std::map<int, t_element*> elements_by_rtid_;
};

} // namespace nxkit
