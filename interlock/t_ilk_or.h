#pragma once

#include "config/interfaces.h"
#include "config/t_ref.h"

#include <vector>

namespace nxkit {

class ilk_state;
class t_ilk_and;
class t_ilk_tu;

// A switching condition ("Условие коммутации"): permitted when all of its permissions are.
// The conditions of a row are alternatives.
class t_ilk_or : public t_ref, public i_observer, public i_struct_linker {
public:
    enum mode : int { mode_local = 0, mode_remote = 1, mode_manual = 2 };
    enum direction_kind : int { direction_none = 0, direction_on = 1, direction_off = 2 };

    explicit t_ilk_or(t_ref_buff& store);
    ~t_ilk_or() override;
    void on_start(const nx_xml_element& element) override;
    bool set_parameter(int index, const std::string& text) override;
    bool get_parameter(int index, std::string& value, std::string& name) override;
    int parameter_editor(int index, choice_list& choices) override;
    std::string display_name() override;
    void tree_images(int& icon, int& overlay, int& state) override;
    void init() override;
    void write(nx_xml_writer& writer) override;

    // i_struct_linker: the direction is found again by the permissions linked after it.
    void link(t_ref_buff& store) override;

    // The state, computed at most once per update pass together with its permissions'.
    bool permits();
    int control_mode() const { return control_mode_; }
    int direction() const { return direction_; }
    void set_direction(int direction) { direction_ = direction; }
    // The row holding this condition (null when its parent is no row).
    t_ilk_tu* row() const;

    static const choice_list& mode_choices();

private:
    void evaluate();
    // The permissions among the children, in key order; walking the store for them took most
    // of an evaluation.
    const std::vector<t_ilk_and*>& permissions();

    ilk_state& state_;
    std::vector<t_ilk_and*> permissions_;
    bool permissions_known_ = false;
    unsigned permissions_edits_ = 0;
    int control_mode_ = mode_local;
    bool permitted_ = false;
    int direction_ = direction_none;
    std::string linked_key_;
};

} // namespace nxkit
