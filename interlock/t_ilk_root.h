#pragma once

#include "config/t_ref.h"

#include <string>

namespace nxkit {

// One interlock: the scheme page its table is projected onto and the controller file it is
// exported into. Its commands run the export, without and with the controller.
class t_ilk_root : public t_ref {
public:
    explicit t_ilk_root(t_ref_buff& store);
    ~t_ilk_root() override;
    void on_start(const nx_xml_element& element) override;
    bool set_parameter(int index, const std::string& text) override;
    bool get_parameter(int index, std::string& value, std::string& name) override;
    int parameter_editor(int index, choice_list& choices) override;
    void tree_images(int& icon, int& overlay, int& state) override;
    void init() override;
    void write(nx_xml_writer& writer) override;
    int command(bool query, int index, std::string& arg) override;

    const std::string& page_label() const { return page_label_; }
    void set_page_label(const std::string& label) { page_label_ = label; }
    const std::string& export_file() const { return export_file_; }
    void set_export_file(const std::string& name) { export_file_ = name; }

    // The pick list text when the export folder holds no controller file.
    static const char* no_files_text() { return "conf.ini не найдены"; }

private:
    // The audit line of an export: table, file, controller, result.
    void audit_export(bool transfer, const std::string& controller, bool done);

    std::string page_label_;
    std::string export_file_;
};

} // namespace nxkit
