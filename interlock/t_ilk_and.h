#pragma once

#include "config/interfaces.h"
#include "config/t_ref.h"

#include <string>

namespace nxkit {

class ilk_state;
class t_ilk_vts;
class t_ilk_or;
class t_ilk_tab;

// A switching permission ("Разрешение коммутации"): one column of the table in the state
// "Включен" or "Отключен". Created by the table display, never by the editor.
class t_ilk_and : public t_ref, public i_struct_linker {
public:
    explicit t_ilk_and(t_ref_buff& store);
    ~t_ilk_and() override;
    void on_start(const nx_xml_element& element) override;
    bool set_parameter(int index, const std::string& text) override;
    bool get_parameter(int index, std::string& value, std::string& name) override;
    int parameter_editor(int index, choice_list& choices) override;
    std::string display_name() override;
    void tree_images(int& icon, int& overlay, int& state) override;
    void init() override;
    void write(nx_xml_writer& writer) override;

    // i_struct_linker: the column's contacts make this permission and its condition evaluate
    // again.
    void link(t_ref_buff& store) override;

    // The state, computed at most once per update pass.
    bool permits();
    // Neither the permission nor its column (or the column's node) is deactivated: what the
    // export writes, the table evaluates and the projection shows.
    bool active();
    std::string disp_name();
    // The cached name is taken again from the column when next asked.
    void forget_name() { disp_name_.clear(); }
    // The linked column, null when none has the permission's number.
    t_ilk_vts* column_ref();
    int column_number() const { return column_number_; }
    bool permits_when_on() const { return permits_when_on_; }
    t_ilk_or* condition() const;
    // The table enclosing the permission (null when none).
    t_ilk_tab* table() const;
    // Finds the column again, marks it and its node as referred to, sets the direction.
    void relink();

private:
    void evaluate();
    t_ilk_vts* find_column();
    // The direction this permission gives its condition: 1 or 2 when it names the row's own
    // apparatus, else 0.
    int own_direction();

    ilk_state& state_;
    // The column as last found, good while no interlock component changed since.
    t_ilk_vts* column_ = nullptr;
    bool column_known_ = false;
    unsigned column_edits_ = 0;
    int column_number_ = 0;
    bool permits_when_on_ = false;
    std::string column_key_;
    std::string disp_name_;
    bool permitted_ = false;
    std::string linked_key_;
};

} // namespace nxkit
