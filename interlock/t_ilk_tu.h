#pragma once

#include "config/interfaces.h"
#include "config/t_ref.h"

#include <cstdint>
#include <string>

namespace nxkit {

// A row of an interlock table ("Управляемый КА"): the apparatus the controller switches, its
// permission and readiness signals, its telecontrol signals and time-outs. Its conditions are
// alternatives.
class t_ilk_tu : public t_ref, public i_struct_linker {
public:
    explicit t_ilk_tu(t_ref_buff& store);
    ~t_ilk_tu() override;
    void on_start(const nx_xml_element& element) override;
    bool set_parameter(int index, const std::string& text) override;
    bool get_parameter(int index, std::string& value, std::string& name) override;
    std::string display_name() override;
    void tree_images(int& icon, int& overlay, int& state) override;
    void init() override;
    void write(nx_xml_writer& writer) override;
    int command(bool query, int index, std::string& arg) override;

    // i_struct_linker: the row's signals make it evaluate again.
    void link(t_ref_buff& store) override;

    // The state, computed at most once per update pass.
    bool enabled();
    // The title of the permission signal ("" when it is no known signal).
    std::string disp_name();

    long permission_tu_number() const { return permission_tu_number_; }
    const std::string& permission_signal() const { return permission_signal_; }
    const std::string& ready_signal() const { return ready_signal_; }
    const std::string& tu_on_signal() const { return tu_on_signal_; }
    const std::string& tu_off_signal() const { return tu_off_signal_; }
    long timeout_t1() const { return timeout_t1_; }
    long timeout_t2() const { return timeout_t2_; }
    // The permission and readiness signals joined by " or " (rebuilt by init).
    const std::string& row_expression() const { return row_expression_; }

private:
    void evaluate();
    void build_expression();

    long permission_tu_number_ = 0;
    std::string permission_signal_;
    std::string ready_signal_;
    std::string tu_on_signal_;
    std::string tu_off_signal_;
    long timeout_t1_ = 0;
    long timeout_t2_ = 0;
    std::string disp_name_;
    std::string row_expression_;
    bool row_enabled_ = false;
    std::string linked_key_;
};

} // namespace nxkit
